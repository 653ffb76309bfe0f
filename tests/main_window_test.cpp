// The main window: start-up, the settings file, the status check, the mode
// switch and the configuration menu, against the simulated amplifier over
// the pseudo-terminal (COM1) and over USB.
#include "IntegerText.h"
#include "Language.h"
#include "MainWindowFixture.h"
#include "MenuKeys.h"
#include "PortPath.h"
#include "ui_Configuration.h"
#include "ui_Log.h"

#include <QAccessible>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <memory>
#include <optional>
#include <sstream>

#include <sys/stat.h>
#include <termios.h>

namespace {

using quillon::Message;
using quillon::MessageIcon;
using quillon::TCommAdapterUSB;
using testsupport::MainWindowTest;
using Bytes = std::vector<std::uint8_t>;

const Message kCantTalk{"Can't talk with Amplifier.", "Error!", MessageIcon::Error};
const Message kNoLog{"This Amplifier doesn't support Log function!", "Error!", MessageIcon::Error};
const Message kNoComData{"This Amplifier doesn't support this command(MOT_READ_COM_DATA)!",
                         "Error!", MessageIcon::Error};
const Message kNoComData32{"This Amplifier doesn't support this command(MOT_READ_COM_DATA_32)!",
                           "Error!", MessageIcon::Error};
const Message kCantOpen{"Can't open COM port!", "Error!", MessageIcon::Error};
const Message kUsbConnectFailed{"Can't connect in USB mode. ", "Error", MessageIcon::Error};

Message not_an_integer(const std::string& text)
{
    return {"'" + text + "' is not a valid integer value.", "Quillon", MessageIcon::Error};
}

constexpr const char* kSerialSettings = "[Form]\r\nUSB MODE=0\r\nComPort=COM1\r\n";

// Byte i of a reply's data.
std::uint8_t data_byte(const ampsim::Reply& reply, int i)
{
    return reply.data[static_cast<std::size_t>(i)];
}

QString hex(int byte)
{
    return QString::asprintf("%02X", static_cast<unsigned>(byte));
}

// The log control command as the amplifier receives it: start (1) or stop
// (0), no stop condition.
void log_control(ampsim::AmplifierModel& model, bool start)
{
    const std::uint8_t command[] = {
        8, 0, 0xEA, start ? std::uint8_t{1} : std::uint8_t{0}, 0xFF, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(model.execute(command));
}

// The command bytes of the exchanges a peer or endpoint received, with the
// parameter byte of a log block read: what the status check asked for.
std::vector<std::string> requests(const std::vector<Bytes>& commands)
{
    std::vector<std::string> out;
    for (const Bytes& command : commands) {
        std::string text = hex(command.at(2)).toStdString();
        for (std::size_t i = 0; i < command.at(0); ++i) {
            text += " " + hex(command.at(3 + i)).toStdString();
        }
        out.push_back(text);
    }
    return out;
}

const std::vector<std::string> kCheck16{"00", "FA 00", "AF"};
const std::vector<std::string> kCheck32{"00", "FA 00", "DF"};

// The bit rate the port is set to, as the line's own settings say.
speed_t line_speed(const ampsim::PtyEndpoint& endpoint)
{
    termios settings{};
    if (::tcgetattr(endpoint.held_slave_fd(), &settings) != 0) {
        return B0;
    }
    return ::cfgetospeed(&settings);
}

// Everything the status check may change on screen, one line each, so that a
// failed comparison names what changed.
std::vector<std::string> screen(TMainForm& window)
{
    auto& ui = window.controls();
    std::vector<std::string> out;
    const auto state = [&out](const std::string& name, const QWidget* widget) {
        out.push_back(name + (widget->isEnabled() ? " enabled" : " disabled"));
    };
    out.push_back("Status=" + ui.edtComStatus->text().toStdString());
    out.push_back("Phase=" + ui.edtComPhase->text().toStdString());
    for (int byte = 0; byte < 32; ++byte) {
        out.push_back("RX" + std::to_string(byte) + "=" +
                      window.ReceivedBox(byte)->text().toStdString());
        out.push_back("TX" + std::to_string(byte) + "=" +
                      window.SentBox(byte)->text().toStdString());
    }
    out.push_back("btnLogStart=" + ui.btnLogStart->text().toStdString());
    state("btnLogStart", ui.btnLogStart);
    state("btnLogSave", ui.btnLogSave);
    state("btnStatusCheck", ui.btnStatusCheck);
    state("cbxStopCondition", ui.cbxStopCondition);
    out.push_back(std::string("cbxStopCondition ") +
                  (ui.cbxStopCondition->isChecked() ? "checked" : "unchecked"));
    state("rbnRcvEn", ui.rbnRcvEn);
    state("rbnSendEn", ui.rbnSendEn);
    state("cbxDataSelect", ui.cbxDataSelect);
    state("edtMaskData", ui.edtMaskData);
    state("edtConditionData", ui.edtConditionData);
    state("edtLogStartCounter", ui.edtLogStartCounter);
    state("mnuLog", ui.mnuLog);
    return out;
}

// The six stop-condition inputs, each true when enabled.
std::vector<bool> condition_inputs(TMainForm& window)
{
    auto& ui = window.controls();
    return {ui.rbnRcvEn->isEnabled(),         ui.rbnSendEn->isEnabled(),
            ui.cbxDataSelect->isEnabled(),    ui.edtMaskData->isEnabled(),
            ui.edtConditionData->isEnabled(), ui.edtLogStartCounter->isEnabled()};
}

const std::vector<bool> kAllEnabled(6, true);
const std::vector<bool> kAllDisabled(6, false);

// Sets every communication box to a text no check writes.
void mark_boxes(TMainForm& window, int from, int to, const QString& mark)
{
    for (int byte = from; byte < to; ++byte) {
        window.ReceivedBox(byte)->setText(mark);
        window.SentBox(byte)->setText(mark);
    }
}

// Counts the boxes in [from, to) of both rows that show text.
int boxes_showing(TMainForm& window, int from, int to, const QString& text)
{
    int count = 0;
    for (int byte = from; byte < to; ++byte) {
        count += window.ReceivedBox(byte)->text() == text;
        count += window.SentBox(byte)->text() == text;
    }
    return count;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string lower(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Runs action inside the application's event loop and returns the loop's
// exit code; 99 when nothing ended the loop within a few seconds.
int exit_code_of(const std::function<void()>& action)
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(5000);
    QTimer::singleShot(0, action);
    return QCoreApplication::exec();
}

// An amplifier whose replies the test sets: the log status byte, the number
// of data bytes of each reply, and communication data counting up from 0.
struct ScriptedAmplifier {
    std::atomic<std::uint8_t> log_status{0};
    std::atomic<std::size_t> log_length{130};
    std::atomic<std::size_t> com_data_length{34};
    std::atomic<std::size_t> com_data_32_length{66};

    ampsim::Reply answer(std::span<const std::uint8_t> command) const
    {
        Bytes data;
        switch (command[2]) {
        case 0xFA:
            data.assign(log_length, 0x00);
            if (data.size() > 129) {
                data[129] = log_status;
            }
            break;
        case 0xAF: data = counting(com_data_length); break;
        case 0xDF: data = counting(com_data_32_length); break;
        default: break;
        }
        return ampsim::Reply::to(command, std::move(data));
    }

    static Bytes counting(std::size_t count)
    {
        Bytes data(count);
        for (std::size_t i = 0; i < count; ++i) {
            data[i] = static_cast<std::uint8_t>(i);
        }
        return data;
    }
};

class ScriptedTest : public MainWindowTest {
protected:
    // Shared with the peer's thread, which may outlive this object's members.
    std::shared_ptr<ScriptedAmplifier> scripted = std::make_shared<ScriptedAmplifier>();

    void script_serial()
    {
        peer->set_responder(
            [scripted =
                 scripted](std::span<const std::uint8_t> block) -> std::optional<ampsim::Reply> {
                return scripted->answer(block);
            });
    }

    void script_usb()
    {
        serve_usb_with(
            [scripted = scripted](std::span<const std::uint8_t> command) -> std::optional<Bytes> {
                return scripted->answer(command).framed();
            });
    }
};

// ---------------------------------------------------------------- start-up

TEST_F(MainWindowTest, StartsInUsbModeWithoutSettingsAndWritesThemAtClose)
{
    ASSERT_TRUE(start());
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(window->UsbMode, 1);
    EXPECT_EQ(window->ComPort, "COM1");
    EXPECT_EQ(window->BaudRate, 9600);
    EXPECT_EQ(window->LogSaveCondition, 0);
    EXPECT_EQ(window->LogModeIndex(), 0);
    EXPECT_TRUE(window->controls().rbnMode16->isChecked());
    // USB connected, the serial port left alone, its baud rate set anyway.
    EXPECT_EQ(TCommAdapterUSB::Connections().size(), 1u);
    EXPECT_NE(TCommAdapterUSB::CurrentConnectionId(), 0);
    EXPECT_FALSE(window->serial_adapter().IsOpen());
    EXPECT_FALSE(port_is_held(line->slave_path()));
    EXPECT_EQ(window->serial_adapter().BaudRate(), 9600);
    EXPECT_TRUE(window->controls().btnStatusCheck->isEnabled());
    // Nothing is sent before the first "Check!".
    EXPECT_TRUE(usb->commands().empty());
    EXPECT_TRUE(peer->commands().empty());

    window->FormClose();
    EXPECT_EQ(settings_text(),
              "[Form]\r\nBaudRate=9600\r\nComPort=COM1\r\nUSB MODE=1\r\nAUTO SAVE=0\r\n"
              "TYPE SELECT=0\r\n");
}

TEST_F(MainWindowTest, TheWindowIsCentredOnTheScreenWhenFirstShown)
{
    ASSERT_TRUE(start());
    window->show();
    const QPoint offset =
        window->frameGeometry().center() - window->screen()->availableGeometry().center();
    // Off by no more than the frame, which no window knows before it shows.
    const QSize frame = window->frameGeometry().size() - window->size();
    EXPECT_LE(std::abs(offset.x()), frame.width()) << offset.x();
    EXPECT_LE(std::abs(offset.y()), frame.height()) << offset.y();
    window->hide();
}

TEST_F(MainWindowTest, AfterStartUpTheLoggingControlsAreLockedAndTheUpperHalfGreyed)
{
    ASSERT_TRUE(start());
    auto& ui = window->controls();
    EXPECT_EQ(ui.edtComStatus->text(), "");
    EXPECT_EQ(ui.edtComPhase->text(), "");
    EXPECT_EQ(boxes_showing(*window, 0, 32, "--"), 64);
    EXPECT_EQ(ui.btnLogStart->text(), "START");
    EXPECT_FALSE(ui.btnLogStart->isEnabled());
    EXPECT_FALSE(ui.btnLogSave->isEnabled());
    EXPECT_FALSE(ui.cbxStopCondition->isEnabled());
    EXPECT_EQ(condition_inputs(*window), kAllDisabled);
    EXPECT_FALSE(ui.mnuLog->isEnabled());
    // The mode handler ran for the stored 16-byte mode: the upper half greyed.
    for (int byte = 16; byte < 32; ++byte) {
        EXPECT_FALSE(window->ReceivedBox(byte)->isEnabled()) << byte;
        EXPECT_FALSE(window->SentBox(byte)->isEnabled()) << byte;
    }
    EXPECT_FALSE(ui.lblRxByte16->isEnabled());
    EXPECT_FALSE(ui.lblTxByte31->isEnabled());
}

TEST_F(MainWindowTest, ExitAndTheCloseBoxWriteTheSameSettingsAsFormClose)
{
    const auto change_settings = [this] {
        window->ComPort = "COM7";
        window->BaudRate = 38400;
        window->UsbMode = 0;
        window->LogSaveCondition = 1;
        window->controls().rbnMode32->click();
    };
    ASSERT_TRUE(start());
    change_settings();
    window->FormClose();
    const std::string by_form_close = settings_text();
    EXPECT_EQ(by_form_close,
              "[Form]\r\nBaudRate=38400\r\nComPort=COM7\r\nUSB MODE=0\r\nAUTO SAVE=1\r\n"
              "TYPE SELECT=1\r\n");

    std::filesystem::remove(settings_path);
    ASSERT_TRUE(start());
    change_settings();
    window->controls().Exit1->trigger();
    EXPECT_EQ(settings_text(), by_form_close);

    std::filesystem::remove(settings_path);
    ASSERT_TRUE(start());
    change_settings();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(settings_text(), by_form_close);
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(MainWindowTest, ClosingEndsTheProgramWithStatusZero)
{
    ASSERT_TRUE(start());
    EXPECT_EQ(exit_code_of([this] { window->controls().Exit1->trigger(); }), 0);
    EXPECT_FALSE(settings_text().empty());
}

TEST_F(MainWindowTest, HexadecimalSettingsAreReadAsNumbers)
{
    write_settings(
        "[Form]\nBaudRate=0x2580\nUSB MODE=0X0\nComPort=COM1\nAUTO SAVE=$1\nTYPE SELECT=0x1\n");
    ASSERT_TRUE(start());
    EXPECT_EQ(window->BaudRate, 9600);
    EXPECT_EQ(window->UsbMode, 0);
    EXPECT_EQ(window->LogSaveCondition, 1);
    EXPECT_EQ(window->LogModeIndex(), 1);
    EXPECT_TRUE(window->serial_adapter().IsOpen());

    // A value other than the default shows that it was read, not defaulted;
    // the serial adapter takes it in USB mode as well. Any mode but 0 is USB.
    write_settings("[Form]\r\nBaudRate=0x4B00\r\nUSB MODE=$2\r\n");
    ASSERT_TRUE(start());
    EXPECT_EQ(window->BaudRate, 19200);
    EXPECT_EQ(window->serial_adapter().BaudRate(), 19200);
    EXPECT_EQ(window->UsbMode, 2);
    EXPECT_EQ(TCommAdapterUSB::Connections().size(), 1u);
    EXPECT_FALSE(window->serial_adapter().IsOpen());
    EXPECT_TRUE(messages.shown().empty());
    window->FormClose();
    EXPECT_NE(settings_text().find("USB MODE=2\r\n"), std::string::npos);
}

TEST_F(MainWindowTest, SettingsThatAreNoNumbersReadAsTheirDefaults)
{
    // Each begins like a number, so that a reader that stops at the first
    // non-digit would take it.
    write_settings(
        "[Form]\r\nBaudRate=19200baud\r\nUSB MODE=0 (serial)\r\nAUTO SAVE=1x\r\n"
        "TYPE SELECT=1st\r\nComPort=COM1\r\n");
    ASSERT_TRUE(start());
    EXPECT_EQ(window->BaudRate, 9600);
    EXPECT_EQ(window->serial_adapter().BaudRate(), 9600);
    EXPECT_EQ(window->UsbMode, 1);
    EXPECT_EQ(window->LogSaveCondition, 0);
    EXPECT_EQ(window->LogModeIndex(), 0);
    EXPECT_FALSE(window->serial_adapter().IsOpen());
    EXPECT_TRUE(messages.shown().empty());

    write_settings("[Form]\r\nBaudRate=\r\nUSB MODE=\r\nAUTO SAVE=\r\nTYPE SELECT=\r\n");
    ASSERT_TRUE(start());
    EXPECT_EQ(window->BaudRate, 9600);
    EXPECT_EQ(window->UsbMode, 1);
    EXPECT_EQ(window->LogSaveCondition, 0);
    EXPECT_EQ(window->LogModeIndex(), 0);
}

TEST_F(MainWindowTest, TypeSelectOneOrMoreSelectsThirtyTwoByteModeAndRunsTheModeHandlerOnce)
{
    for (const char* value : {"1", "7"}) {
        SCOPED_TRACE(value);
        write_settings(std::string("[Form]\r\nTYPE SELECT=") + value + "\r\n");
        // Selections as they happen, counted from before StartUp().
        int selected32 = 0;
        int selected16 = 0;
        ASSERT_TRUE(start([&](TMainForm& built) {
            QObject::connect(built.controls().rbnMode32, &QRadioButton::toggled,
                             [&](bool on) { selected32 += on; });
            QObject::connect(built.controls().rbnMode16, &QRadioButton::toggled,
                             [&](bool on) { selected16 += on; });
            // Greyed by hand, so that only the mode handler can enable them.
            for (int byte = 16; byte < 32; ++byte) {
                built.ReceivedBox(byte)->setEnabled(false);
                built.SentBox(byte)->setEnabled(false);
            }
            built.controls().lblRxByte16->setEnabled(false);
        }));
        EXPECT_EQ(window->LogModeIndex(), 1);
        EXPECT_TRUE(window->controls().rbnMode32->isChecked());
        EXPECT_FALSE(window->controls().rbnMode16->isChecked());
        EXPECT_EQ(selected32, 1);
        EXPECT_EQ(selected16, 0);
        for (int byte = 16; byte < 32; ++byte) {
            EXPECT_TRUE(window->ReceivedBox(byte)->isEnabled()) << byte;
            EXPECT_TRUE(window->SentBox(byte)->isEnabled()) << byte;
        }
        EXPECT_TRUE(window->controls().lblRxByte16->isEnabled());
        window->FormClose();
        EXPECT_NE(settings_text().find("TYPE SELECT=1\r\n"), std::string::npos);
    }
}

TEST_F(MainWindowTest, NegativeTypeSelectLeavesNoModeAndTheCheckUsesThirtyTwoBytes)
{
    for (const char* value : {"-1", "-7"}) {
        SCOPED_TRACE(value);
        write_settings(std::string(kSerialSettings) + "TYPE SELECT=" + value + "\r\n");
        peer->clear_records();
        ASSERT_TRUE(start([](TMainForm& built) {
            // Greyed by hand: with no mode selected no handler runs to undo it.
            built.ReceivedBox(20)->setEnabled(false);
        }));
        EXPECT_EQ(window->LogModeIndex(), -1);
        EXPECT_FALSE(window->controls().rbnMode16->isChecked());
        EXPECT_FALSE(window->controls().rbnMode32->isChecked());
        EXPECT_FALSE(window->ReceivedBox(20)->isEnabled());

        model->advance(2);
        window->btnStatusCheckClick();
        EXPECT_TRUE(messages.shown().empty());
        EXPECT_EQ(requests(peer->commands()), kCheck32);
        const std::uint8_t read32[] = {0, 0, 0xDF};
        const auto reply = model->execute(read32);
        ASSERT_TRUE(reply);
        for (int byte = 0; byte < 32; ++byte) {
            EXPECT_EQ(window->ReceivedBox(byte)->text(), hex(data_byte(*reply, byte))) << byte;
            EXPECT_EQ(window->SentBox(byte)->text(), hex(data_byte(*reply, 32 + byte))) << byte;
        }
        EXPECT_EQ(window->controls().edtComPhase->text(), hex(reply->data[64]));

        window->FormClose();
        EXPECT_NE(settings_text().find("TYPE SELECT=-1\r\n"), std::string::npos);
    }
}

TEST_F(MainWindowTest, SerialModeOpensTheNamedPortAndTheCheckRunsOverIt)
{
    write_settings("[Form]\r\nUSB MODE=0\r\nComPort=COM1\r\nBaudRate=19200\r\n");
    ASSERT_TRUE(start());
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_TRUE(window->serial_adapter().IsOpen());
    EXPECT_EQ(window->serial_adapter().PortName(), "COM1");
    EXPECT_EQ(window->serial_adapter().BaudRate(), 19200);
    EXPECT_EQ(line_speed(*line), B19200);
    EXPECT_TRUE(port_is_held(line->slave_path()));
    EXPECT_TRUE(TCommAdapterUSB::Connections().empty());
    EXPECT_TRUE(window->controls().btnStatusCheck->isEnabled());
    EXPECT_TRUE(peer->commands().empty());

    // Through the button, as the user clicks it.
    window->controls().btnStatusCheck->click();
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(requests(peer->commands()), kCheck16);
    EXPECT_TRUE(usb->commands().empty());
    EXPECT_EQ(window->controls().edtComStatus->text(), "IDLE");
}

TEST_F(MainWindowTest, APortThatCannotBeOpenedIsReportedAndTheWindowStillStarts)
{
    // COM9 is published as a file that is no terminal; COM17 is beyond the
    // ports there are. The box says why as its details.
    const struct {
        const char* port;
        std::string why;
    } cases[] = {
        {"COM9", "COM9: " + std::filesystem::canonical(tarnlink::port_link_path(9)).string() +
                     ": not a terminal"},
        {"COM17", "COM17 is not one of COM1 to COM16"},
    };
    for (const auto& [port, why] : cases) {
        SCOPED_TRACE(port);
        messages.clear();
        write_settings(std::string("[Form]\r\nUSB MODE=0\r\nComPort=") + port + "\r\n");
        ASSERT_TRUE(start());
        const Message with_cause{kCantOpen.text, kCantOpen.caption, kCantOpen.icon, why};
        EXPECT_EQ(messages.shown(), std::vector<Message>{with_cause});
        EXPECT_FALSE(window->controls().btnStatusCheck->isEnabled());
        EXPECT_FALSE(window->serial_adapter().IsOpen());
        EXPECT_EQ(window->ComPort, port);
    }
}

TEST_F(MainWindowTest, APortNameThatIsNoNumberIsReportedAndTheProgramCarriesOn)
{
    write_settings("[Form]\r\nUSB MODE=0\r\nComPort=COMX\r\n");
    ASSERT_TRUE(start());
    EXPECT_EQ(messages.shown(), std::vector<Message>{not_an_integer("X")});
    EXPECT_FALSE(window->controls().btnStatusCheck->isEnabled());
    EXPECT_FALSE(window->serial_adapter().IsOpen());
    window->FormClose();
    EXPECT_NE(settings_text().find("ComPort=COMX\r\n"), std::string::npos);

    // In USB mode the name does no harm.
    messages.clear();
    write_settings("[Form]\r\nUSB MODE=1\r\nComPort=COMX\r\n");
    ASSERT_TRUE(start());
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_TRUE(window->controls().btnStatusCheck->isEnabled());
}

TEST_F(MainWindowTest, AUsbConnectionThatFailsDisablesCheck)
{
    usb.reset();
    ASSERT_TRUE(start());
    // The adapter reports the failure and its cause; the window adds nothing.
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, kUsbConnectFailed.text);
    EXPECT_TRUE(messages.shown()[0].details.ends_with(
        ": no amplifier there (is ampsim or the driver running?)"))
        << messages.shown()[0].details;
    EXPECT_FALSE(window->controls().btnStatusCheck->isEnabled());
}

// ---------------------------------------------------------- settings file

TEST_F(MainWindowTest, ClosingKeepsTheRestOfAnExistingSettingsFile)
{
    write_settings(
        "; Quillon settings\n"
        "[Other]\n"
        "BaudRate=1\n"
        "[form]\n"
        "baudrate=0x2580\n"
        "; a note\n"
        "Extra=keep me\n"
        "\n"
        "[Tail]\n"
        "X=1\n");
    ASSERT_TRUE(start());
    EXPECT_EQ(window->BaudRate, 9600);
    window->BaudRate = 19200;
    window->ComPort = "COM5";
    window->LogSaveCondition = 1;
    window->controls().rbnMode32->click();
    window->FormClose();

    const std::string text = settings_text();
    const auto lines = lines_of(text);
    ASSERT_EQ(lines.size(), 14u) << text;
    EXPECT_EQ(lines[0], "; Quillon settings");
    EXPECT_EQ(lines[1], "[Other]");
    EXPECT_EQ(lines[2], "BaudRate=1");
    EXPECT_EQ(lines[3], "[form]");
    // The existing key is replaced in its place, however it was spelt.
    EXPECT_EQ(lower(lines[4]), "baudrate=19200");
    EXPECT_EQ(lines[5], "; a note");
    EXPECT_EQ(lines[6], "Extra=keep me");
    // New keys follow the section's last line, ahead of the blank line.
    EXPECT_EQ(lines[7], "ComPort=COM5");
    EXPECT_EQ(lines[8], "USB MODE=1");
    EXPECT_EQ(lines[9], "AUTO SAVE=1");
    EXPECT_EQ(lines[10], "TYPE SELECT=1");
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[12], "[Tail]");
    EXPECT_EQ(lines[13], "X=1");
    // Every line ends in CR LF.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 14);
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 14);
}

TEST_F(MainWindowTest, SettingsThatCannotBeWrittenAreReportedAndTheProgramStillEnds)
{
    const std::string regular_file = testsupport::private_root() + "/a-file";
    std::ofstream(regular_file) << "x";
    for (const std::string& path : {testsupport::private_root() + "/no-such-folder/quillon.INI",
                                    regular_file + "/quillon.INI"}) {
        SCOPED_TRACE(path);
        messages.clear();
        settings_path = path;
        ASSERT_TRUE(start());
        EXPECT_EQ(exit_code_of([this] { window->FormClose(); }), 0);
        ASSERT_EQ(messages.shown().size(), 1u);
        EXPECT_EQ(messages.shown()[0].caption, "Quillon");
        EXPECT_EQ(messages.shown()[0].icon, MessageIcon::Error);
        EXPECT_NE(messages.shown()[0].text.find(path), std::string::npos)
            << messages.shown()[0].text;
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

TEST_F(MainWindowTest, SettingsInTheConfigurationFolderAreSavedThereTheFolderMadeOnTheFirstSave)
{
    // An installed program's settings, in a configuration folder that does
    // not exist yet (the ports of this test stay in the fixture's).
    const std::string config = testsupport::private_root() + "/fresh-config";
    settings_path = config + "/quillon/quillon.INI";
    ASSERT_TRUE(start());
    const std::string fixture_config = std::getenv("XDG_CONFIG_HOME");
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    EXPECT_EQ(exit_code_of([this] { window->FormClose(); }), 0);
    ::setenv("XDG_CONFIG_HOME", fixture_config.c_str(), 1);
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(settings_text(),
              "[Form]\r\nBaudRate=9600\r\nComPort=COM1\r\nUSB MODE=1\r\nAUTO SAVE=0\r\n"
              "TYPE SELECT=0\r\n");
    for (const std::string& folder : {config, config + "/quillon"}) {
        EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all)
            << folder;
    }
}

// A settings file that is no small plain file: read as the defaults,
// silently and at once; at close refused with the error naming it, and left
// as it was.
class OddSettingsFile
    : public MainWindowTest,
      public ::testing::WithParamInterface<std::pair<const char*, std::filesystem::file_type>> {};

TEST_P(OddSettingsFile, ReadsAsDefaultsWithoutWaitingAndIsKeptAtClose)
{
    namespace fs = std::filesystem;
    const std::string big = "[Form]\r\nUSB MODE=0\r\n;" + std::string(1 << 20, '-') + "\r\n";
    const fs::file_type kind = GetParam().second;
    if (kind == fs::file_type::fifo) {
        ASSERT_EQ(::mkfifo(settings_path.c_str(), 0644), 0);
    } else if (kind == fs::file_type::symlink) {
        fs::create_symlink("/dev/zero", settings_path);
    } else {
        write_settings(big);
    }
    ASSERT_TRUE(start());
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(window->UsbMode, 1);
    EXPECT_EQ(exit_code_of([this] { window->FormClose(); }), 0);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_NE(messages.shown()[0].text.find(settings_path), std::string::npos)
        << messages.shown()[0].text;
    EXPECT_EQ(fs::symlink_status(settings_path).type(), kind);
    EXPECT_TRUE(fs::is_character_file("/dev/zero"));
    if (kind == fs::file_type::regular) {
        EXPECT_EQ(settings_text(), big);
    }
}

INSTANTIATE_TEST_SUITE_P(
    SettingsFile, OddSettingsFile,
    ::testing::Values(std::pair{"NamedPipe", std::filesystem::file_type::fifo},
                      std::pair{"LinkToDevZero", std::filesystem::file_type::symlink},
                      std::pair{"OverOneMiB", std::filesystem::file_type::regular}),
    [](const auto& param) { return std::string(param.param.first); });

TEST_F(MainWindowTest, AByteOrderMarkedSettingsFileIsReadAndKeepsItsMark)
{
    const std::string settings =
        "\xEF\xBB\xBF[Form]\r\nUSB MODE=0\r\nComPort=COM1\r\nBaudRate=19200\r\n";
    write_settings(settings);
    ASSERT_TRUE(start());
    EXPECT_EQ(window->UsbMode, 0);
    EXPECT_EQ(window->BaudRate, 19200);
    window->FormClose();
    EXPECT_EQ(settings_text(), settings + "AUTO SAVE=0\r\nTYPE SELECT=0\r\n");
}

TEST_F(MainWindowTest, ASettingsFileKeepsItsLinkPermissionsAndWriteProtection)
{
    namespace fs = std::filesystem;
    const std::string real = testsupport::private_root() + "/real.INI";
    std::ofstream(real, std::ios::binary) << "[Form]\r\nBaudRate=4800\r\n";
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.INI", settings_path);
    ASSERT_TRUE(start());
    EXPECT_EQ(window->BaudRate, 4800);
    window->BaudRate = 19200;
    window->FormClose();
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_TRUE(fs::is_symlink(settings_path));
    EXPECT_EQ(fs::status(real).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string written = settings_text();
    EXPECT_EQ(written,
              "[Form]\r\nBaudRate=19200\r\nComPort=COM1\r\nUSB MODE=1\r\nAUTO SAVE=0\r\n"
              "TYPE SELECT=0\r\n");

    // Write-protected, it is refused (root included) and kept.
    fs::permissions(real, fs::perms::owner_read);
    ASSERT_TRUE(start());
    window->BaudRate = 2400;
    EXPECT_EQ(exit_code_of([this] { window->FormClose(); }), 0);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_NE(messages.shown()[0].text.find(settings_path), std::string::npos)
        << messages.shown()[0].text;
    EXPECT_EQ(settings_text(), written);
    EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read);
}

TEST_F(MainWindowTest, APortNameWithALineBreakIsNeverWrittenIntoTheSettingsFile)
{
    write_settings("[Form]\r\nComPort=COM2\r\n");
    ASSERT_TRUE(start());
    window->ComPort = "COM3\r\n[Form]\r\nUSB MODE=0";
    EXPECT_EQ(exit_code_of([this] { window->FormClose(); }), 0);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_NE(messages.shown()[0].text.find(settings_path), std::string::npos)
        << messages.shown()[0].text;
    EXPECT_EQ(settings_text(), "[Form]\r\nComPort=COM2\r\n");
}

// ------------------------------------------------------------ status check

TEST_F(MainWindowTest, CheckSetsTheLoggingControlsFromTheAmplifiersLogState)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    auto& ui = window->controls();

    // Idle, box unchecked: everything but the condition inputs enabled.
    window->btnStatusCheckClick();
    EXPECT_EQ(ui.edtComStatus->text(), "IDLE");
    EXPECT_EQ(ui.btnLogStart->text(), "START");
    EXPECT_TRUE(ui.btnLogStart->isEnabled());
    EXPECT_TRUE(ui.btnLogSave->isEnabled());
    EXPECT_TRUE(ui.cbxStopCondition->isEnabled());
    EXPECT_EQ(condition_inputs(*window), kAllDisabled);
    ui.cbxStopCondition->click();
    ASSERT_TRUE(ui.cbxStopCondition->isChecked());
    EXPECT_EQ(condition_inputs(*window), kAllEnabled);

    // Logging (0x01): "STOP"; saving and the condition locked.
    log_control(*model, true);
    window->btnStatusCheckClick();
    EXPECT_EQ(ui.edtComStatus->text(), "Logging");
    EXPECT_EQ(ui.btnLogStart->text(), "STOP");
    EXPECT_TRUE(ui.btnLogStart->isEnabled());
    EXPECT_FALSE(ui.btnLogSave->isEnabled());
    EXPECT_FALSE(ui.cbxStopCondition->isEnabled());
    EXPECT_TRUE(ui.cbxStopCondition->isChecked());
    EXPECT_EQ(condition_inputs(*window), kAllDisabled);

    // Cancelled (0x04): the condition inputs open even with the box unchecked.
    model->cancel_logging();
    ASSERT_EQ(model->log_status(), 0x04);
    ui.cbxStopCondition->setChecked(false);
    window->btnStatusCheckClick();
    EXPECT_EQ(ui.edtComStatus->text(), "Cancel");
    EXPECT_EQ(ui.btnLogStart->text(), "START");
    EXPECT_TRUE(ui.btnLogStart->isEnabled());
    EXPECT_FALSE(ui.btnLogSave->isEnabled());
    EXPECT_TRUE(ui.cbxStopCondition->isEnabled());
    EXPECT_EQ(condition_inputs(*window), kAllEnabled);

    // Idle again (started and stopped), box unchecked: inputs closed.
    log_control(*model, true);
    log_control(*model, false);
    ASSERT_EQ(model->log_status(), 0x00);
    window->btnStatusCheckClick();
    EXPECT_EQ(ui.edtComStatus->text(), "IDLE");
    EXPECT_TRUE(ui.btnLogSave->isEnabled());
    EXPECT_EQ(condition_inputs(*window), kAllDisabled);

    // Idle with the box checked, coming from logging: inputs open.
    ui.cbxStopCondition->click();
    log_control(*model, true);
    window->btnStatusCheckClick();
    ASSERT_EQ(condition_inputs(*window), kAllDisabled);
    log_control(*model, false);
    window->btnStatusCheckClick();
    EXPECT_EQ(ui.edtComStatus->text(), "IDLE");
    EXPECT_EQ(ui.btnLogStart->text(), "START");
    EXPECT_TRUE(ui.cbxStopCondition->isEnabled());
    EXPECT_EQ(condition_inputs(*window), kAllEnabled);
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(ScriptedTest, LoggingBitWinsOverCancelledAndOtherBitsAreIgnored)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    script_serial();
    auto& ui = window->controls();
    const struct {
        std::uint8_t status;
        const char* shown;
        const char* caption;
    } cases[] = {{0x05, "Logging", "STOP"}, {0x04, "Cancel", "START"}, {0x00, "IDLE", "START"},
                 {0xFF, "Logging", "STOP"}, {0xFE, "Cancel", "START"}, {0xFA, "IDLE", "START"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.status));
        scripted->log_status = c.status;
        window->btnStatusCheckClick();
        EXPECT_EQ(ui.edtComStatus->text(), QString(c.shown));
        EXPECT_EQ(ui.btnLogStart->text(), QString(c.caption));
        EXPECT_EQ(ui.btnLogSave->isEnabled(), std::string(c.shown) == "IDLE");
        EXPECT_EQ(ui.cbxStopCondition->isEnabled(), std::string(c.shown) != "Logging");
        EXPECT_EQ(condition_inputs(*window),
                  std::string(c.shown) == "Cancel" ? kAllEnabled : kAllDisabled);
    }
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(ScriptedTest, SixteenByteModeShowsReceivedSentAndPhaseBytesInOrder)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    script_serial();
    mark_boxes(*window, 16, 32, "zz");
    window->btnStatusCheckClick();
    EXPECT_TRUE(messages.shown().empty());
    for (int byte = 0; byte < 16; ++byte) {
        EXPECT_EQ(window->ReceivedBox(byte)->text(), hex(byte)) << byte;
        EXPECT_EQ(window->SentBox(byte)->text(), hex(16 + byte)) << byte;
    }
    EXPECT_EQ(window->controls().edtComPhase->text(), "20");
    // The upper half belongs to 32-byte mode: left as it was.
    EXPECT_EQ(boxes_showing(*window, 16, 32, "zz"), 32);
    EXPECT_TRUE(window->controls().mnuLog->isEnabled());
}

TEST_F(ScriptedTest, ThirtyTwoByteModeShowsReceivedSentAndPhaseBytesInOrderOverUsb)
{
    script_usb();
    write_settings("[Form]\r\nTYPE SELECT=1\r\n");
    ASSERT_TRUE(start());
    window->btnStatusCheckClick();
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(requests(usb->commands()), kCheck32);
    for (int byte = 0; byte < 32; ++byte) {
        EXPECT_EQ(window->ReceivedBox(byte)->text(), hex(byte)) << byte;
        EXPECT_EQ(window->SentBox(byte)->text(), hex(32 + byte)) << byte;
    }
    EXPECT_EQ(window->controls().edtComPhase->text(), "40");
    EXPECT_EQ(window->controls().edtComStatus->text(), "IDLE");
}

TEST_F(MainWindowTest, CheckShowsTheAmplifiersLastExchangeOverUsb)
{
    ASSERT_TRUE(start());
    model->advance(1);
    window->btnStatusCheckClick();
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(requests(usb->commands()), kCheck16);
    const std::uint8_t read16[] = {0, 0, 0xAF};
    const auto reply = model->execute(read16);
    ASSERT_TRUE(reply);
    for (int byte = 0; byte < 16; ++byte) {
        EXPECT_EQ(window->ReceivedBox(byte)->text(), hex(data_byte(*reply, byte)));
        EXPECT_EQ(window->SentBox(byte)->text(), hex(data_byte(*reply, 16 + byte)));
    }
    EXPECT_EQ(window->controls().edtComPhase->text(), hex(reply->data[32]));
    EXPECT_EQ(window->controls().edtComStatus->text(), "IDLE");
    EXPECT_EQ(window->ReceivedBox(16)->text(), "--");
}

TEST_F(ScriptedTest, ALogStatusReplyOfTheWrongLengthChangesNothingOnScreen)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    script_serial();
    scripted->log_status = 0x01;
    window->btnStatusCheckClick();
    ASSERT_EQ(window->controls().edtComStatus->text(), "Logging");
    const auto before = screen(*window);

    scripted->log_status = 0x00;
    scripted->log_length = 129;
    scripted->com_data_length = 34;
    window->btnStatusCheckClick();
    EXPECT_EQ(messages.shown(), std::vector<Message>{kNoLog});
    EXPECT_EQ(screen(*window), before);
    // The check stopped there: no data read was sent.
    const auto sent = requests(peer->commands());
    EXPECT_EQ(std::vector<std::string>(sent.end() - 2, sent.end()),
              (std::vector<std::string>{"00", "FA 00"}));
}

TEST_F(MainWindowTest, AnAmplifierWithoutTheLogIsReportedOverUsb)
{
    use_model({.has_log = false});
    ASSERT_TRUE(start());
    const auto before = screen(*window);
    window->btnStatusCheckClick();
    EXPECT_EQ(messages.shown(), std::vector<Message>{kNoLog});
    EXPECT_EQ(screen(*window), before);
    EXPECT_EQ(requests(usb->commands()), (std::vector<std::string>{"00", "FA 00"}));
}

TEST_F(ScriptedTest, AComDataReplyOfTheWrongLengthClearsTheLowerHalfInSixteenByteMode)
{
    write_settings("[Form]\r\nUSB MODE=0\r\nTYPE SELECT=1\r\n");
    ASSERT_TRUE(start());
    script_serial();
    window->btnStatusCheckClick();
    ASSERT_EQ(window->SentBox(31)->text(), "3F");
    window->controls().rbnMode16->click();

    scripted->log_status = 0x04;
    scripted->com_data_length = 66;
    window->btnStatusCheckClick();
    EXPECT_EQ(messages.shown(), std::vector<Message>{kNoComData});
    EXPECT_EQ(requests(peer->commands()).back(), "AF");
    // The status was shown before the data read failed.
    EXPECT_EQ(window->controls().edtComStatus->text(), "Cancel");
    EXPECT_EQ(boxes_showing(*window, 0, 16, "--"), 32);
    for (int byte = 16; byte < 32; ++byte) {
        EXPECT_EQ(window->ReceivedBox(byte)->text(), hex(byte)) << byte;
        EXPECT_EQ(window->SentBox(byte)->text(), hex(32 + byte)) << byte;
    }
    EXPECT_EQ(window->controls().edtComPhase->text(), "40");
}

TEST_F(MainWindowTest, AComDataReplyOfTheWrongLengthClearsAllBoxesInThirtyTwoByteMode)
{
    use_model({.has_com_data_32 = false});
    write_settings("[Form]\r\nTYPE SELECT=1\r\n");
    ASSERT_TRUE(start());
    mark_boxes(*window, 0, 32, "zz");
    log_control(*model, true);
    window->btnStatusCheckClick();
    EXPECT_EQ(messages.shown(), std::vector<Message>{kNoComData32});
    EXPECT_EQ(window->controls().edtComStatus->text(), "Logging");
    EXPECT_EQ(boxes_showing(*window, 0, 32, "--"), 64);
    EXPECT_EQ(window->controls().edtComPhase->text(), "");
    // Only a completed check opens the "Log" menu.
    EXPECT_FALSE(window->controls().mnuLog->isEnabled());
}

TEST_F(MainWindowTest, FailedExchangesAreReportedAndLeaveWhatTheCheckHadNotReached)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    model->advance(3);
    log_control(*model, true);
    window->btnStatusCheckClick();
    ASSERT_EQ(window->controls().edtComStatus->text(), "Logging");
    ASSERT_TRUE(messages.shown().empty());
    const auto before = screen(*window);
    const QString phase_before = window->controls().edtComPhase->text();
    log_control(*model, false);

    // The connection test fails: the ENQ is refused on the first try and the retry.
    peer->set_faults({.refuse_enq = 2});
    window->btnStatusCheckClick();
    EXPECT_EQ(messages.shown(), std::vector<Message>{kCantTalk});
    EXPECT_EQ(screen(*window), before);

    // The log status read fails: the fault is ordered once the test passed.
    messages.clear();
    peer->set_responder([this](std::span<const std::uint8_t> block) {
        if (block[2] == 0x00) {
            peer->set_faults({.refuse_enq = 2});
        }
        return model->execute(block);
    });
    window->btnStatusCheckClick();
    EXPECT_EQ(messages.shown(), std::vector<Message>{kCantTalk});
    EXPECT_EQ(screen(*window), before);

    // The data read fails: the new status stays, the shown bytes go.
    messages.clear();
    peer->set_responder([this](std::span<const std::uint8_t> block) {
        if (block[2] == 0xFA) {
            peer->set_faults({.refuse_enq = 2});
        }
        return model->execute(block);
    });
    window->btnStatusCheckClick();
    EXPECT_EQ(messages.shown(), std::vector<Message>{kCantTalk});
    EXPECT_EQ(window->controls().edtComStatus->text(), "IDLE");
    EXPECT_TRUE(window->controls().btnLogSave->isEnabled());
    EXPECT_EQ(boxes_showing(*window, 0, 16, "--"), 32);
    EXPECT_EQ(window->controls().edtComPhase->text(), phase_before);
}

TEST_F(MainWindowTest, ALostUsbConnectionIsReported)
{
    ASSERT_TRUE(start());
    model->advance(1);
    window->btnStatusCheckClick();
    const auto before = screen(*window);
    ASSERT_TRUE(messages.shown().empty());
    usb->drop_connections();
    window->btnStatusCheckClick();
    EXPECT_EQ(messages.shown(), std::vector<Message>{kCantTalk});
    EXPECT_EQ(screen(*window), before);
}

TEST_F(MainWindowTest, LogMenuOpensAtTheFirstCompletedCheckAndStaysOpen)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    peer->set_faults({.refuse_enq = 2});
    window->btnStatusCheckClick();
    EXPECT_FALSE(window->controls().mnuLog->isEnabled());

    window->btnStatusCheckClick();
    EXPECT_TRUE(window->controls().mnuLog->isEnabled());

    peer->set_faults({.refuse_enq = 2});
    window->btnStatusCheckClick();
    EXPECT_TRUE(window->controls().mnuLog->isEnabled());
    EXPECT_EQ(messages.shown(), (std::vector<Message>{kCantTalk, kCantTalk}));
}

// ------------------------------------------------------------ mode switch

TEST_F(MainWindowTest, SixteenByteModeGreysTheUpperHalfAndKeepsItsTexts)
{
    write_settings("[Form]\r\nTYPE SELECT=1\r\n");
    ASSERT_TRUE(start());
    model->advance(2);
    window->btnStatusCheckClick();
    const auto before = screen(*window);
    const auto sent_before = usb->commands().size();
    auto& ui = window->controls();
    const QColor button_face = QApplication::palette().color(QPalette::Button);
    const QColor window_colour = QApplication::palette().color(QPalette::Base);
    ASSERT_NE(button_face, window_colour);
    const auto background = [](QLineEdit* box) {
        box->ensurePolished();
        return box->palette().color(box->backgroundRole());
    };

    ui.rbnMode16->click();
    EXPECT_EQ(window->LogModeIndex(), 0);
    for (int byte = 0; byte < 32; ++byte) {
        SCOPED_TRACE(byte);
        const bool upper = byte >= 16;
        EXPECT_EQ(window->ReceivedBox(byte)->isEnabled(), !upper);
        EXPECT_EQ(window->SentBox(byte)->isEnabled(), !upper);
        if (upper) {
            EXPECT_EQ(background(window->ReceivedBox(byte)), button_face);
            EXPECT_EQ(background(window->SentBox(byte)), button_face);
        }
    }
    for (QLabel* label : {ui.lblRxByte16, ui.lblRxByte31, ui.lblTxByte16, ui.lblTxByte31}) {
        EXPECT_FALSE(label->isEnabled()) << label->objectName().toStdString();
    }
    EXPECT_TRUE(ui.lblRxByte00->isEnabled());
    EXPECT_TRUE(ui.lblTxByte15->isEnabled());
    // Texts, status and phase stay; nothing is sent.
    EXPECT_EQ(screen(*window), before);
    EXPECT_EQ(usb->commands().size(), sent_before);

    ui.rbnMode32->click();
    EXPECT_EQ(window->LogModeIndex(), 1);
    for (int byte = 16; byte < 32; ++byte) {
        SCOPED_TRACE(byte);
        EXPECT_TRUE(window->ReceivedBox(byte)->isEnabled());
        EXPECT_TRUE(window->SentBox(byte)->isEnabled());
        EXPECT_EQ(background(window->ReceivedBox(byte)), window_colour);
        EXPECT_EQ(background(window->SentBox(byte)), window_colour);
    }
    for (QLabel* label : {ui.lblRxByte16, ui.lblRxByte31, ui.lblTxByte16, ui.lblTxByte31}) {
        EXPECT_TRUE(label->isEnabled()) << label->objectName().toStdString();
    }
    EXPECT_EQ(screen(*window), before);
    EXPECT_EQ(usb->commands().size(), sent_before);
}

TEST_F(MainWindowTest, ClearingBlanksTheBoxesOfTheCurrentModeOnly)
{
    ASSERT_TRUE(start());
    window->controls().edtComStatus->setText("IDLE");
    window->controls().edtComPhase->setText("2A");
    mark_boxes(*window, 0, 32, "AB");
    window->clear_com_data();
    EXPECT_EQ(boxes_showing(*window, 0, 16, "--"), 32);
    EXPECT_EQ(boxes_showing(*window, 16, 32, "AB"), 32);
    EXPECT_EQ(window->controls().edtComStatus->text(), "IDLE");
    EXPECT_EQ(window->controls().edtComPhase->text(), "2A");

    mark_boxes(*window, 0, 32, "AB");
    window->controls().rbnMode32->click();
    window->clear_com_data();
    EXPECT_EQ(boxes_showing(*window, 0, 32, "--"), 64);
    EXPECT_EQ(window->controls().edtComPhase->text(), "2A");
}

// ------------------------------------------------------ configuration menu

// What "Configuration" > "OK" must leave, whatever the connection: the
// logging controls locked and the status cleared; the shown data untouched.
void expect_reconnected_state(TMainForm& window, const std::vector<std::string>& before)
{
    auto& ui = window.controls();
    EXPECT_FALSE(ui.btnLogStart->isEnabled());
    EXPECT_FALSE(ui.btnLogSave->isEnabled());
    EXPECT_FALSE(ui.cbxStopCondition->isEnabled());
    EXPECT_EQ(condition_inputs(window), kAllDisabled);
    EXPECT_EQ(ui.edtComStatus->text(), "");
    const auto after = screen(window);
    // Phase and the 64 boxes (lines 1..65) are as they were.
    EXPECT_EQ(std::vector<std::string>(after.begin() + 1, after.begin() + 66),
              std::vector<std::string>(before.begin() + 1, before.begin() + 66));
    EXPECT_TRUE(ui.mnuLog->isEnabled());
}

// A checked window with the stop condition open, so that locking shows.
void check_with_condition_open(TMainForm& window)
{
    window.btnStatusCheckClick();
    window.controls().cbxStopCondition->click();
    ASSERT_EQ(window.controls().edtComStatus->text(), "IDLE");
    ASSERT_EQ(condition_inputs(window), kAllEnabled);
}

TEST_F(MainWindowTest, ConfirmingANewSerialPortClosesTheOldOneAndChecksOverTheNew)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    model->advance(1);
    check_with_condition_open(*window);
    const auto before = screen(*window);
    ASSERT_TRUE(port_is_held(line->slave_path()));

    free_port(2);
    const auto line2 = std::make_unique<ampsim::PtyEndpoint>(2);
    const auto peer2 = std::make_unique<ampsim::BlockPeer>(*line2, amplifier->serial_responder());
    peer->clear_records();
    configure_with([](TfrmConfiguration& configuration) {
        configuration.controls().cbxComPort->setEditText("COM2");
        configuration.controls().cbxBaudrate->setEditText("38400");
        configuration.controls().btnComSetOK->click();
    });
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(window->ComPort, "COM2");
    EXPECT_EQ(window->BaudRate, 38400);
    EXPECT_EQ(window->serial_adapter().PortName(), "COM2");
    EXPECT_EQ(window->serial_adapter().BaudRate(), 38400);
    EXPECT_EQ(line_speed(*line2), B38400);
    EXPECT_FALSE(port_is_held(line->slave_path()));
    EXPECT_TRUE(port_is_held(line2->slave_path()));
    EXPECT_TRUE(window->controls().btnStatusCheck->isEnabled());
    expect_reconnected_state(*window, before);

    window->btnStatusCheckClick();
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(requests(peer2->commands()), kCheck16);
    EXPECT_TRUE(peer->commands().empty());
}

TEST_F(MainWindowTest, ConfirmingWithoutChangesStillReopensTheSerialPort)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    check_with_condition_open(*window);
    const auto before = screen(*window);
    configure_with([this](TfrmConfiguration& configuration) {
        // A new cable on COM1: only a port opened after "OK" reaches it.
        peer.reset();
        line.reset();
        line = std::make_unique<ampsim::PtyEndpoint>(1);
        peer = std::make_unique<ampsim::BlockPeer>(*line, amplifier->serial_responder());
        configuration.controls().btnComSetOK->click();
    });
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_TRUE(window->controls().btnStatusCheck->isEnabled());
    EXPECT_TRUE(port_is_held(line->slave_path()));
    expect_reconnected_state(*window, before);

    window->btnStatusCheckClick();
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(requests(peer->commands()), kCheck16);
}

TEST_F(MainWindowTest, ConfirmingWithoutChangesStillReconnectsOverUsb)
{
    ASSERT_TRUE(start());
    check_with_condition_open(*window);
    const auto before = screen(*window);
    const std::int32_t old_connection = TCommAdapterUSB::CurrentConnectionId();
    configure_with([this](TfrmConfiguration& configuration) {
        // A replugged amplifier: the old connection is dead.
        serve_usb_with(amplifier->usb_handler());
        configuration.controls().btnComSetOK->click();
    });
    EXPECT_TRUE(messages.shown().empty());
    const auto connections = TCommAdapterUSB::Connections();
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_NE(connections[0].id, old_connection);
    EXPECT_EQ(TCommAdapterUSB::CurrentConnectionId(), connections[0].id);
    EXPECT_TRUE(window->controls().btnStatusCheck->isEnabled());
    expect_reconnected_state(*window, before);

    window->btnStatusCheckClick();
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(requests(usb->commands()), kCheck16);
}

TEST_F(MainWindowTest, ConfirmingSwitchesBetweenSerialAndUsb)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    check_with_condition_open(*window);
    ASSERT_TRUE(TCommAdapterUSB::Connections().empty());

    configure_with([](TfrmConfiguration& configuration) {
        configuration.controls().rbUSB->click();
        configuration.controls().btnComSetOK->click();
    });
    EXPECT_EQ(window->UsbMode, 1);
    EXPECT_FALSE(port_is_held(line->slave_path()));
    EXPECT_FALSE(window->serial_adapter().IsOpen());
    EXPECT_EQ(TCommAdapterUSB::Connections().size(), 1u);
    EXPECT_TRUE(window->controls().btnStatusCheck->isEnabled());
    peer->clear_records();
    window->btnStatusCheckClick();
    EXPECT_EQ(requests(usb->commands()), kCheck16);
    EXPECT_TRUE(peer->commands().empty());

    configure_with([](TfrmConfiguration& configuration) {
        configuration.controls().rbRS232->click();
        configuration.controls().btnComSetOK->click();
    });
    EXPECT_EQ(window->UsbMode, 0);
    EXPECT_TRUE(port_is_held(line->slave_path()));
    EXPECT_TRUE(TCommAdapterUSB::Connections().empty());
    EXPECT_TRUE(window->controls().btnStatusCheck->isEnabled());
    window->btnStatusCheckClick();
    EXPECT_EQ(requests(peer->commands()), kCheck16);
    EXPECT_EQ(usb->commands().size(), 3u);
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(MainWindowTest, CancellingTheConfigurationLeavesEverythingAsItWas)
{
    for (const char* settings : {kSerialSettings, "[Form]\r\nUSB MODE=1\r\n"}) {
        SCOPED_TRACE(settings);
        write_settings(settings);
        ASSERT_TRUE(start());
        check_with_condition_open(*window);
        const auto before = screen(*window);
        const auto connections = TCommAdapterUSB::Connections();
        const bool port_held = port_is_held(line->slave_path());
        configure_with([](TfrmConfiguration& configuration) {
            configuration.controls().rbUSB->click();
            configuration.controls().rbRS232->click();
            configuration.controls().cbxComPort->setEditText("COM2");
            configuration.controls().cbxBaudrate->setEditText("4800");
            configuration.controls().rbManual->click();
            configuration.controls().btnComSetCancel->click();
        });
        EXPECT_EQ(screen(*window), before);
        EXPECT_EQ(window->ComPort, "COM1");
        EXPECT_EQ(window->BaudRate, 9600);
        EXPECT_EQ(window->LogSaveCondition, 0);
        EXPECT_EQ(port_is_held(line->slave_path()), port_held);
        EXPECT_EQ(TCommAdapterUSB::Connections().size(), connections.size());
        if (!connections.empty()) {
            EXPECT_EQ(TCommAdapterUSB::Connections()[0].id, connections[0].id);
        }
        // The same connection still carries the check.
        window->btnStatusCheckClick();
        EXPECT_EQ(window->controls().edtComStatus->text(), "IDLE");
        EXPECT_TRUE(messages.shown().empty());
    }
}

TEST_F(MainWindowTest, APortNameThatIsNoNumberIsRefusedByTheDialogAndTheConnectionStays)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    check_with_condition_open(*window);
    const auto before = screen(*window);
    configure_with([](TfrmConfiguration& configuration) {
        configuration.controls().cbxComPort->setEditText("COMX");
        configuration.controls().btnComSetOK->click();
        EXPECT_TRUE(configuration.isVisible());
        configuration.controls().btnComSetCancel->click();
    });
    EXPECT_EQ(messages.shown(), std::vector<Message>{not_an_integer("X")});
    // Refused before anything was stored: the old port is still open.
    EXPECT_TRUE(port_is_held(line->slave_path()));
    EXPECT_TRUE(window->serial_adapter().IsOpen());
    EXPECT_EQ(screen(*window), before);
    EXPECT_EQ(window->ComPort, "COM1");
    window->FormClose();
    EXPECT_NE(settings_text().find("ComPort=COM1\r\n"), std::string::npos);

    // Called directly, the handler lets the error out.
    answer_dialogs_with([](QDialog& shown) {
        auto& configuration = static_cast<TfrmConfiguration&>(shown);
        configuration.controls().cbxComPort->setEditText("COMX");
        configuration.btnComSetOKClick();
    });
    EXPECT_THROW(window->mnuConfigurationClick(), quillon::ConversionError);
}

TEST_F(MainWindowTest, AFailedReopenDisablesCheckAndAPortNameThatIsNoNumberKeepsItDisabled)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    check_with_condition_open(*window);
    const auto before = screen(*window);
    configure_with([](TfrmConfiguration& configuration) {
        configuration.controls().cbxComPort->setEditText("COM9");
        configuration.controls().btnComSetOK->click();
    });
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, kCantOpen.text);
    EXPECT_FALSE(window->controls().btnStatusCheck->isEnabled());
    EXPECT_FALSE(port_is_held(line->slave_path()));
    expect_reconnected_state(*window, before);

    messages.clear();
    const auto locked = screen(*window);
    configure_with([](TfrmConfiguration& configuration) {
        configuration.controls().cbxComPort->setEditText("COMX");
        configuration.controls().btnComSetOK->click();
    });
    EXPECT_EQ(messages.shown(), std::vector<Message>{not_an_integer("X")});
    EXPECT_EQ(screen(*window), locked);
}

// ---------------------------------------------------------- accessibility

QString accessible_name(QObject* object)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
    return face != nullptr ? face->text(QAccessible::Name) : QString("(none)");
}

TEST_F(MainWindowTest, CommunicationBoxesAndFieldsHaveAccessibleNames)
{
    ASSERT_TRUE(start());
    for (int byte = 0; byte < 32; ++byte) {
        EXPECT_EQ(accessible_name(window->ReceivedBox(byte)), QString("RX(Cmd) Byte%1").arg(byte));
        EXPECT_EQ(accessible_name(window->SentBox(byte)), QString("TX(Rsp) Byte%1").arg(byte));
    }
    auto& ui = window->controls();
    EXPECT_EQ(accessible_name(ui.edtComStatus), "Status");
    EXPECT_EQ(accessible_name(ui.edtComPhase), "Phase");
    // Qt on Linux reads a combo box's text as its name, and its label
    // through the buddy relation: the name given is kept for the others.
    EXPECT_EQ(ui.cbxDataSelect->accessibleName(), "Byte");
    EXPECT_EQ(accessible_name(ui.cbxDataSelect), " 0");
}

TEST_F(MainWindowTest, EnablingTheStopConditionThroughAccessibilityOpensItsFields)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    window->btnStatusCheckClick();
    auto& ui = window->controls();
    const auto toggle = [&ui] {
        QAccessible::queryAccessibleInterface(ui.cbxStopCondition)
            ->actionInterface()
            ->doAction(QAccessibleActionInterface::toggleAction());
    };
    toggle();
    EXPECT_TRUE(ui.cbxStopCondition->isChecked());
    EXPECT_EQ(condition_inputs(*window), kAllEnabled);
    toggle();
    EXPECT_EQ(condition_inputs(*window), kAllDisabled);
}

TEST_F(MainWindowTest, ButtonsAndChoicesAreNamedByTheirCaptions)
{
    ASSERT_TRUE(start());
    auto& ui = window->controls();
    EXPECT_EQ(accessible_name(ui.btnStatusCheck), "Check!");
    EXPECT_EQ(accessible_name(ui.btnLogStart), "START");
    EXPECT_EQ(accessible_name(ui.btnLogSave), "SAVE LOG");
    EXPECT_EQ(accessible_name(ui.cbxStopCondition), "Enable Stop Condition");
    EXPECT_EQ(accessible_name(ui.rbnRcvEn), "Recv");
    EXPECT_EQ(accessible_name(ui.rbnSendEn), "Send");
    EXPECT_EQ(accessible_name(ui.rbnMode16), "16 byte mode");
    EXPECT_EQ(accessible_name(ui.rbnMode32), "32 byte mode");
    EXPECT_EQ(ui.Exit1->iconText(), "Exit");
    EXPECT_EQ(ui.mnuConfiguration->iconText(), "Configuration");
    EXPECT_EQ(ui.mnuViewLogData->iconText(), "View Log Data");
    // The caption follows the logging state.
    ui.btnLogStart->setText("STOP");
    EXPECT_EQ(accessible_name(ui.btnLogStart), "STOP");
}

// ---------------------------------------------------------- keyboard, language, help

TEST_F(MainWindowTest, EveryMenuCommandHasAMnemonicOfItsOwnAndF10OpensTheMenuBar)
{
    ASSERT_TRUE(start());
    int counted = 0;
    EXPECT_EQ(testsupport::menu_key_faults(window->menuBar()->actions(), "", counted),
              std::vector<std::string>{});
    // File (3), Setting (Configuration, Language and its 3), Log (1), Help (2).
    EXPECT_EQ(counted, 4 + 3 + 5 + 1 + 2);
    EXPECT_TRUE(testsupport::f10_opens_menu_bar(*window));
}

TEST_F(MainWindowTest, AltWithALetterNeverTypesIntoAField)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    window->btnStatusCheckClick();
    auto& ui = window->controls();
    ui.cbxStopCondition->setChecked(true);
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    ui.edtMaskData->setFocus();
    ui.edtMaskData->clear();
    QTest::keyClick(ui.edtMaskData, Qt::Key_X);
    ASSERT_EQ(ui.edtMaskData->text(), "x");
    // The "Log" menu's mnemonic, and a letter that is no mnemonic.
    for (const Qt::Key key : {Qt::Key_L, Qt::Key_Q}) {
        QTest::keyClick(ui.edtMaskData, key, Qt::AltModifier);
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
        EXPECT_EQ(ui.edtMaskData->text(), "x") << QKeySequence(key).toString().toStdString();
    }
}

TEST_F(MainWindowTest, TheLanguageMenuAppliesAndRemembersTheChoice)
{
    ASSERT_TRUE(start());
    auto& ui = window->controls();
    const std::vector<QAction*> items{ui.mnuLanguageSystem, ui.mnuLanguageEnglish,
                                      ui.mnuLanguageJapanese};
    ASSERT_EQ(ui.mnuLanguage->actions(), QList<QAction*>(items.begin(), items.end()));
    EXPECT_EQ(ui.mnuLanguageJapanese->text(), QString::fromUtf8("日本語(&J)"));
    const auto checked = [&items] {
        std::vector<bool> shown;
        for (QAction* item : items) {
            shown.push_back(item->isChecked());
        }
        return shown;
    };
    EXPECT_EQ(checked(), (std::vector<bool>{true, false, false}));

    ui.mnuLanguageEnglish->trigger();
    EXPECT_EQ(quillon::current_language(), quillon::Language::English);
    EXPECT_EQ(checked(), (std::vector<bool>{false, true, false}));
    EXPECT_NE(settings_text().find("[View]\r\nLanguage=en\r\n"), std::string::npos)
        << settings_text();

    ui.mnuLanguageSystem->trigger();
    EXPECT_EQ(quillon::current_language(), quillon::Language::System);
    EXPECT_EQ(checked(), (std::vector<bool>{true, false, false}));
    EXPECT_EQ(settings_text().find("Language=en"), std::string::npos) << settings_text();
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(MainWindowTest, ANewLanguageWordsTheWindowAnewAndKeepsWhatTheLogStateShows)
{
    write_settings(kSerialSettings);
    ASSERT_TRUE(start());
    window->btnStatusCheckClick();
    window->btnLogStartClick();
    auto& ui = window->controls();
    ASSERT_EQ(ui.btnLogStart->text(), "STOP");
    ui.edtMaskData->setText("0x0F");
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(window.get(), &change);
    EXPECT_EQ(ui.btnLogStart->text(), "STOP");
    EXPECT_EQ(ui.edtComStatus->text(), "Logging");
    EXPECT_EQ(ui.btnLogSave->text(), "SAVE LOG");
    EXPECT_EQ(ui.edtMaskData->text(), "0x0F");
    EXPECT_EQ(ui.mnuFile->title(), "&File");
    window->btnLogStartClick();
    EXPECT_EQ(ui.btnLogStart->text(), "START");
}

TEST_F(MainWindowTest, AboutNamesTheVersionTheWindowShowsAndQtsAndReadingLogsSaysWhenItIsMissing)
{
    ASSERT_TRUE(start());
    QString about;
    answer_dialogs_with([&about](QDialog& shown) {
        auto& box = dynamic_cast<QMessageBox&>(shown);
        about = box.windowTitle() + "\n" + box.text() + "\n" + box.informativeText();
    });
    auto& ui = window->controls();
    ui.mnuAbout->trigger();
    const QString version = ui.lblAppName->text().section("Ver.", 1);
    ASSERT_FALSE(version.isEmpty());
    EXPECT_TRUE(about.contains("Quillon " + version)) << about.toStdString();
    EXPECT_TRUE(about.contains(QString("Qt ") + qVersion())) << about.toStdString();
    EXPECT_TRUE(about.contains("GNU LGPL version 3")) << about.toStdString();

    // Run from the build tree: no guide beside the program, and nothing opened.
    std::vector<QUrl> opened;
    quillon::set_document_opener([&opened](const QUrl& document) {
        opened.push_back(document);
        return true;
    });
    ui.mnuReadingLogs->trigger();
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_NE(messages.shown()[0].text.find("not installed"), std::string::npos);
    EXPECT_TRUE(opened.empty());
    quillon::set_document_opener({});
}

// Each filter of a file dialog names its pattern once: "Log files (*.txt)".
void expect_patterns_shown_once(const QString& filters)
{
    static const QRegularExpression filter(R"(^([^()]*) \(([^()]+)\)$)");
    for (const QString& one : filters.split(";;")) {
        const auto match = filter.match(one);
        ASSERT_TRUE(match.hasMatch()) << one.toStdString();
        EXPECT_FALSE(match.captured(1).contains('*')) << one.toStdString();
    }
}

TEST_F(MainWindowTest, OpenLogOffersLogFilesAndStartsInTheAutomaticSaveFolder)
{
    ASSERT_TRUE(start());
    const QString documents = QString::fromStdString(testsupport::private_root()) + "/documents";
    QDir(documents).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(documents));
    quillon::set_documents_folder([&documents] { return documents; });
    quillon::forget_logs_opened();
    QString asked_filter;
    QStringList asked_folders;
    quillon::set_open_dialog([&](const QString& filter, const QString& folder) {
        asked_filter = filter;
        asked_folders << folder;
        return QStringList{};
    });
    quillon::set_folder_dialog([&](const QString& folder) {
        asked_folders << folder;
        return QString();
    });
    auto& ui = window->controls();
    // Before the first automatic save its folder does not exist yet.
    ui.mnuOpenLog->trigger();
    const QString saved = documents + "/Orvitek Corporation/Quillon";
    ASSERT_TRUE(QDir().mkpath(saved));
    ui.mnuOpenLog->trigger();
    ui.mnuOpenSeries->trigger();
    EXPECT_EQ(asked_folders, (QStringList{documents, saved, saved}));

    EXPECT_EQ(asked_filter, "Log files (*.txt);;All files (*)");
    expect_patterns_shown_once(asked_filter);
    expect_patterns_shown_once(quillon::log_file_filter());
    quillon::set_open_dialog({});
    quillon::set_folder_dialog({});
    quillon::set_documents_folder({});
}

}  // namespace
