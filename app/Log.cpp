#include "Log.h"

#include "AtomicFile.h"
#include "Configuration.h"
#include "IntegerText.h"
#include "LogReading.h"
#include "LogText.h"
#include "Messages.h"
#include "RadioGroup.h"
#include "Seams.h"
#include "ui_Log.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QScreen>

#include <algorithm>
#include <cstdio>

TMainForm* MainForm = nullptr;
quillon::TCommAdapter* SerialAdapter = nullptr;
quillon::TCommAdapterUSB* UsbAdapter = nullptr;

namespace {

constexpr const char* kSection = "Form";
constexpr std::uint8_t kLogBlockReplyLength = 130;
constexpr std::size_t kLogStatusByte = 132;
constexpr std::uint8_t kStatusLogging = 0x01;
constexpr std::uint8_t kStatusCancelled = 0x04;
constexpr std::size_t kLogControlReplyLength = 4;
constexpr int kTriggerPollMilliseconds = 1000;
constexpr const char* kSaveLogCaption = "SAVE LOG";
constexpr const char* kSavingCaption = "Saving...";

void show_error(const char* text)
{
    quillon::show_message({text, "Error!", quillon::MessageIcon::Error});
}

QString hex_byte(std::uint8_t byte)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte);
    return QString::fromLatin1(text);
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
    MainForm = this;

    for (int byte = 0; byte < 32; ++byte) {
        const QString number = QString::asprintf("%02d", byte);
        received_[byte] = findChild<QLineEdit*>("edtRcvByte" + number);
        sent_[byte] = findChild<QLineEdit*>("edtSndByte" + number);
    }
    upper_half_labels_ = {ui_->lblRxByte16, ui_->lblRxByte31, ui_->lblTxByte16, ui_->lblTxByte31};
    ui_->cbxDataSelect->setCurrentIndex(-1);
    ui_->cbxDataSelect->setEditText(QString());

    mode_group_.addButton(ui_->rbnMode16, 0);
    mode_group_.addButton(ui_->rbnMode32, 1);
    connect(&mode_group_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) {
            quillon::run_guarded([this] { rgpModeSelectClick(); });
        }
    });
    OnClick(ui_->btnStatusCheck, &TMainForm::btnStatusCheckClick);
    OnClick(ui_->btnLogStart, &TMainForm::btnLogStartClick);
    OnClick(ui_->btnLogSave, &TMainForm::btnLogSaveClick);
    ChkTrigDtctTmr.setInterval(kTriggerPollMilliseconds);
    connect(&ChkTrigDtctTmr, &QTimer::timeout, this,
            [this] { quillon::run_guarded([this] { ChkTrigDtctTmrTimer(); }); });
    // Runs once for every change of the box, however it comes: a click, the
    // keyboard, or a screen reader's "Toggle", which clicks nothing.
    connect(ui_->cbxStopCondition, &QAbstractButton::toggled, this,
            [this] { quillon::run_guarded([this] { cbxStopConditionClick(); }); });
    connect(ui_->mnuConfiguration, &QAction::triggered, this,
            [this] { quillon::run_guarded([this] { mnuConfigurationClick(); }); });
    connect(ui_->Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
    connect(ui_->mnuViewLogData, &QAction::triggered, this,
            [this] { quillon::run_guarded([this] { mnuViewLogDataClick(); }); });
}

TMainForm::~TMainForm()
{
    if (MainForm == this) {
        MainForm = nullptr;
        SerialAdapter = nullptr;
        UsbAdapter = nullptr;
    }
}

void TMainForm::OnClick(QAbstractButton* button, void (TMainForm::*handler)())
{
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { quillon::run_guarded([this, handler] { (this->*handler)(); }); });
}

bool TMainForm::StartUp()
{
    LastSaveFileName.clear();
    AutoSaveText.clear();
    serial_ = std::make_unique<quillon::TCommAdapter>();
    usb_ = std::make_unique<quillon::TCommAdapterUSB>();
    SerialAdapter = serial_.get();
    UsbAdapter = usb_.get();
    if (!serial_->LoadDriver()) {
        show_error("TARNLINK.DLL is not found.");
        serial_.reset();
        SerialAdapter = nullptr;
        return false;
    }
    if (!usb_->LoadDriver()) {
        show_error("Halvex.DLL is not found.");
        usb_.reset();
        UsbAdapter = nullptr;
        return false;
    }
    ReadSettings();
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
    const quillon::IniFile settings(settings_path_);
    ComPort = settings.read_string(kSection, "ComPort", "COM1");
    BaudRate = settings.read_integer(kSection, "BaudRate", 9600);
    UsbMode = settings.read_integer(kSection, "USB MODE", 1);
    LogSaveCondition = settings.read_integer(kSection, "AUTO SAVE", 0);
    const std::int32_t mode = settings.read_integer(kSection, "TYPE SELECT", 0);
    SetLogModeIndex(mode < 0 ? -1 : std::min(mode, 1));
}

void TMainForm::ConnectSelected()
{
    if (UsbMode != 0) {
        ui_->btnStatusCheck->setEnabled(usb_->Connect());
        return;
    }
    const bool opened = serial_->OpenPort(ComPort);
    if (!opened) {
        show_error("Can't open COM port!");
    }
    ui_->btnStatusCheck->setEnabled(opened);
}

bool TMainForm::SendCommand(std::uint32_t command_word, std::span<const std::uint8_t> params,
                            std::span<std::uint8_t> response)
{
    if (UsbMode != 0) {
        return usb_->SendCommand(command_word, 0, params, response);
    }
    return serial_->SendCommand(command_word, params, response);
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
    const bool wide = IsWideMode();
    std::array<std::uint8_t, kParameterBufferSize> params{};
    std::array<std::uint8_t, kResponseBufferSize> response{};

    if (!SendCommand(command_word::kConnectionTest, params, response)) {
        quillon::show_cant_talk();
        return;
    }
    params[0] = 0x00;  // block 0: the log status read
    if (!SendCommand(command_word::kLogBlockRead, params, response)) {
        quillon::show_cant_talk();
        return;
    }
    if (response[0] != kLogBlockReplyLength) {
        show_error("This Amplifier doesn't support Log function!");
        return;
    }
    ShowLogStatus(response[kLogStatusByte]);

    const int width = wide ? 32 : 16;
    const std::uint8_t expected = static_cast<std::uint8_t>(2 * width + 2);
    if (!SendCommand(wide ? command_word::kReadComData32 : command_word::kReadComData, params, response)) {
        quillon::show_cant_talk();
        clear_com_data();
        return;
    }
    if (response[0] != expected) {
        show_error(wide ? "This Amplifier doesn't support this command(MOT_READ_COM_DATA_32)!"
                        : "This Amplifier doesn't support this command(MOT_READ_COM_DATA)!");
        clear_com_data();
        return;
    }
    for (int byte = 0; byte < width; ++byte) {
        received_[byte]->setText(hex_byte(response[3 + byte]));
        sent_[byte]->setText(hex_byte(response[3 + width + byte]));
    }
    ui_->edtComPhase->setText(hex_byte(response[3 + 2 * width]));
    ui_->mnuLog->setEnabled(true);
}

void TMainForm::ShowLogStatus(std::uint8_t status)
{
    if ((status & kStatusLogging) != 0) {
        ShowLogging();
    } else if ((status & kStatusCancelled) != 0) {
        ShowCancelled();
    } else {
        ui_->edtComStatus->setText("IDLE");
        EnableIdleControls();
    }
}

void TMainForm::ShowLogging()
{
    disable_condition();
    ui_->edtComStatus->setText("Logging");
    ui_->btnLogStart->setText("STOP");
    ui_->btnLogStart->setEnabled(true);
    ui_->btnLogSave->setEnabled(false);
    ui_->cbxStopCondition->setEnabled(false);
}

void TMainForm::ShowCancelled()
{
    // The condition can be edited for the next START whether or not it is
    // armed.
    enable_condition();
    ui_->edtComStatus->setText("Cancel");
    ui_->btnLogStart->setText("START");
    ui_->btnLogStart->setEnabled(true);
    ui_->btnLogSave->setEnabled(false);
    ui_->cbxStopCondition->setEnabled(true);
}

void TMainForm::EnableIdleControls()
{
    ui_->btnLogStart->setText("START");
    ui_->btnLogStart->setEnabled(true);
    ui_->btnLogSave->setEnabled(true);
    ui_->cbxStopCondition->setEnabled(true);
    cbxStopConditionClick();
}

void TMainForm::btnLogStartClick()
{
    std::array<std::uint8_t, kParameterBufferSize> params{};
    std::array<std::uint8_t, kResponseBufferSize> response{};
    if (ui_->btnLogStart->text() != "START") {
        // STOP: eight zero bytes; the timer stops after the check.
        if (!SendCommand(command_word::kLogControl, params, response)) {
            quillon::show_cant_talk();
            return;
        }
        btnStatusCheckClick();
        ChkTrigDtctTmr.stop();
        return;
    }
    params[1] = quillon::kNoStopCondition;
    if (ui_->cbxStopCondition->isChecked()) {
        const int count_limit = IsWideMode() ? 127 : 255;
        const auto read = [](const QString& text) {
            return quillon::integer_from_text(text.toStdString());
        };
        const auto byte = static_cast<std::uint8_t>(read(ui_->cbxDataSelect->currentText()));
        params[1] = ui_->rbnRcvEn->isChecked() ? byte
                                               : static_cast<std::uint8_t>(byte + SendOffset());
        const std::int32_t mask = read(ui_->edtMaskData->text());
        if (mask < 0 || mask > 255) {
            show_error("Mask data is out of range(0-255)!");
            return;
        }
        const std::int32_t value = read(ui_->edtConditionData->text());
        if (value < 0 || value > 255) {
            show_error("Condition data is out of range(0-255)!");
            return;
        }
        const std::int32_t count = read(ui_->edtLogStartCounter->text());
        if (count < 0 || count > count_limit) {
            show_error("Count data is out of range!");
            return;
        }
        params[2] = static_cast<std::uint8_t>(mask);
        params[3] = static_cast<std::uint8_t>(value);
        params[4] = static_cast<std::uint8_t>(count);
        // Armed before the command goes out, and left running if it fails.
        ChkTrigDtctTmr.start();
    }
    params[0] = 1;
    if (!SendCommand(command_word::kLogControl, params, response)) {
        quillon::show_cant_talk();
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

std::optional<quillon::LogReadFailure> TMainForm::ReadLog(std::vector<std::string>& lines)
{
    std::array<std::uint8_t, kParameterBufferSize> params{};
    std::array<std::uint8_t, kResponseBufferSize> response{};
    ShowReadProgress(0);
    // A reply too short to hold the stop condition is no good reply: no
    // file may hold bytes that the amplifier did not send.
    if (!SendCommand(command_word::kLogControl, params, response) ||
        response[0] < kLogControlReplyLength) {
        ShowReadProgress(ui_->prgLogRead->maximum());
        quillon::show_cant_talk();
        return quillon::LogReadFailure::Exchange;
    }
    lines.push_back(quillon::stop_condition_line(response[3], response[4], response[5],
                                                 response[6], SendOffset()));
    lines.emplace_back();
    ShowReadProgress(1);
    const auto failure = quillon::read_log_blocks(
        [this](std::uint32_t word, std::span<const std::uint8_t> p, std::span<std::uint8_t> r) {
            return SendCommand(word, p, r);
        },
        [&lines](std::span<const std::uint8_t, 32> record) {
            lines.push_back(quillon::record_line(record));
        },
        [this](int block) { ShowReadProgress(2 + block); });
    if (failure) {
        ShowReadProgress(ui_->prgLogRead->maximum());
    }
    return failure;
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
        ui_->btnLogSave->setText(kSaveLogCaption);
        return;
    }
    ui_->btnLogSave->setText(kSavingCaption);
    std::vector<std::string> lines{quillon::date_time_line(quillon::local_now())};
    const auto failure = ReadLog(lines);
    for (const auto& line : lines) {
        ui_->LogSaveMemo->appendPlainText(QString::fromLocal8Bit(line.c_str()));
    }
    if (failure) {
        if (*failure == quillon::LogReadFailure::LogStatus) {
            btnStatusCheckClick();
        }
        ui_->btnLogSave->setText(kSaveLogCaption);
        return;
    }
    if (!WriteLogFile(*file, quillon::crlf_text(lines))) {
        ui_->btnLogSave->setText(kSaveLogCaption);
        return;
    }
    LastSaveFileName = file->toStdString();
    quillon::show_message({"Finish Saving Log.", "Complete!", quillon::MessageIcon::Information});
    ui_->btnLogSave->setText(kSaveLogCaption);
}

void TMainForm::ChkTrigDtctTmrTimer()
{
    std::array<std::uint8_t, kParameterBufferSize> params{};
    std::array<std::uint8_t, kResponseBufferSize> response{};
    if (!SendCommand(command_word::kLogBlockRead, params, response)) {
        ChkTrigDtctTmr.stop();
        quillon::show_cant_talk();
        ui_->btnLogStart->setText("START");
        return;
    }
    if (response[0] != kLogBlockReplyLength) {
        ChkTrigDtctTmr.stop();
        show_error("This Amplifier doesn't support Log function!");
        ui_->btnLogStart->setText("START");
        return;
    }
    const std::uint8_t status = response[kLogStatusByte];
    if ((status & kStatusLogging) != 0) {
        ShowLogging();
        return;
    }
    if ((status & kStatusCancelled) != 0) {
        ShowCancelled();
        return;
    }
    // Logging has ended by itself: the trigger.
    ChkTrigDtctTmr.stop();
    if (LogSaveCondition == 0 && !SaveLogAutomatically()) {
        return;
    }
    ui_->btnLogSave->setText(kSaveLogCaption);
    EnableIdleControls();
}

bool TMainForm::SaveLogAutomatically()
{
    ui_->btnLogStart->setEnabled(false);
    ui_->edtComStatus->setText("IDLE");
    ui_->btnLogSave->setText(kSavingCaption);
    std::vector<std::string> lines{quillon::date_time_line(quillon::local_now())};
    const auto failure = ReadLog(lines);
    AutoSaveText = quillon::crlf_text(lines);
    if (failure) {
        ui_->btnLogSave->setText(kSaveLogCaption);
        ui_->btnLogStart->setText("START");
        if (*failure == quillon::LogReadFailure::LogStatus) {
            btnStatusCheckClick();
        }
        return false;
    }
    // The name takes the time after the read; line 1 took it before.
    const QString name = "Autolog_" + quillon::local_now().toString("yyyyMMddhhmmss") + ".txt";
    bool saved = false;
    if (const auto path = AutoSavePath(name)) {
        saved = WriteLogFile(*path, AutoSaveText);
    }
    // The folder cannot be made, or the file cannot be written there: the
    // user picks a place, or is told that the log stays in the amplifier.
    if (!saved) {
        if (const auto chosen = quillon::run_save_dialog(quillon::log_text_save_request(name))) {
            saved = WriteLogFile(*chosen, AutoSaveText);
        }
    }
    if (!saved) {
        quillon::show_message({"Not saved Log.", "Error!", quillon::MessageIcon::Information});
    }
    AutoSaveText.clear();
    return true;
}

std::optional<QString> TMainForm::AutoSavePath(const QString& file_name) const
{
    const QString documents = quillon::documents_folder();
    if (documents.isEmpty()) {
        return std::nullopt;
    }
    const QString maker = documents + "/Orvitek Corporation";
    const QString folder = maker + "/Quillon";
    const bool made = QDir(maker).exists() ? (QDir(folder).exists() || QDir().mkdir(folder))
                                           : QDir().mkpath(folder);
    if (!made) {
        return std::nullopt;
    }
    return folder + "/" + file_name;
}

void TMainForm::rgpModeSelectClick()
{
    const bool wide = IsWideMode();
    // Boxes 16-31 are greyed in 16-byte mode but keep their texts.
    const QString background =
        wide ? "QLineEdit { background-color: palette(base); }"
             : "QLineEdit { background-color: palette(button); }";
    for (int byte = 16; byte < 32; ++byte) {
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
    const int width = IsWideMode() ? 32 : 16;
    for (int byte = 0; byte < width; ++byte) {
        received_[byte]->setText("--");
        sent_[byte]->setText("--");
    }
}

std::array<QWidget*, 6> TMainForm::condition_controls() const
{
    return {ui_->rbnRcvEn, ui_->rbnSendEn, ui_->cbxDataSelect, ui_->edtMaskData,
            ui_->edtConditionData, ui_->edtLogStartCounter};
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
    disable_condition();
    ui_->btnLogStart->setEnabled(false);
    ui_->btnLogSave->setEnabled(false);
    ui_->cbxStopCondition->setEnabled(false);
    ui_->edtComStatus->setText(QString());
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

void TMainForm::Exit1Click()
{
    close();
}

void TMainForm::FormClose()
{
    try {
        quillon::IniFile settings(settings_path_);
        settings.write_integer(kSection, "BaudRate", BaudRate);
        settings.write_string(kSection, "ComPort", ComPort);
        settings.write_integer(kSection, "USB MODE", UsbMode);
        settings.write_integer(kSection, "AUTO SAVE", LogSaveCondition);
        settings.write_integer(kSection, "TYPE SELECT", LogModeIndex());
        settings.save();
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
