// Saved logs read back: both formats and every refused file, the records
// that meet a condition, the blocks decoded, two logs compared, the export.
#include "AtomicFile.h"
#include "HexText.h"
#include "IntegerText.h"
#include "JsonLine.h"
#include "LogAnalysis.h"
#include "LogExport.h"
#include "LogFile.h"
#include "LogText.h"
#include "LogTimeline.h"
#include "TestEnvironment.h"
#include "ZeroSumChecksum.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <tuple>

namespace {

using namespace quillon;
namespace fs = std::filesystem;

// Record i: received bytes i, i+1, ...; sent bytes 0x80 + i, ... (all 8-bit).
LogRecord numbered_record(int i)
{
    LogRecord record{};
    for (std::size_t k = 0; k < kRecordBytes; ++k) {
        record[k] = static_cast<std::uint8_t>((k < 16 ? 0 : 0x80) + i + int(k % 16));
    }
    return record;
}

std::vector<std::string> log_text_lines(const std::string& condition)
{
    std::vector<std::string> lines{"#Date and Time  : 2026/12/08 \xC3\xA9 18:31:10",
                                   "#Stop Condition : " + condition, ""};
    for (int i = 0; i < kLogRecords; ++i) {
        lines.push_back(record_line(numbered_record(i)));
    }
    return lines;
}

std::vector<std::string> log_view_lines()
{
    std::vector<std::string> lines{"#Date and Time  : 2026/12/08 18:31:10", ""};
    for (int i = 0; i < kLogRecords; ++i) {
        std::string row = "Recv : ";
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            row += (k == 16 ? " Send : " : "") + hex_byte(numbered_record(i)[k]) + ",";
        }
        lines.push_back(row);
    }
    return lines;
}

std::string joined(const std::vector<std::string>& lines, const char* end = "\r\n")
{
    std::string text;
    for (const auto& line : lines) {
        text += line + end;
    }
    return text;
}

std::string without_last_end(std::string text)
{
    text.resize(text.size() - 2);
    return text;
}

const std::string kCondition = "Send[2] & 0x0F = 0x01 ,count 5";

TEST(LogFile, BothFormatsReadBackAndEveryOtherFileIsRefusedWithItsLine)
{
    const auto text_with = [](const std::function<void(std::vector<std::string>&)>& change) {
        auto lines = log_text_lines(kCondition);
        change(lines);
        return joined(lines);
    };
    const struct {
        const char* what;
        std::string bytes;
        int line;  // -1: read; else the line the reason names (0: the file)
        const char* reason;
    } cases[] = {
        {"CR LF", joined(log_text_lines(kCondition)), -1, ""},
        {"LF", joined(log_text_lines(kCondition), "\n"), -1, ""},
        {"BOM", "\xEF\xBB\xBF" + joined(log_text_lines(kCondition)), -1, ""},
        {"no last line end", without_last_end(joined(log_text_lines(kCondition))), -1, ""},
        {"empty", "", 0, "empty"},
        {"not a log", "hello\r\n", 1, "not a log file"},
        {"line 2", text_with([](auto& l) { l[1] = "Stop"; }), 2, "neither"},
        {"condition", text_with([](auto& l) { l[1] += " "; }), 2, "not a stop condition"},
        {"line 3", text_with([](auto& l) { l[2] = "x"; }), 3, "empty line"},
        {"digit", text_with([](auto& l) { l[9][5] = 'G'; }), 10, "not a record line"},
        {"comma", text_with([](auto& l) { l[9][7] = ';'; }), 10, "not a record line"},
        {"short", text_with([](auto& l) { l[258].pop_back(); }), 259, "not a record line"},
        {"255", text_with([](auto& l) { l.pop_back(); }), 258, "ends after 255 records"},
        {"257", text_with([](auto& l) { l.push_back(l[3]); }), 260, "more than 256"},
        {"after", text_with([](auto& l) { l.push_back("x"); }), 260, "text after"},
        // Line ends other than CR LF and LF are named; a fault before one stays.
        {"CR only", joined(log_text_lines(kCondition), "\r"), 0,
         "line ends are CR only (expected CR LF or LF)"},
        {"CR CR LF", text_with([](auto& l) { l[1] += "\r"; }), 2,
         "the line ends with CR CR LF (expected CR LF or LF)"},
        {"one CR", text_with([](auto& l) {
             l[9] += "\r" + l[10];
             l.erase(l.begin() + 10);
         }),
         10, "the line ends with CR only"},
        {"CR after", text_with([](auto& l) {
             l[9][5] = 'G';
             l[200] += "\r";
         }),
         10, "not a record line"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.line >= 0) {
            try {
                parse_log_file(c.bytes, "night.txt");
                ADD_FAILURE() << "read";
            } catch (const LogReadError& error) {
                EXPECT_EQ(error.line(), c.line) << error.what();
                EXPECT_NE(error.reason().find(c.reason), std::string::npos) << error.what();
                EXPECT_TRUE(std::string(error.what()).starts_with("night.txt")) << error.what();
            }
            continue;
        }
        const LogFile log = parse_log_file(c.bytes, "night.txt");
        EXPECT_EQ(log.format, LogFormat::LogText);
        EXPECT_EQ(log.date_time, "2026/12/08 \xC3\xA9 18:31:10");
        EXPECT_EQ(log.stop_condition, (FileStopCondition{Direction::Send, 2, 0x0F, 0x01, 5}));
        EXPECT_EQ(log.records[255], numbered_record(255));
    }
    const LogFile view = parse_log_file(joined(log_view_lines()), "view.txt");
    EXPECT_EQ(view.format, LogFormat::LogView);
    EXPECT_FALSE(view.stop_condition);
    EXPECT_EQ(view.records[7], numbered_record(7));
    EXPECT_FALSE(parse_log_file(joined(log_text_lines("None")), "x").stop_condition);
    EXPECT_EQ(parse_log_file(joined(log_text_lines("Send[84] & 0x0F = 0x01 ,count 5")), "x")
                  .stop_condition->byte,
              84);
}

// Marks under a record line find each byte where record_line wrote it.
TEST(LogFile, EachByteOfARecordLineStandsAtItsColumn)
{
    const LogRecord record = numbered_record(0x21);  // 32 different bytes
    for (const RecordLayout& layout : {kLogTextRecord, kLogViewRecord}) {
        const std::string line = record_line(record, layout);
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            SCOPED_TRACE(line + ", byte " + std::to_string(k));
            EXPECT_EQ(line.substr(record_byte_column(k, layout), 2), hex_byte(record[k]));
        }
    }
}

TEST(LogFile, OnlyARegularFileOfAtMostOneMebibyteIsOpened)
{
    const std::string root = testsupport::private_root();
    const std::string fifo = root + "/fifo.txt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string large = root + "/large.txt";
    write_file_atomically(large, joined(log_text_lines(kCondition)) + std::string(1 << 20, '\n'));
    const std::string good = root + "/good.txt";
    write_file_atomically(good, joined(log_text_lines(kCondition), "\n"));
    EXPECT_EQ(read_log_file(good).records[3], numbered_record(3));
    const std::string dangling = root + "/dangling.txt";
    fs::create_symlink(root + "/gone.txt", dangling);
    const std::string loop = root + "/loop.txt";
    fs::create_symlink(loop, loop);
    const std::string zero = root + "/zero.txt";
    fs::create_symlink("/dev/zero", zero);
    const std::pair<std::string, const char*> refused[] = {
        {fifo, "a named pipe (FIFO), not a regular file"},  // and no wait for a writer
        {root, "a folder, not a regular file"},
        {zero, "a device, not a regular file"},
        {dangling, "a symbolic link to a file that is not there"},
        {loop, "Too many levels of symbolic links"},
        {large, "larger than 1 MiB"},
        {root + "/missing.txt", "No such file"},
    };
    for (const auto& [path, reason] : refused) {
        try {
            read_log_file(path);
            ADD_FAILURE() << path;
        } catch (const LogReadError& error) {
            EXPECT_EQ(error.what(), path + ": " + error.reason());
            EXPECT_NE(error.reason().find(reason), std::string::npos) << error.what();
        }
    }
}

TEST(LogFile, RecordsMeetAConditionAsTheAmplifierTestsIt)
{
    const LogFile log = parse_log_file(joined(log_text_lines(kCondition)), "x");
    // Send[2] is 0x82 + i: its low nibble is 1 for i = 15, 31, ..., 255.
    const StopConditionMatch match = match_stop_condition(log);
    ASSERT_EQ(match.answer, StopConditionMatch::Answer::Checked);
    EXPECT_EQ(match.records.size(), 16u);
    EXPECT_EQ(match.records.front(), 15);
    EXPECT_TRUE(match.meets_record[31]);
    EXPECT_EQ(records_meeting(log, {Direction::Recv, 0, 0xFF, 0x07}), std::vector<int>{7});

    // What the line under the log tells, each front-end in its words.
    const auto found = [](const LogFile& of) {
        const TimelineSummary summary =
            timeline_summary(of, match_stop_condition(of), log_timeline(of));
        return std::tuple(summary.stop_condition, summary.condition, summary.records_meeting);
    };
    using Answer = StopConditionMatch::Answer;
    EXPECT_EQ(found(log), std::tuple(Answer::Checked, "Send[2] & 0x0F = 0x01", 16));
    LogFile other = log;
    other.stop_condition->mask = 0xFF;
    other.stop_condition->value = 0x82 + 9;
    EXPECT_EQ(found(other), std::tuple(Answer::Checked, "Send[2] & 0xFF = 0x8B", 1));
    other.stop_condition->byte = 84;
    EXPECT_EQ(found(other), std::tuple(Answer::BeyondLoggedBytes, "Send[84] & 0xFF = 0x8B", 0));
    other.stop_condition.reset();
    EXPECT_EQ(found(other), std::tuple(Answer::NoStopCondition, "", 0));
    other.format = LogFormat::LogView;
    EXPECT_EQ(found(other), std::tuple(Answer::NotRecorded, "", 0));

    // Typed as the stop condition fields are typed.
    const auto typed = record_condition_from_text(Direction::Send, "$0F", "0x0F", "1");
    ASSERT_TRUE(typed.condition);
    EXPECT_EQ(typed.condition->byte, 15);
    EXPECT_EQ(record_condition_from_text(Direction::Recv, "16", "0", "0").range_error,
              "Byte data is out of range(0-15)!");
    EXPECT_EQ(record_condition_from_text(Direction::Recv, "0", "256", "0").range_error,
              "Mask data is out of range(0-255)!");
    EXPECT_EQ(record_condition_from_text(Direction::Recv, "0", "0", "-1").range_error,
              "Condition data is out of range(0-255)!");
    EXPECT_THROW(record_condition_from_text(Direction::Recv, "0", "0x", "0"), ConversionError);
}

// A log text of numbered records whose records from written on were never
// written (all zero).
LogFile log_written_to(int written, std::optional<FileStopCondition> stop,
                       LogFormat format = LogFormat::LogText)
{
    LogFile log;
    log.format = format;
    log.stop_condition = stop;
    for (int i = 0; i < written; ++i) {
        log.records[std::size_t(i)] = numbered_record(i);
    }
    return log;
}

TEST(LogFile, TheFiredRecordIsTheWrittenOneCountRecordsBeforeTheLast)
{
    using Trigger = TimelineSummary::Trigger;
    // Record i's Recv[0] is i: a condition on it meets one record.
    const auto on_record = [](int record, int count) {
        return FileStopCondition{Direction::Recv, 0, 0xFF, std::uint8_t(record), count};
    };
    const struct {
        const char* name;
        int written;
        std::optional<FileStopCondition> stop;
        LogFormat format;
        std::optional<int> fired;
        TimelineSummary::Trigger told;  // under the log
    } cases[] = {
        {"wrapped", 256, on_record(250, 5), LogFormat::LogText, 250, Trigger::Fired},
        {"not wrapped", 200, on_record(127, 72), LogFormat::LogText, 127, Trigger::Fired},
        {"count 0", 200, on_record(199, 0), LogFormat::LogText, 199, Trigger::Fired},
        {"count beyond the log", 200, on_record(0, 250), LogFormat::LogText, std::nullopt,
         Trigger::NotFired},
        {"no condition", 200, std::nullopt, LogFormat::LogText, std::nullopt, Trigger::NotTold},
        {"stopped early", 200, on_record(150, 5), LogFormat::LogText, std::nullopt,
         Trigger::NotFired},
        {"log view file", 200, on_record(127, 72), LogFormat::LogView, std::nullopt,
         Trigger::NotTold},
        {"byte not kept", 200, FileStopCondition{Direction::Send, 20, 0xFF, 0, 9},
         LogFormat::LogText, 190, Trigger::Fired},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LogFile log = log_written_to(c.written, c.stop, c.format);
        const LogTimeline timeline = log_timeline(log);
        EXPECT_EQ(timeline.written, c.written);
        EXPECT_EQ(timeline.fired, c.fired);
        const TimelineSummary summary = timeline_summary(log, match_stop_condition(log), timeline);
        EXPECT_EQ(summary.trigger, c.told);
        EXPECT_EQ(summary.never_written, 256 - c.written);
        if (c.told == Trigger::Fired) {
            EXPECT_EQ(std::pair(summary.fired, summary.count), std::pair(*c.fired, c.stop->count));
        }
    }

    const LogFile log = log_written_to(200, on_record(127, 72));
    const LogTimeline timeline = log_timeline(log);
    EXPECT_EQ(offset_text(timeline.offset(124)), "T-3");
    EXPECT_EQ(offset_text(timeline.offset(127)), "T0");
    EXPECT_EQ(offset_text(timeline.offset(132)), "T+5");
    EXPECT_EQ(timeline.offset(200), std::nullopt) << "never written";
    // The zeros of a record never written meet nothing.
    EXPECT_EQ(records_meeting(log, {Direction::Recv, 0, 0xFF, 0x00}), std::vector<int>{0});
    EXPECT_EQ(written_records(log_written_to(0, std::nullopt).records), 0);
}

TEST(LogFile, EachDirectionDecodesByTheBlockLayout)
{
    const auto record = [](std::initializer_list<std::uint8_t> recv,
                           std::initializer_list<std::uint8_t> send) {
        LogRecord bytes{};
        std::copy(recv.begin(), recv.end(), bytes.begin());
        std::copy(send.begin(), send.end(), bytes.begin() + 16);
        return bytes;
    };
    const struct {
        LogRecord bytes;
        ChecksumState recv, send;
        std::size_t recv_data;
        const char* command;
    } cases[] = {
        {record({0x01, 0x00, 0xFA, 0x05, 0x00}, {0x82, 0x00, 0xFA}), ChecksumState::Ok,
         ChecksumState::Cut, 1, "log block read"},
        {record({0x01, 0x00, 0xFA, 0x05, 0x01}, {0x02, 0x00, 0xFA, 0x11, 0x22, 0xD1}),
         ChecksumState::Bad, ChecksumState::Ok, 1, "log block read"},
        {record({0x00, 0x00, 0xDF, 0x21}, {}), ChecksumState::Ok, ChecksumState::Ok, 0,
         "communication data read, 32 bytes"},
        {record({0x08, 0x00, 0xEA, 1, 0xFF}, {}), ChecksumState::Bad, ChecksumState::Ok, 8,
         "log control"},
        // Data to byte 15 leaves the checksum out of the 16 bytes kept.
        {record({0x0D, 0x00, 0xEA}, {}), ChecksumState::Cut, ChecksumState::Ok, 13, nullptr},
        {record({0x0C, 0x00, 0x48}, {}), ChecksumState::Bad, ChecksumState::Ok, 12, nullptr},
    };
    for (const auto& c : cases) {
        const DecodedRecord decoded = decode_record(c.bytes);
        EXPECT_EQ(decoded.recv.checksum, c.recv) << int(c.bytes[0]);
        EXPECT_EQ(decoded.send.checksum, c.send) << int(c.bytes[0]);
        EXPECT_EQ(decoded.recv.data.size(), c.recv_data);
        EXPECT_STREQ(decoded.command, c.command);
        EXPECT_EQ(decoded.recv.third, c.bytes[2]);
        EXPECT_EQ(decoded.send.length, c.bytes[16]);
    }
}

TEST(LogFile, TwoLogsCompareRecordByRecordLessTheIgnoredBits)
{
    const LogFile a = parse_log_file(joined(log_text_lines(kCondition)), "a");
    LogFile b = a;
    b.date_time = "another day";
    EXPECT_TRUE(compare_logs(a, b, ComparisonRules{}).equal());
    b.records[3][16 + 2] ^= 0x30;
    b.records[7][0] ^= 0x01;
    b.records[9][16 + 2] ^= 0x10;
    const LogComparison all = compare_logs(a, b, ComparisonRules{});
    ASSERT_EQ(all.records.size(), 3u);
    EXPECT_EQ(all.records[0].record, 3);
    EXPECT_EQ(all.records[0].differing_bits[18], 0x30);
    EXPECT_EQ(all.records_per_byte[18], 2);
    EXPECT_EQ(all.records_per_byte[0], 1);
    EXPECT_FALSE(all.stop_conditions_differ);

    const IgnoreRule rules[] = {{Direction::Send, 2, 0x30}, {Direction::Recv, 1, 0xFF}};
    const LogComparison ignoring = compare_logs(a, b, rules);
    ASSERT_EQ(ignoring.records.size(), 1u);
    EXPECT_EQ(ignoring.records[0].record, 7);
    EXPECT_EQ(ignoring.records_per_byte[18], 0);
    b.stop_condition->count = 6;
    EXPECT_TRUE(compare_logs(a, b, rules).stop_conditions_differ);
    EXPECT_FALSE(compare_logs(a, b, rules).equal());

    // A log view file records no stop condition: not None, and no difference.
    LogFile view = a;
    view.format = LogFormat::LogView;
    view.stop_condition.reset();
    EXPECT_EQ(stop_condition_text(view), "not recorded");
    EXPECT_FALSE(compare_logs(view, b, rules).stop_conditions_compared);
    EXPECT_TRUE(compare_logs(a, view, ComparisonRules{}).equal());
}

// A block's length, address and command, and its data, then the checksum
// that holds; the rest of its 16 bytes zero.
std::vector<std::uint8_t> holding(std::vector<std::uint8_t> block)
{
    block.push_back(common::zero_sum_checksum(block));
    return block;
}

LogRecord record_of(const std::vector<std::uint8_t>& recv, const std::vector<std::uint8_t>& send)
{
    LogRecord record{};
    std::copy(recv.begin(), recv.end(), record.begin());
    std::copy(send.begin(), send.end(), record.begin() + kDirectionBytes);
    return record;
}

// A block's checksum is compared by whether it holds, under the rules as
// any byte; by value only when asked.
TEST(LogFile, ChecksumsDifferByWhetherTheyHold)
{
    // Two data bytes each way: the checksums at Recv 5 and Send 5.
    const LogRecord a =
        record_of(holding({2, 1, 0x41, 0x10, 0x20}), holding({2, 1, 0x41, 0x30, 0x40}));
    const auto changed = [&](std::size_t k, std::uint8_t to) {
        LogRecord b = a;
        b[k] = to;
        return b;
    };
    const LogRecord recv_3 =
        record_of(holding({2, 1, 0x41, 0x11, 0x20}), holding({2, 1, 0x41, 0x30, 0x40}));
    const LogRecord send_4 =
        record_of(holding({2, 1, 0x41, 0x10, 0x20}), holding({2, 1, 0x41, 0x30, 0x48}));
    const LogRecord recv_bad = changed(5, std::uint8_t(a[5] ^ 0x01));
    const LogRecord recv_cut = changed(0, 0x0D);  // its data past the 16 bytes
    const std::vector<IgnoreRule> recv_0 = {{Direction::Recv, 0, 0xFF}};
    const std::vector<IgnoreRule> recv_3_ignored = {{Direction::Recv, 3, 0xFF}};
    using enum ChecksumComparison;
    const struct {
        const char* name;
        LogRecord a, b;
        std::vector<IgnoreRule> ignore;
        std::vector<OnlyRule> only;
        ChecksumComparison checksums;
        std::vector<std::size_t> differing;  // the record's bytes
    } cases[] = {
        {"data differs, both hold", a, recv_3, {}, {}, ByState, {3}},
        {"data differs, by value", a, recv_3, {}, {}, ByValue, {3, 5}},
        {"data ignored, both hold", a, recv_3, recv_3_ignored, {}, ByState, {}},
        {"data ignored, by value", a, recv_3, recv_3_ignored, {}, ByValue, {5}},
        {"sent data differs", a, send_4, {}, {}, ByState, {20}},
        {"bad against ok", a, recv_bad, {}, {}, ByState, {5}},
        {"bad against bad", recv_bad, changed(5, std::uint8_t(a[5] ^ 0x02)), {}, {}, ByState, {}},
        {"bad against bad, by value",
         recv_bad,
         changed(5, std::uint8_t(a[5] ^ 0x02)),
         {},
         {},
         ByValue,
         {5}},
        {"cut against ok, the length ignored", a, recv_cut, recv_0, {}, ByState, {5}},
        {"cut against ok", a, recv_cut, {}, {}, ByState, {0, 5}},
        {"the checksum's place ignored",
         a,
         recv_bad,
         {{Direction::Recv, 5, 0xFF}},
         {},
         ByState,
         {}},
        {"only another byte", a, recv_bad, {}, {{Direction::Send, 5, 0xFF}}, ByState, {}},
        {"only some of the checksum's bits",
         a,
         recv_bad,
         {},
         {{Direction::Recv, 5, 0x80}},
         ByState,
         {5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LogRecord bits{};
        const bool any =
            differing_bits(c.a, c.b, compared_bits(c.ignore, c.only), c.checksums, bits);
        std::vector<std::size_t> differing;
        for (std::size_t k = 0; k < kRecordBytes; ++k) {
            if (bits[k] != 0) {
                differing.push_back(k);
            }
        }
        EXPECT_EQ(differing, c.differing);
        EXPECT_EQ(any, !c.differing.empty());

        // Two logs of the one record each compare alike.
        LogFile log_a;
        LogFile log_b;
        log_a.records[0] = c.a;
        log_b.records[0] = c.b;
        const LogComparison logs =
            compare_logs(log_a, log_b, ComparisonRules{c.ignore, c.only, c.checksums});
        EXPECT_EQ(logs.records_differing, any ? 1 : 0);
        EXPECT_EQ(logs.equal(), !any);
    }
}

// The log as the amplifier's log begun by records later (negative: earlier,
// after records of zeros): its record j is the log's record j + by.
LogFile begun_later(const LogFile& log, int by)
{
    LogFile later = log;
    later.records = {};
    for (int j = std::max(0, -by); j < kLogRecords && j + by < kLogRecords; ++j) {
        later.records[std::size_t(j)] = log.records[std::size_t(j + by)];
    }
    return later;
}

TEST(LogFile, TwoLogsLineUpAtTheirFiredRecords)
{
    // Fired at 127 in a, at 103 in later; later's record 106 (a's 130, T+3)
    // changed in Send[3]. By number, each Send[3] is 24 more: its low three
    // bits the same; but a's record 128 sends a block of length 0x00 (0x80
    // + 128), whose checksum (bad) stands at Send[3], paired with a block
    // cut short, as a's 104 is paired with later's 104 (a's 128).
    const LogFile a = log_written_to(200, FileStopCondition{Direction::Recv, 0, 0xFF, 127, 72});
    LogFile later = begun_later(a, 24);
    later.records[106][16 + 3] ^= 0x0F;
    const LogFile earlier = begun_later(a, -30);
    LogFile unfired = later;
    unfired.stop_condition.reset();
    const std::vector<OnlyRule> send_3 = {{Direction::Send, 3, 0x07}};
    using Pairing = ComparisonReport::Pairing;
    const struct {
        const char* name;
        const LogFile& b;
        std::vector<OnlyRule> only;
        std::vector<IgnoreRule> ignore;
        Alignment wanted;
        ComparisonReport::Pairing pairing;
        int compared, only_in_a, only_in_b;
        std::vector<int> differing;  // a's records
    } cases[] = {
        {"begun later",
         later,
         {},
         {},
         Alignment::FiredRecord,
         Pairing::FiredRecords,
         176,
         24,
         0,
         {130}},
        {"begun earlier",
         earlier,
         {},
         {},
         Alignment::FiredRecord,
         Pairing::FiredRecords,
         200,
         0,
         30,
         {}},
        {"by number",
         later,
         send_3,
         {},
         Alignment::RecordNumber,
         Pairing::NumberAsAsked,
         176,
         24,
         0,
         {104, 106, 128}},
        {"no fired record in b",
         unfired,
         send_3,
         {},
         Alignment::FiredRecord,
         Pairing::NumberNoneFiredInB,
         176,
         24,
         0,
         {104, 106, 128}},
        {"only, less ignored",
         later,
         send_3,
         {{Direction::Send, 3, 0x07}},
         Alignment::FiredRecord,
         Pairing::FiredRecords,
         176,
         24,
         0,
         {}},
        {"only another byte",
         later,
         {{Direction::Recv, 3, 0xFF}},
         {},
         Alignment::FiredRecord,
         Pairing::FiredRecords,
         176,
         24,
         0,
         {}},
    };
    for (const auto& c : cases) {
        const LogComparison comparison = compare_logs(a, c.b, c.ignore, c.only, c.wanted);
        EXPECT_EQ(comparison.aligned_by, c.pairing == Pairing::FiredRecords
                                             ? Alignment::FiredRecord
                                             : Alignment::RecordNumber)
            << c.name;
        EXPECT_EQ(comparison_report(comparison).pairing, c.pairing) << c.name;
        EXPECT_EQ(comparison.records_compared, c.compared) << c.name;
        EXPECT_EQ(comparison.only_in_a, c.only_in_a) << c.name;
        EXPECT_EQ(comparison.only_in_b, c.only_in_b) << c.name;
        std::vector<int> differing;
        for (const RecordDifference& pair : comparison.records) {
            differing.push_back(pair.record);
            EXPECT_EQ(pair.b_record, pair.record + comparison.b_shift) << c.name;
            EXPECT_EQ(pair.offset, comparison.aligned_by == Alignment::FiredRecord
                                       ? std::optional(pair.record - 127)
                                       : std::nullopt)
                << c.name;
        }
        EXPECT_EQ(differing, c.differing) << c.name;
        EXPECT_EQ(comparison.records_per_byte[16 + 3], int(c.differing.size())) << c.name;
    }
}

TEST(LogFile, JsonAndCsvCarryEveryRecordAndItsMark)
{
    const LogFile log = parse_log_file(joined(log_text_lines(kCondition)), "x");
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(log_json("night.txt", log, true)))
            .object();
    EXPECT_EQ(json["format"].toString(), "log text");
    EXPECT_EQ(json["stop_condition"].toObject()["byte"].toInt(), 2);
    const QJsonArray records = json["records"].toArray();
    ASSERT_EQ(records.size(), 256);
    EXPECT_EQ(records[15].toObject()["meets_condition"].toBool(), true);
    EXPECT_EQ(records[15].toObject()["send"].toArray()[0].toString(), "8F");
    // Record 20 says 20 parameter bytes: more than the 16 kept.
    EXPECT_EQ(records[20].toObject()["decoded"].toObject()["recv"].toObject()["checksum"], "cut");

    LogFile view = log;
    view.stop_condition.reset();
    const auto stop_condition_json = [](const LogFile& file) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(log_json("x", file, false)))
            .object()
            .value("stop_condition");
    };
    EXPECT_TRUE(stop_condition_json(view).isNull());
    view.format = LogFormat::LogView;
    EXPECT_EQ(stop_condition_json(view), "not recorded");
    const std::string csv = log_csv(view, true);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 257);
    EXPECT_NE(csv.find("\r\n15,0F,10,"), std::string::npos);
    const std::string row_15 = csv.substr(csv.find("\r\n15,") + 2);
    // No stop condition: the mark is left empty, after the 32 bytes.
    EXPECT_EQ(row_15.substr(0, row_15.find("\r\n")).find(",,"), 3 + 32 * 3 - 1);
}

TEST(LogFile, AFileNameThatIsNotUtf8ComesWithItsBytes)
{
    const std::pair<std::string, const char*> names[] = {
        {"night.txt", R"({"a": "night.txt"})"},
        {"\xC3\xA9.txt", "{\"a\": \"\xC3\xA9.txt\"}"},
        {"\xFF\xFE.txt",
         "{\"a\": \"\xEF\xBF\xBD\xEF\xBF\xBD.txt\", \"a_bytes\": \"fffe2e747874\"}"},
        // Cut short at the end: a U+FFFD for each byte, as Qt decodes it.
        {"cut\xE2\x82", "{\"a\": \"cut\xEF\xBF\xBD\xEF\xBF\xBD\", \"a_bytes\": \"637574e282\"}"},
    };
    for (const auto& [name, json] : names) {
        JsonLine object;
        EXPECT_EQ(add_file_name(object, "a", name).text(), json);
    }
}

TEST(LogFile, ADateLineShowsItsControlCharactersEscaped)
{
    EXPECT_EQ(with_control_characters_escaped("2026/12/08 \xC3\xA9 18:31:10"),
              "2026/12/08 \xC3\xA9 18:31:10");
    EXPECT_EQ(with_control_characters_escaped(std::string("\x1B[31m\x07\t\x7F\0|", 10)),
              R"(\x1b[31m\x07\x09\x7f\x00|)");
    EXPECT_EQ(with_control_characters_escaped(R"(C:\x1b)"), R"(C:\\x1b)");
}

}  // namespace
