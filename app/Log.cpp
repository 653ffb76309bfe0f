#include "Log.h"

#include "Configuration.h"
#include "IntegerText.h"
#include "Messages.h"
#include "RadioGroup.h"
#include "Seams.h"
#include "ui_Log.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineEdit>

#include <cstdio>

TMainForm* MainForm = nullptr;
quillon::TCommAdapter* SerialAdapter = nullptr;
quillon::TCommAdapterUSB* UsbAdapter = nullptr;

namespace {

constexpr const char* kSection = "Form";
constexpr const char* kCantTalk = "Can't talk with Amplifier.";
constexpr std::uint8_t kLogBlockReplyLength = 130;
constexpr std::size_t kLogStatusByte = 132;
constexpr std::uint8_t kStatusLogging = 0x01;
constexpr std::uint8_t kStatusCancelled = 0x04;

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
    OnClick(ui_->cbxStopCondition, &TMainForm::cbxStopConditionClick);
    connect(ui_->mnuConfiguration, &QAction::triggered, this,
            [this] { quillon::run_guarded([this] { mnuConfigurationClick(); }); });
    connect(ui_->Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
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

bool TMainForm::Send(std::uint32_t command_word, std::span<const std::uint8_t> params,
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

    if (!Send(command_word::kConnectionTest, params, response)) {
        show_error(kCantTalk);
        return;
    }
    params[0] = 0x00;  // block 0: the log status read
    if (!Send(command_word::kLogBlockRead, params, response)) {
        show_error(kCantTalk);
        return;
    }
    if (response[0] != kLogBlockReplyLength) {
        show_error("This Amplifier doesn't support Log function!");
        return;
    }
    ShowLogStatus(response[kLogStatusByte]);

    const int width = wide ? 32 : 16;
    const std::uint8_t expected = static_cast<std::uint8_t>(2 * width + 2);
    if (!Send(wide ? command_word::kReadComData32 : command_word::kReadComData, params, response)) {
        show_error(kCantTalk);
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
        ui_->edtComStatus->setText("Logging");
        ui_->btnLogStart->setText("STOP");
        ui_->btnLogStart->setEnabled(true);
        ui_->btnLogSave->setEnabled(false);
        ui_->cbxStopCondition->setEnabled(false);
        disable_condition();
    } else if ((status & kStatusCancelled) != 0) {
        ui_->edtComStatus->setText("Cancel");
        ui_->btnLogStart->setText("START");
        ui_->btnLogStart->setEnabled(true);
        ui_->btnLogSave->setEnabled(false);
        ui_->cbxStopCondition->setEnabled(true);
        enable_condition();
    } else {
        ui_->edtComStatus->setText("IDLE");
        ui_->btnLogStart->setText("START");
        ui_->btnLogStart->setEnabled(true);
        ui_->btnLogSave->setEnabled(true);
        ui_->cbxStopCondition->setEnabled(true);
        if (ui_->cbxStopCondition->isChecked()) {
            enable_condition();
        } else {
            disable_condition();
        }
    }
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

void TMainForm::Exit1Click()
{
    close();
}

void TMainForm::FormClose()
{
    quillon::IniFile settings(settings_path_);
    settings.write_integer(kSection, "BaudRate", BaudRate);
    settings.write_string(kSection, "ComPort", ComPort);
    settings.write_integer(kSection, "USB MODE", UsbMode);
    settings.write_integer(kSection, "AUTO SAVE", LogSaveCondition);
    settings.write_integer(kSection, "TYPE SELECT", LogModeIndex());
    try {
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
