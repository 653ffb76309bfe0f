// The simulated amplifier's model: replies, the log ring, the stop condition
// and the log status, checked against what the model itself reports through
// its command interface, exchange by exchange.
#include "AmplifierModel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using ampsim::AmplifierModel;
using ampsim::ModelOptions;
using ampsim::Record;
using Bytes = std::vector<std::uint8_t>;

ModelOptions quiet(ModelOptions options = {})
{
    options.traffic_rate = 0;  // the test runs the host by hand
    return options;
}

Bytes data_of(AmplifierModel& model, Bytes command)
{
    const auto reply = model.execute(command);
    EXPECT_TRUE(reply.has_value());
    return reply ? reply->data : Bytes{};
}

Bytes log_control(AmplifierModel& model, Bytes params)
{
    params.resize(8);
    Bytes command{8, 0, 0xEA};
    command.insert(command.end(), params.begin(), params.end());
    return data_of(model, command);
}

Bytes log_block(AmplifierModel& model, std::uint8_t block)
{
    return data_of(model, {1, 0, 0xFA, block});
}

// The record that the last host exchange makes, read as the program reads
// the last command and response bytes.
Record last_exchange(AmplifierModel& model)
{
    const Bytes data = data_of(model, {0, 0, 0xDF});
    Record record;
    std::copy_n(data.begin(), 16, record.received.begin());
    std::copy_n(data.begin() + 32, 16, record.sent.begin());
    return record;
}

// Runs the host n times and returns the records those exchanges make.
std::vector<Record> run_host(AmplifierModel& model, int n)
{
    std::vector<Record> made;
    for (int i = 0; i < n; ++i) {
        model.advance(1);
        made.push_back(last_exchange(model));
    }
    return made;
}

std::vector<Record> read_log_through_commands(AmplifierModel& model)
{
    std::vector<Record> records;
    for (std::uint8_t block = 0; block < 64; ++block) {
        const Bytes data = log_block(model, block);
        EXPECT_EQ(data.size(), 130u);
        EXPECT_EQ(data[0], block);
        for (int r = 0; r < 4; ++r) {
            Record record;
            std::copy_n(data.begin() + 1 + 32 * r, 16, record.received.begin());
            std::copy_n(data.begin() + 17 + 32 * r, 16, record.sent.begin());
            records.push_back(record);
        }
    }
    return records;
}

TEST(AmplifierModel, ReplyLengthsOfEveryCommandAndOfTheVariants)
{
    AmplifierModel full(quiet());
    EXPECT_EQ(data_of(full, {0, 0, 0x00}).size(), 0u);
    EXPECT_EQ(data_of(full, {0, 0, 0xAF}).size(), 34u);
    EXPECT_EQ(data_of(full, {0, 0, 0xDF}).size(), 66u);
    EXPECT_EQ(log_block(full, 0).size(), 130u);
    EXPECT_EQ(log_control(full, {0}).size(), 4u);
    EXPECT_EQ(log_block(full, 64).size(), 0u) << "no block 64";
    // Not a command block at all: no answer.
    EXPECT_FALSE(full.execute(Bytes{0, 0}).has_value());
    EXPECT_FALSE(full.execute(Bytes{3, 0, 0x10, 1}).has_value());
    // The reply header echoes address and command byte.
    const auto reply = full.execute(Bytes{0, 0x07, 0xAF});
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->header1, 0x07);
    EXPECT_EQ(reply->header2, 0xAF);

    AmplifierModel no_log(quiet({.has_log = false}));
    EXPECT_EQ(log_block(no_log, 0).size(), 0u);
    EXPECT_EQ(log_control(no_log, {1, 0xFF}).size(), 0u);
    EXPECT_EQ(data_of(no_log, {0, 0, 0xAF}).size(), 34u);
    AmplifierModel no_data(quiet({.has_com_data = false}));
    EXPECT_EQ(data_of(no_data, {0, 0, 0xAF}).size(), 0u);
    EXPECT_EQ(data_of(no_data, {0, 0, 0xDF}).size(), 66u);
    AmplifierModel no_data32(quiet({.has_com_data_32 = false}));
    EXPECT_EQ(data_of(no_data32, {0, 0, 0xDF}).size(), 0u);
}

TEST(AmplifierModel, CommunicationDataShowsTheLastExchangeAndPhase)
{
    AmplifierModel model(quiet());
    model.advance(5);
    const Bytes wide = data_of(model, {0, 0, 0xDF});
    const Bytes narrow = data_of(model, {0, 0, 0xAF});
    // The 16-byte view is the first half of each direction of the 32-byte one.
    EXPECT_EQ(Bytes(narrow.begin(), narrow.begin() + 16), Bytes(wide.begin(), wide.begin() + 16));
    EXPECT_EQ(Bytes(narrow.begin() + 16, narrow.begin() + 32),
              Bytes(wide.begin() + 32, wide.begin() + 48));
    EXPECT_EQ(narrow[32], wide[64]) << "same phase in both views";
    // Received bytes are a command block of the host: its sum is zero.
    const unsigned n = wide[0];
    ASSERT_LE(n + 4, 32u);
    unsigned sum = 0;
    for (unsigned i = 0; i < n + 4; ++i) {
        sum += wide[i];
    }
    EXPECT_EQ(sum % 256, 0u);
    model.advance(1);
    EXPECT_NE(data_of(model, {0, 0, 0xDF}), wide) << "a new exchange changes the view";
}

TEST(AmplifierModel, LogKeepsTheNewest256RecordsOldestFirst)
{
    AmplifierModel model(quiet());
    model.advance(3);  // not logging: nothing recorded
    log_control(model, {1, 0xFF});
    EXPECT_EQ(model.log_status(), ampsim::kStatusLogging);

    const auto first = run_host(model, 10);
    auto log = read_log_through_commands(model);
    EXPECT_EQ(std::vector<Record>(log.begin(), log.begin() + 10), first);
    EXPECT_EQ(log[10], Record{}) << "slots not yet written are empty";

    const auto more = run_host(model, 290);
    std::vector<Record> all = first;
    all.insert(all.end(), more.begin(), more.end());
    log = read_log_through_commands(model);
    EXPECT_EQ(log, std::vector<Record>(all.end() - 256, all.end()));
    EXPECT_EQ(model.log_in_read_order(), log);

    // STOP freezes the log; START clears it.
    log_control(model, {0});
    EXPECT_EQ(model.log_status(), 0);
    model.advance(20);
    EXPECT_EQ(read_log_through_commands(model), log);
    log_control(model, {1, 0xFF});
    EXPECT_EQ(model.log_in_read_order()[0], Record{});
}

TEST(AmplifierModel, StopConditionEndsLoggingAfterTheCount)
{
    for (std::uint8_t count : {std::uint8_t{0}, std::uint8_t{3}}) {
        AmplifierModel model(quiet({.seed = 7}));
        // Received byte 0 is the host's parameter count: stop at the first
        // exchange with an even one.
        log_control(model, {1, 0, 0x01, 0x00, count});
        std::vector<Record> made;
        int matched_at = -1;
        while (model.log_status() == ampsim::kStatusLogging && made.size() < 200) {
            made.push_back(run_host(model, 1)[0]);
            if (matched_at < 0 && (made.back().received[0] & 0x01) == 0) {
                matched_at = static_cast<int>(made.size()) - 1;
            }
        }
        ASSERT_GE(matched_at, 0);
        EXPECT_EQ(model.log_status(), 0) << "trigger detected: both bits clear";
        EXPECT_EQ(static_cast<int>(made.size()), matched_at + 1 + count);
        const auto log = model.log_in_read_order();
        EXPECT_EQ(std::vector<Record>(log.begin(), log.begin() + std::ssize(made)), made);
        // STOP answers the condition it ran with.
        EXPECT_EQ(log_control(model, {0}), (Bytes{0, 0x01, 0x00, count}));
    }
}

TEST(AmplifierModel, TriggerIndexFromTheSendOffsetOnTestsSentBytes)
{
    // Sent byte 2 is the response's command byte, which echoes the host's
    // command; index 16 + 2 with send offset 16, index 32 + 2 with 32.
    for (unsigned offset : {16u, 32u}) {
        AmplifierModel model(quiet({.seed = 3, .send_offset = offset}));
        model.advance(1);
        const std::uint8_t wanted = last_exchange(model).sent[2];
        log_control(model, {1, static_cast<std::uint8_t>(offset + 2), 0xFF, wanted, 0});
        const auto made = run_host(model, 200);
        const auto log = model.log_in_read_order();
        ASSERT_EQ(model.log_status(), 0);
        std::size_t logged = 0;
        while (logged < log.size() && log[logged] != Record{}) {
            ++logged;
        }
        ASSERT_GE(logged, 1u);
        EXPECT_EQ(log[logged - 1].sent[2], wanted);
        for (std::size_t i = 0; i + 1 < logged; ++i) {
            EXPECT_NE(log[i].sent[2], wanted);
        }
    }
    // An index past both directions never matches.
    AmplifierModel model(quiet());
    log_control(model, {1, 200, 0x00, 0x00, 0});
    model.advance(100);
    EXPECT_EQ(model.log_status(), ampsim::kStatusLogging);
}

TEST(AmplifierModel, CancellationSetsBitTwoUntilTheNextStart)
{
    AmplifierModel model(quiet());
    log_control(model, {1, 0xFF});
    model.advance(4);
    model.cancel_logging();
    EXPECT_EQ(model.log_status(), ampsim::kStatusCancelled);
    EXPECT_EQ(log_block(model, 0)[129], ampsim::kStatusCancelled);
    log_control(model, {0});
    EXPECT_EQ(model.log_status(), ampsim::kStatusCancelled) << "STOP keeps the cancel";
    log_control(model, {1, 0xFF});
    EXPECT_EQ(model.log_status(), ampsim::kStatusLogging);

    AmplifierModel by_count(quiet({.cancel_after_records = 5}));
    log_control(by_count, {1, 0xFF});
    by_count.advance(4);
    EXPECT_EQ(by_count.log_status(), ampsim::kStatusLogging);
    by_count.advance(1);
    EXPECT_EQ(by_count.log_status(), ampsim::kStatusCancelled);
}

TEST(AmplifierModel, TrafficIsDeterministicFromTheSeedAndRunsWithTime)
{
    AmplifierModel a(quiet({.seed = 11})), b(quiet({.seed = 11})), c(quiet({.seed = 12}));
    for (auto* model : {&a, &b, &c}) {
        log_control(*model, {1, 0xFF});
        model->advance(40);
    }
    EXPECT_EQ(a.log_in_read_order(), b.log_in_read_order());
    EXPECT_NE(a.log_in_read_order(), c.log_in_read_order());

    AmplifierModel timed({.traffic_rate = 2000});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    data_of(timed, {0, 0, 0x00});
    EXPECT_GT(timed.exchanges_run(), 0u);
}

}  // namespace
