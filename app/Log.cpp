#include "Log.h"

#include "AmplifierQueries.h"
#include "AmplifierReads.h"
#include "AtomicFile.h"
#include "AutoSave.h"
#include "CaptureNotice.h"
#include "CaptureSeries.h"
#include "ConditionLine.h"
#include "Fields.h"
#include "FileDrops.h"
#include "GuardedHandlers.h"
#include "HexText.h"
#include "IntegerText.h"
#include "Keyboard.h"
#include "Language.h"
#include "LogFile.h"
#include "LogText.h"
#include "LogTimeline.h"
#include "Messages.h"
#include "RadioGroup.h"
#include "Seams.h"
#include "Settings.h"
#include "TriggerWatch.h"
#include "Version.h"
#include "WayIn.h"
#include "ui_Log.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <utility>

using quillon::show_error;

namespace {

constexpr int kTriggerPollMilliseconds = 1000;

// The guide to reading logs, where the package installs its documents
// (share/doc/quillon beside the program's bin folder); "" when missing.
QString reading_logs_guide()
{
    const QString guide = QDir(QCoreApplication::applicationDirPath())
                              .filePath("../share/doc/quillon/reading-logs.md");
    return QFileInfo::exists(guide) ? QFileInfo(guide).canonicalFilePath() : QString();
}

QString hex_text(std::uint8_t byte)
{
    return QString::fromStdString(quillon::hex_byte(byte));
}

}  // namespace

TMainForm::TMainForm(std::string settings_path, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::TMainForm>()),
      settings_path_(std::move(settings_path))
{
    ui_->setupUi(this);
    setFixedSize(size());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // Centred on the screen when first shown, its top-left corner kept on it.
    if (const QScreen* shown_on = screen()) {
        const QRect area = shown_on->availableGeometry();
        const QPoint centred = area.center() - rect().center();
        move(std::max(centred.x(), area.left()), std::max(centred.y(), area.top()));
    }

    for (std::size_t byte = 0; byte < 32; ++byte) {
        const QString number = QString::asprintf("%02zu", byte);
        received_[byte] = findChild<QLineEdit*>("edtRcvByte" + number);
        sent_[byte] = findChild<QLineEdit*>("edtSndByte" + number);
    }
    upper_half_labels_ = {ui_->lblRxByte16, ui_->lblRxByte31, ui_->lblTxByte16, ui_->lblTxByte31};
    ui_->cbxDataSelect->setCurrentIndex(0);
    // Under the series' folder and count; its caption is worded with the
    // rest of the window.
    keep_if_ = new ConditionLine(QString(), ui_->gbxCondition);
    keep_if_->setObjectName("KeepIf");
    keep_if_->setGeometry(20, 166, 400, 58);
    keep_if_->setEnabled(false);
    setTabOrder(ui_->spnSeriesCount, keep_if_->Edit());
    setTabOrder(keep_if_->Edit(), ui_->btnKeepIfFields);

    mode_group_.addButton(ui_->rbnMode16, 0);
    mode_group_.addButton(ui_->rbnMode32, 1);
    using quillon::on_checked;
    using quillon::on_signal;
    on_checked(ui_->rbnMode16, this, &TMainForm::rgpModeSelectClick);
    on_checked(ui_->rbnMode32, this, &TMainForm::rgpModeSelectClick);
    on_signal(ui_->btnStatusCheck, &QAbstractButton::clicked, this,
              &TMainForm::btnStatusCheckClick);
    on_signal(ui_->btnLogStart, &QAbstractButton::clicked, this, &TMainForm::btnLogStartClick);
    on_signal(ui_->btnLogSave, &QAbstractButton::clicked, this, &TMainForm::btnLogSaveClick);
    ChkTrigDtctTmr.setInterval(kTriggerPollMilliseconds);
    on_signal(&ChkTrigDtctTmr, &QTimer::timeout, this, &TMainForm::ChkTrigDtctTmrTimer);
    // Once for every change of the box, however it comes: a click, the
    // keyboard, or a screen reader's "Toggle", which clicks nothing.
    on_signal(ui_->cbxStopCondition, &QAbstractButton::toggled, this,
              &TMainForm::cbxStopConditionClick);
    on_signal(ui_->cbxRearm, &QAbstractButton::toggled, this, &TMainForm::cbxRearmClick);
    on_signal(ui_->btnSeriesFolder, &QAbstractButton::clicked, this,
              &TMainForm::btnSeriesFolderClick);
    on_signal(ui_->btnKeepIfFields, &QAbstractButton::clicked, this,
              &TMainForm::btnKeepIfFieldsClick);
    on_signal(ui_->mnuConfiguration, &QAction::triggered, this, &TMainForm::mnuConfigurationClick);
    connect(ui_->Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
    on_signal(ui_->mnuViewLogData, &QAction::triggered, this, &TMainForm::mnuViewLogDataClick);
    on_signal(ui_->mnuOpenLog, &QAction::triggered, this, &TMainForm::mnuOpenLogClick);
    on_signal(ui_->mnuOpenSeries, &QAction::triggered, this, &TMainForm::mnuOpenSeriesClick);
    on_signal(ui_->mnuAbout, &QAction::triggered, this, &TMainForm::mnuAboutClick);
    on_signal(ui_->mnuReadingLogs, &QAction::triggered, this, &TMainForm::mnuReadingLogsClick);
    auto* languages = new QActionGroup(this);
    for (const auto& [item, language] :
         {std::pair{ui_->mnuLanguageSystem, quillon::Language::System},
          std::pair{ui_->mnuLanguageEnglish, quillon::Language::English},
          std::pair{ui_->mnuLanguageJapanese, quillon::Language::Japanese}}) {
        languages->addAction(item);
        connect(item, &QAction::triggered, this, [this, language = language] {
            quillon::run_guarded([this, language] {
                quillon::choose_language(settings_path_, language);
                ShowLanguage();
            });
        });
    }
    quillon::accept_file_drops(*this, [this](const QStringList& files) { OpenLogs(files); });
    quillon::open_menu_bar_with_f10(*this);
    quillon::keep_mnemonics_out_of_fields();
    RetranslateUi();
}

void TMainForm::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        RetranslateUi();
    }
    QMainWindow::changeEvent(event);
}

void TMainForm::RetranslateUi()
{
    ui_->retranslateUi(this);
    ShowStatus(status_shown_);
    ShowStartCaption(stop_shown_);
    ShowSaveCaption(saving_shown_);
    ShowSeriesCount();
    keep_if_->SetCaption(tr("Keep only captures where"));
    ShowLanguage();
}

void TMainForm::ShowLanguage()
{
    const quillon::Language language = quillon::current_language();
    ui_->mnuLanguageSystem->setChecked(language == quillon::Language::System);
    ui_->mnuLanguageEnglish->setChecked(language == quillon::Language::English);
    ui_->mnuLanguageJapanese->setChecked(language == quillon::Language::Japanese);
}

void TMainForm::ShowStatus(StatusShown status)
{
    status_shown_ = status;
    switch (status) {
    case StatusShown::None: ui_->edtComStatus->clear(); return;
    case StatusShown::Idle: ui_->edtComStatus->setText(tr("IDLE")); return;
    case StatusShown::Logging: ui_->edtComStatus->setText(tr("Logging")); return;
    case StatusShown::Cancelled: ui_->edtComStatus->setText(tr("Cancel")); return;
    }
}

void TMainForm::ShowStartCaption(bool stop)
{
    stop_shown_ = stop;
    ui_->btnLogStart->setText(stop ? tr("STOP") : tr("START"));
}

void TMainForm::ShowSaveCaption(bool saving)
{
    saving_shown_ = saving;
    ui_->btnLogSave->setText(saving ? tr("Saving...") : tr("SAVE LOG"));
}

TMainForm::~TMainForm() = default;

bool TMainForm::StartUp()
{
    LastSaveFileName.clear();
    AutoSaveText.clear();
    serial_ = std::make_unique<quillon::TCommAdapter>();
    usb_ = std::make_unique<quillon::TCommAdapterUSB>();
    if (!quillon::load_serial_library(*serial_)) {
        serial_.reset();
        return false;
    }
    if (!quillon::load_usb_library(*usb_)) {
        usb_.reset();
        return false;
    }
    ReadSettings();
    UpdateRearmAvailability();
    serial_->SetBaudRate(BaudRate);
    try {
        ConnectSelected();
    } catch (const quillon::ConversionError& error) {
        // A port name that is no number must not end the program: the user
        // could then never reach "Configuration" to mend it.
        quillon::show_default_error(error.what());
        ui_->btnStatusCheck->setEnabled(false);
    }
    return true;
}

void TMainForm::ReadSettings()
{
    const quillon::Settings settings = quillon::read_settings(settings_path_);
    ComPort = settings.com_port;
    BaudRate = settings.baud_rate;
    UsbMode = settings.usb_mode;
    LogSaveCondition = settings.log_save_condition;
    SetLogModeIndex(settings.log_mode);
    series_settings_read_ = quillon::read_series_settings(settings_path_);
    ui_->edtSeriesFolder->setText(QFile::decodeName(series_settings_read_.folder.c_str()));
    ui_->spnSeriesCount->setValue(series_settings_read_.count);
    // Where the captures go while no folder is chosen.
    ui_->edtSeriesFolder->setPlaceholderText(
        QDir::toNativeSeparators(quillon::auto_save_folder_path(quillon::documents_folder())));
    // A remembered fields file that no longer reads is kept in the
    // settings, but the condition is read on none.
    keep_if_fields_file_ = series_settings_read_.fields_file;
    if (!keep_if_fields_file_.empty()) {
        UseKeepIfFields(keep_if_fields_file_, false);
    }
    keep_if_read_ = quillon::read_keep_if_setting(settings_path_, quillon::KeepIfWindow::Main);
    keep_if_->SetText(QString::fromStdString(keep_if_read_));
}

void TMainForm::ConnectSelected()
{
    ui_->btnStatusCheck->setEnabled(quillon::open_way_in(*serial_, *usb_, {UsbMode != 0, ComPort}));
}

quillon::AmplifierSend TMainForm::Sender()
{
    return [this](std::uint32_t word, std::span<const std::uint8_t> params,
                  std::span<std::uint8_t> response) { return SendCommand(word, params, response); };
}

bool TMainForm::SendCommand(std::uint32_t command_word, std::span<const std::uint8_t> params,
                            std::span<std::uint8_t> response)
{
    return quillon::send_through(*serial_, *usb_, UsbMode != 0, command_word, params, response);
}

int TMainForm::LogModeIndex() const
{
    return mode_group_.checkedId();
}

void TMainForm::SetLogModeIndex(int index)
{
    quillon::select_item(mode_group_, index);
}

void TMainForm::btnStatusCheckClick()
{
    const quillon::StatusCheck check = quillon::check_status(Sender(), IsWideMode());
    if (check.log_status) {
        ShowLogStatus(*check.log_status);
    }
    if (check.failure) {
        quillon::show_failure(check.failure->failure);
        if (check.failure->step == quillon::StatusStep::ComData) {
            clear_com_data();
        }
        return;
    }
    const quillon::ComData& com = *check.com_data;
    for (std::size_t byte = 0; byte < com.received.size(); ++byte) {
        received_[byte]->setText(hex_text(com.received[byte]));
        sent_[byte]->setText(hex_text(com.sent[byte]));
    }
    ui_->edtComPhase->setText(hex_text(com.phase));
    ui_->mnuLog->setEnabled(true);
}

void TMainForm::ShowLogStatus(quillon::LogStatus status)
{
    switch (status) {
    case quillon::LogStatus::Logging: ShowLogging(); return;
    case quillon::LogStatus::Cancelled: ShowCancelled(); return;
    case quillon::LogStatus::Idle: break;
    }
    ShowStatus(StatusShown::Idle);
    EnableIdleControls();
}

void TMainForm::ShowLogging()
{
    disable_condition();
    ShowStatus(StatusShown::Logging);
    ShowStartCaption(true);
    ui_->btnLogStart->setEnabled(true);
    ui_->btnLogSave->setEnabled(false);
    ui_->cbxStopCondition->setEnabled(false);
}

void TMainForm::ShowCancelled()
{
    // The condition can be edited for the next START whether or not it is
    // armed.
    enable_condition();
    ShowStatus(StatusShown::Cancelled);
    ShowStartCaption(false);
    ui_->btnLogStart->setEnabled(true);
    ui_->btnLogSave->setEnabled(false);
    ui_->cbxStopCondition->setEnabled(true);
}

void TMainForm::EnableIdleControls()
{
    ShowStartCaption(false);
    ui_->btnLogStart->setEnabled(true);
    ui_->btnLogSave->setEnabled(true);
    ui_->cbxStopCondition->setEnabled(true);
    cbxStopConditionClick();
}

void TMainForm::btnLogStartClick()
{
    const quillon::AmplifierSend send = Sender();
    if (stop_shown_) {
        // STOP; the timer stops after the check.
        if (!quillon::send_log_control(send, quillon::log_stop_parameters())) {
            quillon::show_failure(quillon::AmplifierFailure::CantTalk);
            return;
        }
        btnStatusCheckClick();
        ChkTrigDtctTmr.stop();
        series_.reset();
        series_lock_.reset();
        return;
    }
    std::optional<quillon::StopConditionEntry> condition;
    if (ui_->cbxStopCondition->isChecked()) {
        condition = quillon::StopConditionEntry{
            !ui_->rbnRcvEn->isChecked(), ui_->cbxDataSelect->currentText().toStdString(),
            ui_->edtMaskData->text().toStdString(), ui_->edtConditionData->text().toStdString(),
            ui_->edtLogStartCounter->text().toStdString()};
    }
    const quillon::LogStartBlock start = quillon::log_start_parameters(condition, IsWideMode());
    if (start.range_error != nullptr) {
        show_error(start.range_error);
        return;
    }
    if (condition && KeepIfInUse() && keep_if_->HasError()) {
        show_error(tr("Keep only captures where \"%1\": %2")
                       .arg(keep_if_->Text(), keep_if_->ErrorText())
                       .toStdString());
        return;
    }
    if (condition && ui_->cbxRearm->isChecked() && !HoldSeriesLock()) {
        return;
    }
    series_logs_ = 0;
    series_left_out_ = 0;
    ShowSeriesCount();
    if (condition) {
        // Armed before the command goes out, and left running if it fails.
        BeginSeries();
        ChkTrigDtctTmr.start();
    }
    if (!quillon::send_log_control(send, start.params)) {
        quillon::show_failure(quillon::AmplifierFailure::CantTalk);
        return;
    }
    btnStatusCheckClick();
}

void TMainForm::ShowReadProgress(int exchanges_done)
{
    // Painted at once, without handling input: the read keeps the program's
    // one thread, and no click may slip in between two exchanges.
    ui_->prgLogRead->setValue(exchanges_done);
    ui_->prgLogRead->setVisible(exchanges_done < ui_->prgLogRead->maximum());
    ui_->prgLogRead->repaint();
}

std::optional<quillon::AmplifierFailure> TMainForm::ReadLog(std::vector<std::string>& lines)
{
    quillon::LogTextRead read =
        quillon::read_log_text(Sender(), lines.front(), IsWideMode(),
                               [this](int exchanges) { ShowReadProgress(exchanges); });
    lines = std::move(read.lines);
    if (read.failure) {
        ShowReadProgress(ui_->prgLogRead->maximum());
        quillon::show_failure(*read.failure);
    }
    return read.failure;
}

bool TMainForm::WriteLogFile(const QString& path, const std::string& text)
{
    try {
        quillon::write_file_atomically(QFile::encodeName(path).toStdString(), text);
        return true;
    } catch (const std::exception& error) {
        quillon::show_default_error(error.what());
        return false;
    }
}

void TMainForm::btnLogSaveClick()
{
    ui_->LogSaveMemo->clear();
    const auto file = quillon::run_save_dialog(
        quillon::log_text_save_request(QString::fromStdString(LastSaveFileName)));
    if (!file) {
        ShowSaveCaption(false);
        return;
    }
    ShowSaveCaption(true);
    std::vector<std::string> lines{quillon::date_time_line(quillon::local_now())};
    const auto failure = ReadLog(lines);
    for (const auto& line : lines) {
        ui_->LogSaveMemo->appendPlainText(QString::fromLocal8Bit(line.c_str()));
    }
    if (failure) {
        if (*failure != quillon::AmplifierFailure::CantTalk) {
            btnStatusCheckClick();
        }
        ShowSaveCaption(false);
        return;
    }
    if (!WriteLogFile(*file, quillon::crlf_text(lines))) {
        ShowSaveCaption(false);
        return;
    }
    LastSaveFileName = file->toStdString();
    quillon::show_message({tr("Finish Saving Log.").toStdString(), tr("Complete!").toStdString(),
                           quillon::MessageIcon::Information});
    ShowSaveCaption(false);
}

void TMainForm::ChkTrigDtctTmrTimer()
{
    if (!series_) {
        BeginSeries();
    }
    // Stopped while the series advances: a message box it shows runs
    // events, and no second tick may step into the first.
    ChkTrigDtctTmr.stop();
    const quillon::SeriesStep step = series_->Advance();
    if (!step.end) {
        ChkTrigDtctTmr.start();
        return;
    }
    const bool rearming = series_->Rearming();
    series_.reset();
    series_lock_.reset();
    ShowSeriesEnd(*step.end, rearming);
}

quillon::CaptureSeriesRules TMainForm::SeriesRules() const
{
    quillon::CaptureSeriesRules rules;
    rules.rearm = ui_->cbxRearm->isChecked();
    if (ui_->spnSeriesCount->value() > 0) {
        rules.count = ui_->spnSeriesCount->value();
    }
    // A cancelled log is watched on: it may be started again.
    rules.cancel_ends = false;
    rules.save = LogSaveCondition == 0;
    rules.only_triggered = false;
    if (KeepIfInUse() && keep_if_->Condition()) {
        const auto fields = keep_if_->Fields();
        rules.keep_if =
            quillon::KeepCondition{*keep_if_->Condition(), {fields.begin(), fields.end()}};
    }
    return rules;
}

void TMainForm::BeginSeries()
{
    quillon::CaptureSeriesSeams seams;
    seams.send = Sender();
    seams.wide_mode = IsWideMode();
    seams.progress = [this](int exchanges) { ShowReadProgress(exchanges); };
    seams.save = [this](const QDateTime& when, const std::string& text) {
        return SaveCapture(when, text);
    };
    seams.tell = [this](quillon::SeriesNews news) { ShowSeriesNews(news); };
    seams.saved = [this](const quillon::SavedCapture& capture) { ShowCaptureSaved(capture); };
    seams.leave_out = [this](const quillon::LeftOutCapture& capture) { LeaveOut(capture); };
    seams.wall_now = quillon::local_now;
    series_ = std::make_unique<quillon::CaptureSeries>(SeriesRules(), std::move(seams),
                                                       quillon::SeriesBegin::Armed);
}

void TMainForm::ShowSeriesNews(quillon::SeriesNews news)
{
    switch (news) {
    case quillon::SeriesNews::Logging: ShowLogging(); return;
    case quillon::SeriesNews::Cancelled: ShowCancelled(); return;
    case quillon::SeriesNews::Reading:
        ui_->btnLogStart->setEnabled(false);
        ShowStatus(StatusShown::Idle);
        ShowSaveCaption(true);
        return;
    case quillon::SeriesNews::Rearmed:
        ShowSaveCaption(false);
        ShowLogging();
        return;
    // The window's series never begins on a log it did not start, nor
    // tries a lost way in again.
    case quillon::SeriesNews::StartedWithoutCondition:
    case quillon::SeriesNews::NoLogStartedAgain:
    case quillon::SeriesNews::StoppedBeforeTrigger:
    case quillon::SeriesNews::FiredBeforeBegin:
    case quillon::SeriesNews::CantTalk:
    case quillon::SeriesNews::WayInLost:
    case quillon::SeriesNews::AnswersAgain: return;
    }
}

void TMainForm::ShowCaptureSaved(const quillon::SavedCapture& capture)
{
    // A single log is counted only when captures were left out before it.
    if (!series_->Rearming() && series_left_out_ == 0) {
        return;
    }
    series_logs_ = capture.index;
    ShowSeriesCount();
    // Before the re-arm, whose failure would hold a message box open. A
    // window that is not shown has no one at the desktop to tell.
    if (isVisible() && !isActiveWindow() && capture.fired_record) {
        NotifyCapture(capture.path, *capture.fired_record);
    }
}

void TMainForm::LeaveOut(const quillon::LeftOutCapture& capture)
{
    series_logs_ = capture.kept;
    series_left_out_ = capture.left_out;
    ShowSeriesCount();
    const quillon::LeftOutMove moved = quillon::move_left_out(capture.path);
    if (!moved.path) {
        quillon::show_message(
            {tr("The capture %1 does not meet the condition, but it could not be moved into the "
                "folder \"%2\" beside it; it stays where it was saved.")
                 .arg(QDir::toNativeSeparators(capture.path), quillon::kLeftOutFolder)
                 .toStdString(),
             "", quillon::MessageIcon::Warning, moved.failure.toStdString()});
    }
}

void TMainForm::ShowSeriesEnd(const quillon::SeriesEnd& end, bool rearming)
{
    using quillon::SeriesEndCause;
    if (end.cause == SeriesEndCause::Failed) {
        switch (end.exchange) {
        case quillon::SeriesExchange::Poll:
            quillon::show_failure(end.failure);
            ShowStartCaption(false);
            return;
        case quillon::SeriesExchange::Read:
            ShowReadProgress(ui_->prgLogRead->maximum());
            quillon::show_failure(end.failure);
            ShowSaveCaption(false);
            ShowStartCaption(false);
            if (end.failure != quillon::AmplifierFailure::CantTalk) {
                btnStatusCheckClick();
            }
            return;
        case quillon::SeriesExchange::Start: quillon::show_failure(end.failure); break;
        }
    }
    if (end.cause == SeriesEndCause::NotACapture && rearming) {
        quillon::show_message({tr("The log was stopped before its trigger fired.").toStdString(),
                               "", quillon::MessageIcon::Warning, end.file.toStdString()});
    }
    ShowSaveCaption(false);
    EnableIdleControls();
}

void TMainForm::NotifyCapture(const QString& path, int fired_record)
{
    if (!capture_notices_) {
        capture_notices_ = std::make_unique<quillon::CaptureNotices>(
            QDBusConnection::sessionBus(),
            [this](const QString& clicked) { OpenNotifiedCapture(clicked); });
    }
    capture_notices_->Notify(path, fired_record);
}

bool TMainForm::HoldSeriesLock()
{
    if (UsbMode == 0 || series_lock_) {
        return true;
    }
    quillon::SeriesLock::Refusal refusal;
    series_lock_ = quillon::SeriesLock::take(refusal);
    if (!series_lock_) {
        const QString why =
            !refusal.held ? QStringLiteral("%1: %2").arg(
                                QFile::decodeName(quillon::SeriesLock::path().c_str()),
                                QString::fromLocal8Bit(refusal.reason.c_str()))
            : refusal.holder.empty()
                ? tr("Another series of logs is being captured over USB from this amplifier; one "
                     "series at a time.")
                : tr("Another series of logs is being captured over USB from this amplifier "
                     "(process %1); one series at a time.")
                      .arg(QString::fromStdString(refusal.holder));
        show_error(why.toStdString());
    }
    return series_lock_.has_value();
}

std::optional<QString> TMainForm::SeriesFolder() const
{
    const QString chosen = ui_->edtSeriesFolder->text();
    if (!series_ || !series_->Rearming() || chosen.isEmpty()) {
        return quillon::auto_save_folder(quillon::documents_folder());
    }
    // Made when missing; one that cannot be made is named by the save's
    // failure.
    QDir().mkpath(chosen);
    return chosen;
}

void TMainForm::btnSeriesFolderClick()
{
    const QString current = ui_->edtSeriesFolder->text();
    const QString folder = quillon::run_folder_dialog(
        current.isEmpty() ? quillon::auto_save_folder_path(quillon::documents_folder()) : current);
    if (!folder.isEmpty()) {
        ui_->edtSeriesFolder->setText(QDir::toNativeSeparators(folder));
    }
}

void TMainForm::btnKeepIfFieldsClick()
{
    const QString current = QFile::decodeName(keep_if_fields_file_.c_str());
    const QStringList files = quillon::run_open_dialog(
        tr("Fields (*.json)"),
        current.isEmpty() ? quillon::documents_folder() : QFileInfo(current).absolutePath());
    if (!files.isEmpty()) {
        UseKeepIfFields(QFile::encodeName(files.front()).toStdString(), true);
    }
}

void TMainForm::UseKeepIfFields(const std::string& path, bool report)
{
    try {
        keep_if_->SetFields(quillon::read_fields_file(path).fields);
    } catch (const quillon::LogReadError& error) {
        if (report) {
            show_error(error.what());
        }
        return;
    }
    keep_if_fields_file_ = path;
    const QString file = QFile::decodeName(path.c_str());
    QLabel& name = *ui_->lblKeepIfFields;
    name.setText(
        name.fontMetrics().elidedText(QFileInfo(file).fileName(), Qt::ElideMiddle, name.width()));
    name.setToolTip(QDir::toNativeSeparators(file));
    name.setAccessibleDescription(QFileInfo(file).fileName());
}

bool TMainForm::KeepIfInUse() const
{
    return ui_->cbxStopCondition->isChecked() && LogSaveCondition == 0 &&
           !keep_if_->Text().trimmed().isEmpty();
}

void TMainForm::cbxRearmClick()
{
    const bool rearm = ui_->cbxRearm->isChecked();
    if (!series_) {
        return;
    }
    // Checked while a log is watched: that watch becomes a series, which
    // over USB holds the amplifier's one series lock.
    if (rearm && !HoldSeriesLock()) {
        ui_->cbxRearm->setChecked(false);
        return;
    }
    series_->SetRearm(rearm);
    if (!rearm) {
        series_lock_.reset();
    }
}

void TMainForm::ShowSeriesCount()
{
    const QString count = series_left_out_ > 0
                              ? tr("%1 kept, %2 left out").arg(series_logs_).arg(series_left_out_)
                          : series_logs_ == 0 ? QString()
                          : series_logs_ == 1 ? tr("1 log saved")
                                              : tr("%1 logs saved").arg(series_logs_);
    ui_->lblRearmCount->setText(count);
    // The label's accessible name is fixed, so that it can be found; a
    // screen reader reads the count from its description.
    ui_->lblRearmCount->setAccessibleDescription(count);
}

void TMainForm::UpdateRearmAvailability()
{
    const bool available = ui_->cbxStopCondition->isChecked() && LogSaveCondition == 0;
    if (!available) {
        ui_->cbxRearm->setChecked(false);
    }
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui_->cbxRearm, ui_->lblSeriesFolder, ui_->edtSeriesFolder, ui_->btnSeriesFolder,
             ui_->lblSeriesCount, ui_->spnSeriesCount, keep_if_, ui_->btnKeepIfFields,
             ui_->lblKeepIfFields}) {
        control->setEnabled(available);
    }
}

quillon::AutoSaveOutcome TMainForm::SaveCapture(const QDateTime& when, const std::string& text)
{
    AutoSaveText = text;
    const auto folder = SeriesFolder();
    quillon::AutoSaveOutcome saved = quillon::save_log_automatically(folder, when, AutoSaveText);
    if (folder && !saved.path) {
        quillon::show_default_error(saved.failure);
    }
    // The folder cannot be made, or the file cannot be written there: the
    // user picks a place, or is told that the log stays in the amplifier.
    if (!saved.path) {
        const auto chosen = quillon::run_save_dialog(
            quillon::log_text_save_request(quillon::auto_save_file_name(when)));
        if (chosen && WriteLogFile(*chosen, AutoSaveText)) {
            saved.path = chosen;
        }
    }
    AutoSaveText.clear();
    if (!saved.path) {
        quillon::show_message({tr("Not saved Log.").toStdString(), tr("Error!").toStdString(),
                               quillon::MessageIcon::Information});
    }
    return {saved.path, {}};
}

void TMainForm::rgpModeSelectClick()
{
    const bool wide = IsWideMode();
    // Boxes 16-31 are greyed in 16-byte mode but keep their texts.
    const QString background = wide ? "QLineEdit { background-color: palette(base); }"
                                    : "QLineEdit { background-color: palette(button); }";
    for (std::size_t byte = 16; byte < 32; ++byte) {
        for (QLineEdit* box : {received_[byte], sent_[byte]}) {
            box->setEnabled(wide);
            box->setStyleSheet(background);
        }
    }
    for (QLabel* label : upper_half_labels_) {
        label->setEnabled(wide);
    }
}

void TMainForm::clear_com_data()
{
    const std::size_t width = IsWideMode() ? 32 : 16;
    for (std::size_t byte = 0; byte < width; ++byte) {
        received_[byte]->setText("--");
        sent_[byte]->setText("--");
    }
}

std::array<QWidget*, 6> TMainForm::condition_controls() const
{
    return {ui_->rbnRcvEn,    ui_->rbnSendEn,        ui_->cbxDataSelect,
            ui_->edtMaskData, ui_->edtConditionData, ui_->edtLogStartCounter};
}

void TMainForm::enable_condition()
{
    for (QWidget* control : condition_controls()) {
        control->setEnabled(true);
    }
}

void TMainForm::disable_condition()
{
    for (QWidget* control : condition_controls()) {
        control->setEnabled(false);
    }
}

void TMainForm::cbxStopConditionClick()
{
    if (ui_->cbxStopCondition->isChecked()) {
        enable_condition();
    } else {
        disable_condition();
    }
    UpdateRearmAvailability();
}

void TMainForm::mnuConfigurationClick()
{
    if (configuration_ == nullptr || quillon::run_modal(*configuration_) != QDialog::Accepted) {
        return;
    }
    usb_->DisconnectAll();
    serial_->ClosePort();
    if (UsbMode == 0) {
        serial_->SetBaudRate(BaudRate);
    }
    ConnectSelected();
    UpdateRearmAvailability();
    disable_condition();
    ui_->btnLogStart->setEnabled(false);
    ui_->btnLogSave->setEnabled(false);
    ui_->cbxStopCondition->setEnabled(false);
    ShowStatus(StatusShown::None);
}

void TMainForm::mnuViewLogDataClick()
{
    if (log_window_ == nullptr) {
        return;
    }
    if (!log_window_->isVisible()) {
        // Centred over the main window each time it appears, but never with
        // its top-left corner off the screen.
        const QPoint centred = geometry().center() - log_window_->rect().center();
        log_window_->move(std::max(centred.x(), 0), std::max(centred.y(), 0));
    }
    log_window_->show();
    log_window_->raise();
    log_window_->activateWindow();
}

void TMainForm::mnuOpenLogClick()
{
    // Each file in a browser of its own, however many are chosen.
    for (const QString& file :
         quillon::run_open_dialog(quillon::log_open_filter(), quillon::log_start_folder())) {
        OpenLogs({file});
    }
}

void TMainForm::mnuOpenSeriesClick()
{
    if (const QString folder = quillon::run_folder_dialog(quillon::log_start_folder());
        !folder.isEmpty()) {
        OpenLogs({folder});
    }
}

void TMainForm::OpenLogs(const QStringList& files)
{
    if (log_opener_ && !files.isEmpty()) {
        log_opener_(files);
    }
}

void TMainForm::OpenNotifiedCapture(const QString& path)
{
    // The opener shows its windows; a click in another program's
    // notification does not bring them up by itself.
    const QWidgetList before = QApplication::topLevelWidgets();
    OpenLogs({path});
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !before.contains(window)) {
            window->raise();
            window->activateWindow();
        }
    }
}

void TMainForm::mnuAboutClick()
{
    QMessageBox about(QMessageBox::NoIcon, tr("About Quillon"),
                      tr("Quillon %1").arg(quillon::kVersion), QMessageBox::Ok, this);
    about.setInformativeText(
        tr("Reads the communication log of a servo amplifier.\n\n"
           "Proprietary software. Qt is used under the GNU LGPL version 3.\n\nQt %1")
            .arg(QString::fromLatin1(qVersion())));
    if (!windowIcon().isNull()) {
        about.setIconPixmap(windowIcon().pixmap(64));
    }
    quillon::run_modal(about);
}

void TMainForm::mnuReadingLogsClick()
{
    const QString guide = reading_logs_guide();
    if (guide.isEmpty()) {
        quillon::show_message(
            {tr("The guide to reading logs is not installed.\nIt is the section \"Reading logs\" "
                "of Quillon's README.")
                 .toStdString(),
             tr("Reading Logs").toStdString(), quillon::MessageIcon::Information});
        return;
    }
    if (!quillon::open_document(QUrl::fromLocalFile(guide))) {
        quillon::show_message(
            {tr("No program could open %1.").arg(QDir::toNativeSeparators(guide)).toStdString(),
             tr("Reading Logs").toStdString(), quillon::MessageIcon::Warning});
    }
}

void TMainForm::Exit1Click()
{
    close();
}

void TMainForm::FormClose()
{
    try {
        quillon::write_settings(settings_path_,
                                {ComPort, BaudRate, UsbMode, LogSaveCondition, LogModeIndex()});
        // Written only once changed, so that a file without them stays so.
        const quillon::SeriesSettings series{
            QFile::encodeName(ui_->edtSeriesFolder->text()).toStdString(),
            ui_->spnSeriesCount->value(), keep_if_fields_file_};
        if (series.folder != series_settings_read_.folder ||
            series.count != series_settings_read_.count ||
            series.fields_file != series_settings_read_.fields_file) {
            quillon::write_series_settings(settings_path_, series);
        }
        if (const std::string keep_if = keep_if_->Text().toStdString(); keep_if != keep_if_read_) {
            quillon::write_keep_if_setting(settings_path_, quillon::KeepIfWindow::Main, keep_if);
        }
    } catch (const std::exception& error) {
        // Reported, but the program ends all the same: a user who cannot
        // quit gains nothing.
        quillon::show_default_error(error.what());
    }
    QCoreApplication::exit(0);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}
