// Likely causes on hand-made captures with known answers: a host's cycle
// of four commands, the trigger on the fourth; x read at the second (T-2).
#include "LikelyCauses.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace quillon;

constexpr int kRecords = 200;
constexpr int kFired = 197;  // the trigger's count of 2 after it

std::vector<FieldSpec> test_fields()
{
    return parse_fields(R"({"fields": [
        {"name": "x", "direction": "send", "byte": 3,
         "when": {"direction": "recv", "byte": 2, "value": "0x41"}},
        {"name": "seq", "direction": "recv", "byte": 3},
        {"name": "flag", "direction": "recv", "byte": 4}]})",
                        "fields.json")
        .fields;
}

// A capture: x random below 200 (at or above it one time in twenty, or in
// two with often), a sequence counter of the cycle, noise in send[5]; x at
// T-2 at or above 200 where cause, and send[5]'s bit 0 set there too with
// paired.
SeriesCapture capture(std::mt19937& random, bool cause, bool paired = false, bool flagged = false)
{
    const unsigned high_one_in = paired ? 2 : 20;
    SeriesCapture made;
    made.file = "capture.txt";
    const int phase = int(random() % 20);
    LogFile& log = made.log;
    for (int r = 0; r < kRecords; ++r) {
        LogRecord& bytes = log.records[std::size_t(r)];
        bytes[record_byte_index(Direction::Recv, 0)] = 2;
        bytes[record_byte_index(Direction::Recv, 2)] = std::uint8_t(0x40 + (r + 2) % 4);
        bytes[record_byte_index(Direction::Recv, 3)] = std::uint8_t(r / 4);
        // A flag on for ten records, off for ten, from a phase of its own.
        bytes[record_byte_index(Direction::Recv, 4)] = std::uint8_t((r + phase) / 10 % 2);
        bytes[record_byte_index(Direction::Send, 0)] = 3;  // data send[3] to send[5]
        bytes[record_byte_index(Direction::Send, 3)] =
            std::uint8_t(random() % high_one_in == 0 ? 200 + random() % 56 : random() % 200);
        bytes[record_byte_index(Direction::Send, 5)] = std::uint8_t(random());
    }
    if (cause) {
        log.records[kFired - 2][record_byte_index(Direction::Send, 3)] =
            std::uint8_t(200 + random() % 56);
    }
    if (flagged) {
        log.records[kFired - 1][record_byte_index(Direction::Recv, 4)] = 1;
    }
    if (cause && paired) {
        log.records[kFired - 2][record_byte_index(Direction::Send, 5)] |= 0x01;
    }
    log.records[kFired][record_byte_index(Direction::Send, 1)] = 0x80;
    log.stop_condition = FileStopCondition{Direction::Send, 1, 0x80, 0x80, 2};
    made.timeline = log_timeline(log);
    return made;
}

TEST(LikelyCauses, ACauseInMostCapturesIsNamedAndNothingIsNamedWithoutOne)
{
    const auto fields = test_fields();
    const struct {
        const char* name;
        int with_cause;               // of 20 captures
        std::optional<int> captures;  // of the first cause, none for no cause
    } cases[] = {
        {"in every capture", 20, 20},
        {"in half of them", 10, 10},
        {"in none", 0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 random(7);
        Series series;
        for (int i = 0; i < 20; ++i) {
            series.captures.push_back(capture(random, i < c.with_cause));
        }
        ASSERT_EQ(series.captures[0].timeline.fired, kFired);
        const CauseFinding found = likely_causes(series, fields, CauseSearch{});
        EXPECT_GT(found.anchors, 700);
        EXPECT_GT(found.candidates, 100U);
        if (!c.captures) {
            EXPECT_TRUE(found.causes.empty()) << found.causes.front().condition;
            EXPECT_TRUE(found.best) << "the strongest candidate, though none stands out";
            continue;
        }
        ASSERT_FALSE(found.causes.empty());
        const LikelyCause& first = found.causes.front();
        EXPECT_EQ(first.condition.substr(0, 5), "x >= ");
        EXPECT_TRUE(first.condition.ends_with(" @T-2")) << first.condition;
        EXPECT_EQ(first.captures, *c.captures);
        EXPECT_EQ(first.of, 20);
        EXPECT_LT(first.baseline_share, 0.1);
        // The harmonic mean of the share of captures and its increase.
        EXPECT_NEAR(
            first.score,
            2 / (1 / (first.captures / 20.0 - first.baseline_share) + 20.0 / first.captures), 1e-9);
        // The counter tells when the captures were made, never why; the
        // noise seldom passes the corrected threshold.
        for (const LikelyCause& cause : found.causes) {
            EXPECT_EQ(cause.condition.find("seq"), std::string::npos) << cause.condition;
            EXPECT_EQ(cause.condition.find("send[5]"), std::string::npos) << cause.condition;
        }
        // Each condition reads in the language, on the same fields.
        for (const LikelyCause& cause : found.causes) {
            EXPECT_TRUE(read_condition(cause.condition, fields).condition) << cause.condition;
        }
    }
}

// A window closed while its search runs cancels it: what it then returns
// names nothing, though the cause is in every capture.
TEST(LikelyCauses, ACancelledSearchNamesNothing)
{
    const auto fields = test_fields();
    std::mt19937 random(7);
    Series series;
    for (int i = 0; i < 20; ++i) {
        series.captures.push_back(capture(random, true));
    }
    const std::atomic<bool> cancelled{true};
    CauseSearch search;
    search.cancelled = &cancelled;
    EXPECT_TRUE(likely_causes(series, fields, search).causes.empty());
}

// x high half the time and send[5]'s bit 0 set half the time: each alone
// holds before every trigger and half the anchors, both together before
// every trigger and a quarter of them: the pair is the cause.
TEST(LikelyCauses, APairFarStrongerThanEitherHalfIsNamed)
{
    const auto fields = test_fields();
    std::mt19937 random(3);
    Series series;
    for (int i = 0; i < 30; ++i) {
        series.captures.push_back(capture(random, true, true));
    }
    const CauseFinding found = likely_causes(series, fields, CauseSearch{});
    ASSERT_FALSE(found.causes.empty());
    const std::string& first = found.causes.front().condition;
    EXPECT_NE(first.find(" @T-2 and "), std::string::npos) << first;
    EXPECT_NE(first.find("x >= "), std::string::npos) << first;
    EXPECT_NE(first.find("send[5] & 0x01 = 0x01 @T-2"), std::string::npos) << first;
    EXPECT_EQ(found.causes.front().captures, 30);
    EXPECT_LT(found.causes.front().baseline_share, 0.35);
}

// A flag that turns on and off goes up as often as a counter wraps: it is
// no counter, and it can be the cause.
TEST(LikelyCauses, AFlagThatTurnsOnAndOffIsNoCounter)
{
    const auto fields = test_fields();
    std::mt19937 random(5);
    Series series;
    for (int i = 0; i < 20; ++i) {
        series.captures.push_back(capture(random, false, false, true));
    }
    const CauseFinding found = likely_causes(series, fields, CauseSearch{});
    ASSERT_FALSE(found.causes.empty());
    EXPECT_EQ(found.causes.front().condition, "flag = 1 @T-1");
    EXPECT_EQ(found.causes.front().captures, 20);
}

}  // namespace
