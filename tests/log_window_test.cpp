// The log view window: "Get Log", "Save Log", "Clear Log" and the list's
// size, against the simulated amplifier.
#include "HexText.h"
#include "LogFile.h"
#include "Logwindow.h"
#include "MainWindowFixture.h"
#include "MenuKeys.h"
#include "ui_Log.h"
#include "ui_Logwindow.h"

#include <QListWidget>

#include <atomic>
#include <cstdio>
#include <memory>

namespace {

using testsupport::MainWindowTest;

class LogWindowTest : public MainWindowTest {
protected:
    LogWindowTest()
    {
        quillon::set_clock([this] { return clock; });
        quillon::set_save_dialog([this](const quillon::SaveRequest& request) {
            requests.push_back(request);
            if (!first_answers.empty()) {
                const auto answer = first_answers.front();
                first_answers.erase(first_answers.begin());
                return answer;
            }
            return target;
        });
    }
    ~LogWindowTest() override
    {
        quillon::set_clock({});
        quillon::set_save_dialog({});
    }

    void open_window()
    {
        ASSERT_TRUE(start());
        log_window = std::make_unique<TfrmLogWindow>(window->Sender());
        window->SetLogWindow(log_window.get());
    }

    // Logs 300 host exchanges and stops, so the whole log is filled.
    void fill_log()
    {
        const std::uint8_t start_log[] = {8, 0, 0xEA, 1, 0xFF, 0, 0, 0, 0, 0, 0};
        const std::uint8_t stop_log[] = {8, 0, 0xEA, 0, 0, 0, 0, 0, 0, 0, 0};
        model->execute(start_log);
        model->advance(300);
        model->execute(stop_log);
    }

    QStringList rows() const
    {
        QStringList all;
        for (int i = 0; i < list().count(); ++i) {
            all << list().item(i)->text();
        }
        return all;
    }

    QListWidget& list() const { return *log_window->controls().lbxLogList; }

    // The rows a complete fetch must show, built from the model's records.
    QStringList expected_rows() const
    {
        const QLocale locale = QLocale::system();
        QStringList expected{
            "#Date and Time  : " + locale.toString(clock.date(), QLocale::ShortFormat) + " " +
                locale.toString(clock.time(), QLocale::LongFormat),
            QString()};
        for (const auto& record : model->log_in_read_order()) {
            QString row = "Recv : ";
            for (auto byte : record.received) {
                row += QString::asprintf("%02X,", byte);
            }
            row += " Send : ";
            for (auto byte : record.sent) {
                row += QString::asprintf("%02X,", byte);
            }
            expected << row;
        }
        return expected;
    }

    static std::string read_file(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    QDateTime clock = QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7));
    std::vector<std::optional<QString>> first_answers;  // answered once each, before target
    std::optional<QString> target;
    std::vector<quillon::SaveRequest> requests;
    std::unique_ptr<TfrmLogWindow> log_window;
};

TEST_F(LogWindowTest, GetLogFillsTheListAndSaveLogWritesAndEmptiesIt)
{
    fill_log();
    open_window();
    auto& ui = log_window->controls();
    EXPECT_TRUE(ui.mnuGetLog->isEnabled());
    EXPECT_FALSE(ui.mnuSaveLog->isEnabled());
    EXPECT_FALSE(ui.mnuClearLog->isEnabled());
    EXPECT_EQ(log_window->windowTitle(), "Log Veiw");

    // The rows stay 16 + 16 bytes in 32-byte mode too.
    window->SetLogModeIndex(1);
    ui.mnuGetLog->trigger();
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(rows(), expected_rows());
    EXPECT_EQ(list().count(), 258);
    EXPECT_EQ(list().item(2)->text().size(), 111);
    EXPECT_TRUE(ui.mnuSaveLog->isEnabled());
    EXPECT_TRUE(ui.mnuClearLog->isEnabled());

    const std::string file = testsupport::private_root() + "/view.txt";
    target = QString::fromStdString(file);
    ui.mnuSaveLog->trigger();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].filter, "All files (*)");
    EXPECT_TRUE(requests[0].default_suffix.isEmpty());
    std::string expected_file;
    for (const auto& row : expected_rows()) {
        expected_file += row.toStdString() + "\r\n";
    }
    EXPECT_EQ(read_file(file), expected_file);
    // The file reads back as a log, row for row.
    const quillon::LogFile saved = quillon::read_log_file(file);
    EXPECT_EQ(saved.format, quillon::LogFormat::LogView);
    for (int i = 0; i < quillon::kLogRecords; ++i) {
        std::string row = "Recv : ";
        for (std::size_t k = 0; k < quillon::kRecordBytes; ++k) {
            row += (k == 16 ? " Send : " : "") +
                   quillon::hex_byte(saved.records[std::size_t(i)][k]) + ",";
        }
        EXPECT_EQ(QString::fromStdString(row), expected_rows()[i + 2]);
    }
    EXPECT_EQ(list().count(), 0);
    EXPECT_TRUE(ui.mnuSaveLog->isEnabled());
    EXPECT_TRUE(ui.mnuClearLog->isEnabled());

    // Saving the empty list writes an empty file, which is no log.
    ui.mnuSaveLog->trigger();
    EXPECT_EQ(read_file(file), "");
    EXPECT_THROW(quillon::read_log_file(file), quillon::LogReadError);
}

TEST_F(LogWindowTest, CancelledSaveAndUnwritableFileLeaveTheList)
{
    fill_log();
    open_window();
    auto& ui = log_window->controls();
    ui.mnuGetLog->trigger();
    ASSERT_EQ(list().count(), 258);
    target.reset();
    ui.mnuSaveLog->trigger();
    EXPECT_EQ(list().count(), 258);
    EXPECT_TRUE(messages.shown().empty());

    // A name in a missing folder: the dialog refuses it and asks again; a
    // read-only file is refused when written, root included.
    const std::string missing = testsupport::private_root() + "/no such folder/view.txt";
    const std::string read_only = testsupport::private_root() + "/read-only view.txt";
    std::ofstream(read_only) << "kept";
    std::filesystem::permissions(read_only, std::filesystem::perms::owner_read);
    first_answers = {QString::fromStdString(missing)};
    target = QString::fromStdString(read_only);
    ui.mnuSaveLog->trigger();
    EXPECT_EQ(list().count(), 258);
    ASSERT_EQ(messages.shown().size(), 2u);
    EXPECT_EQ(messages.shown()[0].icon, quillon::MessageIcon::Warning);
    EXPECT_EQ(messages.shown()[0].text.rfind(missing + "\n", 0), 0u) << messages.shown()[0].text;
    EXPECT_NE(messages.shown()[1].text.find(read_only), std::string::npos)
        << messages.shown()[1].text;
    EXPECT_EQ(read_file(read_only), "kept");

    ui.mnuClearLog->trigger();
    EXPECT_EQ(list().count(), 0);
    EXPECT_TRUE(ui.mnuSaveLog->isEnabled());
}

TEST_F(LogWindowTest, NoAmplifierLeavesOnlyTheDateRow)
{
    write_settings("[Form]\r\nUSB MODE=0\r\nComPort=COM1\r\n");
    open_window();
    peer->set_faults({.refuse_enq = 100});
    log_window->controls().mnuGetLog->trigger();
    EXPECT_EQ(list().count(), 1);
    EXPECT_TRUE(list().item(0)->text().startsWith("#Date and Time  : "));
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "Can't talk with Amplifier.");
    EXPECT_EQ(messages.shown()[0].caption, "Error!");
    EXPECT_FALSE(log_window->controls().mnuSaveLog->isEnabled());
    EXPECT_FALSE(log_window->controls().mnuClearLog->isEnabled());
}

TEST_F(LogWindowTest, WithoutAUsbConnectionTheAdapterSpeaksFirst)
{
    usb.reset();  // nothing to connect to
    open_window();
    messages.clear();
    log_window->controls().mnuGetLog->trigger();
    ASSERT_EQ(messages.shown().size(), 2u);
    EXPECT_EQ(messages.shown()[0].text, "Invalid CID");
    EXPECT_EQ(messages.shown()[1].text, "Can't talk with Amplifier.");
}

TEST_F(LogWindowTest, LogStatusAndShortRepliesEndTheFetch)
{
    // Served over RS-232, so that the replies can be doctored on their way.
    write_settings("[Form]\r\nUSB MODE=0\r\nComPort=COM1\r\n");
    fill_log();
    open_window();
    // Set here, read by the peer's thread, which outlives this test body.
    struct Doctoring {
        std::atomic<std::uint8_t> forced_status{0};
        std::atomic<int> block_reads{0};
        std::atomic<int> short_block{-1};
    };
    const auto doctoring = std::make_shared<Doctoring>();
    peer->set_responder([this, doctoring](std::span<const std::uint8_t> block) {
        auto reply = model->execute(block);
        if (reply && block[2] == 0xFA) {
            reply->data[129] |= doctoring->forced_status.load();
            if (doctoring->block_reads++ == doctoring->short_block) {
                reply->data.pop_back();
            }
        }
        return reply;
    });
    auto& [forced_status, block_reads, short_block] = *doctoring;

    // Still logging from block 0 on: only rows 1 and 2 remain. Bit 0 wins
    // over bit 2.
    forced_status = 0x05;
    log_window->controls().mnuGetLog->trigger();
    EXPECT_EQ(list().count(), 2);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "Now Logging Error.");

    messages.clear();
    forced_status = 0x04;
    log_window->controls().mnuGetLog->trigger();
    EXPECT_EQ(list().count(), 2);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "Waveform or FFT function Error.");

    // A block reply one byte short at block 10: the rows of blocks 0-9
    // stay, and the short block becomes no rows.
    messages.clear();
    forced_status = 0;
    block_reads = 0;
    short_block = 10;
    log_window->controls().mnuGetLog->trigger();
    EXPECT_EQ(list().count(), 2 + 10 * 4);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "Can't talk with Amplifier.");
    EXPECT_FALSE(log_window->controls().mnuSaveLog->isEnabled());
}

TEST_F(LogWindowTest, ListFollowsTheClientAreaAndSurvivesClosing)
{
    fill_log();
    open_window();
    window->mnuViewLogDataClick();
    ASSERT_TRUE(log_window->isVisible());
    log_window->controls().centralwidget->resize(642, 361);
    log_window->FormResize();
    EXPECT_EQ(list().geometry(), QRect(8, 8, 625, 345));

    log_window->controls().mnuGetLog->trigger();
    log_window->close();
    EXPECT_FALSE(log_window->isVisible());
    window->mnuViewLogDataClick();
    EXPECT_TRUE(log_window->isVisible());
    EXPECT_EQ(list().count(), 258);
    EXPECT_EQ(list().accessibleName(), "Log");
    EXPECT_EQ(list().font().pixelSize(), 12);
    EXPECT_EQ(list().font().family(), QString::fromUtf8("ＭＳ ゴシック"));
}

TEST_F(LogWindowTest, EveryCommandHasAMnemonicOfItsOwnAndF10OpensTheMenuBar)
{
    open_window();
    int counted = 0;
    EXPECT_EQ(testsupport::menu_key_faults(log_window->menuBar()->actions(), "", counted),
              std::vector<std::string>{});
    EXPECT_EQ(counted, 3);
    EXPECT_TRUE(testsupport::f10_opens_menu_bar(*log_window));
}

}  // namespace
