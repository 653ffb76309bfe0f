// The amplifier engine without a window: parameter blocks from typed fields,
// the decoding of replies, and what a log stopped while it ran says of its
// trigger.
#include "AmplifierProtocol.h"
#include "AmplifierQueries.h"
#include "IntegerText.h"
#include "LogText.h"
#include "TriggerWatch.h"

#include <gtest/gtest.h>

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

}  // namespace
