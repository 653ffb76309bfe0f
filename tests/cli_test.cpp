// quillon-cli as a user's script runs it: a separate process against ampsim
// as a separate process, over the pseudo-terminal and over USB.
#include "AmplifierQueries.h"
#include "AtomicFile.h"
#include "ChildProcess.h"
#include "CliRun.h"
#include "Commands.h"
#include "HalvexSocket.h"
#include "LogText.h"
#include "LogTimeline.h"
#include "PortPath.h"
#include "PrettyJson.h"
#include "TestEnvironment.h"
#include "Version.h"
#include "ZeroSumChecksum.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::ChildProcess;

using testsupport::CliRun;
using testsupport::run_cli;
using testsupport::run_cli_in;
using testsupport::run_program;

// quillon-cli with its standard output sent where redirect says ("> FILE",
// "| head -1"), by bash; the status is quillon-cli's own.
CliRun run_cli_into(std::vector<std::string> args, const std::string& redirect,
                    std::chrono::milliseconds limit = 20s)
{
    args.insert(args.begin(), {"-c", "\"$0\" \"$@\" " + redirect + "; exit ${PIPESTATUS[0]}",
                               testsupport::bin_dir() + "/quillon-cli"});
    return run_program("/bin/bash", args, limit);
}

// Asks for the status until the log has stopped by itself, so that a wait
// begins on a trigger that has fired and the count of records that passed.
bool log_stops(std::vector<std::string> way)
{
    way.emplace_back("status");
    for (int tries = 0; tries < 100; ++tries) {
        if (run_cli(way).output.starts_with("Status: IDLE\n")) {
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

std::string file_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// ampsim on COM2 and the USB socket, with a log of `records` host exchanges.
struct Simulator {
    explicit Simulator(std::vector<std::string> extra = {}, int records = 300)
        : process(testsupport::bin_dir() + "/ampsim", with_defaults(std::move(extra)))
    {
        // The port is served first, then the USB socket.
        process.wait_for_line("serving USB", 5s);
        if (records > 0) {
            process.write_line("advance " + std::to_string(records));
            process.wait_for_line("ran", 5s);
        }
    }
    // Ended as a user ends it, so that its link and socket go with it.
    ~Simulator()
    {
        process.signal(SIGTERM);
        process.wait_for_exit(5s);
    }
    static std::vector<std::string> with_defaults(std::vector<std::string> extra)
    {
        extra.insert(extra.begin(), {"--port", "2", "--traffic", "0", "--verbose"});
        return extra;
    }
    ChildProcess process;
};

class CliOverEachWay : public ::testing::TestWithParam<bool> {
protected:
    bool usb() const { return GetParam(); }
    std::vector<std::string> with_connection(std::vector<std::string> args) const
    {
        const std::vector<std::string> way =
            usb() ? std::vector<std::string>{"--usb"} : std::vector<std::string>{"--port", "COM2"};
        args.insert(args.begin(), way.begin(), way.end());
        return args;
    }
    // The same read through the engine in this process, as SAVE LOG makes it.
    std::string engine_log_text(const std::string& date_time_line) const
    {
        quillon::TCommAdapter serial(testsupport::bin_dir() + "/libtarnlink.so");
        quillon::TCommAdapterUSB link(testsupport::bin_dir() + "/libhalvex.so");
        quillon::AmplifierSend send;
        if (usb()) {
            EXPECT_TRUE(link.LoadDriver() && link.Connect());
            send = [&link](auto word, auto params, auto response) {
                return link.SendCommand(word, 0, params, response);
            };
        } else {
            EXPECT_TRUE(serial.LoadDriver() && serial.OpenPort("COM2"));
            send = [&serial](auto word, auto params, auto response) {
                return serial.SendCommand(word, params, response);
            };
        }
        const auto capture = quillon::capture_log(send, [](int) {});
        link.DisconnectAll();
        return quillon::crlf_text(quillon::log_text_lines(date_time_line, capture, 16));
    }
};

TEST_P(CliOverEachWay, SaveWritesTheEnginesLogTextByteForByte)
{
    Simulator ampsim;
    const fs::path file = fs::path(testsupport::private_root()) / "saved.txt";
    const CliRun saved = run_cli(with_connection({"--bytes", "16", "save", file.string()}));
    ASSERT_EQ(saved.status, 0) << saved.output;
    EXPECT_TRUE(saved.output.empty()) << "no progress bar when not on a terminal";
    const std::string text = file_text(file);
    const std::string first_line = text.substr(0, text.find("\r\n"));
    EXPECT_EQ(text, engine_log_text(first_line));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 259);

    const CliRun to_stdout = run_cli(with_connection({"--bytes", "16", "save", "-"}));
    ASSERT_EQ(to_stdout.status, 0);
    const auto body = [](const std::string& t) { return t.substr(t.find('\n')); };
    EXPECT_EQ(body(to_stdout.output), body(text));
}

TEST_P(CliOverEachWay, StartSendsTheBlockOfStartAndChecksTheFieldsAlike)
{
    Simulator ampsim({}, 0);
    const CliRun started = run_cli(
        with_connection({"--bytes", "16", "start", "--stop-on", "send", "2", "0x0F", "1", "5"}));
    EXPECT_EQ(started.status, 0) << started.output;
    EXPECT_EQ(started.output, "Logging\n");
    EXPECT_TRUE(ampsim.process.wait_for_line("command 08 00 EA 01 12 0F 01 05 00 00 00", 5s));

    const struct {
        std::vector<std::string> fields;
        std::string message;
    } refused[] = {
        {{"recv", "0", "256", "1", "5"}, "Mask data is out of range(0-255)!"},
        {{"recv", "0", "1", "-1", "5"}, "Condition data is out of range(0-255)!"},
        {{"send", "0", "1", "1", "128", "--bytes", "32"}, "Count data is out of range!"},
        {{"recv", "abc", "1", "1", "5"}, "'abc' is not a valid integer value."},
        {{"send", "16", "0", "0", "0"}, "Byte data is out of range(0-15)!"},
        {{"recv", "-1", "0", "0", "0"}, "Byte data is out of range(0-15)!"},
        {{"send", "32", "0", "0", "0", "--bytes", "32"}, "Byte data is out of range(0-31)!"},
    };
    for (const auto& c : refused) {
        std::vector<std::string> args{"start", "--stop-on"};
        args.insert(args.end(), c.fields.begin(), c.fields.end());
        const CliRun run = run_cli(with_connection(args));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, "quillon-cli: " + c.message + "\n");
    }
    const CliRun stopped = run_cli(with_connection({"stop"}));
    EXPECT_EQ(stopped.status, 0);
    EXPECT_EQ(stopped.output, "IDLE\n");
}

TEST_P(CliOverEachWay, StatusShowsTheLogStatusAndTheBytesOfTheMode)
{
    Simulator ampsim;
    const CliRun text = run_cli(with_connection({"--bytes", "32", "status"}));
    ASSERT_EQ(text.status, 0) << text.output;
    EXPECT_EQ(text.output.substr(0, 13), "Status: IDLE\n");
    const auto rx = text.output.substr(text.output.find("RX(Cmd): "));
    EXPECT_EQ(rx.substr(0, rx.find('\n')).size(), 9 + 32 * 3 - 1);
    const CliRun json = run_cli(with_connection({"status", "--json", "--bytes", "16"}));
    EXPECT_EQ(json.output.substr(0, 21), "{\"status\": \"IDLE\", \"p");
    EXPECT_NE(json.output.find("\"bytes\": 16"), std::string::npos) << json.output;
}

TEST_P(CliOverEachWay, WaitRearmSavesASeriesOfNewCapturesAndLeavesTheAmplifierIdle)
{
    Simulator ampsim({"--traffic", "200"}, 0);
    const fs::path out = fs::path(testsupport::private_root()) / "series";
    fs::create_directories(out);
    // Mask 0 meets every record: each capture ends three records after it starts.
    ASSERT_EQ(run_cli(with_connection({"start", "--stop-on", "recv", "0", "0", "0", "3"})).status,
              0);
    ASSERT_TRUE(log_stops(with_connection({})));
    const CliRun series = run_cli(with_connection({"wait", "--rearm", "--count", "3", "--json",
                                                   "--timeout", "60", "--out", out.string()}),
                                  60s);
    ASSERT_EQ(series.status, 0) << series.output;
    std::istringstream lines(series.output);
    std::set<std::string> captures;
    int index = 0;
    for (std::string line; std::getline(lines, line);) {
        ++index;
        const auto object = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        EXPECT_EQ(object["index"].toInt(), index) << line;
        EXPECT_EQ(object["stop_condition"].toObject()["count"].toInt(), 3) << line;
        const std::string text = file_text(object["file"].toString().toStdString());
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 259);
        captures.insert(text.substr(text.find("\r\n")));  // all but the date and time
    }
    EXPECT_EQ(index, 3);
    EXPECT_EQ(captures.size(), 3u) << "each log a new capture";
    // START's block once from start, then again for the second and the third
    // log; none after the last.
    for (int sent = 0; sent < 3; ++sent) {
        EXPECT_TRUE(ampsim.process.wait_for_line("command 08 00 EA 01 00 00 00 03 00 00 00", 5s));
    }
    EXPECT_FALSE(ampsim.process.wait_for_line("command 08 00 EA 01", 1s));
    EXPECT_EQ(run_cli(with_connection({"status"})).output.substr(0, 13), "Status: IDLE\n");
    EXPECT_EQ(run_cli(with_connection({"wait", "--count", "2"})).status, 1) << "without --rearm";
}

// The fields of the cyclic host.
const fs::path kDocs = fs::path(QUILLON_GOLDEN_DIR) / ".." / ".." / "docs";

// The test's own reading of a capture saved with the stop condition
// Send[1] & 0x80 = 0x80, count 3: the alarm code that its fired record (the
// written record three before the last) answers.
int fired_alarm_code(const fs::path& capture)
{
    std::vector<std::string> records;
    std::istringstream lines(file_text(capture));
    for (std::string line; std::getline(lines, line);) {
        // Written records hold the cyclic host's address; never-written ones are all zero.
        if (line.starts_with("Recv,") && line.find("Recv,00,00,00,00,") != 0) {
            records.push_back(line);
        }
    }
    if (records.size() < 4) {
        return -1;
    }
    const std::string& fired = records[records.size() - 4];
    const std::string sent = fired.substr(fired.find("Send,") + 5);
    return std::stoi(sent.substr(3 * 3, 2), nullptr, 16);
}

// Only the captures whose alarm is overcurrent (one alarm in five) are
// kept; the others are moved into left-out/, none lost or doubled, and the
// kept ones counted toward --count.
TEST_P(CliOverEachWay, WaitKeepIfKeepsOnlyTheCapturesThatMeetTheCondition)
{
    Simulator ampsim({"--host", "cyclic", "--alarm-every", "40", "--traffic", "300", "--seed", "7"},
                     0);
    const fs::path out = fs::path(testsupport::private_root()) / "kept";
    const fs::path errors = fs::path(testsupport::private_root()) / "kept-errors.txt";
    fs::remove_all(out);
    fs::create_directories(out);
    ASSERT_EQ(
        run_cli(with_connection({"start", "--stop-on", "send", "1", "0x80", "0x80", "3"})).status,
        0);
    const CliRun series = run_cli_into(
        with_connection({"wait", "--rearm", "--count", "2", "--json", "--timeout", "120", "--out",
                         out.string(), "--fields", (kDocs / "ampsim-fields.json").string(),
                         "--keep-if", "alarm = \"overcurrent\""}),
        "2> " + errors.string(), 150s);
    ASSERT_EQ(series.status, 0) << series.output << file_text(errors);
    std::istringstream lines(series.output);
    std::set<std::string> texts;
    int kept = 0;
    int left_out_before = 0;
    for (std::string line; std::getline(lines, line);) {
        const auto object = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        const fs::path file = object["file"].toString().toStdString();
        EXPECT_EQ(object["index"].toInt(), ++kept) << line;
        EXPECT_EQ(file.parent_path(), out);
        const int code = fired_alarm_code(file);
        EXPECT_EQ(code, 1) << file;
        left_out_before += object["left_out_before"].toInt();
        texts.insert(file_text(file).substr(file_text(file).find("\r\n")));
    }
    EXPECT_EQ(kept, 2);
    int left_out = 0;
    // None is left out when the first two captures both meet it (one time in 25).
    const bool any_left_out = fs::exists(out / "left-out");
    for (const auto& entry :
         any_left_out ? fs::directory_iterator(out / "left-out") : fs::directory_iterator()) {
        ++left_out;
        const int code = fired_alarm_code(entry.path());
        EXPECT_TRUE(code >= 2 && code <= 5) << entry.path() << " answers alarm " << code;
        EXPECT_NE(file_text(errors).find("moved to " + entry.path().string()), std::string::npos);
        texts.insert(file_text(entry.path()).substr(file_text(entry.path()).find("\r\n")));
    }
    EXPECT_EQ(left_out, left_out_before) << file_text(errors);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()),
              2 + (any_left_out ? 1 : 0))
        << "the two kept and left-out/";
    EXPECT_EQ(texts.size(), std::size_t(kept + left_out)) << "each capture a new one, saved once";
}

// The lines of a file, in order.
std::vector<std::string> file_lines(const fs::path& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A series that outlives its way in: ampsim ended and started again on the
// same port (RS-232), or its USB connections dropped and allowed again.
// Every capture, before and after, whole and saved once; the hook once for
// each, in order.
TEST_P(CliOverEachWay, WaitReconnectOutlivesALostWayInAndSavesEachCaptureOnce)
{
    std::optional<Simulator> ampsim(std::in_place, std::vector<std::string>{"--traffic", "200"}, 0);
    const fs::path out = fs::path(testsupport::private_root()) / "reconnect";
    const fs::path hooks = fs::path(testsupport::private_root()) / "reconnect-hooks.txt";
    fs::remove_all(out);
    fs::create_directories(out);
    fs::remove(hooks);
    ASSERT_EQ(run_cli(with_connection({"start", "--stop-on", "recv", "0", "0", "0", "3"})).status,
              0);
    ASSERT_TRUE(log_stops(with_connection({})));
    ChildProcess series(
        testsupport::bin_dir() + "/quillon-cli",
        with_connection({"wait", "--rearm", "--reconnect", "--count", "4", "--timeout", "120",
                         "--out", out.string(), "--on-capture",
                         "echo \"$QUILLON_INDEX $QUILLON_FILE\" >> " + hooks.string()}));
    ASSERT_TRUE(series.wait_for_line(out.string(), 30s)) << "a capture before";
    if (usb()) {
        ampsim->process.write_line("drop-usb");
    } else {
        ampsim.reset();
    }
    ASSERT_TRUE(series.wait_for_line("the way to the amplifier is lost", 30s));
    if (usb()) {
        ampsim->process.write_line("allow-usb");
    } else {
        // Another run of the amplifier: other traffic, no log.
        ampsim.emplace(std::vector<std::string>{"--traffic", "200", "--seed", "2"}, 0);
    }
    ASSERT_TRUE(series.wait_for_line("the amplifier answers again", 30s));
    std::string rest;
    while (const auto line = series.read_line(60s)) {
        rest += *line + "\n";
    }
    ASSERT_EQ(series.wait_for_exit(5s), 0) << rest;

    std::set<std::string> captures;
    for (const auto& entry : fs::directory_iterator(out)) {
        const std::string text = file_text(entry.path());
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 259) << entry.path();
        captures.insert(text.substr(text.find("\r\n")));  // all but the date and time
    }
    EXPECT_EQ(captures.size(), 4u) << "four files, none the same log" << rest;
    const auto hooked = file_lines(hooks);
    ASSERT_EQ(hooked.size(), 4u);
    for (std::size_t i = 0; i < hooked.size(); ++i) {
        EXPECT_TRUE(hooked[i].starts_with(std::to_string(i + 1) + " " + out.string())) << hooked[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Ways, CliOverEachWay, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "Usb" : "Serial"; });

TEST(Cli, WaitSavesAfterTheTriggerAndTimesOutWithoutOne)
{
    Simulator ampsim({"--traffic", "100"}, 0);
    const fs::path out = fs::path(testsupport::private_root()) / "auto";
    fs::create_directories(out);
    // A folder that cannot take the log is found before anything is asked.
    const CliRun nowhere = run_cli({"--usb", "wait", "--out", (out / "missing").string()});
    EXPECT_EQ(nowhere.status, 5) << nowhere.output;
    const fs::path file = fs::path(testsupport::private_root()) / "a-file";
    quillon::write_file_atomically(file.string(), "");
    EXPECT_EQ(
        run_cli({"--usb", "wait", "--out", file.string()}).output,
        "quillon-cli: Cannot write to the folder " + file.string() + ": it is not a folder.\n");
    EXPECT_FALSE(ampsim.process.wait_for_line("command", 500ms)) << "nothing exchanged";
    // A log never armed is idle, but no trigger stopped it: nothing saved.
    const CliRun unarmed = run_cli({"--usb", "wait", "--timeout", "5", "--out", out.string()});
    EXPECT_EQ(unarmed.status, 4) << unarmed.output;
    EXPECT_NE(unarmed.output.find("start --stop-on"), std::string::npos) << unarmed.output;
    EXPECT_TRUE(fs::is_empty(out));

    // A log started without a stop condition runs until it is stopped: wait
    // asks for the condition, which stops it, and says so.
    ASSERT_EQ(run_cli({"--usb", "start"}).status, 0);
    const CliRun waited = run_cli({"--usb", "wait", "--out", out.string()}, 5s);
    EXPECT_EQ(waited.status, 4) << waited.output;
    EXPECT_NE(waited.output.find("started without a stop condition"), std::string::npos)
        << waited.output;
    EXPECT_TRUE(fs::is_empty(out));
    EXPECT_EQ(run_cli({"--usb", "status"}).output.substr(0, 13), "Status: IDLE\n");

    // A condition whose trigger has not fired: the log is started again under
    // it, and the time-out ends the wait.
    ASSERT_EQ(run_cli({"--usb", "start", "--stop-on", "send", "1", "0xFF", "0x77", "9"}).status, 0);
    EXPECT_EQ(run_cli({"--usb", "wait", "--timeout", "1", "--out", out.string()}).status, 6);
    EXPECT_TRUE(fs::is_empty(out));
    const std::string armed = "command 08 00 EA 01 11 FF 77 09";
    EXPECT_TRUE(ampsim.process.wait_for_line(armed, 1s)) << "start";
    EXPECT_TRUE(ampsim.process.wait_for_line("command 08 00 EA 00", 1s)) << "stopped to ask";
    EXPECT_TRUE(ampsim.process.wait_for_line(armed, 1s)) << "started again";

    // Mask 0 matches every record: the log stops itself at once, and even
    // --timeout 0 looks once before it gives up.
    ASSERT_EQ(run_cli({"--usb", "start", "--stop-on", "recv", "0", "0", "0", "0"}).status, 0);
    ASSERT_TRUE(log_stops({"--usb"}));
    // The folder typed with a slash at its end: one slash before the name.
    const CliRun saved = run_cli({"--usb", "wait", "--timeout", "0", "--out", out.string() + "/"});
    ASSERT_EQ(saved.status, 0) << saved.output;
    const fs::path log = saved.output.substr(0, saved.output.size() - 1);
    EXPECT_EQ(saved.output, out.string() + "/" + log.filename().string() + "\n");
    EXPECT_EQ(log.parent_path(), out);
    EXPECT_TRUE(log.filename().string().starts_with("Autolog_")) << log;
    EXPECT_EQ(log.filename().string().size(), std::string("Autolog_yyyymmddhhnnss.txt").size());
    const std::string text = file_text(log);
    EXPECT_NE(text.find("\r\n#Stop Condition : Recv[0] & 0x00 = 0x00 ,count 0\r\n"),
              std::string::npos);
}

// The lines of a text with CR LF line ends, and back.
std::vector<std::string> crlf_lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::string joined_lines(const std::vector<std::string>& lines, const char* end)
{
    std::string text;
    for (const auto& line : lines) {
        text += line + end;
    }
    return text;
}

TEST(Cli, ShowFindAndDiffReadTheLogsItSaved)
{
    Simulator ampsim({"--traffic", "100"}, 0);
    const fs::path out = fs::path(testsupport::private_root()) / "logs";
    fs::create_directories(out);
    // Mask 0: every record meets the condition, so the first fires it, and
    // the log stops 255 records later, full.
    ASSERT_EQ(run_cli({"--usb", "start", "--stop-on", "recv", "0", "0", "0", "255"}).status, 0);
    ASSERT_TRUE(log_stops({"--usb"}));
    const CliRun saved = run_cli({"--usb", "wait", "--timeout", "10", "--out", out.string()});
    ASSERT_EQ(saved.status, 0) << saved.output;
    const std::string a = saved.output.substr(0, saved.output.size() - 1);

    const CliRun shown = run_cli({"show", a});
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.output.find("\nStop condition: Recv[0] & 0x00 = 0x00 ,count 255\n"),
              std::string::npos)
        << shown.output;
    EXPECT_NE(shown.output.find("\n>   0 T0    Recv,"), std::string::npos);
    EXPECT_NE(shown.output.find("\n* 255 T+255 Recv,"), std::string::npos);
    EXPECT_TRUE(
        shown.output.ends_with("\n\nfired at record 0, count 255; 256 records meet the "
                               "stop condition Recv[0] & 0x00 = 0x00\n"));
    const CliRun json = run_cli({"show", a, "--json", "--decode"});
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json.output));
    EXPECT_EQ(document["records"][255]["meets_condition"], true) << json.output.substr(0, 200);

    // Passed through LF line ends, and with record 5's sent byte 3 changed.
    auto lines = crlf_lines(file_text(a));
    ASSERT_EQ(lines.size(), 259u);
    const std::string lf = (out / "lf.txt").string();
    quillon::write_file_atomically(lf, joined_lines(lines, "\n"));
    char& digit = lines[3 + 5][4 + 48 + 6 + 3 * 3 + 2];
    digit = digit == '0' ? '1' : '0';
    const std::string changed = (out / "changed.txt").string();
    quillon::write_file_atomically(changed, joined_lines(lines, "\r\n"));

    const CliRun same = run_cli({"diff", a, lf});
    EXPECT_EQ(same.status, 0) << same.output;
    EXPECT_NE(same.output.find("Records differing: 0 of 256"), std::string::npos);
    // By value: the byte changed may be a block's data, whose checksum then
    // no longer holds and would differ too.
    const CliRun differ = run_cli({"diff", a, changed, "--checksums-by-value"});
    EXPECT_EQ(differ.status, 8) << differ.output;
    EXPECT_NE(
        differ.output.find("Records differing per byte: Send 3: 1\n\nRecord A 5 / B 5 (T+5)\n"),
        std::string::npos)
        << differ.output;
    EXPECT_NE(differ.output.find("\n" + std::string(4 + 4 + 48 + 6 + 3 * 3 + 1, ' ') + "^^\n"),
              std::string::npos)
        << differ.output;
    EXPECT_EQ(run_cli({"diff", a, changed, "--ignore", "send", "3", "0xFF", "--checksums-by-value"})
                  .status,
              0);

    const CliRun counted = run_cli({"find", "--count", "recv", "0", "0", "0", a, lf});
    EXPECT_EQ(counted.status, 0);
    EXPECT_EQ(counted.output, a + ":256\n" + lf + ":256\n");
    const CliRun one = run_cli({"find", "recv", "0", "0xFF", "0x" + lines[3].substr(5, 2), a});
    EXPECT_EQ(one.output.substr(0, a.size() + 9), a + ":0: Recv,") << one.output;
    EXPECT_EQ(run_cli({"find", "send", "3", "0", "1", a}).status, 8) << "mask 0 is never 1";
    EXPECT_EQ(run_cli({"find", "send", "16", "0", "0", a}).output,
              "quillon-cli: Byte data is out of range(0-15)!\n");

    const std::string empty = (out / "cleared.txt").string();
    quillon::write_file_atomically(empty, "");
    const CliRun unread = run_cli({"find", "--count", "recv", "0", "0", "0", empty, a});
    EXPECT_EQ(unread.status, 7);
    EXPECT_NE(unread.output.find(a + ":256\n"), std::string::npos) << "the others still read";
    EXPECT_NE(unread.output.find("quillon-cli: " + empty + ": the file is empty"),
              std::string::npos)
        << unread.output;
    const CliRun no_fields = run_cli({"show", a, "--fields", empty});
    EXPECT_EQ(no_fields.status, 7);
    EXPECT_EQ(no_fields.output.rfind("quillon-cli: " + empty + ":1: not JSON", 0), 0)
        << no_fields.output;
    const CliRun no_field = run_cli({"find", "--where", "pos=1", a});
    EXPECT_EQ(no_field.status, 1);
    EXPECT_EQ(no_field.output,
              "quillon-cli: --where: pos=1: no field of the fields file has this "
              "name (column 1); fields are named with --fields FILE\n");
    const CliRun no_value = run_cli({"find", "--where", "recv[1] > _", a});
    EXPECT_EQ(no_value.status, 1);
    EXPECT_EQ(no_value.output,
              "quillon-cli: --where: recv[1] > _: a value expected after '>' (column 11)\n");
}

TEST(Cli, EachFaultHasItsExitStatus)
{
    fs::create_directories(tarnlink::ports_folder());
    fs::create_symlink("/dev/ttyUSB-unplugged", tarnlink::port_link_path(4));
    const CliRun no_simulator = run_cli({"--usb", "status"});
    EXPECT_EQ(no_simulator.status, 2);
    EXPECT_EQ(no_simulator.output,
              "quillon-cli: Can't connect in USB mode. \nquillon-cli: " + halvex::socket_path() +
                  ": no amplifier there (is ampsim or the driver running?)\n");
    // A copy of the tool without its libraries: the loader's reason follows.
    const fs::path alone = fs::path(testsupport::private_root()) / "alone";
    fs::create_directories(alone);
    fs::copy_file(testsupport::bin_dir() + "/quillon-cli", alone / "quillon-cli");
    ChildProcess lonely((alone / "quillon-cli").string(), {"--port", "COM4", "status"});
    std::string lonely_output;
    while (const auto line = lonely.read_line(10s)) {
        lonely_output += *line + "\n";
    }
    EXPECT_EQ(lonely.wait_for_exit(5s), 2);
    EXPECT_NE(lonely_output.find("quillon-cli: TARNLINK.DLL is not found.\nquillon-cli: " +
                                 (alone / "libtarnlink.so").string() + ": cannot open"),
              std::string::npos)
        << lonely_output;
    // The fixed message, then why (com4 is read as COM4).
    const std::string gone =
        "quillon-cli: Can't open COM port!\nquillon-cli: COM4: " + tarnlink::port_link_path(4) +
        " -> /dev/ttyUSB-unplugged: the device is gone\n";
    EXPECT_EQ(run_cli({"--port", "COM4", "status"}).output, gone);
    EXPECT_EQ(run_cli({"--port", "com4", "status"}).output, gone);
    EXPECT_EQ(run_cli({"status", "extra"}).status, 1);
    EXPECT_EQ(run_cli({"--port", "COMX", "status"}).status, 1);
    {
        Simulator ampsim({"--variant", "no-log"});
        const CliRun refused = run_cli({"--usb", "status"});
        EXPECT_EQ(refused.status, 4);
        EXPECT_EQ(refused.output, "quillon-cli: This Amplifier doesn't support Log function!\n");
    }
    Simulator ampsim;
    ampsim.process.write_line("silent 1");
    const CliRun silent = run_cli({"--usb", "status"});
    EXPECT_EQ(silent.status, 3);
    EXPECT_EQ(silent.output, "quillon-cli: Can't talk with Amplifier.\n");

    const std::string unwritable = testsupport::private_root() + "/no-such-folder/log.txt";
    const CliRun unsaved = run_cli({"--usb", "save", unwritable});
    EXPECT_EQ(unsaved.status, 5) << unsaved.output;
    EXPECT_NE(unsaved.output.find(unwritable), std::string::npos) << unsaved.output;
    EXPECT_FALSE(ampsim.process.wait_for_line("command 08 00 EA", 1s)) << "no read before";

    ASSERT_EQ(run_cli({"--usb", "start"}).status, 0);
    ampsim.process.write_line("cancel");
    const CliRun cancelled = run_cli({"--usb", "wait", "--timeout", "5"});
    EXPECT_EQ(cancelled.status, 4);
    EXPECT_EQ(cancelled.output, "quillon-cli: Waveform or FFT function Error.\n");
}

TEST(Cli, UsageErrorsSayWhatWasWrongInOneLine)
{
    const struct {
        std::vector<std::string> args;
        std::string why;
    } cases[] = {
        {{"--usb", "save", ""}, "save takes FILE, not an empty text"},
        {{"--usb", "wait", "--out", ""}, "--out takes DIR, not an empty text"},
        {{"status", "extra"}, "status takes no arguments"},
        {{"--usb", "stop", "--json"}, "stop takes no --json"},
        {{"show", "log.txt", "--count"}, "show takes no --count"},
        {{"--port"}, "--port takes COMn"},
        {{"--port", "COM?", "status"}, "--port takes COMn, COM1 to COM16, not 'COM?'"},
        {{"--port", "COM99", "status"}, "--port takes COMn, COM1 to COM16, not 'COM99'"},
        {{"--port", "COM 1", "status"}, "--port takes COMn, COM1 to COM16, not 'COM 1'"},
        {{"--port", "COM01", "status"}, "--port takes COMn, COM1 to COM16, not 'COM01'"},
        {{"reboot"}, "unknown command reboot"},
        {{"ports", "link", "COM3"}, "ports link takes COMn DEVICE"},
        // A value never begins with "--": the value was left out.
        {{"--usb", "wait", "--rearm", "--out", "--count", "5"},
         "--out takes DIR, not the option --count"},
        {{"--usb", "wait", "--rearm", "--count", "-1"},
         "--count takes a number of logs, 1 to 2147483647"},
        {{"--usb", "wait", "--rearm", "--count", "2147483648"},
         "--count takes a number of logs, 1 to 2147483647"},
        {{"--usb", "wait", "--timeout", "999999999999"},
         "--timeout takes seconds, 0 to 2147483647"},
        {{"--usb", "wait", "--on-capture", "true", "--hook-timeout", "0"},
         "--hook-timeout takes seconds, 1 to 2147483647"},
        {{"--usb", "wait", "--hook-timeout", "5"}, "--hook-timeout goes with --on-capture"},
    };
    for (const auto& c : cases) {
        const CliRun run = run_cli(c.args);
        EXPECT_EQ(run.status, 1) << c.why;
        EXPECT_EQ(run.output, "quillon-cli: " + c.why + "\nTry 'quillon-cli --help'.\n");
    }
    // After "--" a word is no option: the file -dash.txt is what show reads.
    EXPECT_EQ(run_cli({"show", "--", "-dash.txt"}).output,
              "quillon-cli: -dash.txt: No such file or directory\n");
    const CliRun version = run_cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, std::string("quillon-cli (Quillon) ") + quillon::kVersion + "\n");
}

TEST(Cli, OutputThatCannotBeWrittenIsAFailureWithItsReason)
{
    Simulator ampsim;
    const fs::path folder = fs::path(testsupport::private_root()) / "full";
    fs::create_directories(folder);
    const std::string log = (folder / "log.txt").string();
    ASSERT_EQ(run_cli({"--usb", "save", log}).status, 0);
    const std::vector<std::string> commands[] = {
        {"show", log},
        {"show", log, "--csv"},
        {"show", log, "--json", "--decode"},
        {"find", "--count", "recv", "0", "0", "0", log},
        {"diff", log, log},
        {"--usb", "status"},
        {"--usb", "save", "-"},
        {"--help"},
    };
    for (const auto& args : commands) {
        const CliRun run = run_cli_into(args, "> /dev/full");
        EXPECT_EQ(run.status, 5) << args.front() << " " << args[1];
        EXPECT_EQ(run.output,
                  "quillon-cli: Cannot write to standard output: No space left on device.\n");
    }
}

TEST(Cli, ASeriesWhoseReaderHasGoneGoesOnSavingItsLogs)
{
    Simulator ampsim({"--traffic", "200"}, 0);
    const fs::path out = fs::path(testsupport::private_root()) / "unread";
    fs::create_directories(out);
    ASSERT_EQ(run_cli({"--usb", "start", "--stop-on", "recv", "0", "0", "0", "3"}).status, 0);
    const CliRun series = run_cli_into(
        {"--usb", "wait", "--rearm", "--count", "4", "--out", out.string()}, "| head -1", 60s);
    EXPECT_EQ(series.status, 0) << series.output;
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 4);
    EXPECT_NE(series.output.find(out.string() + "/Autolog_"), std::string::npos) << series.output;
    EXPECT_NE(series.output.find("quillon-cli: standard output: Broken pipe; the logs go on being "
                                 "saved in " +
                                 out.string() + "\n"),
              std::string::npos)
        << series.output;
    EXPECT_EQ(run_cli({"--usb", "status"}).output.substr(0, 13), "Status: IDLE\n");
}

TEST(Cli, OneSeriesAtATimeOverUsb)
{
    Simulator ampsim({}, 0);
    const fs::path out = fs::path(testsupport::private_root()) / "one-series";
    fs::create_directories(out);
    // Without traffic the trigger never fires.
    ASSERT_EQ(run_cli({"--usb", "start", "--stop-on", "recv", "0", "0", "0", "3"}).status, 0);
    ChildProcess first(testsupport::bin_dir() + "/quillon-cli",
                       {"--usb", "wait", "--rearm", "--out", out.string()});
    ASSERT_TRUE(ampsim.process.wait_for_line("command 08 00 EA 00", 5s)) << "the first asks";
    ASSERT_TRUE(ampsim.process.wait_for_line("command 08 00 EA 01", 5s)) << "and re-arms";
    const CliRun second = run_cli({"--usb", "wait", "--rearm", "--out", out.string()});
    EXPECT_EQ(second.status, 2);
    EXPECT_TRUE(second.output.starts_with(
        "quillon-cli: Another series of logs is being captured over USB from this amplifier "
        "(process "))
        << second.output;
    EXPECT_FALSE(ampsim.process.wait_for_line("command 08 00 EA", 1500ms)) << "the log untouched";
    // A lock whose process has gone is taken over.
    first.signal(SIGKILL);
    first.wait_for_exit(5s);
    EXPECT_EQ(run_cli({"--usb", "wait", "--timeout", "0", "--out", out.string()}).status, 6);
    EXPECT_TRUE(fs::is_empty(out));
}

// The golden files, written by hand: a log of 8 written records whose
// trigger fired at record 5, and what show makes of it.
const fs::path kGolden = QUILLON_GOLDEN_DIR;

// The output as its golden file holds it: JSON re-indented, a value a line.
std::string as_golden(const std::string& output, std::string_view golden)
{
    return golden.ends_with(".json") || golden.ends_with(".jsonl")
               ? testsupport::pretty_json(output)
               : output;
}

// The golden files' JSON: the output's lines re-indented, and any other
// layout refused, so that the golden files pin every byte written.
TEST(Cli, GoldenJsonIsEachLineReIndentedAndNoOtherLayout)
{
    const std::pair<std::string, std::string> indented[] = {
        {"", ""},
        {"{\"a\": 1, \"b\": [true, null], \"c\": {}, \"d\": []}\n",
         "{\n  \"a\": 1,\n  \"b\": [\n    true,\n    null\n  ],\n  \"c\": {},\n  \"d\": []\n}\n"},
        // Brackets, separators and escaped quotes inside a text are its own.
        {"[\"x, ]: {\\\"\", \"\\\\\"]\n", "[\n  \"x, ]: {\\\"\",\n  \"\\\\\"\n]\n"},
        // Each line on its own, the keys in the order written.
        {"{\"z\": 1}\n{\"y\": {\"b\": 2, \"a\": 3}}\n",
         "{\n  \"z\": 1\n}\n{\n  \"y\": {\n    \"b\": 2,\n    \"a\": 3\n  }\n}\n"},
    };
    for (const auto& [line, pretty] : indented) {
        EXPECT_EQ(testsupport::pretty_json(line), pretty) << line;
    }
    const std::string refused[] = {
        // a separator without its one space, or with more
        "{\"a\":1}\n",
        "{\"a\": 1,\"b\": 2}\n",
        "{\"a\":  1}\n",
        // blanks or line breaks elsewhere
        "{ \"a\": 1}\n",
        "{\"a\": 1 }\n",
        "{\"a\": [\n]}\n",
        "[1,\n2]\n",
        "[1, 2]\r\n",
        "[1, 2]\n ",
        // no line end, a text or a bracket left open, one too many closed
        "[1, 2]",
        "[\"open]\n",
        "[[1, 2]\n",
        "[1, 2]]\n",
        "1, 2\n",
    };
    for (const std::string& text : refused) {
        EXPECT_TRUE(
            testsupport::pretty_json(text).starts_with("not quillon-cli's one-line JSON at byte "))
            << text;
    }
}

TEST(Cli, ShowAndFindCentreTheRecordThatFiredTheTrigger)
{
    // From the golden folder, so that the file's name is as the golden file has it.
    EXPECT_EQ(run_cli_in(kGolden, {"show", "fired.txt"}).output,
              file_text(kGolden / "fired.show.txt"));
    EXPECT_EQ(run_cli_in(kGolden, {"show", "fired.txt", "--csv"}).output,
              file_text(kGolden / "fired.csv"));

    const std::string log = (kGolden / "fired.txt").string();
    const std::string fired_line =
        log +
        ":5: Recv,05,11,12,13,14,15,16,17,18,19,1A,1B,1C,1D,1E,1F, Send,85,91,92,93,94,95,96,97,"
        "98,99,9A,9B,9C,9D,9E,9F\n";
    EXPECT_EQ(run_cli({"find", "--fired", log}).output, fired_line);
    EXPECT_EQ(run_cli({"find", "--fired", "recv", "0", "0xFF", "5", log}).output, fired_line);
    EXPECT_EQ(run_cli({"find", "--fired", "recv", "0", "0xFF", "7", log}).status, 8)
        << "record 7 meets it, but did not fire";
    // The zeros of the records never written meet nothing.
    EXPECT_EQ(run_cli({"find", "--count", "send", "0", "0xFF", "0", log}).output, log + ":0\n");
    EXPECT_EQ(run_cli({"find", "recv", "0", "0", log}).output,
              "quillon-cli: find takes recv|send BYTE MASK VALUE FILE..., or --fired FILE...\n");
}

// The line that ends show, and diff's pairing, as quillon-cli words what
// the engine found (the golden files hold logs that fired).
TEST(Cli, ShowAndDiffSayWhatTheStopConditionsFound)
{
    const fs::path folder = fs::path(testsupport::private_root()) / "found";
    fs::create_directories(folder);
    // Record i's Recv[0] is i, the rest zero; none from written on. No
    // stop condition line: a log view file of zeros.
    const auto write_log = [&folder](const char* name, const std::string& stop, int written) {
        std::string zeros;
        for (int k = 0; k < 16; ++k) {
            zeros += "00,";
        }
        std::string text = "#Date and Time  : 2026\r\n";
        text += stop.empty() ? "\r\n" : "#Stop Condition : " + stop + "\r\n\r\n";
        for (int i = 0; i < quillon::kLogRecords; ++i) {
            quillon::LogRecord record{};
            record[0] = std::uint8_t(i < written ? i : 0);
            text += (stop.empty() ? "Recv : " + zeros + " Send : " + zeros
                                  : quillon::record_line(record)) +
                    "\r\n";
        }
        quillon::write_file_atomically((folder / name).string(), text);
        return (folder / name).string();
    };
    const std::string stopped = write_log("stopped.txt", "Recv[0] & 0xFF = 0x96 ,count 5", 200);
    const std::string beyond = write_log("beyond.txt", "Send[84] & 0xFF = 0x8B ,count 5", 256);
    const std::string none = write_log("none.txt", "None", 255);
    const std::pair<std::string, const char*> shown[] = {
        {stopped,
         "no fired record: the log was stopped before its trigger fired; 1 record meets the stop "
         "condition Recv[0] & 0xFF = 0x96; 56 records never written"},
        {beyond,
         "fired at record 250, count 5; The stop condition Send[84] & 0xFF = 0x8B tests a byte "
         "beyond the 16 logged bytes of each direction."},
        {none, "No stop condition in this log. 1 record never written."},
        {write_log("view.txt", "", 0),
         "A log view file does not record the stop condition. 256 records never written."},
    };
    for (const auto& [log, last_line] : shown) {
        const CliRun run = run_cli({"show", log});
        EXPECT_EQ(run.status, 0) << log;
        EXPECT_TRUE(run.output.ends_with("\n\n" + std::string(last_line) + "\n"))
            << run.output.substr(run.output.rfind('\n', run.output.size() - 2));
    }
    const std::tuple<std::string, std::string, const char*> paired[] = {
        {stopped, beyond, "A has no fired record"},
        {beyond, stopped, "B has no fired record"},
        {stopped, none, "neither log has a fired record"},
    };
    for (const auto& [a, b, why] : paired) {
        const std::string output = run_cli({"diff", a, b}).output;
        EXPECT_NE(output.find("\nAligned by: record number (" + std::string(why) + ")\n"),
                  std::string::npos)
            << output.substr(0, 300);
    }
}

TEST(Cli, ALogStoppedBeforeItsTriggerFiredIsSavedButIsNoCapture)
{
    Simulator ampsim({}, 0);
    const fs::path out = fs::path(testsupport::private_root()) / "stopped";
    fs::create_directories(out);
    ASSERT_EQ(run_cli({"--usb", "start", "--stop-on", "recv", "0", "0xFF", "0xEE", "3"}).status, 0);
    ampsim.process.write_line("advance 20");
    ASSERT_TRUE(ampsim.process.wait_for_line("ran", 5s));
    ASSERT_EQ(run_cli({"--usb", "stop"}).status, 0);
    const CliRun series = run_cli({"--usb", "wait", "--rearm", "--out", out.string()});
    EXPECT_EQ(series.status, 4);
    ASSERT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
    const fs::path saved = fs::directory_iterator(out)->path();
    EXPECT_EQ(series.output,
              "quillon-cli: The log was stopped before its trigger fired.\n"
              "quillon-cli: " +
                  saved.string() + "\n")
        << "no path on standard output";
    EXPECT_FALSE(ampsim.process.wait_for_line("command 08 00 EA 01 00 FF EE", 1s)) << "no re-arm";
}

TEST(Cli, CtrlCDuringAReadLeavesNoFile)
{
    // At 9600 bit/s a log read takes ten seconds.
    Simulator ampsim({"--line-rate", "9600", "--traffic", "100"});
    const fs::path folder = fs::path(testsupport::private_root()) / "interrupted";
    fs::create_directories(folder);
    ChildProcess cli(testsupport::bin_dir() + "/quillon-cli",
                     {"--port", "COM2", "save", (folder / "log.txt").string()});
    ASSERT_TRUE(ampsim.process.wait_for_line("command 01 00 FA 05", 10s)) << "reading block 5";
    cli.signal(SIGINT);
    EXPECT_EQ(cli.wait_for_exit(10s), 130);
    EXPECT_TRUE(fs::is_empty(folder));

    // In a series, the logs saved before stay and the one being read is not
    // written.
    ASSERT_EQ(run_cli({"--usb", "start", "--stop-on", "recv", "0", "0", "0", "0"}).status, 0);
    ChildProcess series(testsupport::bin_dir() + "/quillon-cli",
                        {"--port", "COM2", "wait", "--rearm", "--out", folder.string()});
    ASSERT_TRUE(series.read_line(30s)) << "the first log's path";
    ASSERT_TRUE(ampsim.process.wait_for_line("command 08 00 EA 01", 10s)) << "re-armed";
    ASSERT_TRUE(ampsim.process.wait_for_line("command 01 00 FA 05", 20s)) << "the second read";
    series.signal(SIGTERM);  // as systemd stops a service
    EXPECT_EQ(series.wait_for_exit(10s), 143);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

// Each signal that ends a series, with the status a shell gives it, the
// amplifier's log left running.
TEST(Cli, WaitEndsOnEachSignalWithItsStatus)
{
    Simulator ampsim({}, 0);
    ASSERT_EQ(run_cli({"--usb", "start", "--stop-on", "recv", "0", "0xFF", "0xEE", "3"}).status, 0);
    ASSERT_TRUE(ampsim.process.wait_for_line("command 08 00 EA 01 00 FF EE", 5s)) << "START";
    for (const auto& [signal, status] :
         {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}}) {
        ChildProcess series(testsupport::bin_dir() + "/quillon-cli", {"--usb", "wait", "--rearm"});
        // A log that runs when wait begins is read and started again.
        ASSERT_TRUE(ampsim.process.wait_for_line("command 08 00 EA 01 00 FF EE", 10s));
        series.signal(signal);
        EXPECT_EQ(series.wait_for_exit(10s), status) << signal;
    }
    EXPECT_EQ(run_cli({"--usb", "status"}).output.substr(0, 16), "Status: Logging\n");
}

// --on-capture: its variables; one at a time, the series not waiting for it
// (a slow hook) and not ended by it (a failing one).
TEST(Cli, WaitOnCaptureRunsEachHookInTurnWithoutHoldingUpTheSeries)
{
    Simulator ampsim({"--traffic", "200"}, 0);
    const fs::path out = fs::path(testsupport::private_root()) / "hooked";
    const fs::path hooks = fs::path(testsupport::private_root()) / "hooks.txt";
    fs::create_directories(out);
    ASSERT_EQ(run_cli({"--usb", "start", "--stop-on", "send", "1", "0", "0", "3"}).status, 0);
    ASSERT_TRUE(log_stops({"--usb"}));
    // The first hook waits until the test lets it go; the second fails.
    const fs::path release = fs::path(testsupport::private_root()) / "release-hook";
    const std::string hook =
        "echo \"start $QUILLON_INDEX|$QUILLON_FIRED_RECORD|$QUILLON_STOP_CONDITION|"
        "$QUILLON_FILE\" >> " +
        hooks.string() + "; [ \"$QUILLON_INDEX\" != 1 ] || while [ ! -e " + release.string() +
        " ]; do sleep 0.1; done; echo \"end $QUILLON_INDEX\" >> " + hooks.string() +
        "; [ \"$QUILLON_INDEX\" != 2 ]";
    ChildProcess series(
        testsupport::bin_dir() + "/quillon-cli",
        {"--usb", "wait", "--rearm", "--count", "3", "--out", out.string(), "--on-capture", hook});
    std::vector<std::string> files;
    std::string said;
    while (files.size() < 3) {
        const auto line = series.read_line(30s);
        ASSERT_TRUE(line) << said;
        said += *line + "\n";
        if (line->starts_with(out.string())) {
            files.push_back(*line);
        }
    }
    EXPECT_EQ(file_lines(hooks).size(), 1u) << "three captures while the first hook still runs, "
                                               "and no other hook beside it";
    std::ofstream(release).close();
    while (const auto line = series.read_line(30s)) {
        said += *line + "\n";
    }
    EXPECT_EQ(series.wait_for_exit(5s), 0) << said;
    EXPECT_NE(said.find("quillon-cli: --on-capture for " + files[1] + " ended with status 1\n"),
              std::string::npos)
        << said;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string index = std::to_string(i + 1);
        const std::string log = file_text(files[i]);
        const std::string fired = std::to_string(*quillon::fired_record_of_text(log));
        expected.push_back("start " + index + "|" + fired + "|Send[1] & 0x00 = 0x00 ,count 3|" +
                           files[i]);
        expected.push_back("end " + index);
    }
    EXPECT_EQ(file_lines(hooks), expected);
}

// Whether pid runs no more: gone, or a zombie that a parent which never
// reaps (the first process of some containers) has taken over.
bool process_gone(const std::string& pid)
{
    if (::kill(std::stoi(pid), 0) != 0) {
        return errno == ESRCH;
    }
    const std::string stat = file_text("/proc/" + pid + "/stat");
    const std::size_t name_end = stat.rfind(')');
    return name_end != std::string::npos && stat.compare(name_end, 3, ") Z") == 0;
}

// The lines of output that are paths of captures in out.
std::vector<std::string> saved_files(const std::string& output, const fs::path& out)
{
    std::vector<std::string> files;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with(out.string() + "/")) {
            files.push_back(line);
        }
    }
    return files;
}

// A hook that never ends: --hook-timeout ends it (its whole process group)
// and says so; SIGTERM ends the one that runs, even one that ignores
// SIGTERM, names the one that will not run, and gives 143. No process of a
// hook outlives wait.
TEST(Cli, AHungHookIsEndedWithItsProcessGroupAndNeverOutlivesWait)
{
    Simulator ampsim({"--traffic", "200"}, 0);
    const fs::path out = fs::path(testsupport::private_root()) / "hung";
    const fs::path pids = fs::path(testsupport::private_root()) / "hung-pids.txt";
    fs::create_directories(out);
    // The shell and a child of its own, both written down.
    const std::string hung =
        "echo $$ >> " + pids.string() + "; sleep 1000 & echo $! >> " + pids.string() + "; wait";
    ASSERT_EQ(run_cli({"--usb", "start", "--stop-on", "send", "1", "0", "0", "3"}).status, 0);
    const CliRun bounded =
        run_cli({"--usb", "wait", "--rearm", "--count", "2", "--timeout", "60", "--out",
                 out.string(), "--on-capture", hung, "--hook-timeout", "1"},
                40s);
    EXPECT_EQ(bounded.status, 0) << bounded.output;
    const auto files = saved_files(bounded.output, out);
    ASSERT_EQ(files.size(), 2u) << bounded.output;
    for (const auto& file : files) {
        EXPECT_NE(bounded.output.find("quillon-cli: --on-capture for " + file +
                                      " took longer than 1 s and was ended\n"),
                  std::string::npos)
            << bounded.output;
    }
    auto started = file_lines(pids);
    EXPECT_EQ(started.size(), 4u);
    for (const auto& pid : started) {
        EXPECT_TRUE(process_gone(pid)) << pid;
    }

    // Now the hook ignores SIGTERM (as its child does): only SIGKILL ends
    // them. Both captures are in, the first hook runs, the second waits.
    fs::remove(pids);
    ASSERT_EQ(run_cli({"--usb", "start", "--stop-on", "send", "1", "0", "0", "3"}).status, 0);
    ChildProcess series(testsupport::bin_dir() + "/quillon-cli",
                        {"--usb", "wait", "--rearm", "--count", "2", "--out", out.string(),
                         "--on-capture", "trap '' TERM; " + hung});
    std::string said;
    while (saved_files(said, out).size() < 2) {
        const auto line = series.read_line(30s);
        ASSERT_TRUE(line) << said;
        said += *line + "\n";
    }
    for (int tries = 0; tries < 200 && file_lines(pids).size() < 2; ++tries) {
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_EQ(file_lines(pids).size(), 2u) << "the first hook and its child run";
    series.signal(SIGTERM);
    while (const auto line = series.read_line(30s)) {
        said += *line + "\n";
    }
    EXPECT_EQ(series.wait_for_exit(5s), 143) << said;
    const auto interrupted = saved_files(said, out);
    EXPECT_NE(said.find("quillon-cli: --on-capture for " + interrupted[0] +
                        " was ended: the series was interrupted\n"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("quillon-cli: --on-capture for " + interrupted[1] +
                        " does not run: the series was interrupted\n"),
              std::string::npos)
        << said;
    started = file_lines(pids);
    EXPECT_EQ(started.size(), 2u) << "the second hook never started";
    for (const auto& pid : started) {
        EXPECT_TRUE(process_gone(pid)) << pid;
    }
}

// quillon-cli service NAME with home as HOME, NAME.conf holding text.
CliRun run_service(const std::string& name, const std::string& text, const fs::path& home,
                   const std::vector<std::string>& more = {"--check"})
{
    const fs::path folder = fs::path(std::getenv("XDG_CONFIG_HOME")) / "quillon" / "capture";
    fs::create_directories(folder);
    quillon::write_file_atomically((folder / (name + ".conf")).string(), text);
    std::vector<std::string> args{"HOME=" + home.string(), testsupport::bin_dir() + "/quillon-cli",
                                  "service", name};
    args.insert(args.end(), more.begin(), more.end());
    return run_program("/usr/bin/env", args, 60s);
}

// The user service's settings: each value read for its kind, quotes and
// comments as the example writes them, an empty one left out, nothing
// glob-expanded, no option that one setting gives given by another, each
// fault named with its file and line (status 1, which the unit does not
// restart on).
TEST(Cli, ServiceSettingsMakeOneCheckedCommandLine)
{
    const fs::path home = fs::path(testsupport::private_root()) / "home";
    fs::create_directories(home / "night");
    const std::string h = home.string();
    const std::string series = " wait --rearm --reconnect";
    const struct {
        std::string text;
        std::string made;  // the command line, or the fault after "FILE:"
    } cases[] = {
        {"WAY=--usb\nOUT=~/night\n", "quillon-cli --usb" + series + " --out " + h + "/night"},
        {"# the bench\n\n; another comment\r\nWAY = --port com3 --baud 115200\r\n"
         "STOP_ON=\"recv 2 0xFF 0x44 40\"\nON_CAPTURE='echo \"$QUILLON_FILE\" >> list'\n"
         "OPTIONS=--count 5  --json\n",
         "quillon-cli --port com3 --baud 115200" + series +
             " --stop-on recv 2 0xFF 0x44 40 --on-capture 'echo \"$QUILLON_FILE\" >> list' "
             "--count 5 --json"},
        {"WAY=\nSTOP_ON=\nOUT=''\nON_CAPTURE=\"\"\nOPTIONS=\n", "quillon-cli" + series},
        {"OUT=~\nOPTIONS=--timeout 60 --bytes 32\n",
         "quillon-cli" + series + " --out " + h + " --timeout 60 --bytes 32"},
        {"ON_CAPTURE=\"say \\\"it's\\\" \\\\ *\"\n",
         "quillon-cli" + series + " --on-capture 'say \"it'\\''s\" \\ *'"},
        {"OPTIONS=--out /tmp/*\n", "quillon-cli" + series + " --out '/tmp/*'"},
        {"OPTIONS=--hook-timeout 9\nON_CAPTURE=true\n",
         "quillon-cli" + series + " --on-capture true --hook-timeout 9"},
        {"KEEP_IF='alarm = \"overload\" and moving = \"moving\" @T-4'\n"
         "OPTIONS=--fields /etc/cyclic.json\n",
         "quillon-cli" + series +
             " --keep-if 'alarm = \"overload\" and moving = \"moving\" @T-4' --fields "
             "/etc/cyclic.json"},
        // Refused, with the line at fault.
        {"OPTIONS=--out /elsewhere\nOUT=~/night\n", "1: OPTIONS gives --out, which OUT gives"},
        {"ON_CAPTURE=true\nOPTIONS=--on-capture x\n",
         "2: OPTIONS gives --on-capture, which ON_CAPTURE gives"},
        {"STOP_ON=recv 2 0xFF 0x44 40\nOPTIONS=--stop-on send 1 0 0 3\n",
         "2: OPTIONS gives --stop-on, which STOP_ON gives"},
        {"OPTIONS=--timeout 5 --timeout 6\n", "1: OPTIONS gives --timeout twice"},
        {"OPTIONS=--reconnect\n", "1: OPTIONS gives --reconnect, which the service gives"},
        {"OPTIONS=--port COM3\n", "1: OPTIONS: --port belongs in WAY"},
        {"OPTIONS=--help\n", "1: OPTIONS: unknown option --help"},
        {"OPTIONS=--csv\n", "1: OPTIONS: wait takes no --csv"},
        {"OPTIONS=now\n", "1: OPTIONS: wait takes no arguments"},
        {"OPTIONS=--count x\n", "1: OPTIONS: 'x' is not a valid integer value."},
        {"OPTIONS=--hook-timeout 9\n", "1: OPTIONS: --hook-timeout goes with --on-capture"},
        {"OPTIONS=--on-capture 'rm x'\n",
         "1: OPTIONS takes each word as it is, without quotes: 'rm (a command goes in "
         "ON_CAPTURE)"},
        {"STOP_ON=recv 2 0xFF 0x44 40 --on-capture x\n",
         "1: STOP_ON is recv|send BYTE MASK VALUE COUNT"},
        {"STOP_ON=recv 2 0xFF 0x4G 40\n", "1: STOP_ON: '0x4G' is not a valid integer value."},
        {"WAY=--usb --out /tmp\n",
         "1: WAY is --usb, or --port COMn (COM1 to COM16) with or without --baud N"},
        {"WAY=--port COM17\n",
         "1: WAY is --usb, or --port COMn (COM1 to COM16) with or without --baud N"},
        {"OUT=~/missing\n", "1: OUT: " + h + "/missing: No such file or directory"},
        {"OUT=/etc/passwd\n", "1: OUT: /etc/passwd: it is not a folder"},
        {"OUT=night\n", "1: OUT is a folder's whole path, /... or ~/...: not night"},
        {"ON_CAPTURE=--count 5\n",
         "1: ON_CAPTURE: --on-capture takes CMD, not the option --count 5"},
        {"ON_CAPTURE='unclosed\n", "1: ON_CAPTURE: no closing '"},
        {"ON_CAPTURE='a' 'b'\n", "1: ON_CAPTURE: text after the closing quote"},
        {"\nWAY=--usb\nWAY=--usb\n", "3: WAY is set twice, first on line 2"},
        {"COUNT=5\n",
         "1: unknown setting COUNT (WAY, STOP_ON, OUT, ON_CAPTURE, KEEP_IF or OPTIONS)"},
        {"--count 5\n", "1: not NAME=VALUE"},
    };
    const std::string file =
        std::string(std::getenv("XDG_CONFIG_HOME")) + "/quillon/capture/bench.conf";
    for (const auto& c : cases) {
        const CliRun run = run_service("bench", c.text, home);
        if (c.made.starts_with("quillon-cli")) {
            EXPECT_EQ(run.status, 0) << c.text;
            EXPECT_EQ(run.output, c.made + "\n") << c.text;
        } else {
            EXPECT_EQ(run.status, 1) << c.text;
            EXPECT_EQ(run.output, "quillon-cli: " + file + ":" + c.made + "\n") << c.text;
        }
    }
    const CliRun missing = run_cli({"service", "absent"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "quillon-cli: " + std::string(std::getenv("XDG_CONFIG_HOME")) +
                                  "/quillon/capture/absent.conf: No such file or directory\n");
    EXPECT_EQ(run_cli({"service", "../bench"}).output,
              "quillon-cli: service takes the NAME of NAME.conf, not ../bench\n");

    // Run for real: the series those settings make, with its hook.
    Simulator ampsim({"--traffic", "200"}, 0);
    const fs::path hooks = home / "hooks.txt";
    const CliRun ran = run_service("bench",
                                   "WAY=--usb\nSTOP_ON=send 1 0 0 3\nOUT=~/night\n"
                                   "ON_CAPTURE='echo \"$QUILLON_INDEX\" >> " +
                                       hooks.string() +
                                       "'\n"
                                       "OPTIONS=--count 2 --timeout 60\n",
                                   home, {});
    EXPECT_EQ(ran.status, 0) << ran.output;
    EXPECT_EQ(saved_files(ran.output, home / "night").size(), 2u) << ran.output;
    EXPECT_NE(ran.output.find("the log is started under --stop-on"), std::string::npos)
        << ran.output;
    EXPECT_EQ(file_lines(hooks), (std::vector<std::string>{"1", "2"}));
}

TEST(Cli, PortsListsAndLinksTheTestsOwnPorts)
{
    Simulator ampsim({}, 0);
    const std::string pts = fs::read_symlink(tarnlink::port_link_path(2)).string();
    const CliRun linked = run_cli({"ports", "link", "COM3", pts});
    EXPECT_EQ(linked.status, 0) << linked.output;
    EXPECT_EQ(linked.output, "COM3: " + pts + "\n");
    EXPECT_EQ(run_cli({"ports", "link", "COM4", "/dev/null"}).status, 1) << "no terminal";
    EXPECT_EQ(run_cli({"ports", "link", "COM4", "/dev/ttyUSB-gone"}).output,
              "quillon-cli: /dev/ttyUSB-gone: no such device\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(tarnlink::port_link_path(4))));

    const CliRun listed = run_cli({"ports"});
    EXPECT_EQ(listed.status, 0);
    for (const std::string& line :
         {"COM2: " + pts, "COM3: " + pts, std::string("Serial devices:")}) {
        EXPECT_NE(listed.output.find(line + "\n"), std::string::npos) << listed.output;
    }
    EXPECT_NE(listed.output.find("COM4: /dev/ttyS3"), std::string::npos);
}

// A log view file whose name is not UTF-8 and whose date and time line holds
// control characters, beside a log text file of the same records with None.
TEST(Cli, ShowDiffAndFindGiveALogViewFileUnderAnyNameAsItIs)
{
    const fs::path folder = fs::path(testsupport::private_root()) / "odd";
    fs::create_directories(folder);
    std::string zeros;
    for (int k = 0; k < 16; ++k) {
        zeros += "00,";
    }
    std::string view = "#Date and Time  : 2026\x1B[31m\x07\\\r\n\r\n";
    std::string text = "#Date and Time  : 2026\r\n#Stop Condition : None\r\n\r\n";
    for (int i = 0; i < 256; ++i) {
        view += "Recv : " + zeros + " Send : " + zeros + "\r\n";
        text += quillon::record_line(quillon::LogRecord{}) + "\r\n";
    }
    const std::string odd = (folder / "\xFF\xFE.txt").string();
    const std::string none = (folder / "none.txt").string();
    quillon::write_file_atomically(odd, view);
    quillon::write_file_atomically(none, text);

    const CliRun shown = run_cli({"show", odd});
    EXPECT_EQ(shown.status, 0) << shown.output;
    EXPECT_TRUE(shown.output.starts_with("File: " + odd + "\nFormat: log view\n" +
                                         R"(Date and time: 2026\x1b[31m\x07\\)" +
                                         "\nStop condition: not recorded\n\n"))
        << shown.output.substr(0, 200);
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(run_cli({"show", odd, "--json"}).output))
            .object();
    EXPECT_EQ(json["date_time"], "2026\x1B[31m\x07\\");
    EXPECT_EQ(json["stop_condition"], "not recorded");
    // The name's bytes: "/odd/" and FF FE ".txt".
    EXPECT_TRUE(json["file_bytes"].toString().endsWith("2f6f64642ffffe2e747874"))
        << json["file_bytes"].toString().toStdString();

    const CliRun compared = run_cli({"diff", odd, none});
    EXPECT_EQ(compared.status, 0) << compared.output;
    EXPECT_NE(compared.output.find("\nStop condition: A not recorded, B None (not compared: a log "
                                   "view file records none)\n"),
              std::string::npos)
        << compared.output;
    const CliRun compared_json = run_cli({"diff", odd, none, "--json"});
    EXPECT_EQ(compared_json.status, 0);
    EXPECT_NE(compared_json.output.find(R"("stop_conditions": {"a": "not recorded", "b": null, )"
                                        R"("differ": false})"),
              std::string::npos)
        << compared_json.output;
    EXPECT_NE(run_cli({"find", "--json", "recv", "0", "0", "0", odd}).output.find("\"file_bytes\""),
              std::string::npos);
}

TEST(Cli, DiffLinesTheLogsUpAtTheirFiredRecords)
{
    // diff-b.txt holds fired.txt's records 0 to 5 as its 2 to 7, after two
    // others, and stopped at its trigger: fired at 7; its 4 and 6 changed.
    const struct {
        std::vector<std::string> options;
        const char* golden;
        bool options_first = false;  // before the files, as "diff OPTIONS A B"
    } cases[] = {
        {{}, "diff-aligned.txt"},
        {{"--by-number", "--only", "recv", "2"}, "diff-by-number-only.txt"},
        // A word after BYTE is the MASK only when it reads as a number: the
        // file after it is no MASK.
        {{"--by-number", "--only", "recv", "2"}, "diff-by-number-only.txt", true},
        {{"--by-number", "--only", "recv", "2", "0xFF"}, "diff-by-number-only.txt", true},
        {{"--json", "--only", "send", "3", "0x0C", "--ignore", "send", "3", "0x04"},
         "diff-aligned-only.json"},
        {{"--json", "--only", "send", "3", "12", "--ignore", "send", "3", "0x04"},
         "diff-aligned-only.json",
         true},
        {{"--json"}, "diff-aligned.json"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"diff"};
        const std::vector<std::string> files{"fired.txt", "diff-b.txt"};
        args.insert(args.end(), c.options_first ? c.options.begin() : files.begin(),
                    c.options_first ? c.options.end() : files.end());
        args.insert(args.end(), c.options_first ? files.begin() : c.options.begin(),
                    c.options_first ? files.end() : c.options.end());
        const CliRun run = run_cli_in(kGolden, args);
        EXPECT_EQ(run.status, 8) << c.golden;
        EXPECT_EQ(as_golden(run.output, c.golden), file_text(kGolden / c.golden)) << c.golden;
    }
}

// The fields of series-fields.json, a --value for each column, then more.
std::vector<std::string> valued(const std::vector<std::string>& more)
{
    std::vector<std::string> options{"--fields", "series-fields.json"};
    for (const char* column :
         {"index@T-3", "s3@T+1", "mode@T0", "late@T0", "late@T+2", "send[3]@T+1", "recv[0]@T+3"}) {
        options.insert(options.end(), {"--value", column});
    }
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

// series/: fired.txt at 01:00; at 02:00 the same behind one more record
// (fired at 6) with Send[3] of T+1 changed; at 02:00 (_2) stopped before
// its trigger (record 5's Recv[0] changed); and a file that is no log.
TEST(Cli, SeriesHoldsEachCaptureAgainstTheFirstAndMapsWhereTheyDiffer)
{
    const std::string unreadable =
        "quillon-cli: series/broken.txt:1: not a log file: no \"#Date and Time  : \" line\n";
    const struct {
        std::vector<std::string> options;
        const char* golden;
    } cases[] = {
        {{}, "series.txt"},
        {{"--json"}, "series.json"},
        {{"--map"}, "series-map.txt"},
        // Values at places: a masked field, a scaled one with its unit, a
        // named one (a comma in its name), one that holds no value at T0,
        // bytes, a record never written; none without a fired record.
        {valued({}), "series-values.txt"},
        {valued({"--csv"}), "series-values.csv"},
        {valued({"--json"}), "series-values.json"},
        // Only the capture whose s3 reads 0 after its trigger is kept: the
        // reference is left out, and the one kept stands for it.
        {{"--fields", "series-fields.json", "--keep-if", "s3@T+1 < 10"}, "series-keep-if.txt"},
        {{"--fields", "series-fields.json", "--keep-if", "s3 < 10 @T+1", "--json"},
         "series-keep-if.json"},
        // Two captures and no anchors: nothing can stand out, and the
        // baseline is said to be weak. index counts records: never a cause.
        {{"--fields", "series-fields.json", "--explain"}, "series-explain.txt"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"series", "series"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun run = run_cli_in(kGolden, args);
        EXPECT_EQ(run.status, 7) << c.golden;
        ASSERT_TRUE(run.output.starts_with(unreadable)) << run.output;
        EXPECT_EQ(as_golden(run.output.substr(unreadable.size()), c.golden),
                  file_text(kGolden / c.golden))
            << c.golden;
    }
    const CliRun alike = run_cli_in(
        kGolden, {"series", "series/Autolog_20261209010000.txt",
                  "series/Autolog_20261209020000.txt", "--ignore", "send", "3", "0xFF", "--csv"});
    EXPECT_EQ(alike.status, 0) << alike.output;
    EXPECT_NE(alike.output.find("02:00:00,series/Autolog_20261209020000.txt,6,12,,4,false,0,\r\n"),
              std::string::npos)
        << alike.output;
    // Six captures of a cycle of four commands: x high two records before
    // the trigger in the first five, and before one of the 36 anchors.
    for (const auto& [options, golden] :
         {std::pair<std::vector<std::string>, const char*>{{}, "series-causes.txt"},
          {{"--json"}, "series-causes.json"}}) {
        std::vector<std::string> args{"series", "causes", "--fields", "causes-fields.json",
                                      "--explain"};
        args.insert(args.end(), options.begin(), options.end());
        const CliRun run = run_cli_in(kGolden, args);
        EXPECT_EQ(run.status, 8) << golden;
        EXPECT_EQ(as_golden(run.output, golden), file_text(kGolden / golden)) << golden;
    }
    // A column that is no good, or names a field that there is not, is
    // refused before anything is read.
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--value", "index@T-3"},
         "--value 'index@T-3': index is a field: give its fields file with --fields"},
        {{"--fields", "series-fields.json", "--value", "speed@T0"},
         "--value 'speed@T0': series-fields.json names no field speed"},
        {{"--value", "send[3]@T+1x"}, "--value 'send[3]@T+1x': column 12: unexpected text"},
    };
    for (const auto& [options, why] : refused) {
        std::vector<std::string> args{"series", "series"};
        args.insert(args.end(), options.begin(), options.end());
        const CliRun run = run_cli_in(kGolden, args);
        EXPECT_EQ(run.status, 1) << why;
        EXPECT_EQ(run.output, "quillon-cli: " + why + "\n");
    }
    // Nothing to read: JSON still says why, for a script to read.
    const fs::path empty = fs::path(testsupport::private_root()) / "empty-series";
    fs::create_directories(empty);
    const CliRun nothing = run_cli_into({"series", empty.string(), "--json"}, "2>/dev/null");
    EXPECT_EQ(nothing.status, 7);
    const QJsonObject object =
        QJsonDocument::fromJson(QByteArray::fromStdString(nothing.output)).object();
    EXPECT_TRUE(object["reference"].isNull()) << nothing.output;
    EXPECT_TRUE(object["captures"].toArray().isEmpty()) << nothing.output;
    EXPECT_EQ(object["unreadable"][0]["reason"].toString().toStdString(),
              empty.string() + ": no log files (*.txt) in the folder")
        << nothing.output;
}

// Two logs whose received blocks differ in a counter (Recv[3]) only, and
// so in their checksums (Recv[5]), which hold in both.
TEST(Cli, DiffAndSeriesCompareChecksumsByWhetherTheyHold)
{
    const fs::path folder = fs::path(testsupport::private_root()) / "checksums";
    fs::create_directories(folder);
    const auto write_log = [&folder](const char* name, int counter) {
        std::string text = "#Date and Time  : 2026\r\n#Stop Condition : None\r\n\r\n";
        for (int i = 0; i < quillon::kLogRecords; ++i) {
            quillon::LogRecord record{};
            if (i < 20) {
                const std::uint8_t recv[] = {2, 1, 0x41, std::uint8_t(counter + i), 0x20};
                const std::uint8_t send[] = {2, 1, 0x41, 0x30, 0x40};
                std::copy(std::begin(recv), std::end(recv), record.begin());
                std::copy(std::begin(send), std::end(send), record.begin() + 16);
                record[5] = common::zero_sum_checksum(recv);
                record[16 + 5] = common::zero_sum_checksum(send);
            }
            text += quillon::record_line(record) + "\r\n";
        }
        quillon::write_file_atomically((folder / name).string(), text);
    };
    write_log("a.txt", 0);
    write_log("b.txt", 7);
    quillon::write_file_atomically(
        (folder / "counter.json").string(),
        R"({"fields": [{"name": "counter", "direction": "recv", "byte": 3, "compare": false}]})");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* shown;
    } cases[] = {
        {{"diff"}, 8, "\nRecords differing per byte: Recv 3: 20\n"},
        {{"diff", "--ignore", "recv", "3", "0xFF"}, 0, "\nRecords differing: 0 of 20\n"},
        {{"diff", "--ignore", "recv", "3", "0xFF", "--checksums-by-value"},
         8,
         "\nRecords differing per byte: Recv 5: 20\n"},
        {{"diff", "--fields", "counter.json"}, 0, "\nRecords differing: 0 of 20\n"},
        {{"series", "--fields", "counter.json", "--csv"}, 0, ",false,0,\r\n"},
        {{"series", "--fields", "counter.json", "--checksums-by-value"}, 8, "b.txt: Recv 5 (20)\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1, {"a.txt", "b.txt"});
        const CliRun run = run_cli_in(folder, args);
        EXPECT_EQ(run.status, c.status) << run.output;
        EXPECT_NE(run.output.find(c.shown), std::string::npos) << run.output;
    }
}

// decoded.txt: 8 written records laid out by hand, each a case of the
// decoding: every command word the program names (one with a comma in its
// name), checksums ok, bad and cut on either side, a block ending on the
// last byte, unknown words; fired at 5 on Send[1] & 0x80.
TEST(Cli, ShowAndFindWriteTheirFormatsByteForByte)
{
    const struct {
        std::vector<std::string> args;
        const char* golden;
    } cases[] = {
        {{"show", "decoded.txt", "--decode"}, "decoded.show.txt"},
        {{"show", "decoded.txt", "--csv", "--decode"}, "decoded.csv"},
        {{"show", "decoded.txt", "--json", "--decode"}, "decoded.json"},
        {{"find", "--json", "send", "3", "0x0F", "3", "fired.txt", "diff-b.txt", "decoded.txt"},
         "find-send-3.jsonl"},
        // A field with names, one scaled and signed under a condition, one
        // masked; never-written records hold none.
        {{"show", "decoded.txt", "--fields", "decoded-fields.json"}, "decoded-fields.show.txt"},
        {{"show", "decoded.txt", "--csv", "--fields", "decoded-fields.json"}, "decoded-fields.csv"},
        {{"show", "decoded.txt", "--json", "--fields", "decoded-fields.json"},
         "decoded-fields.out.json"},
        // Its field "command" meets the decoded column "command": "field.command".
        {{"show", "decoded.txt", "--csv", "--decode", "--fields", "../../docs/ampsim-fields.json"},
         "decoded-ampsim-fields.csv"},
        {{"show", "decoded.txt", "--json", "--decode", "--fields", "../../docs/ampsim-fields.json"},
         "decoded-ampsim-fields.json"},
        {{"find", "--fields", "decoded-fields.json", "--where", "flag=set, latched", "--where",
          "level<0", "decoded.txt"},
         "find-where.txt"},
        // The language: places, any over a range, decoded parts, then-within.
        {{"find", "--fields", "decoded-fields.json", "--where",
          "flag = \"clear\" and cmd@T0 = \"status\" and any(flag = \"set, latched\") @-2..-1 "
          "or (recv.checksum = \"ok\" then flag = \"set, latched\" within 2)",
          "decoded.txt"},
         "find-where-language.txt"},
        // notes/: fired.txt with a sidecar written by hand (a log's note, two
        // on the fired record, one of them without tags, a tab in a text),
        // and series/'s second capture with one note.
        {{"show", "notes/Autolog_20261209010000.txt"}, "notes.show.txt"},
        {{"note", "notes/Autolog_20261209010000.txt", "--list"}, "notes-list.txt"},
        {{"note", "notes/Autolog_20261209010000.txt", "--list", "--json"}, "notes-list.json"},
        {{"find", "--tag", "#OVERLOAD", "notes"}, "notes-find.txt"},
        {{"find", "--note", "大きい", "--json", "notes"}, "notes-find.jsonl"},
    };
    for (const auto& c : cases) {
        const CliRun run = run_cli_in(kGolden, c.args);
        EXPECT_EQ(run.status, 0) << c.golden;
        EXPECT_EQ(as_golden(run.output, c.golden), file_text(kGolden / c.golden)) << c.golden;
    }
}

QJsonValue json_member(const CliRun& run, const char* key)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(run.output)).object()[key];
}

// A log's own copy of fired.txt, whose notes the test writes; run in its
// folder.
TEST(Cli, NoteAddsListsAndRemovesNotesAndEachFaultHasItsStatus)
{
    const fs::path folder = fs::path(testsupport::private_root()) / "noted";
    fs::create_directories(folder);
    for (const char* name : {"log.txt", "broken.txt", "locked.txt"}) {
        fs::copy_file(kGolden / "fired.txt", folder / name, fs::copy_options::overwrite_existing);
    }
    const auto run = [&folder](const std::vector<std::string>& args) {
        return run_cli_in(folder, args);
    };
    const CliRun first = run({"note", "log.txt", "--tag", "#overload", "--tag", "axis2",
                              "the overload after the 50 mm setpoint"});
    EXPECT_EQ(first.status, 0) << first.output;
    EXPECT_EQ(first.output, "n1\n");
    EXPECT_EQ(run({"note", "log.txt", "--record", "5", "fired here"}).output, "n2\n");
    const QJsonObject third =
        QJsonDocument::fromJson(
            QByteArray::fromStdString(
                run({"note", "--json", "log.txt", "--record", "7", "--tag", "x", "last"}).output))
            .object();
    EXPECT_EQ(third["id"], "n3");
    EXPECT_EQ(third["record"], 7);
    EXPECT_EQ(third["tags"], QJsonArray{"x"});
    EXPECT_TRUE(QDateTime::fromString(third["written"].toString(), Qt::ISODate).isValid());
    EXPECT_EQ(run({"note", "log.txt", "--remove", "n3"}).status, 0);
    EXPECT_EQ(run({"note", "log.txt", "--list"}).output,
              "n1\tlog\t#overload #axis2\tthe overload after the 50 mm setpoint\n"
              "n2\t5\t\tfired here\n");
    const CliRun shown = run({"show", "log.txt"});
    EXPECT_NE(shown.output.find("Marked *: the records that meet it\nNote n1 #overload #axis2: "
                                "the overload after the 50 mm setpoint\n\n"),
              std::string::npos)
        << shown.output;
    EXPECT_NE(shown.output.find("9E,9F\n      Note n2: fired here\n    6 T+1 "), std::string::npos)
        << shown.output;
    // The same notes in show --json and series --json as in note --list --json.
    const QJsonValue listed = json_member(run({"note", "log.txt", "--list", "--json"}), "notes");
    EXPECT_EQ(listed.toArray().size(), 2);
    EXPECT_EQ(json_member(run({"show", "log.txt", "--json"}), "notes"), listed);
    const QJsonValue captures = json_member(run({"series", "log.txt", "--json"}), "captures");
    EXPECT_EQ(captures[0]["notes"], listed);

    // A sidecar that is no notes file: refused by note, passed over (and
    // said) by show, find and series.
    const std::string broken = "{\"version\": 2, \"notes\": []}";
    quillon::write_file_atomically((folder / "broken.txt.notes.json").string(), broken);
    const std::string unread =
        "quillon-cli: broken.txt.notes.json: not a notes file: \"version\" is not 1";
    ASSERT_EQ(run({"note", "locked.txt", "x"}).status, 0);
    fs::permissions(folder / "locked.txt.notes.json", fs::perms::owner_read);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string said;
    } faults[] = {
        {{"note", "log.txt"},
         1,
         "quillon-cli: note takes FILE [--record N] [--tag TAG]... TEXT, FILE --list or FILE "
         "--remove ID\n"},
        {{"note", "log.txt", "x", "--list"},
         1,
         "quillon-cli: note takes FILE [--record N] [--tag TAG]... TEXT, FILE --list or FILE "
         "--remove ID\n"},
        {{"note", "log.txt", "--list", "--remove", "n1"},
         1,
         "quillon-cli: note takes FILE [--record N] [--tag TAG]... TEXT, FILE --list or FILE "
         "--remove ID\n"},
        {{"note", "log.txt", "--list", "--tag", "a"},
         1,
         "quillon-cli: --record and --tag go with a note's TEXT\n"},
        {{"note", "log.txt", " \t"}, 1, "quillon-cli: note takes a TEXT that is not blank\n"},
        {{"note", "log.txt", "--record", "8", "x"},
         1,
         "quillon-cli: log.txt: record 8 was never written\n"},
        {{"note", "log.txt", "--record", "256", "x"},
         1,
         "quillon-cli: --record takes 0 to 255\nTry 'quillon-cli --help'.\n"},
        {{"note", "log.txt", "--tag", "two words", "x"},
         1,
         "quillon-cli: --tag takes one word, without blanks or another '#', not 'two words'\n"
         "Try 'quillon-cli --help'.\n"},
        {{"find", "--tag", "a", "--fired", "log.txt"},
         1,
         "quillon-cli: find --note and --tag take FILE|DIR... alone: no --fired, --where or "
         "--count\n"},
        {{"note", "gone.txt", "x"}, 7, "quillon-cli: gone.txt: No such file or directory\n"},
        {{"note", "broken.txt", "x"}, 7, unread + "; no note is written over it\n"},
        {{"note", "broken.txt", "--remove", "n1"}, 7, unread + "; no note is written over it\n"},
        {{"note", "broken.txt", "--list"}, 7, unread + "\n"},
        {{"note", "locked.txt", "y"},
         5,
         "quillon-cli: Cannot write the file locked.txt.notes.json"},
        {{"note", "log.txt", "--remove", "n3"},
         8,
         "quillon-cli: log.txt.notes.json: no note has the id n3\n"},
        {{"find", "--note", "nowhere", "log.txt", "broken.txt"},
         8,
         unread + "; its notes are left out\n"},
        {{"find", "--tag", "overload", "log.txt", "gone.txt"},
         7,
         "quillon-cli: gone.txt: No such file or directory\n"
         "log.txt: the overload after the 50 mm setpoint\n"},
        {{"show", "broken.txt"}, 0, unread + "; its notes are left out\nFile: broken.txt\n"},
        {{"series", "broken.txt", "--json"}, 0, unread + "; its notes are left out\n{"},
    };
    for (const auto& fault : faults) {
        const CliRun faulty = run(fault.args);
        EXPECT_EQ(faulty.status, fault.status) << fault.said;
        EXPECT_TRUE(faulty.output.starts_with(fault.said)) << faulty.output;
    }
    EXPECT_EQ(file_text(folder / "broken.txt.notes.json"), broken);
    EXPECT_EQ(file_text(folder / "log.txt"), file_text(kGolden / "fired.txt"));
}

}  // namespace
