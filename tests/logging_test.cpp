// Logging from the main window: START and STOP with the stop condition, the
// trigger poll and the automatic save, and SAVE LOG, against the simulated
// amplifier. Files are checked byte for byte against texts built here.
#include "ConditionLine.h"
#include "IntegerText.h"
#include "MainWindowFixture.h"
#include "SeriesLock.h"
#include "Settings.h"
#include "ui_Log.h"

#include <QAccessible>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTimer>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>

#include <sys/stat.h>

namespace {

using quillon::Message;
using quillon::MessageIcon;
using testsupport::MainWindowTest;

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kControl = 0xEA;
constexpr std::uint8_t kBlockRead = 0xFA;
constexpr const char* kCantTalk = "Can't talk with Amplifier.";
constexpr const char* kNoLogFunction = "This Amplifier doesn't support Log function!";
constexpr const char* kAutoName = "Autolog_20140703160509.txt";

enum class Transport { Serial, Usb };

// Changes what the amplifier answers to one command (called on the
// simulator's threads, one exchange at a time).
using Tamper =
    std::function<void(std::span<const std::uint8_t> command, std::optional<ampsim::Reply>& reply)>;

// The command blocks as the host sends them, without the serial checksum:
// [N][address][command][N parameters].
Bytes control_block(std::array<std::uint8_t, 8> params)
{
    return {8,         0,         kControl,  params[0], params[1], params[2],
            params[3], params[4], params[5], params[6], params[7]};
}

Bytes block_read(std::uint8_t block)
{
    return {1, 0, kBlockRead, block};
}

const Bytes kConnectionTest{0, 0, 0x00};
const Bytes kReadComData{0, 0, 0xAF};
const Bytes kReadComData32{0, 0, 0xDF};
const Bytes kStopBlock = control_block({0, 0, 0, 0, 0, 0, 0, 0});

// From the next log control command on, the chosen exchange of a log read
// (0 the control command, b + 1 block b) is answered with a wrong length.
Tamper wrong_length_at(int exchange)
{
    auto position = std::make_shared<int>(-1);
    return [=](std::span<const std::uint8_t> command, std::optional<ampsim::Reply>& reply) {
        if (command[2] == kControl) {
            *position = 0;
        } else if (command[2] == kBlockRead && *position >= 0) {
            ++*position;
        } else {
            return;
        }
        if (*position == exchange && reply) {
            reply->data.resize(command[2] == kControl ? 3 : 129);
            *position = -1;
        }
    };
}

// From the next log control command on, block `block` reports `status`, and
// every block read after it (the status check's) reports `after`.
Tamper status_at(int block, std::uint8_t status, std::uint8_t after)
{
    auto phase = std::make_shared<int>(0);
    return [=](std::span<const std::uint8_t> command, std::optional<ampsim::Reply>& reply) {
        if (!reply) {
            return;
        }
        if (command[2] == kControl && *phase == 0) {
            *phase = 1;
            return;
        }
        if (command[2] != kBlockRead || reply->data.size() != 130) {
            return;
        }
        if (*phase == 1 && command[3] == block) {
            reply->data[129] = status;
            *phase = 2;
        } else if (*phase == 2) {
            reply->data[129] = after;
        }
    };
}

// Every block read answers with `length` data bytes.
Tamper block_reads_of_length(std::size_t length)
{
    return [=](std::span<const std::uint8_t> command, std::optional<ampsim::Reply>& reply) {
        if (reply && command[2] == kBlockRead) {
            reply->data.resize(length, 0x00);
        }
    };
}

// Every block read reports this log status byte.
Tamper block_reads_with_status(std::uint8_t status)
{
    return [=](std::span<const std::uint8_t> command, std::optional<ampsim::Reply>& reply) {
        if (reply && command[2] == kBlockRead && reply->data.size() == 130) {
            reply->data[129] = status;
        }
    };
}

struct Condition {
    bool send = false;  // "Send" rather than "Recv"
    QString byte = " 0";
    QString mask = "0x00";
    QString value = "0x00";
    QString count = "0";
};

class LoggingTest : public MainWindowTest {
protected:
    LoggingTest()
    {
        const QString root = QString::fromStdString(testsupport::private_root());
        documents = root + "/Documents";
        saves = root + "/saves";
        // The private folders last for the whole process: start each test clean.
        std::filesystem::remove_all(documents.toStdString());
        std::filesystem::remove_all(saves.toStdString());
        std::filesystem::create_directories(saves.toStdString());
        quillon::set_documents_folder([this] { return documents; });
        quillon::set_clock([this] { return clock; });
        // No real dialog may ever open in a test.
        quillon::set_save_dialog([this](const quillon::SaveRequest& request) {
            proposals.push_back(request.proposed);
            requests.push_back(request);
            timer_active_at_dialog.push_back(window && window->ChkTrigDtctTmr.isActive());
            if (!first_answers.empty()) {
                const auto answer = first_answers.front();
                first_answers.erase(first_answers.begin());
                return answer;
            }
            return dialog_answer;
        });
        previous_sink_ = quillon::set_message_sink([this](const Message& message) {
            timer_active_at_message.push_back(window && window->ChkTrigDtctTmr.isActive());
            previous_sink_(message);
        });
        install_routes();
    }
    ~LoggingTest() override
    {
        quillon::set_message_sink(std::move(previous_sink_));
        quillon::set_documents_folder({});
        quillon::set_clock({});
        quillon::set_save_dialog({});
    }

    // Both sides of the simulator answer through tamper(), if one is set.
    void install_routes()
    {
        base_ = amplifier->serial_responder();
        peer->set_responder([this](std::span<const std::uint8_t> block) { return answer(block); });
        usb.reset();  // first: the old endpoint removes the socket file when it goes
        usb = std::make_unique<ampsim::UsbEndpoint>(
            [this](std::span<const std::uint8_t> command) -> std::optional<Bytes> {
                const auto reply = answer(command);
                if (!reply) {
                    return std::nullopt;
                }
                return reply->framed();
            });
    }

    void tamper(Tamper change)
    {
        std::lock_guard lock(tamper_mutex_);
        tamper_ = std::move(change);
    }

    // Starts the window on the transport and runs one status check.
    void start_on(Transport transport)
    {
        if (transport == Transport::Serial) {
            write_settings("[Form]\r\nUSB MODE=0\r\n");
        }
        ASSERT_TRUE(start());
        ASSERT_EQ(window->UsbMode, transport == Transport::Serial ? 0 : 1);
        window->btnStatusCheckClick();
        ASSERT_TRUE(messages.shown().empty());
        ASSERT_EQ(window->controls().edtComStatus->text(), "IDLE");
    }

    // Every command the amplifier received on the window's transport.
    std::vector<Bytes> sent_commands() const
    {
        if (window->UsbMode != 0) {
            return usb->commands();
        }
        std::vector<Bytes> commands;
        for (auto block : peer->commands()) {
            block.resize(std::size_t{block[0]} + 3);  // drops the checksum
            commands.push_back(std::move(block));
        }
        return commands;
    }

    std::vector<Bytes> commands_since(std::size_t mark) const
    {
        const auto all = sent_commands();
        return std::vector<Bytes>(all.begin() + static_cast<std::ptrdiff_t>(mark), all.end());
    }

    // The commands of a status check in the window's log mode.
    std::vector<Bytes> status_check_commands() const
    {
        return {kConnectionTest, block_read(0),
                window->LogModeIndex() == 0 ? kReadComData : kReadComData32};
    }

    void arm(const Condition& condition)
    {
        auto& ui = window->controls();
        ui.cbxStopCondition->setChecked(true);
        window->cbxStopConditionClick();
        (condition.send ? ui.rbnSendEn : ui.rbnRcvEn)->setChecked(true);
        ui.cbxDataSelect->setEditText(condition.byte);
        ui.edtMaskData->setText(condition.mask);
        ui.edtConditionData->setText(condition.value);
        ui.edtLogStartCounter->setText(condition.count);
    }

    // START with a condition that every record meets, then records until
    // the amplifier has stopped by itself: the next tick sees the trigger.
    void reach_trigger()
    {
        arm({.count = "3"});
        window->btnLogStartClick();
        ASSERT_TRUE(messages.shown().empty());
        ASSERT_TRUE(window->ChkTrigDtctTmr.isActive());
        model->advance(300);
        ASSERT_EQ(model->log_status(), 0);
    }

    // A whole log in the amplifier, recorded under the given log control
    // block and stopped; the window then checks the amplifier (idle).
    void fill_log(std::uint8_t index = 0xFF, std::uint8_t mask = 0, std::uint8_t value = 0,
                  std::uint8_t count = 0)
    {
        ASSERT_TRUE(model->execute(control_block({1, index, mask, value, count, 0, 0, 0})));
        model->advance(300);
        ASSERT_TRUE(model->execute(kStopBlock));
        window->btnStatusCheckClick();
        ASSERT_TRUE(messages.shown().empty());
        ASSERT_EQ(window->controls().edtComStatus->text(), "IDLE");
    }

    // The log text file as the amplifier's current log makes it.
    std::string expected_file(const QDateTime& when, const std::string& condition_line) const
    {
        const QLocale locale = QLocale::system();
        std::string text = "#Date and Time  : " +
                           (locale.toString(when.date(), QLocale::ShortFormat) + " " +
                            locale.toString(when.time(), QLocale::LongFormat))
                               .toLocal8Bit()
                               .toStdString() +
                           "\r\n" + condition_line + "\r\n\r\n";
        for (const auto& record : model->log_in_read_order()) {
            text += "Recv";
            char two[4];
            for (auto byte : record.received) {
                std::snprintf(two, sizeof two, ",%02X", byte);
                text += two;
            }
            text += ", Send";
            for (auto byte : record.sent) {
                std::snprintf(two, sizeof two, ",%02X", byte);
                text += two;
            }
            text += "\r\n";
        }
        return text;
    }

    static std::string read_file(const QString& path)
    {
        std::ifstream in(path.toStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static void write_file(const QString& path, const std::string& text)
    {
        std::ofstream(path.toStdString(), std::ios::binary) << text;
    }

    static bool exists(const QString& path) { return std::filesystem::exists(path.toStdString()); }

    // The names in a folder (hidden ones too, where a temporary file would hide).
    static std::set<std::string> entries(const QString& folder)
    {
        std::set<std::string> names;
        std::error_code ignored;
        const std::filesystem::path path = folder.toStdString();
        for (const auto& entry : std::filesystem::directory_iterator(path, ignored)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    // The main window's save dialog: text files first, each filter's
    // pattern once (Qt's dialog shows the name as it is).
    static void expect_log_text_dialog(const quillon::SaveRequest& request)
    {
        EXPECT_EQ(request.filter, "Text files (*.txt);;CSV files (*.csv);;All files (*)");
        EXPECT_EQ(request.default_suffix, "txt");
    }

    QString save_folder() const { return documents + "/Orvitek Corporation/Quillon"; }

    // The window after a trigger whose automatic save has ended (written or
    // "Not saved Log."): idle, the condition controls as the box says.
    void expect_idle_after_save()
    {
        auto& ui = window->controls();
        EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
        EXPECT_EQ(ui.edtComStatus->text(), "IDLE");
        EXPECT_EQ(ui.btnLogStart->text(), "START");
        EXPECT_TRUE(ui.btnLogStart->isEnabled());
        EXPECT_EQ(ui.btnLogSave->text(), "SAVE LOG");
        EXPECT_TRUE(ui.btnLogSave->isEnabled());
        EXPECT_TRUE(ui.cbxStopCondition->isEnabled());
        EXPECT_EQ(ui.edtMaskData->isEnabled(), ui.cbxStopCondition->isChecked());
        EXPECT_TRUE(window->AutoSaveText.empty());
    }

    QString documents;
    QString saves;
    QDateTime clock = QDateTime(QDate(2014, 7, 3), QTime(16, 5, 9));
    std::vector<std::optional<QString>> first_answers;  // answered once each, in order
    std::optional<QString> dialog_answer;               // what the save dialog answers after them
    std::vector<QString> proposals;                     // the names the save dialog proposed
    std::vector<quillon::SaveRequest> requests;
    std::vector<bool> timer_active_at_dialog;
    std::vector<bool> timer_active_at_message;

private:
    std::optional<ampsim::Reply> answer(std::span<const std::uint8_t> command)
    {
        auto reply = base_(command);
        Tamper change;
        {
            std::lock_guard lock(tamper_mutex_);
            change = tamper_;
        }
        if (change) {
            change(command, reply);
        }
        return reply;
    }

    ampsim::Responder base_;
    std::mutex tamper_mutex_;
    Tamper tamper_;
    quillon::MessageSink previous_sink_;
};

// ---------------------------------------------------------------------------
// START and STOP: the log control block that reaches the amplifier

struct StartCase {
    const char* name;
    int mode;  // rgpModeSelect: 0 16-byte, 1 32-byte, -1 none
    Condition condition;
    std::array<std::uint8_t, 8> params;
    // Failure reports name the case rather than dump its bytes.
    friend void PrintTo(const StartCase& c, std::ostream* out) { *out << c.name; }
};

class StartWithCondition : public LoggingTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartWithCondition, SendsTheBlockAndStartsTheTimer)
{
    const StartCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    window->SetLogModeIndex(c.mode);
    ASSERT_EQ(window->LogModeIndex(), c.mode);
    arm(c.condition);
    const auto mark = sent_commands().size();
    window->btnLogStartClick();

    EXPECT_TRUE(messages.shown().empty());
    auto expected = std::vector<Bytes>{control_block(c.params)};
    for (const auto& command : status_check_commands()) {
        expected.push_back(command);
    }
    EXPECT_EQ(commands_since(mark), expected);
    EXPECT_TRUE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(window->controls().btnLogStart->text(), "STOP");
    EXPECT_EQ(window->controls().edtComStatus->text(), "Logging");
    EXPECT_EQ(model->stop_condition(),
              (ampsim::StopCondition{c.params[1], c.params[2], c.params[3], c.params[4]}));
}

INSTANTIATE_TEST_SUITE_P(
    LogControl, StartWithCondition,
    ::testing::Values(
        StartCase{
            "SendByte5In16ByteMode", 0, {.send = true, .byte = " 5"}, {1, 21, 0, 0, 0, 0, 0, 0}},
        StartCase{
            "SendByte5In32ByteMode", 1, {.send = true, .byte = " 5"}, {1, 37, 0, 0, 0, 0, 0, 0}},
        StartCase{"SendByte5WithNoModeSelected",
                  -1,
                  {.send = true, .byte = " 5"},
                  {1, 37, 0, 0, 0, 0, 0, 0}},
        StartCase{
            "SendByte31In32ByteMode", 1, {.send = true, .byte = "31"}, {1, 63, 0, 0, 0, 0, 0, 0}},
        StartCase{
            "RecvByte20In16ByteModeIsNotChecked", 0, {.byte = "20"}, {1, 20, 0, 0, 0, 0, 0, 0}},
        StartCase{"SendIndexIsTakenModulo256",
                  1,
                  {.send = true, .byte = "0x1E0"},
                  {1, 0x00, 0, 0, 0, 0, 0, 0}},
        StartCase{"MaskHexWith0x", 0, {.mask = "0x1F"}, {1, 0, 31, 0, 0, 0, 0, 0}},
        StartCase{"MaskHexWithDollarLowerCase", 0, {.mask = "$1f"}, {1, 0, 31, 0, 0, 0, 0, 0}},
        StartCase{"MaskDecimal", 0, {.mask = "31"}, {1, 0, 31, 0, 0, 0, 0, 0}},
        StartCase{"MaskLeadingBlankSkipped", 0, {.mask = " 7"}, {1, 0, 7, 0, 0, 0, 0, 0}},
        StartCase{"MaskAndValueAtTheirLimit",
                  0,
                  {.mask = "0XFF", .value = "255"},
                  {1, 0, 255, 255, 0, 0, 0, 0}},
        StartCase{"ValueHexWithX", 0, {.value = "X0a"}, {1, 0, 0, 10, 0, 0, 0, 0}},
        StartCase{"CountWithPlusSign", 0, {.count = "+5"}, {1, 0, 0, 0, 5, 0, 0, 0}},
        StartCase{"Count255In16ByteMode", 0, {.count = "255"}, {1, 0, 0, 0, 255, 0, 0, 0}},
        StartCase{"Count128In16ByteMode", 0, {.count = "128"}, {1, 0, 0, 0, 128, 0, 0, 0}},
        StartCase{"Count127In32ByteMode", 1, {.count = "127"}, {1, 0, 0, 0, 127, 0, 0, 0}},
        StartCase{"WholeConditionIn32ByteMode",
                  1,
                  {.send = true, .byte = "10", .mask = "$F0", .value = "0x30", .count = "100"},
                  {1, 42, 0xF0, 0x30, 100, 0, 0, 0}}),
    [](const ::testing::TestParamInfo<StartCase>& param) { return std::string(param.param.name); });

TEST_F(LoggingTest, StartOverUsbSendsTheConditionBlock)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    window->SetLogModeIndex(1);
    arm({.send = true, .byte = " 3", .mask = "0x0F", .value = "$01", .count = "5"});
    const auto mark = sent_commands().size();
    window->btnLogStartClick();
    EXPECT_TRUE(messages.shown().empty());
    const auto sent = commands_since(mark);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), control_block({1, 35, 0x0F, 0x01, 5, 0, 0, 0}));
    EXPECT_TRUE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(window->controls().btnLogStart->text(), "STOP");
}

TEST_F(LoggingTest, StartWithoutConditionIgnoresTheFieldsAndLeavesTheTimerStopped)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    auto& ui = window->controls();
    ASSERT_FALSE(ui.cbxStopCondition->isChecked());
    ui.cbxDataSelect->setEditText("");
    ui.edtMaskData->setText("1F");
    ui.edtConditionData->setText("0x100");
    ui.edtLogStartCounter->setText("-1");
    const auto mark = sent_commands().size();
    ui.btnLogStart->click();  // as the user does: a conversion error would show

    EXPECT_TRUE(messages.shown().empty());
    const auto sent = commands_since(mark);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), control_block({1, 255, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(ui.btnLogStart->text(), "STOP");
    EXPECT_EQ(model->log_status(), ampsim::kStatusLogging);
    EXPECT_EQ(model->stop_condition().trigger_index, 0xFF);
}

struct RejectCase {
    const char* name;
    int mode;
    Condition condition;
    const char* message;
    friend void PrintTo(const RejectCase& c, std::ostream* out) { *out << c.name; }
};

class StartRejected : public LoggingTest, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(StartRejected, ShowsTheFirstRangeMessageAndSendsNothing)
{
    const RejectCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    window->SetLogModeIndex(c.mode);
    arm(c.condition);
    const auto mark = sent_commands().size();
    window->controls().btnLogStart->click();

    EXPECT_EQ(messages.shown(), (std::vector<Message>{{c.message, "Error!", MessageIcon::Error}}));
    EXPECT_TRUE(commands_since(mark).empty());
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(window->controls().btnLogStart->text(), "START");
    EXPECT_EQ(model->log_status(), 0);
}

constexpr const char* kMaskRange = "Mask data is out of range(0-255)!";
constexpr const char* kValueRange = "Condition data is out of range(0-255)!";
constexpr const char* kCountRange = "Count data is out of range!";

INSTANTIATE_TEST_SUITE_P(
    LogControl, StartRejected,
    ::testing::Values(
        RejectCase{"Mask0x100", 0, {.mask = "0x100"}, kMaskRange},
        RejectCase{"MaskMinus1", 0, {.mask = "-1"}, kMaskRange},
        RejectCase{"Mask65536", 0, {.mask = "65536"}, kMaskRange},
        RejectCase{"Value256", 0, {.value = "256"}, kValueRange},
        RejectCase{"ValueMinus1", 0, {.value = "-1"}, kValueRange},
        RejectCase{"Count256In16ByteMode", 0, {.count = "256"}, kCountRange},
        RejectCase{"CountMinus1", 0, {.count = "-1"}, kCountRange},
        RejectCase{"Count128In32ByteMode", 1, {.count = "128"}, kCountRange},
        RejectCase{"Count128WithNoModeSelected", -1, {.count = "128"}, kCountRange},
        RejectCase{
            "MaskAndCountInvalidShowsOnlyMask", 0, {.mask = "0x100", .count = "999"}, kMaskRange},
        RejectCase{"ValueAndCountInvalidShowsOnlyValue",
                   0,
                   {.value = "0x100", .count = "-5"},
                   kValueRange},
        RejectCase{
            "MaskOutOfRangeEndsBeforeCountIsRead", 0, {.mask = "-1", .count = "1F"}, kMaskRange}),
    [](const ::testing::TestParamInfo<RejectCase>& param) {
        return std::string(param.param.name);
    });

struct ConversionCase {
    const char* name;
    Condition condition;
    const char* message;
    friend void PrintTo(const ConversionCase& c, std::ostream* out) { *out << c.name; }
};

class StartConversionError : public LoggingTest,
                             public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(StartConversionError, IsShownByTheDefaultErrorDisplayAndNothingIsSent)
{
    const ConversionCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    arm(c.condition);
    const auto mark = sent_commands().size();
    ASSERT_TRUE(window->controls().btnLogStart->isEnabled());
    window->controls().btnLogStart->click();

    EXPECT_EQ(messages.shown(), (std::vector<Message>{{c.message, "Quillon", MessageIcon::Error}}));
    EXPECT_TRUE(commands_since(mark).empty());
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(window->controls().btnLogStart->text(), "START");
}

INSTANTIATE_TEST_SUITE_P(
    LogControl, StartConversionError,
    ::testing::Values(
        ConversionCase{
            "MaskHexWithoutPrefix", {.mask = "1F"}, "'1F' is not a valid integer value."},
        ConversionCase{"MaskTrailingBlank", {.mask = "7 "}, "'7 ' is not a valid integer value."},
        ConversionCase{"EmptyByteSelection", {.byte = ""}, "'' is not a valid integer value."},
        ConversionCase{"EmptyByteBeforeMaskOutOfRange",
                       {.byte = "", .mask = "0x100"},
                       "'' is not a valid integer value."},
        ConversionCase{"ValueText", {.value = "abc"}, "'abc' is not a valid integer value."},
        ConversionCase{"CountText", {.count = "5x"}, "'5x' is not a valid integer value."},
        ConversionCase{"CountTooLargeFor32Bits",
                       {.count = "4294967296"},
                       "'4294967296' is not a valid integer value."}),
    [](const ::testing::TestParamInfo<ConversionCase>& param) {
        return std::string(param.param.name);
    });

TEST_F(LoggingTest, StartCalledDirectlyLetsTheConversionErrorEscape)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    arm({.mask = "1F"});
    const auto mark = sent_commands().size();
    EXPECT_THROW(window->btnLogStartClick(), quillon::ConversionError);
    EXPECT_TRUE(commands_since(mark).empty());
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
}

TEST_F(LoggingTest, StopConditionBoxSwitchesTheSixControlsAndKeepsTheirTexts)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    auto& ui = window->controls();
    const std::array<QWidget*, 6> controls{ui.rbnRcvEn,         ui.rbnSendEn,
                                           ui.cbxDataSelect,    ui.edtMaskData,
                                           ui.edtConditionData, ui.edtLogStartCounter};
    ui.cbxDataSelect->setEditText("12");
    ui.edtMaskData->setText("0x3C");
    ui.edtConditionData->setText("$04");
    ui.edtLogStartCounter->setText("9");
    ASSERT_TRUE(ui.cbxStopCondition->isEnabled());
    for (const bool checked : {true, false, true}) {
        ui.cbxStopCondition->click();
        ASSERT_EQ(ui.cbxStopCondition->isChecked(), checked);
        for (QWidget* control : controls) {
            EXPECT_EQ(control->isEnabled(), checked) << control->objectName().toStdString();
        }
    }
    EXPECT_EQ(ui.cbxDataSelect->currentText(), "12");
    EXPECT_EQ(ui.edtMaskData->text(), "0x3C");
    EXPECT_EQ(ui.edtConditionData->text(), "$04");
    EXPECT_EQ(ui.edtLogStartCounter->text(), "9");
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(LoggingTest, StopSendsEightZerosAndStopsTheTimerAfterTheStatusCheck)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    arm({.count = "200"});
    window->btnLogStartClick();
    ASSERT_TRUE(window->ChkTrigDtctTmr.isActive());
    ASSERT_EQ(window->controls().btnLogStart->text(), "STOP");

    const auto mark = sent_commands().size();
    window->controls().btnLogStart->click();
    EXPECT_TRUE(messages.shown().empty());
    auto expected = std::vector<Bytes>{kStopBlock};
    for (const auto& command : status_check_commands()) {
        expected.push_back(command);
    }
    EXPECT_EQ(commands_since(mark), expected);
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(window->controls().btnLogStart->text(), "START");
    EXPECT_EQ(window->controls().edtComStatus->text(), "IDLE");
    EXPECT_EQ(model->log_status(), 0);
}

TEST_F(LoggingTest, StopStillHasTheTimerRunningDuringItsStatusCheck)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    arm({.count = "200"});
    window->btnLogStartClick();
    ASSERT_TRUE(window->ChkTrigDtctTmr.isActive());
    // The status check's log status read fails visibly, so its moment is seen.
    tamper(block_reads_of_length(2));
    window->btnLogStartClick();
    EXPECT_EQ(messages.shown(),
              (std::vector<Message>{{kNoLogFunction, "Error!", MessageIcon::Error}}));
    EXPECT_EQ(timer_active_at_message, std::vector<bool>{true});
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
}

TEST_F(LoggingTest, StartThatCannotReachTheAmplifierLeavesTheTimerRunning)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    arm({.byte = " 2", .mask = "0x01", .value = "0x01", .count = "4"});
    const auto mark = sent_commands().size();
    peer->set_faults({.corrupt_response = 2});
    window->btnLogStartClick();

    EXPECT_EQ(messages.shown(), (std::vector<Message>{{kCantTalk, "Error!", MessageIcon::Error}}));
    // The control command only: no status check followed.
    EXPECT_EQ(commands_since(mark), (std::vector<Bytes>{control_block({1, 2, 1, 1, 4, 0, 0, 0})}));
    EXPECT_TRUE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(window->controls().btnLogStart->text(), "START");
}

TEST_F(LoggingTest, StopThatCannotReachTheAmplifierKeepsTheTimerRunning)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    arm({.count = "200"});
    window->btnLogStartClick();
    ASSERT_TRUE(window->ChkTrigDtctTmr.isActive());
    usb->drop_connections();
    usb->reconnect_allowed(false);
    window->btnLogStartClick();
    EXPECT_EQ(messages.shown(), (std::vector<Message>{{kCantTalk, "Error!", MessageIcon::Error}}));
    EXPECT_TRUE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(window->controls().btnLogStart->text(), "STOP");
}

// ---------------------------------------------------------------------------
// The trigger poll

TEST_F(LoggingTest, TriggerFiresOnlyAfterTheConditionAndItsCount)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    auto& ui = window->controls();
    arm({.count = "5"});  // every record meets mask 0 = 0: the first one matches
    window->btnLogStartClick();
    ASSERT_TRUE(window->ChkTrigDtctTmr.isActive());

    model->advance(5);  // the match and four further records
    auto mark = sent_commands().size();
    window->ChkTrigDtctTmrTimer();
    EXPECT_EQ(commands_since(mark), std::vector<Bytes>{block_read(0)});
    EXPECT_TRUE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(ui.edtComStatus->text(), "Logging");
    EXPECT_EQ(ui.btnLogStart->text(), "STOP");
    EXPECT_TRUE(ui.btnLogStart->isEnabled());
    EXPECT_FALSE(ui.btnLogSave->isEnabled());
    EXPECT_FALSE(ui.cbxStopCondition->isEnabled());
    EXPECT_FALSE(ui.edtMaskData->isEnabled());
    EXPECT_FALSE(exists(documents));

    model->advance(1);  // the fifth further record: the amplifier stops
    mark = sent_commands().size();
    window->ChkTrigDtctTmrTimer();
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    // The poll, then the log read: control command and 64 blocks in order.
    auto expected = std::vector<Bytes>{block_read(0), kStopBlock};
    for (int block = 0; block < 64; ++block) {
        expected.push_back(block_read(static_cast<std::uint8_t>(block)));
    }
    EXPECT_EQ(commands_since(mark), expected);
    EXPECT_EQ(read_file(save_folder() + "/" + kAutoName),
              expected_file(clock, "#Stop Condition : Recv[0] & 0x00 = 0x00 ,count 5"));
    expect_idle_after_save();
    EXPECT_TRUE(proposals.empty());
}

TEST_F(LoggingTest, StatusWithBothBitsIsLogging)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    arm({.count = "200"});
    window->btnLogStartClick();
    tamper(block_reads_with_status(0x05));
    window->ChkTrigDtctTmrTimer();
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_TRUE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(window->controls().edtComStatus->text(), "Logging");
    EXPECT_EQ(window->controls().btnLogStart->text(), "STOP");
}

TEST_F(LoggingTest, CancelledStateRepeatsUntilBothBitsClearThenSaves)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    auto& ui = window->controls();
    arm({.count = "200"});
    window->btnLogStartClick();
    model->advance(20);
    window->ChkTrigDtctTmrTimer();
    ASSERT_EQ(ui.edtComStatus->text(), "Logging");
    model->cancel_logging();
    ASSERT_EQ(model->log_status(), ampsim::kStatusCancelled);
    // The condition controls follow the cancelled state, not the box.
    ui.cbxStopCondition->setChecked(false);

    for (int tick = 0; tick < 3; ++tick) {
        const auto mark = sent_commands().size();
        window->ChkTrigDtctTmrTimer();
        EXPECT_EQ(commands_since(mark), std::vector<Bytes>{block_read(0)});
        EXPECT_TRUE(window->ChkTrigDtctTmr.isActive());
        EXPECT_EQ(ui.edtComStatus->text(), "Cancel");
        EXPECT_EQ(ui.btnLogStart->text(), "START");
        EXPECT_TRUE(ui.btnLogStart->isEnabled());
        EXPECT_FALSE(ui.btnLogSave->isEnabled());
        EXPECT_TRUE(ui.cbxStopCondition->isEnabled());
        EXPECT_TRUE(ui.edtMaskData->isEnabled());
        EXPECT_TRUE(ui.rbnSendEn->isEnabled());
    }
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_FALSE(exists(documents));

    // Later the amplifier reports both bits clear: the trigger path.
    tamper(block_reads_with_status(0x00));
    window->ChkTrigDtctTmrTimer();
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(read_file(save_folder() + "/" + kAutoName),
              expected_file(clock, "#Stop Condition : Recv[0] & 0x00 = 0x00 ,count 200"));
    expect_idle_after_save();
    EXPECT_FALSE(ui.edtMaskData->isEnabled());  // the box is unchecked now
}

// Any save condition but 0 is manual.
class ManualMode : public LoggingTest, public ::testing::WithParamInterface<int> {};

TEST_P(ManualMode, TriggerOnlyPollsAndReturnsToIdle)
{
    write_settings("[Form]\r\nUSB MODE=0\r\nAUTO SAVE=" + std::to_string(GetParam()) + "\r\n");
    ASSERT_TRUE(start());
    ASSERT_EQ(window->LogSaveCondition, GetParam());
    window->btnStatusCheckClick();
    auto& ui = window->controls();
    arm({.count = "3"});
    window->btnLogStartClick();
    window->ChkTrigDtctTmrTimer();
    ASSERT_EQ(ui.edtComStatus->text(), "Logging");
    model->advance(300);
    ASSERT_EQ(model->log_status(), 0);

    const auto before = peer->commands().size();
    window->ChkTrigDtctTmrTimer();
    EXPECT_EQ(peer->commands().size(), before + 1);
    EXPECT_EQ(commands_since(before), std::vector<Bytes>{block_read(0)});
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_TRUE(proposals.empty());
    EXPECT_FALSE(exists(documents));
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(ui.edtComStatus->text(), "Logging");  // left as it was
    EXPECT_EQ(ui.btnLogStart->text(), "START");
    EXPECT_TRUE(ui.btnLogStart->isEnabled());
    EXPECT_EQ(ui.btnLogSave->text(), "SAVE LOG");
    EXPECT_TRUE(ui.btnLogSave->isEnabled());
    EXPECT_TRUE(ui.cbxStopCondition->isEnabled());
    EXPECT_TRUE(ui.edtMaskData->isEnabled());  // the box is checked
}

INSTANTIATE_TEST_SUITE_P(Trigger, ManualMode, ::testing::Values(1, 2),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return "AutoSave" + std::to_string(param.param);
                         });

class PollFailure : public LoggingTest, public ::testing::WithParamInterface<Transport> {};

TEST_P(PollFailure, AmplifierGoneStopsTheTimerWithOneMessage)
{
    ASSERT_NO_FATAL_FAILURE(start_on(GetParam()));
    auto& ui = window->controls();
    arm({.count = "200"});
    window->btnLogStartClick();
    window->ChkTrigDtctTmrTimer();
    ASSERT_EQ(ui.edtComStatus->text(), "Logging");
    ASSERT_TRUE(messages.shown().empty());

    if (GetParam() == Transport::Usb) {
        usb->drop_connections();
        usb->reconnect_allowed(false);
    } else {
        peer->set_faults({.corrupt_response = 2});
    }
    window->ChkTrigDtctTmrTimer();
    EXPECT_EQ(messages.shown(), (std::vector<Message>{{kCantTalk, "Error!", MessageIcon::Error}}));
    EXPECT_EQ(timer_active_at_message, std::vector<bool>{false});
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(ui.btnLogStart->text(), "START");
    EXPECT_EQ(ui.edtComStatus->text(), "Logging");
    EXPECT_FALSE(ui.btnLogSave->isEnabled());
    EXPECT_EQ(ui.btnLogSave->text(), "SAVE LOG");
    EXPECT_FALSE(exists(documents));
}

INSTANTIATE_TEST_SUITE_P(Trigger, PollFailure, ::testing::Values(Transport::Serial, Transport::Usb),
                         [](const ::testing::TestParamInfo<Transport>& param) {
                             return std::string(param.param == Transport::Serial ? "Serial"
                                                                                 : "Usb");
                         });

TEST_F(LoggingTest, TimerTicksNoMoreAfterThePollFailed)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    arm({.count = "200"});
    window->btnLogStartClick();
    ASSERT_TRUE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(window->ChkTrigDtctTmr.interval(), 1000);
    usb->drop_connections();
    usb->reconnect_allowed(false);
    // Shortened so that many ticks would fit into the watch below.
    window->ChkTrigDtctTmr.setInterval(10);
    const auto run_events_for = [](int milliseconds) {
        QEventLoop loop;
        QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
        loop.exec();
    };
    // The first tick, however slow the machine; then time for twenty more.
    for (int waited = 0; messages.shown().empty() && waited < 5000; waited += 10) {
        run_events_for(10);
    }
    run_events_for(200);
    EXPECT_EQ(messages.shown(), (std::vector<Message>{{kCantTalk, "Error!", MessageIcon::Error}}));
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
}

class PollLength : public LoggingTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(PollLength, OtherThan130MeansNoLogFunction)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    auto& ui = window->controls();
    arm({.count = "200"});
    window->btnLogStartClick();
    ASSERT_TRUE(window->ChkTrigDtctTmr.isActive());
    tamper(block_reads_of_length(GetParam()));
    const auto mark = sent_commands().size();
    window->ChkTrigDtctTmrTimer();
    EXPECT_EQ(messages.shown(),
              (std::vector<Message>{{kNoLogFunction, "Error!", MessageIcon::Error}}));
    EXPECT_EQ(commands_since(mark), std::vector<Bytes>{block_read(0)});
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(ui.btnLogStart->text(), "START");
    EXPECT_EQ(ui.edtComStatus->text(), "Logging");
    EXPECT_FALSE(exists(documents));
}

INSTANTIATE_TEST_SUITE_P(Trigger, PollLength, ::testing::Values(0u, 4u, 129u, 131u),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                             return std::to_string(param.param) + "DataBytes";
                         });

// ---------------------------------------------------------------------------
// The automatic save

enum class Folders { None, MakerOnly, MakerAndSave };

class AutomaticSaveFolder : public LoggingTest, public ::testing::WithParamInterface<Folders> {};

TEST_P(AutomaticSaveFolder, FileGoesIntoTheSaveFolderMadeWhenMissing)
{
    if (GetParam() != Folders::None) {
        std::filesystem::create_directories((documents + "/Orvitek Corporation").toStdString());
    }
    if (GetParam() == Folders::MakerAndSave) {
        std::filesystem::create_directories(save_folder().toStdString());
    }
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    ASSERT_NO_FATAL_FAILURE(reach_trigger());
    window->ChkTrigDtctTmrTimer();

    EXPECT_TRUE(messages.shown().empty());
    EXPECT_TRUE(proposals.empty());
    EXPECT_EQ(entries(save_folder()), std::set<std::string>{kAutoName});
    EXPECT_EQ(read_file(save_folder() + "/" + kAutoName),
              expected_file(clock, "#Stop Condition : Recv[0] & 0x00 = 0x00 ,count 3"));
    expect_idle_after_save();
}

INSTANTIATE_TEST_SUITE_P(AutomaticSave, AutomaticSaveFolder,
                         ::testing::Values(Folders::None, Folders::MakerOnly,
                                           Folders::MakerAndSave),
                         [](const ::testing::TestParamInfo<Folders>& param) {
                             switch (param.param) {
                             case Folders::None: return std::string("NoFolderYet");
                             case Folders::MakerOnly: return std::string("MakerFolderOnly");
                             default: return std::string("BothFolders");
                             }
                         });

struct FallbackCase {
    const char* name;
    // The regular file that keeps a folder from being made.
    const char* blocker;
    bool confirm;
    friend void PrintTo(const FallbackCase& c, std::ostream* out) { *out << c.name; }
};

class AutomaticSaveFallback : public LoggingTest,
                              public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(AutomaticSaveFallback, AsksWithTheBareNameWhenTheFolderCannotBeMade)
{
    const FallbackCase& c = GetParam();
    const QString blocker = documents + "/" + c.blocker;
    std::filesystem::create_directories(std::filesystem::path(blocker.toStdString()).parent_path());
    write_file(blocker, "not a folder");
    const QString chosen = saves + "/picked.txt";
    if (c.confirm) {
        dialog_answer = chosen;
    }
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    ASSERT_NO_FATAL_FAILURE(reach_trigger());
    window->ChkTrigDtctTmrTimer();

    EXPECT_EQ(proposals, std::vector<QString>{kAutoName});
    ASSERT_EQ(requests.size(), 1u);
    expect_log_text_dialog(requests[0]);
    EXPECT_EQ(timer_active_at_dialog, std::vector<bool>{false});
    EXPECT_EQ(read_file(blocker), "not a folder");
    if (c.confirm) {
        EXPECT_TRUE(messages.shown().empty());
        EXPECT_EQ(read_file(chosen),
                  expected_file(clock, "#Stop Condition : Recv[0] & 0x00 = 0x00 ,count 3"));
    } else {
        EXPECT_EQ(messages.shown(),
                  (std::vector<Message>{{"Not saved Log.", "Error!", MessageIcon::Information}}));
        EXPECT_TRUE(entries(saves).empty());
    }
    EXPECT_FALSE(exists(save_folder() + "/" + kAutoName));
    expect_idle_after_save();
}

INSTANTIATE_TEST_SUITE_P(
    AutomaticSave, AutomaticSaveFallback,
    ::testing::Values(
        FallbackCase{"MakerFolderIsAFileConfirmed", "Orvitek Corporation", true},
        FallbackCase{"MakerFolderIsAFileCancelled", "Orvitek Corporation", false},
        FallbackCase{"SaveFolderIsAFileConfirmed", "Orvitek Corporation/Quillon", true},
        FallbackCase{"SaveFolderIsAFileCancelled", "Orvitek Corporation/Quillon", false}),
    [](const ::testing::TestParamInfo<FallbackCase>& param) {
        return std::string(param.param.name);
    });

class AutomaticSaveWriteFailure : public LoggingTest, public ::testing::WithParamInterface<bool> {};

TEST_P(AutomaticSaveWriteFailure, ShowsTheErrorNamingTheFileThenAsks)
{
    const bool confirm = GetParam();
    const QString target = save_folder() + "/" + kAutoName;
    // A save folder that takes no file, whoever runs the test.
    std::filesystem::create_directories((documents + "/Orvitek Corporation").toStdString());
    std::filesystem::create_directory_symlink("/sys/kernel", save_folder().toStdString());
    const QString chosen = saves + "/picked.txt";
    if (confirm) {
        dialog_answer = chosen;
    }
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    ASSERT_NO_FATAL_FAILURE(reach_trigger());
    window->ChkTrigDtctTmrTimer();

    const auto& shown = messages.shown();
    ASSERT_EQ(shown.size(), confirm ? 1u : 2u);
    EXPECT_NE(shown[0].text.find(target.toStdString()), std::string::npos) << shown[0].text;
    EXPECT_EQ(shown[0].caption, "Quillon");
    EXPECT_EQ(shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(proposals, std::vector<QString>{kAutoName});
    if (confirm) {
        EXPECT_EQ(read_file(chosen),
                  expected_file(clock, "#Stop Condition : Recv[0] & 0x00 = 0x00 ,count 3"));
    } else {
        EXPECT_EQ(shown[1], (Message{"Not saved Log.", "Error!", MessageIcon::Information}));
        EXPECT_TRUE(entries(saves).empty());
    }
    expect_idle_after_save();
}

INSTANTIATE_TEST_SUITE_P(AutomaticSave, AutomaticSaveWriteFailure, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return std::string(param.param ? "Confirmed" : "Cancelled");
                         });

TEST_F(LoggingTest, AutomaticSaveOfALogWithoutConditionSaysNone)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    window->btnLogStartClick();  // the box is unchecked
    ASSERT_EQ(model->stop_condition().trigger_index, 0xFF);
    model->advance(300);
    ASSERT_TRUE(model->execute(kStopBlock));  // ended elsewhere
    window->ChkTrigDtctTmrTimer();

    EXPECT_TRUE(messages.shown().empty());
    const std::string text = read_file(save_folder() + "/" + kAutoName);
    EXPECT_EQ(text, expected_file(clock, "#Stop Condition : None"));
    EXPECT_NE(text.find("\r\n#Stop Condition : None\r\n\r\nRecv,"), std::string::npos);
    expect_idle_after_save();
}

TEST_F(LoggingTest, TwoAutomaticSavesInOneSecondKeepBothLogs)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    ASSERT_NO_FATAL_FAILURE(reach_trigger());
    window->ChkTrigDtctTmrTimer();
    const QString file = save_folder() + "/" + kAutoName;
    const std::string first = read_file(file);
    ASSERT_EQ(first, expected_file(clock, "#Stop Condition : Recv[0] & 0x00 = 0x00 ,count 3"));

    // The same second, a new log under another condition.
    window->controls().edtLogStartCounter->setText("7");
    window->btnLogStartClick();
    model->advance(300);
    ASSERT_EQ(model->log_status(), 0);
    window->ChkTrigDtctTmrTimer();

    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(read_file(file), first);
    const QString second = save_folder() + "/Autolog_20140703160509_2.txt";
    EXPECT_EQ(read_file(second),
              expected_file(clock, "#Stop Condition : Recv[0] & 0x00 = 0x00 ,count 7"));
    EXPECT_EQ(entries(save_folder()),
              (std::set<std::string>{kAutoName, "Autolog_20140703160509_2.txt"}));
}

TEST_F(LoggingTest, ARearmedSeriesSavesEachTriggerUntilStopOrACancelledSave)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    auto& ui = window->controls();
    EXPECT_FALSE(ui.cbxRearm->isEnabled()) << "only with a stop condition";
    arm({.count = "3"});
    ASSERT_TRUE(ui.cbxRearm->isEnabled());
    ui.cbxRearm->setChecked(true);
    window->btnLogStartClick();
    const Bytes start_block = control_block({1, 0, 0, 0, 3, 0, 0, 0});
    for (int log = 1; log <= 2; ++log) {
        model->advance(300);
        ASSERT_EQ(model->log_status(), 0);
        const auto mark = sent_commands().size();
        window->ChkTrigDtctTmrTimer();
        EXPECT_TRUE(messages.shown().empty());
        EXPECT_EQ(commands_since(mark).back(), start_block) << "START's block again";
        EXPECT_EQ(ui.lblRearmCount->text(), log == 1 ? "1 log saved" : "2 logs saved");
        EXPECT_EQ(ui.edtComStatus->text(), "Logging");
        EXPECT_EQ(ui.btnLogStart->text(), "STOP");
        EXPECT_TRUE(window->ChkTrigDtctTmr.isActive());
    }
    EXPECT_EQ(entries(save_folder()),
              (std::set<std::string>{kAutoName, "Autolog_20140703160509_2.txt"}));
    // A screen reader reads the count beside the label's fixed name.
    QAccessibleInterface* count = QAccessible::queryAccessibleInterface(ui.lblRearmCount);
    EXPECT_EQ(count->text(QAccessible::Description), "2 logs saved");

    window->btnLogStartClick();  // STOP ends the series
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(ui.btnLogStart->text(), "START");

    // A new series starts counting afresh; a save that falls back to the
    // dialog and is cancelled there ends it.
    window->btnLogStartClick();
    EXPECT_TRUE(ui.lblRearmCount->text().isEmpty());
    std::filesystem::remove_all(save_folder().toStdString());
    std::filesystem::create_directory_symlink("/sys/kernel", save_folder().toStdString());
    model->advance(300);
    window->ChkTrigDtctTmrTimer();
    ASSERT_EQ(messages.shown().size(), 2u);
    EXPECT_EQ(messages.shown()[1], (Message{"Not saved Log.", "Error!", MessageIcon::Information}));
    EXPECT_EQ(ui.btnLogStart->text(), "START");
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_TRUE(ui.lblRearmCount->text().isEmpty());

    window->LogSaveCondition = 1;  // Manual: no automatic save to re-arm after
    window->cbxStopConditionClick();
    EXPECT_FALSE(ui.cbxRearm->isEnabled());
    EXPECT_FALSE(ui.cbxRearm->isChecked());
}

TEST_F(LoggingTest, ASeriesEndsAtALogStoppedBeforeItsTriggerFiredAndKeepsIt)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    auto& ui = window->controls();
    // Recv[2] is the command byte, and the host never sends command 0x01.
    arm({.byte = " 2", .mask = "0xFF", .value = "0x01", .count = "3"});
    ui.cbxRearm->setChecked(true);
    window->btnLogStartClick();
    model->advance(20);
    ASSERT_TRUE(model->execute(kStopBlock));  // stopped elsewhere
    window->ChkTrigDtctTmrTimer();

    const QString file = save_folder() + "/" + kAutoName;
    EXPECT_EQ(read_file(file),
              expected_file(clock, "#Stop Condition : Recv[2] & 0xFF = 0x01 ,count 3"));
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0], (Message{"The log was stopped before its trigger fired.", "",
                                            MessageIcon::Warning, file.toStdString()}));
    EXPECT_TRUE(ui.lblRearmCount->text().isEmpty()) << "not counted";
    EXPECT_EQ(model->log_status(), 0) << "not re-armed";
    expect_idle_after_save();
}

// The series' own folder and count, as wait's --out and --count: the
// series ends by itself at its count, the amplifier left idle, and both are
// remembered.
TEST_F(LoggingTest, ASeriesEndsAtItsCountInTheFolderChosenAndBothAreRemembered)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    auto& ui = window->controls();
    EXPECT_EQ(ui.cbxDataSelect->currentText(), " 0") << "the Byte list starts at its first";
    EXPECT_FALSE(ui.spnSeriesCount->isEnabled()) << "only with a stop condition";
    arm({.count = "3"});
    ASSERT_TRUE(ui.spnSeriesCount->isEnabled() && ui.edtSeriesFolder->isEnabled());
    const QString night = saves + "/night";
    const auto folder_dialog =
        quillon::set_folder_dialog([&night](const QString&) { return night; });
    ui.btnSeriesFolder->click();
    quillon::set_folder_dialog(folder_dialog);
    ui.spnSeriesCount->setValue(2);
    ui.cbxRearm->setChecked(true);
    window->btnLogStartClick();
    for (int log = 1; log <= 2; ++log) {
        model->advance(300);
        window->ChkTrigDtctTmrTimer();
    }
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(entries(night), (std::set<std::string>{kAutoName, "Autolog_20140703160509_2.txt"}));
    EXPECT_FALSE(QFileInfo::exists(save_folder())) << "nothing in the automatic save folder";
    EXPECT_EQ(ui.lblRearmCount->text(), "2 logs saved");
    EXPECT_EQ(ui.btnLogStart->text(), "START");
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(model->log_status(), 0) << "left idle";

    window->FormClose();
    const quillon::SeriesSettings kept = quillon::read_series_settings(settings_path);
    EXPECT_EQ(kept.folder, night.toStdString());
    EXPECT_EQ(kept.count, 2);
}

// quillon-cli's wait and the window's series take one lock over USB: the
// second series on one amplifier is refused, whichever comes first.
TEST_F(LoggingTest, ASeriesOverUsbHoldsTheLockOfEverySeriesOnTheAmplifier)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    auto& ui = window->controls();
    arm({.count = "3"});
    ui.cbxRearm->setChecked(true);
    const Message refused{
        "Another series of logs is being captured over USB from this amplifier "
        "(process " +
            std::to_string(::getpid()) + "); one series at a time.",
        "Error!", MessageIcon::Error};
    {
        quillon::SeriesLock::Refusal refusal;
        const auto other = quillon::SeriesLock::take(refusal);
        ASSERT_TRUE(other);
        window->btnLogStartClick();
        ASSERT_EQ(messages.shown().size(), 1u);
        EXPECT_EQ(messages.shown()[0], refused);
        EXPECT_EQ(model->log_status(), 0) << "not started";
        EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());

        // Checked while a single log is watched, the box is refused too.
        ui.cbxRearm->setChecked(false);
        window->btnLogStartClick();
        ui.cbxRearm->setChecked(true);
        EXPECT_FALSE(ui.cbxRearm->isChecked());
        ASSERT_EQ(messages.shown().size(), 2u);
        EXPECT_EQ(messages.shown()[1], refused);
        window->btnLogStartClick();  // STOP
    }
    ui.cbxRearm->setChecked(true);
    window->btnLogStartClick();
    quillon::SeriesLock::Refusal refusal;
    EXPECT_FALSE(quillon::SeriesLock::take(refusal)) << "the window's series holds it";
    EXPECT_TRUE(refusal.held);
    EXPECT_EQ(refusal.holder, std::to_string(::getpid()));
    window->btnLogStartClick();  // STOP ends the series and lets go
    EXPECT_TRUE(quillon::SeriesLock::take(refusal));
}

// ---------------------------------------------------------------------------
// A series that keeps only the captures meeting a condition, on the cyclic
// host: the stop condition catches each alarm (the flag in Send[1]) with
// count 0, and the condition keeps the alarms 4 and 5 (Send[3] of command
// 0x44).
constexpr const char* kAlarmFields = R"({"fields": [{"name": "alarm", "direction": "send",
  "byte": 3, "names": {"4": "encoder error", "5": "overload"},
  "when": {"direction": "recv", "byte": 2, "mask": 255, "value": 68}}]})";
constexpr const char* kKeepIf = R"(alarm = "overload" or alarm = "encoder error")";

class KeepIfTest : public LoggingTest {
protected:
    // The alarm code a capture fired at, read here: with count 0 the log stops
    // at the record that fired, the last one written.
    static int fired_alarm(const QString& file)
    {
        QStringList sent;
        for (const QString& line : QString::fromStdString(read_file(file)).split("\r\n")) {
            if (line.contains(QRegularExpression("^Recv.*,0*[1-9A-F]"))) {
                sent = line.section(", Send", 1).split(',', Qt::SkipEmptyParts);
            }
        }
        EXPECT_EQ(sent.value(1).toInt(nullptr, 16) & 0x80, 0x80) << file.toStdString();
        return sent.value(3).toInt(nullptr, 16);
    }

    // START with the condition on those fields, then a tick after each
    // alarm until the series ends at count kept; the ticks made (each
    // reads one capture).
    int run_series(int count)
    {
        use_model({.seed = 3, .host = ampsim::ModelOptions::Host::Cyclic, .alarm_every = 60});
        install_routes();
        write_file(fields, kAlarmFields);
        EXPECT_NO_FATAL_FAILURE(start_on(Transport::Usb));
        arm({.send = true, .byte = " 1", .mask = "0x80", .value = "0x80", .count = "0"});
        window->controls().edtSeriesFolder->setText(night);
        window->controls().spnSeriesCount->setValue(count);
        window->controls().cbxRearm->setChecked(true);
        window->KeepIfLine()->SetText(kKeepIf);
        // Without the fields file "alarm" names nothing: START is refused,
        // and nothing reaches the amplifier.
        const auto mark = sent_commands().size();
        window->btnLogStartClick();
        EXPECT_EQ(messages.shown(),
                  (std::vector<Message>{{std::string("Keep only captures where \"") + kKeepIf +
                                             "\": no field of the fields file "
                                             "has this name (column 1)",
                                         "Error!", MessageIcon::Error}}));
        EXPECT_TRUE(commands_since(mark).empty());
        messages.clear();
        const auto before = quillon::set_open_dialog(
            [this](const QString&, const QString&) { return QStringList{fields}; });
        window->controls().btnKeepIfFields->click();
        quillon::set_open_dialog(before);
        EXPECT_EQ(window->controls().lblKeepIfFields->text(), "alarm-fields.json");
        window->btnLogStartClick();
        int ticks = 0;
        for (; window->ChkTrigDtctTmr.isActive() && ticks < 60; ++ticks) {
            model->advance(120);  // an alarm comes within 60 + 15 exchanges
            window->ChkTrigDtctTmrTimer();
        }
        EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
        return ticks;
    }

    // The captures of a folder meeting the condition, and the others.
    std::pair<int, int> meeting_and_not(const QString& folder) const
    {
        std::pair<int, int> counts;
        for (const std::string& name : entries(folder)) {
            if (name != "left-out") {
                ++(fired_alarm(folder + "/" + name.c_str()) >= 4 ? counts.first : counts.second);
            }
        }
        return counts;
    }

    QString fields = saves + "/alarm-fields.json";
    QString night = saves + "/night";
};

TEST_F(KeepIfTest, OnlyCapturesMeetingTheConditionAreKeptAndCountedTheOthersLeftOut)
{
    const int ticks = run_series(2);
    EXPECT_TRUE(messages.shown().empty());
    const auto [kept, not_kept] = meeting_and_not(night);
    const auto [left_out_meeting, left_out] = meeting_and_not(night + "/left-out");
    EXPECT_EQ(kept, 2) << "the count counts the captures kept";
    EXPECT_EQ(not_kept + left_out_meeting, 0);
    ASSERT_GT(left_out, 0) << "the seed's alarms must leave some out";
    EXPECT_EQ(ticks, kept + left_out) << "each capture read is kept or left out, once";
    EXPECT_EQ(window->controls().lblRearmCount->text(),
              QString("2 kept, %1 left out").arg(left_out));
    EXPECT_EQ(model->log_status(), 0) << "left idle";

    // Remembered, and read back on those fields by the next window.
    window->FormClose();
    ASSERT_TRUE(start());
    EXPECT_EQ(window->KeepIfLine()->Text(), kKeepIf);
    EXPECT_TRUE(window->KeepIfLine()->Condition().has_value());
    EXPECT_EQ(window->controls().lblKeepIfFields->text(), "alarm-fields.json");
}

TEST_F(KeepIfTest, ACaptureThatCannotBeMovedAsideIsToldAndTheSeriesGoesOn)
{
    std::filesystem::create_directories(night.toStdString());
    write_file(night + "/left-out", "a file where the folder would be");
    run_series(1);
    int left_out = 0;
    for (const std::string& name : entries(night)) {
        if (const QString file = night + "/" + name.c_str();
            name != "left-out" && fired_alarm(file) < 4) {
            const Message told{
                "The capture " + file.toStdString() +
                    " does not meet the condition, but it could not be moved into "
                    "the folder \"left-out\" beside it; it stays where it was saved.",
                "", MessageIcon::Warning, night.toStdString() + "/left-out: File exists"};
            EXPECT_NE(std::find(messages.shown().begin(), messages.shown().end(), told),
                      messages.shown().end())
                << name;
            ++left_out;
        }
    }
    ASSERT_GT(left_out, 0) << "the seed's alarms must leave some out";
    EXPECT_EQ(messages.shown().size(), std::size_t(left_out));
    EXPECT_EQ(window->controls().lblRearmCount->text(),
              QString("1 kept, %1 left out").arg(left_out));
}

TEST_F(LoggingTest, AutomaticSaveDatesLineOneBeforeTheReadAndNamesTheFileAfterIt)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    ASSERT_NO_FATAL_FAILURE(reach_trigger());
    // A clock that moves one second with every command the amplifier gets.
    const QDateTime base = clock;
    const std::size_t mark = sent_commands().size();
    quillon::set_clock([this, base, mark] {
        return base.addSecs(static_cast<qint64>(sent_commands().size() - mark));
    });
    window->ChkTrigDtctTmrTimer();

    // Line 1 after the poll (1 command), the name after the 65 of the read.
    const QDateTime line_time = base.addSecs(1);
    const QDateTime name_time = base.addSecs(66);
    const QString name =
        QString::asprintf("Autolog_%04d%02d%02d%02d%02d%02d.txt", name_time.date().year(),
                          name_time.date().month(), name_time.date().day(), name_time.time().hour(),
                          name_time.time().minute(), name_time.time().second());
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(entries(save_folder()), std::set<std::string>{name.toStdString()});
    EXPECT_EQ(read_file(save_folder() + "/" + name),
              expected_file(line_time, "#Stop Condition : Recv[0] & 0x00 = 0x00 ,count 3"));
}

TEST_F(LoggingTest, AutomaticSaveNamesTheHourOnTheTwentyFourHourClock)
{
    clock = QDateTime(QDate(2023, 12, 31), QTime(23, 59, 58));
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    ASSERT_NO_FATAL_FAILURE(reach_trigger());
    window->ChkTrigDtctTmrTimer();
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(entries(save_folder()), std::set<std::string>{"Autolog_20231231235958.txt"});
}

struct ReadFailureCase {
    const char* name;
    Transport transport;
    int exchange;  // 0 the control command, b + 1 block b; -1 a serial link fault
    friend void PrintTo(const ReadFailureCase& c, std::ostream* out) { *out << c.name; }
};

class AutomaticSaveReadFailure : public LoggingTest,
                                 public ::testing::WithParamInterface<ReadFailureCase> {};

TEST_P(AutomaticSaveReadFailure, WritesNoFileAndLeavesStartDisabled)
{
    const ReadFailureCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start_on(c.transport));
    auto& ui = window->controls();
    ASSERT_NO_FATAL_FAILURE(reach_trigger());
    const bool save_enabled = ui.btnLogSave->isEnabled();
    const auto mark = sent_commands().size();
    if (c.exchange < 0) {
        // The poll goes through; the control command's reply is corrupted twice.
        tamper([this](std::span<const std::uint8_t> command, std::optional<ampsim::Reply>&) {
            if (command[2] == kControl) {
                peer->set_faults({.corrupt_response = 2});
            }
        });
    } else {
        tamper(wrong_length_at(c.exchange));
    }
    window->ChkTrigDtctTmrTimer();

    EXPECT_EQ(messages.shown(), (std::vector<Message>{{kCantTalk, "Error!", MessageIcon::Error}}));
    // The read ends at the failed exchange: poll, control, blocks before it.
    EXPECT_EQ(commands_since(mark).size(),
              1u + 1u + static_cast<std::size_t>(std::max(c.exchange, 0)));
    EXPECT_FALSE(exists(documents));
    EXPECT_TRUE(proposals.empty());
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(ui.edtComStatus->text(), "IDLE");
    EXPECT_EQ(ui.btnLogSave->text(), "SAVE LOG");
    EXPECT_EQ(ui.btnLogSave->isEnabled(), save_enabled);
    EXPECT_EQ(ui.btnLogStart->text(), "START");
    EXPECT_FALSE(ui.btnLogStart->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    AutomaticSave, AutomaticSaveReadFailure,
    ::testing::Values(ReadFailureCase{"ControlReplyShortOverUsb", Transport::Usb, 0},
                      ReadFailureCase{"Block0OverUsb", Transport::Usb, 1},
                      ReadFailureCase{"Block63OverUsb", Transport::Usb, 64},
                      ReadFailureCase{"Block63OverSerial", Transport::Serial, 64},
                      ReadFailureCase{"ControlLinkFaultOverSerial", Transport::Serial, -1}),
    [](const ::testing::TestParamInfo<ReadFailureCase>& param) {
        return std::string(param.param.name);
    });

struct StatusErrorCase {
    const char* name;
    int block;
    std::uint8_t status;  // in the block's reply
    std::uint8_t after;   // what the following status check reads
    const char* message;
    const char* status_text;  // shown by that status check
    const char* start_caption;
    friend void PrintTo(const StatusErrorCase& c, std::ostream* out) { *out << c.name; }
};

class AutomaticSaveStatusError : public LoggingTest,
                                 public ::testing::WithParamInterface<StatusErrorCase> {};

TEST_P(AutomaticSaveStatusError, ShowsTheErrorThenRunsTheStatusCheck)
{
    const StatusErrorCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    auto& ui = window->controls();
    ASSERT_NO_FATAL_FAILURE(reach_trigger());
    tamper(status_at(c.block, c.status, c.after));
    const auto mark = sent_commands().size();
    window->ChkTrigDtctTmrTimer();

    EXPECT_EQ(messages.shown(), (std::vector<Message>{{c.message, "Error!", MessageIcon::Error}}));
    auto expected = std::vector<Bytes>{block_read(0), kStopBlock};
    for (int block = 0; block <= c.block; ++block) {
        expected.push_back(block_read(static_cast<std::uint8_t>(block)));
    }
    for (const auto& command : status_check_commands()) {
        expected.push_back(command);
    }
    EXPECT_EQ(commands_since(mark), expected);
    EXPECT_FALSE(exists(documents));
    EXPECT_FALSE(window->ChkTrigDtctTmr.isActive());
    EXPECT_EQ(ui.btnLogSave->text(), "SAVE LOG");
    // As the status check found the amplifier.
    EXPECT_EQ(ui.edtComStatus->text(), c.status_text);
    EXPECT_EQ(ui.btnLogStart->text(), c.start_caption);
    EXPECT_TRUE(ui.btnLogStart->isEnabled());
    EXPECT_FALSE(ui.btnLogSave->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(AutomaticSave, AutomaticSaveStatusError,
                         ::testing::Values(StatusErrorCase{"NowLoggingAtBlock0", 0, 0x01, 0x01,
                                                           "Now Logging Error.", "Logging", "STOP"},
                                           StatusErrorCase{"CancelledAtBlock40", 40, 0x04, 0x04,
                                                           "Waveform or FFT function Error.",
                                                           "Cancel", "START"}),
                         [](const ::testing::TestParamInfo<StatusErrorCase>& param) {
                             return std::string(param.param.name);
                         });

// ---------------------------------------------------------------------------
// SAVE LOG

TEST_F(LoggingTest, SaveLogCancelledExchangesAndWritesNothing)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    ASSERT_NO_FATAL_FAILURE(fill_log());
    auto& ui = window->controls();
    // A save before it leaves lines in the memo and a name to propose.
    dialog_answer = saves + "/earlier.txt";
    window->btnLogSaveClick();
    ASSERT_EQ(messages.shown().size(), 1u);
    ASSERT_FALSE(ui.LogSaveMemo->toPlainText().isEmpty());
    const std::string earlier = read_file(saves + "/earlier.txt");

    messages.clear();
    proposals.clear();
    dialog_answer.reset();
    ui.btnLogSave->setText("Saving...");
    const auto mark = sent_commands().size();
    window->btnLogSaveClick();

    EXPECT_EQ(proposals, std::vector<QString>{saves + "/earlier.txt"});
    EXPECT_TRUE(commands_since(mark).empty());
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(entries(saves), std::set<std::string>{"earlier.txt"});
    EXPECT_EQ(read_file(saves + "/earlier.txt"), earlier);
    EXPECT_EQ(window->LastSaveFileName, (saves + "/earlier.txt").toStdString());
    EXPECT_EQ(ui.btnLogSave->text(), "SAVE LOG");
    EXPECT_TRUE(ui.LogSaveMemo->toPlainText().isEmpty());
}

class SaveLogSuccess : public LoggingTest, public ::testing::WithParamInterface<Transport> {};

TEST_P(SaveLogSuccess, WritesTheWholeLogAndProposesItNextTime)
{
    ASSERT_NO_FATAL_FAILURE(start_on(GetParam()));
    ASSERT_NO_FATAL_FAILURE(fill_log());
    auto& ui = window->controls();
    const QString chosen = saves + "/log.txt";
    dialog_answer = chosen;
    const auto mark = sent_commands().size();
    window->btnLogSaveClick();

    EXPECT_EQ(proposals, std::vector<QString>{""});
    ASSERT_EQ(requests.size(), 1u);
    expect_log_text_dialog(requests[0]);
    EXPECT_EQ(
        messages.shown(),
        (std::vector<Message>{{"Finish Saving Log.", "Complete!", MessageIcon::Information}}));
    auto expected = std::vector<Bytes>{kStopBlock};
    for (int block = 0; block < 64; ++block) {
        expected.push_back(block_read(static_cast<std::uint8_t>(block)));
    }
    EXPECT_EQ(commands_since(mark), expected);
    const std::string text = read_file(chosen);
    EXPECT_EQ(text, expected_file(clock, "#Stop Condition : None"));
    EXPECT_EQ(entries(saves), std::set<std::string>{"log.txt"});
    EXPECT_EQ(window->LastSaveFileName, chosen.toStdString());
    EXPECT_EQ(ui.btnLogSave->text(), "SAVE LOG");

    // The next save proposes the file just written.
    dialog_answer.reset();
    window->btnLogSaveClick();
    EXPECT_EQ(proposals, (std::vector<QString>{"", chosen}));
}

INSTANTIATE_TEST_SUITE_P(SaveLog, SaveLogSuccess,
                         ::testing::Values(Transport::Serial, Transport::Usb),
                         [](const ::testing::TestParamInfo<Transport>& param) {
                             return std::string(param.param == Transport::Serial ? "Serial"
                                                                                 : "Usb");
                         });

TEST_F(LoggingTest, SavedFileHas259LinesEachEndedByCrLf)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    ASSERT_NO_FATAL_FAILURE(fill_log(18, 0x0F, 0x01, 5));
    dialog_answer = saves + "/log.txt";
    window->btnLogSaveClick();
    const std::string text = read_file(saves + "/log.txt");

    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    ASSERT_EQ(lines.size(), 259u);
    for (const auto& text_line : lines) {
        EXPECT_EQ(text_line.find_first_of("\r\n"), std::string::npos);
    }
    EXPECT_EQ(lines[0].rfind("#Date and Time  : ", 0), 0u);
    EXPECT_EQ(lines[1], "#Stop Condition : Send[2] & 0x0F = 0x01 ,count 5");
    EXPECT_EQ(lines[2], "");
    for (std::size_t i = 3; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].size(), 106u) << "line " << i + 1;
        EXPECT_EQ(lines[i].rfind("Recv,", 0), 0u) << "line " << i + 1;
        EXPECT_EQ(lines[i].substr(52, 6), ", Send") << "line " << i + 1;
    }
}

struct SaveFailureCase {
    const char* name;
    Transport transport;
    int exchange;  // 0 the control command, b + 1 block b; -1 a serial link fault
    friend void PrintTo(const SaveFailureCase& c, std::ostream* out) { *out << c.name; }
};

class SaveLogReadFailure : public LoggingTest,
                           public ::testing::WithParamInterface<SaveFailureCase> {};

TEST_P(SaveLogReadFailure, KeepsTheOldFileIntact)
{
    const SaveFailureCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start_on(c.transport));
    ASSERT_NO_FATAL_FAILURE(fill_log());
    auto& ui = window->controls();
    const QString target = saves + "/log.txt";
    const std::string old_text = "an older log\r\nkept whole\r\n";
    write_file(target, old_text);
    window->LastSaveFileName = "earlier.txt";
    dialog_answer = target;
    if (c.exchange < 0) {
        peer->set_faults({.corrupt_response = 2});
    } else {
        tamper(wrong_length_at(c.exchange));
    }
    const auto mark = sent_commands().size();
    window->btnLogSaveClick();

    EXPECT_EQ(messages.shown(), (std::vector<Message>{{kCantTalk, "Error!", MessageIcon::Error}}));
    EXPECT_EQ(commands_since(mark).size(), 1u + static_cast<std::size_t>(std::max(c.exchange, 0)));
    EXPECT_EQ(read_file(target), old_text);
    EXPECT_EQ(entries(saves), std::set<std::string>{"log.txt"});  // no temporary file
    EXPECT_EQ(window->LastSaveFileName, "earlier.txt");
    EXPECT_EQ(ui.btnLogSave->text(), "SAVE LOG");
    EXPECT_EQ(ui.edtComStatus->text(), "IDLE");
}

INSTANTIATE_TEST_SUITE_P(
    SaveLog, SaveLogReadFailure,
    ::testing::Values(SaveFailureCase{"ControlLinkFaultOverSerial", Transport::Serial, -1},
                      SaveFailureCase{"ControlReplyShortOverSerial", Transport::Serial, 0},
                      SaveFailureCase{"Block0OverSerial", Transport::Serial, 1},
                      SaveFailureCase{"Block63OverSerial", Transport::Serial, 64},
                      SaveFailureCase{"Block63OverUsb", Transport::Usb, 64}),
    [](const ::testing::TestParamInfo<SaveFailureCase>& param) {
        return std::string(param.param.name);
    });

class SaveLogStatusError : public LoggingTest,
                           public ::testing::WithParamInterface<StatusErrorCase> {};

TEST_P(SaveLogStatusError, ShowsOneErrorThenRunsTheStatusCheck)
{
    const StatusErrorCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    ASSERT_NO_FATAL_FAILURE(fill_log());
    auto& ui = window->controls();
    ASSERT_TRUE(ui.btnLogSave->isEnabled());
    dialog_answer = saves + "/log.txt";
    tamper(status_at(c.block, c.status, c.after));
    const auto mark = sent_commands().size();
    window->btnLogSaveClick();

    EXPECT_EQ(messages.shown(), (std::vector<Message>{{c.message, "Error!", MessageIcon::Error}}));
    auto expected = std::vector<Bytes>{kStopBlock};
    for (int block = 0; block <= c.block; ++block) {
        expected.push_back(block_read(static_cast<std::uint8_t>(block)));
    }
    for (const auto& command : status_check_commands()) {
        expected.push_back(command);
    }
    EXPECT_EQ(commands_since(mark), expected);
    EXPECT_TRUE(entries(saves).empty());
    EXPECT_TRUE(window->LastSaveFileName.empty());
    EXPECT_EQ(ui.btnLogSave->text(), "SAVE LOG");
    EXPECT_EQ(ui.edtComStatus->text(), c.status_text);
    EXPECT_EQ(ui.btnLogStart->text(), c.start_caption);
    EXPECT_FALSE(ui.btnLogSave->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(SaveLog, SaveLogStatusError,
                         ::testing::Values(StatusErrorCase{"LoggingBitAtBlock0", 0, 0x01, 0x01,
                                                           "Now Logging Error.", "Logging", "STOP"},
                                           StatusErrorCase{"BothBitsAtBlock31", 31, 0x05, 0x01,
                                                           "Now Logging Error.", "Logging", "STOP"},
                                           StatusErrorCase{"CancelledBitAtBlock63", 63, 0x04, 0x04,
                                                           "Waveform or FFT function Error.",
                                                           "Cancel", "START"}),
                         [](const ::testing::TestParamInfo<StatusErrorCase>& param) {
                             return std::string(param.param.name);
                         });

struct ConditionLineCase {
    const char* name;
    int mode;
    std::uint8_t index;
    std::uint8_t mask;
    std::uint8_t value;
    std::uint8_t count;
    const char* line;
    friend void PrintTo(const ConditionLineCase& c, std::ostream* out) { *out << c.name; }
};

class SaveLogConditionLine : public LoggingTest,
                             public ::testing::WithParamInterface<ConditionLineCase> {};

TEST_P(SaveLogConditionLine, FollowsTheLogMode)
{
    const ConditionLineCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    window->SetLogModeIndex(c.mode);
    ASSERT_NO_FATAL_FAILURE(fill_log(c.index, c.mask, c.value, c.count));
    dialog_answer = saves + "/log.txt";
    window->btnLogSaveClick();
    EXPECT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(read_file(saves + "/log.txt"), expected_file(clock, c.line));
}

INSTANTIATE_TEST_SUITE_P(
    SaveLog, SaveLogConditionLine,
    ::testing::Values(ConditionLineCase{"Index18In16ByteMode", 0, 18, 0x0F, 0x01, 5,
                                        "#Stop Condition : Send[2] & 0x0F = 0x01 ,count 5"},
                      ConditionLineCase{"Index18In32ByteMode", 1, 18, 0x0F, 0x01, 5,
                                        "#Stop Condition : Recv[18] & 0x0F = 0x01 ,count 5"},
                      ConditionLineCase{"Index15In16ByteMode", 0, 15, 0xA0, 0x0B, 0,
                                        "#Stop Condition : Recv[15] & 0xA0 = 0x0B ,count 0"},
                      ConditionLineCase{"Index16In16ByteMode", 0, 16, 0xFF, 0xFF, 255,
                                        "#Stop Condition : Send[0] & 0xFF = 0xFF ,count 255"},
                      ConditionLineCase{"Index100In16ByteMode", 0, 100, 0x3C, 0x04, 12,
                                        "#Stop Condition : Send[84] & 0x3C = 0x04 ,count 12"},
                      ConditionLineCase{"Index20In32ByteMode", 1, 20, 0x01, 0x00, 3,
                                        "#Stop Condition : Recv[20] & 0x01 = 0x00 ,count 3"},
                      ConditionLineCase{"Index20WithNoModeSelected", -1, 20, 0x01, 0x00, 3,
                                        "#Stop Condition : Recv[20] & 0x01 = 0x00 ,count 3"},
                      ConditionLineCase{"Index32In32ByteMode", 1, 32, 0x80, 0x80, 127,
                                        "#Stop Condition : Send[0] & 0x80 = 0x80 ,count 127"},
                      ConditionLineCase{"NoCondition", 1, 0xFF, 0, 0, 0, "#Stop Condition : None"}),
    [](const ::testing::TestParamInfo<ConditionLineCase>& param) {
        return std::string(param.param.name);
    });

// A read-only file (root included) and a named pipe are refused when the
// log is written: the error names the file, which stays as it was.
class SaveLogWriteFailure : public LoggingTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SaveLogWriteFailure, NamesTheFileKeepsItAndKeepsTheLastName)
{
    namespace fs = std::filesystem;
    const bool pipe = GetParam();
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    ASSERT_NO_FATAL_FAILURE(fill_log());
    auto& ui = window->controls();
    const QString target = saves + "/log.txt";
    if (pipe) {
        ASSERT_EQ(::mkfifo(target.toLocal8Bit().constData(), 0644), 0);
    } else {
        write_file(target, "an older log\r\n");
        fs::permissions(target.toStdString(), fs::perms::owner_read | fs::perms::group_read);
    }
    window->LastSaveFileName = "earlier.txt";
    dialog_answer = target;
    window->btnLogSaveClick();

    const auto& shown = messages.shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].text.find(target.toStdString()), std::string::npos) << shown[0].text;
    EXPECT_EQ(shown[0].caption, "Quillon");
    EXPECT_EQ(shown[0].icon, MessageIcon::Error);
    if (pipe) {
        EXPECT_TRUE(fs::is_fifo(target.toStdString()));
    } else {
        EXPECT_EQ(read_file(target), "an older log\r\n");
        EXPECT_EQ(fs::status(target.toStdString()).permissions(),
                  fs::perms::owner_read | fs::perms::group_read);
    }
    EXPECT_EQ(entries(saves), std::set<std::string>{"log.txt"});  // no temporary file
    EXPECT_EQ(window->LastSaveFileName, "earlier.txt");
    EXPECT_EQ(ui.btnLogSave->text(), "SAVE LOG");
}

INSTANTIATE_TEST_SUITE_P(SaveLog, SaveLogWriteFailure, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return std::string(param.param ? "NamedPipe" : "ReadOnlyFile");
                         });

// A name in a missing folder: the dialog warns and asks again, before any
// exchange; then the user cancels, or picks a folder that is there.
class SaveLogMissingFolder : public LoggingTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SaveLogMissingFolder, IsRefusedByTheDialogBeforeAnyExchange)
{
    const bool then_elsewhere = GetParam();
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    ASSERT_NO_FATAL_FAILURE(fill_log());
    const QString missing = saves + "/missing/log.txt";
    first_answers = {missing};
    if (then_elsewhere) {
        dialog_answer = saves + "/log.txt";
    }
    const auto mark = sent_commands().size();
    window->btnLogSaveClick();

    ASSERT_GE(messages.shown().size(), 1u);
    EXPECT_EQ(
        messages.shown()[0],
        (Message{
            (missing + "\nThe folder does not exist.\nCheck the path and try again.").toStdString(),
            "Save As", MessageIcon::Warning}));
    EXPECT_EQ(proposals, (std::vector<QString>{"", missing}));
    EXPECT_EQ(commands_since(mark).size(), then_elsewhere ? 65u : 0u);
    EXPECT_EQ(entries(saves),
              then_elsewhere ? std::set<std::string>{"log.txt"} : std::set<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(SaveLog, SaveLogMissingFolder, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return std::string(param.param ? "ThenAnotherFolder" : "ThenCancel");
                         });

TEST_F(LoggingTest, SaveLogWritesThroughALinkToItsTargetKeepingItsPermissions)
{
    namespace fs = std::filesystem;
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    ASSERT_NO_FATAL_FAILURE(fill_log());
    const QString real = saves + "/real.txt";
    write_file(real, "an older log\r\n");
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(real.toStdString(), mode);
    fs::create_symlink("real.txt", (saves + "/log.txt").toStdString());
    dialog_answer = saves + "/log.txt";
    window->btnLogSaveClick();

    EXPECT_EQ(messages.shown().size(), 1u);  // "Finish Saving Log."
    EXPECT_TRUE(fs::is_symlink((saves + "/log.txt").toStdString()));
    EXPECT_EQ(read_file(real), expected_file(clock, "#Stop Condition : None"));
    EXPECT_EQ(fs::status(real.toStdString()).permissions(), mode);
    EXPECT_EQ(entries(saves), (std::set<std::string>{"log.txt", "real.txt"}));

    // Rewritten content never inherits the right to run as its owner.
    fs::permissions(real.toStdString(), mode | fs::perms::set_uid | fs::perms::set_gid);
    window->btnLogSaveClick();
    EXPECT_EQ(fs::status(real.toStdString()).permissions(), mode);
}

TEST_F(LoggingTest, SaveLogWritesAndReplacesAFileOfTheLongestName)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Usb));
    ASSERT_NO_FATAL_FAILURE(fill_log());
    const std::string name = std::string(251, 'L') + ".txt";  // 255 bytes
    dialog_answer = saves + "/" + QString::fromStdString(name);
    for (int save = 0; save < 2; ++save) {  // the second replaces the first
        clock = clock.addSecs(save);
        window->btnLogSaveClick();
        EXPECT_EQ(read_file(*dialog_answer), expected_file(clock, "#Stop Condition : None"));
    }
    EXPECT_EQ(
        messages.shown(),
        (std::vector<Message>(2, {"Finish Saving Log.", "Complete!", MessageIcon::Information})));
    EXPECT_EQ(entries(saves), std::set<std::string>{name});
}

TEST_F(LoggingTest, SaveLogReplacesAnExistingFileWhole)
{
    ASSERT_NO_FATAL_FAILURE(start_on(Transport::Serial));
    ASSERT_NO_FATAL_FAILURE(fill_log());
    const QString target = saves + "/log.txt";
    // Longer than the log: a file only overwritten in place would keep its tail.
    write_file(target, std::string(100000, 'x'));
    dialog_answer = target;
    window->btnLogSaveClick();
    EXPECT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(read_file(target), expected_file(clock, "#Stop Condition : None"));
    EXPECT_EQ(entries(saves), std::set<std::string>{"log.txt"});
}

}  // namespace
