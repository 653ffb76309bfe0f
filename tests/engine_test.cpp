// The amplifier engine without a window: parameter blocks from typed fields,
// the decoding of replies, and what a log stopped while it ran says of its
// trigger.
#include "AmplifierProtocol.h"
#include "AmplifierQueries.h"
#include "AmplifierReads.h"
#include "CaptureSeries.h"
#include "Conditions.h"
#include "DifferingFields.h"
#include "IntegerText.h"
#include "LogText.h"
#include "ParallelFiles.h"
#include "Plot.h"
#include "TriggerWatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <stdexcept>

namespace {

using namespace quillon;

ResponseBuffer reply(std::initializer_list<std::uint8_t> data)
{
    ResponseBuffer response{};
    response[0] = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), response.begin() + 3);
    return response;
}

TEST(Engine, LogStartBlocksFollowTheFieldsAndTheMode)
{
    const auto entry = [](bool send, const char* byte, const char* mask, const char* value,
                          const char* count) {
        return std::optional<StopConditionEntry>({send, byte, mask, value, count});
    };
    const struct {
        std::optional<StopConditionEntry> condition;
        bool wide;
        std::array<std::uint8_t, 5> params;
        const char* error;
    } cases[] = {
        {std::nullopt, false, {1, 0xFF, 0, 0, 0}, nullptr},
        {entry(false, "3", "0x0F", "1", "5"), false, {1, 3, 0x0F, 1, 5}, nullptr},
        {entry(true, "2", "$F0", "16", "255"), false, {1, 18, 0xF0, 16, 255}, nullptr},
        {entry(true, "2", "1", "1", "127"), true, {1, 34, 1, 1, 127}, nullptr},
        {entry(true, "250", "1", "1", "1"), false, {1, 10, 1, 1, 1}, nullptr},  // wraps
        {entry(false, "0", "256", "x", "0"), false, {}, "Mask data is out of range(0-255)!"},
        {entry(false, "0", "0", "-1", "0"), false, {}, "Condition data is out of range(0-255)!"},
        {entry(false, "0", "0", "0", "128"), true, {}, "Count data is out of range!"},
    };
    for (const auto& c : cases) {
        const auto block = log_start_parameters(c.condition, c.wide);
        if (c.error != nullptr) {
            EXPECT_STREQ(block.range_error, c.error);
            continue;
        }
        EXPECT_EQ(block.range_error, nullptr);
        EXPECT_TRUE(std::equal(c.params.begin(), c.params.end(), block.params.begin()));
        EXPECT_TRUE(std::all_of(block.params.begin() + 5, block.params.end(),
                                [](auto b) { return b == 0; }));
        // Re-arming under the condition the amplifier names sends START's bytes.
        if (c.condition) {
            const auto& p = c.params;
            EXPECT_EQ(quillon::log_restart_parameters({p[1], p[2], p[3], p[4]}), block.params);
        }
    }
    EXPECT_THROW(log_start_parameters(entry(false, "0", "abc", "0", "0"), false), ConversionError);
}

TEST(Engine, RepliesAreDecodedOnlyAtTheirLength)
{
    EXPECT_EQ(decode_log_status(0x00), LogStatus::Idle);
    EXPECT_EQ(decode_log_status(0x05), LogStatus::Logging) << "bit 0 before bit 2";
    EXPECT_EQ(decode_log_status(0x04), LogStatus::Cancelled);
    EXPECT_STREQ(log_status_text(LogStatus::Cancelled), "Cancel");

    ResponseBuffer com{};
    com[0] = 34;
    for (std::size_t i = 0; i < 33; ++i) {
        com[3 + i] = static_cast<std::uint8_t>(i);
    }
    const auto data = decode_com_data(com, false);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->received.front(), 0);
    EXPECT_EQ(data->sent.front(), 16);
    EXPECT_EQ(data->phase, 32);
    EXPECT_FALSE(decode_com_data(com, true)) << "32 byte mode wants 66 data bytes";

    const auto condition = decode_stop_condition(reply({0x12, 0x0F, 0x01, 0x05}));
    EXPECT_EQ(stop_condition_line(condition, 16),
              "#Stop Condition : Send[2] & 0x0F = 0x01 ,count 5");
    EXPECT_FALSE(holds_stop_condition(reply({0x12, 0x0F, 0x01})));
}

TEST(Engine, ALogReadStopsAtTheFirstBadBlockAndKeepsWhatCameBefore)
{
    int exchanges = 0;
    const AmplifierSend send = [&exchanges](std::uint32_t word,
                                            std::span<const std::uint8_t> params,
                                            std::span<std::uint8_t> response) {
        ++exchanges;
        response[0] = word == command_word::kLogControl ? 4 : 130;
        response[3] = kNoStopCondition;
        response[132] = (word == command_word::kLogBlockRead && params[0] == 2) ? 0x04 : 0x00;
        return true;
    };
    std::vector<int> progress;
    const auto capture = capture_log(send, [&progress](int n) { progress.push_back(n); });
    EXPECT_EQ(capture.failure(), AmplifierFailure::Cancelled);
    EXPECT_EQ(capture.blocks.records.size(), 8u);
    EXPECT_EQ(exchanges, 4);
    EXPECT_EQ(progress, (std::vector<int>{0, 1, 2, 3}));
    const auto lines = log_text_lines("#Date and Time  : now", capture, 16);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[1], "#Stop Condition : None");
    EXPECT_EQ(lines[2], "");
}

// A log stopped while it ran: records 0 to written - 1 hold 0x11, with
// record fired's byte at set to 0x5A; the rest were never written.
LogCapture running_log(StopCondition condition, int written, int fired, std::size_t at)
{
    LogCapture capture;
    capture.condition = condition;
    capture.blocks.records.resize(256);
    for (int r = 0; r < written; ++r) {
        capture.blocks.records[std::size_t(r)].fill(0x11);
    }
    if (fired >= 0) {
        capture.blocks.records[std::size_t(fired)][at] = 0x5A;
    }
    return capture;
}

TEST(Engine, ALogStoppedWhileItRanHadFiredWhenAWrittenRecordMeetsItsCondition)
{
    constexpr std::uint8_t kMask = 0xFF;
    const struct {
        StopCondition condition;
        bool wide;
        int written;
        int fired;
        std::size_t at;  // the byte set among a record's 32
        bool expected;
    } cases[] = {
        {{3, kMask, 0x5A, 10}, false, 40, 20, 3, true},                  // received byte 3
        {{16 + 3, kMask, 0x5A, 10}, false, 40, 20, 16 + 3, true},        // sent byte 3
        {{32 + 3, kMask, 0x5A, 10}, true, 40, 20, 16 + 3, true},         // sent, 32 byte mode
        {{3, kMask, 0x5A, 10}, false, 40, -1, 0, false},                 // not yet fired
        {{3, 0xF0, 0x00, 10}, false, 40, -1, 0, false},                  // only never-written meet
        {{3, 0x00, 0x00, 10}, false, 256, -1, 0, true},                  // every record meets
        {{20, kMask, 0x5A, 10}, true, 40, 20, 20, false},                // a byte not kept
        {{kNoStopCondition, kMask, 0x5A, 10}, false, 40, 20, 3, false},  // no condition
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("index " + std::to_string(c.condition.trigger_index) + ", mask " +
                     std::to_string(c.condition.mask) + ", record " + std::to_string(c.fired));
        EXPECT_EQ(
            trigger_fired_before_stop(running_log(c.condition, c.written, c.fired, c.at), c.wide),
            c.expected);
    }
}

// An amplifier whose exchange number fail_at (0 the first) fails and whose
// others answer: a log control reply naming the stop condition at index
// trigger (mask and value 0, which any written record meets), idle log
// blocks of records holding 0x11, 16 byte communication data.
AmplifierSend scripted_amplifier(int fail_at, std::uint8_t trigger)
{
    return [fail_at, trigger, exchanges = 0](std::uint32_t word, std::span<const std::uint8_t>,
                                             std::span<std::uint8_t> response) mutable {
        if (exchanges++ == fail_at) {
            return false;
        }
        const bool block = word == command_word::kLogBlockRead;
        response[0] = word == command_word::kLogControl ? 4 : block ? 130 : 34;
        response[3] = trigger;
        std::fill_n(response.begin() + 4, block ? 128 : 0, std::uint8_t{0x11});
        return true;
    };
}

TEST(Engine, TheStatusCheckAndTheLogReadKeepWhatTheyReadBeforeAFailure)
{
    // The exchange that fails: the step named, what came before kept.
    for (const int fail_at : {0, 1, 2, -1}) {
        const StatusCheck check = check_status(scripted_amplifier(fail_at, 0), false);
        EXPECT_EQ(check.failure ? int(check.failure->step) : -1, fail_at);
        EXPECT_EQ(check.log_status.has_value(), fail_at == -1 || fail_at == 2) << fail_at;
        EXPECT_EQ(check.com_data.has_value(), fail_at == -1) << fail_at;
    }

    const struct {
        std::uint8_t trigger;
        bool only_triggered;
        int fail_at;
        std::size_t lines;
        bool fired;
    } cases[] = {
        {kNoStopCondition, true, -1, 0, false},  // no trigger ended it: no log
        {kNoStopCondition, false, -1, 259, false},
        {3, true, -1, 259, true},
        {3, false, 4, 3 + 12, false},  // three blocks in
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.trigger) + ", failing exchange " + std::to_string(c.fail_at));
        const LogTextRead read = read_log_text(
            scripted_amplifier(c.fail_at, c.trigger), "#Date", false, [](int) {}, c.only_triggered);
        EXPECT_EQ(read.lines.size(), c.lines);
        EXPECT_EQ(read.fired_before_stop, c.fired);
        EXPECT_EQ(read.failure.has_value(), c.fail_at >= 0);
        EXPECT_EQ(read.condition->trigger_index, c.trigger);
    }
}

// An amplifier whose log status answers each poll from a script (0 idle,
// 1 logging, 4 cancelled, kDrop: the exchange fails) and stays idle once the
// script has run out. Its log names the stop condition at index trigger,
// mask and value 0, which every written record meets.
constexpr int kDrop = -1;
struct ScriptedSeriesAmplifier {
    std::deque<int> polls;
    std::uint8_t trigger = 3;
    int reads = 0;   // log control blocks that stop and read
    int starts = 0;  // log control blocks that start
    int exchanges = 0;
    int reading = 0;         // block reads of a log read still to come
    int failing_starts = 0;  // start blocks still to fail
    // Each log read's every byte, in turn; 0x11 once they have run out.
    std::deque<std::uint8_t> fills{};
    std::uint8_t fill = 0x11;

    AmplifierSend send()
    {
        return [this](std::uint32_t word, std::span<const std::uint8_t> params,
                      std::span<std::uint8_t> response) {
            ++exchanges;
            if (word == command_word::kLogControl) {
                const bool start = std::any_of(params.begin(), params.end(),
                                               [](std::uint8_t byte) { return byte != 0; });
                if (start && failing_starts > 0) {
                    --failing_starts;
                    return false;
                }
                ++(start ? starts : reads);
                reading = start ? 0 : 64;
                if (!start) {
                    fill = fills.empty() ? std::uint8_t{0x11} : fills.front();
                    if (!fills.empty()) {
                        fills.pop_front();
                    }
                }
                response[0] = 4;
                response[3] = trigger;
                return true;
            }
            int status = 0;
            if (reading > 0) {
                --reading;
            } else if (!polls.empty()) {
                status = polls.front();
                polls.pop_front();
            }
            if (status == kDrop) {
                return false;
            }
            response[0] = 130;
            std::fill_n(response.begin() + 4, 128, fill);
            response[132] = std::uint8_t(status);
            return true;
        };
    }
};

// One series run to its end, time moving only with the waits it asks for.
struct SeriesRun {
    std::vector<SeriesNews> news;
    std::vector<int> saved;            // the index of each capture saved
    std::vector<int> left_out_before;  // of each capture saved
    std::vector<int> left_out;         // the count said as each is left out
    std::optional<SeriesEnd> end;
    std::chrono::seconds waited{0};
};

SeriesRun run_series(ScriptedSeriesAmplifier& amplifier, const CaptureSeriesRules& rules,
                     std::function<bool()> reopen = nullptr)
{
    SeriesRun run;
    const auto start = std::chrono::steady_clock::time_point{};
    CaptureSeriesSeams seams;
    seams.send = amplifier.send();
    seams.save = [](const QDateTime&, const std::string& text) {
        return AutoSaveOutcome{QString::number(text.size()), {}};
    };
    seams.reopen = std::move(reopen);
    seams.tell = [&run](SeriesNews news) { run.news.push_back(news); };
    seams.saved = [&run](const SavedCapture& capture) {
        run.saved.push_back(capture.index);
        run.left_out_before.push_back(capture.left_out_before);
    };
    seams.leave_out = [&run](const LeftOutCapture& capture) {
        run.left_out.push_back(capture.left_out);
    };
    seams.now = [&run, start] { return start + run.waited; };
    CaptureSeries series(rules, std::move(seams), SeriesBegin::Armed);
    for (int step = 0; step < 100 && !run.end; ++step) {
        const SeriesStep next = series.Advance();
        run.end = next.end;
        run.waited += next.wait;
    }
    return run;
}

TEST(Engine, ACaptureSeriesDecidesWhatIsACaptureWhenToStartAgainAndWhenItEnds)
{
    using enum SeriesNews;
    constexpr int kCancelled = 4;
    CaptureSeriesRules wait;  // as quillon-cli's wait
    wait.timeout = std::chrono::seconds(5);
    CaptureSeriesRules window = wait;  // as the main window
    window.cancel_ends = false;
    window.only_triggered = false;
    window.timeout.reset();
    CaptureSeriesRules series = wait;
    series.rearm = true;
    series.count = 2;
    CaptureSeriesRules no_save = window;
    no_save.save = false;

    const struct {
        const char* name;
        CaptureSeriesRules rules;
        std::deque<int> polls;
        std::uint8_t trigger;
        SeriesEndCause end;
        std::vector<int> saved;
        int starts;
        std::vector<SeriesNews> news;
        int waited;
    } cases[] = {
        // The time-out counts after a poll: six polls, a second apart.
        {"timed out",
         wait,
         {1, 1, 1, 1, 1, 1, 1},
         3,
         SeriesEndCause::TimedOut,
         {},
         0,
         {Logging, Logging, Logging, Logging, Logging, Logging},
         5},
        {"one capture", wait, {1, 0}, 3, SeriesEndCause::Completed, {1}, 0, {Logging, Reading}, 1},
        {"a series of two",
         series,
         {0, 1, 0},
         3,
         SeriesEndCause::Completed,
         {1, 2},
         1,
         {Reading, Rearmed, Logging, Reading},
         2},
        {"stopped before its trigger",
         window,
         {0},
         kNoStopCondition,
         SeriesEndCause::NotACapture,
         {},
         0,
         {Reading},
         0},
        {"cancelled, for wait", wait, {kCancelled}, 3, SeriesEndCause::Failed, {}, 0, {}, 0},
        {"cancelled, for the window",
         window,
         {kCancelled, 1, 0},
         3,
         SeriesEndCause::Completed,
         {1},
         0,
         {Cancelled, Logging, Reading},
         2},
        {"nothing to save", no_save, {0}, 3, SeriesEndCause::TriggerFired, {}, 0, {}, 0},
        {"no stop condition",
         wait,
         {0},
         kNoStopCondition,
         SeriesEndCause::NoStopCondition,
         {},
         0,
         {Reading},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSeriesAmplifier amplifier{c.polls, c.trigger};
        const SeriesRun run = run_series(amplifier, c.rules);
        ASSERT_TRUE(run.end);
        EXPECT_EQ(run.end->cause, c.end);
        EXPECT_EQ(run.saved, c.saved);
        EXPECT_EQ(amplifier.starts, c.starts);
        EXPECT_EQ(run.news, c.news);
        EXPECT_EQ(run.waited.count(), c.waited);
    }
}

TEST(Engine, ACaptureSeriesOutlivesALostWayInAndNeverReadsASavedCaptureAgain)
{
    using enum SeriesNews;
    CaptureSeriesRules rules;
    rules.rearm = true;
    rules.count = 2;
    rules.reconnect = true;
    // The way in is lost as the first capture is started again, and comes
    // back at the second try; the log has stayed idle meanwhile.
    ScriptedSeriesAmplifier amplifier{{0}, 3};
    amplifier.failing_starts = 1;
    int tries = 0;
    const SeriesRun run = run_series(amplifier, rules, [&tries] { return ++tries == 2; });
    ASSERT_TRUE(run.end);
    EXPECT_EQ(run.end->cause, SeriesEndCause::Completed);
    EXPECT_EQ(run.saved, (std::vector<int>{1, 2}));
    EXPECT_EQ(amplifier.reads, 2) << "the first capture is started again, not read again";
    EXPECT_EQ(run.news, (std::vector<SeriesNews>{Reading, CantTalk, WayInLost, AnswersAgain,
                                                 Rearmed, Reading}));
    EXPECT_EQ(run.waited.count(), 5 + 5 + 1);
}

TEST(Engine, ACaptureSeriesKeepsOnlyTheCapturesThatMeetItsConditionAndCountsThose)
{
    CaptureSeriesRules series;
    series.rearm = true;
    series.count = 2;
    series.keep_if = KeepCondition{*read_condition("recv[0] = 0x22 @T0", {}).condition, {}};
    CaptureSeriesRules first_kept = series;
    first_kept.rearm = false;
    first_kept.count.reset();
    const struct {
        const char* name;
        CaptureSeriesRules rules;
        std::deque<std::uint8_t> fills;
        std::vector<int> left_out_before;
        std::vector<int> left_out;
        int starts;
    } cases[] = {
        {"a series of two kept", series, {0x11, 0x22, 0x11, 0x11, 0x22}, {1, 2}, {1, 2, 3}, 4},
        {"all kept", series, {0x22, 0x22}, {0, 0}, {}, 1},
        {"one kept, without re-arm", first_kept, {0x11, 0x11, 0x22, 0x22}, {2}, {1, 2}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedSeriesAmplifier amplifier{{0, 0, 0, 0, 0, 0}, 3};
        amplifier.fills = c.fills;
        const SeriesRun run = run_series(amplifier, c.rules);
        ASSERT_TRUE(run.end);
        EXPECT_EQ(run.end->cause, SeriesEndCause::Completed);
        EXPECT_EQ(run.left_out_before, c.left_out_before);
        EXPECT_EQ(run.left_out, c.left_out);
        EXPECT_EQ(run.saved.size(), c.left_out_before.size());
        EXPECT_EQ(amplifier.starts, c.starts);
    }
}

TEST(Engine, LogFilesReadInParallelAnswerInTheOrderOfTheirPaths)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 16; ++i) {
        paths.push_back(QUILLON_GOLDEN_DIR + std::string(i % 3 == 0 ? "/fired.txt" : "/no log"));
    }
    const auto reads = read_log_files(paths);
    ASSERT_EQ(reads.size(), paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(reads[i].log.has_value(), i % 3 == 0) << i;
        EXPECT_EQ(reads[i].error.find(paths[i]) == std::string::npos, i % 3 == 0) << i;
    }

    // A work that throws is thrown to the caller, and no index runs twice.
    std::vector<std::atomic<int>> runs(1000);
    EXPECT_THROW(for_each_index_in_parallel(runs.size(),
                                            [&runs](std::size_t i) {
                                                if (++runs[i] > 1 || i == 10) {
                                                    throw std::runtime_error("failed");
                                                }
                                            }),
                 std::runtime_error);
    EXPECT_TRUE(std::all_of(runs.begin(), runs.end(), [](const auto& n) { return n <= 1; }));
}

}  // namespace

namespace {

// decoded.txt fires at record 5 and wrote records 0 to 7; its fields file's
// "level" has a value only where Recv[2] is 0x40: record 5.
TEST(Engine, ColumnPlotTakesTheWrittenRecordsAtTheirOffsetsAndLeavesOutFieldsWithoutValue)
{
    const std::string golden = QUILLON_GOLDEN_DIR;
    quillon::LogFile log = quillon::read_log_file(golden + "/decoded.txt");
    const auto fields = quillon::read_fields_file(golden + "/decoded-fields.json").fields;

    const auto send_1 = quillon::column_plot(log, quillon::byte_columns()[17], fields);
    ASSERT_EQ(send_1.points.size(), 8u);
    EXPECT_EQ(send_1.y_title, "Send 1");
    EXPECT_EQ(send_1.marked_x, 0.0);
    EXPECT_EQ(send_1.points[0].x, -5.0);
    EXPECT_EQ(send_1.points[5].x, 0.0);
    EXPECT_EQ(send_1.points[5].y, 0x81);
    EXPECT_EQ(send_1.points[5].record, 5);
    EXPECT_EQ(send_1.points[5].value, "0x81");
    EXPECT_EQ(send_1.points[7].value, "0x00");

    const auto level = quillon::column_plot(log, quillon::field_columns(fields)[1], fields);
    EXPECT_EQ(level.y_title, "level (V)");
    ASSERT_EQ(level.points.size(), 1u);
    // Send[4..5] = 3E CC, little-endian and signed: -13250 x 0.5.
    EXPECT_EQ(level.points[0].y, -6625.0);
    EXPECT_EQ(level.points[0].value, "-6625.0 V");

    // Without a fired record: the record numbers, nothing marked.
    log.stop_condition.reset();
    const auto by_record = quillon::column_plot(log, quillon::byte_columns()[3], fields);
    ASSERT_EQ(by_record.points.size(), 8u);
    EXPECT_FALSE(by_record.marked_x);
    EXPECT_EQ(by_record.points[3].x, 3.0);
    EXPECT_EQ(by_record.points[3].value, "0x51");
}

// A's and B's records differ in Send[3] by 0x0F (93, 9C) and in Send[4],
// a counter's; Recv[0] tells whether "held" holds (0x01 in A only).
TEST(Engine, AFieldDiffersOnTheBitsTheRulesLeaveCompared)
{
    quillon::LogRecord a{};
    quillon::LogRecord b{};
    a[19] = 0x93;
    b[19] = 0x9C;
    a[20] = 0x01;
    b[20] = 0x02;
    a[0] = 0x01;
    const auto fields = quillon::parse_fields(R"({"fields": [
  {"name": "low", "direction": "send", "byte": 3, "mask": "0x0F"},
  {"name": "high", "direction": "send", "byte": 3, "mask": "0xF0"},
  {"name": "counter", "direction": "send", "byte": 4, "compare": false},
  {"name": "held", "direction": "send", "byte": 2,
   "when": {"direction": "recv", "byte": 0, "value": 1}}]})",
                                              "fields.json")
                            .fields;
    using quillon::Direction;
    struct Case {
        const char* what;
        std::vector<quillon::IgnoreRule> ignore;
        std::vector<quillon::OnlyRule> only;
        std::vector<bool> differing;  // low, high, counter, held
    };
    const std::vector<Case> cases{
        {"every bit", {}, {}, {true, false, false, true}},
        {"part of low ignored", {{Direction::Send, 3, 0x0C}}, {}, {true, false, false, true}},
        {"all of low ignored", {{Direction::Send, 3, 0x0F}}, {}, {false, false, false, true}},
        {"only the high bits", {}, {{Direction::Send, 3, 0xF0}}, {false, false, false, false}},
        {"only Send[2]", {}, {{Direction::Send, 2, 0xFF}}, {false, false, false, true}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.what);
        const auto rules = quillon::with_fields_left_out({row.ignore, row.only}, fields);
        EXPECT_EQ(quillon::differing_fields(a, b, quillon::compared_bits(rules.ignore, rules.only),
                                            fields),
                  row.differing);
    }
}

}  // namespace
