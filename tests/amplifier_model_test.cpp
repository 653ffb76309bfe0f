// The simulated amplifier's model: replies, the log ring, the stop condition
// and the log status, checked against what the model itself reports through
// its command interface, exchange by exchange.
#include "AmplifierModel.h"
#include "CyclicHost.h"
#include "MoveProfile.h"
#include "ZeroSumChecksum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <span>
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

// The cyclic host: a controller's polling cycle.

ModelOptions cyclic(unsigned alarm_every = 0, std::uint64_t seed = 1)
{
    return quiet({.seed = seed, .host = ModelOptions::Host::Cyclic, .alarm_every = alarm_every});
}

// The block at the start of a logged half: its length byte, two header
// bytes, its data and the checksum.
std::span<const std::uint8_t> block_of(const std::array<std::uint8_t, 16>& half)
{
    return std::span(half).first(std::min<std::size_t>(half[0] + 4u, half.size()));
}

std::int64_t little_endian(const std::array<std::uint8_t, 16>& half, std::size_t at,
                           std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= std::uint64_t{half[at + i]} << (8 * i);
    }
    const std::uint64_t sign = std::uint64_t{1} << (8 * width - 1);
    return static_cast<std::int64_t>(value ^ sign) - static_cast<std::int64_t>(sign);
}

// The sent data of every exchange that answered the given command.
std::vector<Record> answers_to(const std::vector<Record>& made, std::uint8_t cmd)
{
    std::vector<Record> answers;
    std::copy_if(made.begin(), made.end(), std::back_inserter(answers),
                 [cmd](const Record& record) { return record.received[2] == cmd; });
    return answers;
}

TEST(AmplifierModel, CyclicHostPollsSixCommandsInOrderWithASequencePerCycle)
{
    AmplifierModel model(cyclic());
    const auto made = run_host(model, 6 * 300);
    for (std::size_t i = 0; i < made.size(); ++i) {
        const Record& record = made[i];
        EXPECT_EQ(record.received[1], ampsim::cyclic::kAddress);
        EXPECT_EQ(record.received[2], ampsim::cyclic::kCycle[i % 6]) << i;
        EXPECT_EQ(record.received[3], static_cast<std::uint8_t>(i / 6)) << i;
        EXPECT_EQ(record.sent[1], ampsim::cyclic::kAddress) << "no alarm asked for";
        EXPECT_EQ(record.sent[2], record.received[2]) << "the response echoes the command";
        for (const auto* half : {&record.received, &record.sent}) {
            ASSERT_LE((*half)[0] + 4u, 16u) << "the checksum lies within the logged bytes";
            EXPECT_TRUE(common::sums_to_zero(block_of(*half))) << i;
        }
    }
    // Each command has its own lengths.
    const std::vector<std::pair<unsigned, unsigned>> lengths{{1, 1}, {1, 4}, {1, 2},
                                                             {5, 0}, {1, 1}, {1, 2}};
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(std::pair(unsigned{made[k].received[0]}, unsigned{made[k].sent[0]}), lengths[k]);
    }
}

TEST(AmplifierModel, CyclicPositionMovesBackAndForthAtTheSpeedItReports)
{
    AmplifierModel model(cyclic());
    const auto made = run_host(model, 6 * 2 * static_cast<int>(ampsim::move::kPeriodCycles));
    const auto positions = answers_to(made, ampsim::cyclic::kPositionRead);
    const auto speeds = answers_to(made, ampsim::cyclic::kSpeedRead);
    const auto setpoints = answers_to(made, ampsim::cyclic::kSetpointWrite);
    ASSERT_EQ(positions.size(), speeds.size());

    std::int64_t lowest = INT64_MAX, highest = INT64_MIN;
    int turns = 0, last_direction = 0;
    for (std::size_t c = 0; c + 1 < positions.size(); ++c) {
        const std::int64_t here = little_endian(positions[c].sent, 3, 4);
        const std::int64_t next = little_endian(positions[c + 1].sent, 3, 4);
        const std::int64_t speed = little_endian(speeds[c].sent, 3, 2);
        lowest = std::min(lowest, here);
        highest = std::max(highest, here);
        // The speed has the sign of the move under way, and it is zero at rest.
        if (speed > 0) {
            EXPECT_GT(next, here) << c;
        } else if (speed < 0) {
            EXPECT_LT(next, here) << c;
        }
        EXPECT_LT(std::abs(speed), 2000) << c;
        const int direction = (next > here) - (next < here);
        if (direction != 0 && last_direction != 0 && direction != last_direction) {
            ++turns;
        }
        if (direction != 0) {
            last_direction = direction;
        }
        // The setpoint written is the end the axis heads for.
        const std::int64_t target = little_endian(setpoints[c].received, 4, 4);
        if (direction != 0) {
            EXPECT_EQ(target, direction > 0 ? ampsim::move::kStroke : 0) << c;
        }
    }
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, ampsim::move::kStroke);
    EXPECT_GE(turns, 3) << "out, back, out, back";
}

// The exchange numbers at which the alarm read answered an alarm.
std::vector<std::size_t> alarms_in(const std::vector<Record>& made)
{
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < made.size(); ++i) {
        const bool flagged = (made[i].sent[1] & ampsim::cyclic::kAlarmFlag) != 0;
        const bool alarm_read = made[i].received[2] == ampsim::cyclic::kAlarmRead;
        EXPECT_EQ(flagged, alarm_read && made[i].sent[3] != 0) << i;
        if (alarm_read && made[i].sent[3] != 0) {
            EXPECT_LE(made[i].sent[3], 5) << i;
            at.push_back(i);
        }
    }
    return at;
}

TEST(AmplifierModel, CyclicAlarmsComeOnceAtAboutTheIntervalAsked)
{
    constexpr unsigned kEvery = 300;
    AmplifierModel model(cyclic(kEvery, 5));
    const auto made = run_host(model, 100 * kEvery);
    const auto alarms = alarms_in(made);
    ASSERT_GE(alarms.size(), 80u);
    ASSERT_LE(alarms.size(), 134u);
    std::vector<std::size_t> gaps;
    for (std::size_t k = 1; k < alarms.size(); ++k) {
        gaps.push_back(alarms[k] - alarms[k - 1]);
        EXPECT_GE(gaps.back(), kEvery * 3 / 4) << k;
        EXPECT_LE(gaps.back(), kEvery * 5 / 4 + 6) << k;
    }
    EXPECT_NE(*std::min_element(gaps.begin(), gaps.end()),
              *std::max_element(gaps.begin(), gaps.end()))
        << "the intervals are jittered";

    // The same seed gives the same alarms, another seed others; none unasked.
    AmplifierModel again(cyclic(kEvery, 5)), other(cyclic(kEvery, 6)), none(cyclic(0, 5));
    EXPECT_EQ(alarms_in(run_host(again, 100 * kEvery)), alarms);
    EXPECT_NE(alarms_in(run_host(other, 100 * kEvery)), alarms);
    EXPECT_TRUE(alarms_in(run_host(none, 100 * kEvery)).empty());
}

// Planted causes: what must have held before an alarm comes.

ampsim::AlarmCause cause_from(const std::string& text, unsigned lag = 0, double noise = 0)
{
    const auto read = ampsim::read_alarm_cause(text);
    EXPECT_TRUE(read.cause) << text << ": " << read.problem;
    ampsim::AlarmCause cause = read.cause.value_or(ampsim::AlarmCause{});
    cause.lag_cycles = lag;
    cause.noise = noise;
    return cause;
}

ModelOptions alarms_with(unsigned every, unsigned mean, const ampsim::AlarmCause& cause,
                         std::uint64_t seed = 1)
{
    ModelOptions options = cyclic(every, seed);
    options.alarm_mean = mean;
    options.alarm_cause = cause;
    return options;
}

TEST(AmplifierModel, AlarmCausesAreReadWithTheirValuesOrRefusedSayingWhy)
{
    using Kind = ampsim::AlarmCause::Kind;
    const struct {
        const char* text;
        Kind kind;
        std::int32_t value;
        bool bit_set;
    } good[] = {
        {"position-above=42.68", Kind::PositionAbove, 4268, true},
        {"position-below=7.3", Kind::PositionBelow, 730, true},
        {"position-below=-3", Kind::PositionBelow, -300, true},
        {"speed-above=400", Kind::SpeedAbove, 400, true},
        {"speed-below=-300", Kind::SpeedBelow, -300, true},
        {"setpoint=50", Kind::Setpoint, 5000, true},
        {"status=moving", Kind::StatusBit, ampsim::cyclic::kStatusMoving, true},
        {"status=stopped", Kind::StatusBit, ampsim::cyclic::kStatusMoving, false},
        {"status=in-position", Kind::StatusBit, ampsim::cyclic::kStatusInPosition, true},
        {"input=enable", Kind::InputBit, ampsim::cyclic::kInputEnable, true},
        {"input=end", Kind::InputBit, ampsim::cyclic::kInputEnd, true},
    };
    for (const auto& c : good) {
        const auto read = ampsim::read_alarm_cause(c.text);
        ASSERT_TRUE(read.cause) << c.text << ": " << read.problem;
        EXPECT_EQ(*read.cause,
                  (ampsim::AlarmCause{.kind = c.kind, .value = c.value, .bit_set = c.bit_set}))
            << c.text;
    }
    const struct {
        const char* text;
        const char* problem;
    } bad[] = {
        {"position-above", "not NAME=VALUE"},
        {"position-above=", "position-above needs mm with at most two decimals"},
        {"position-above=1.005", "position-above needs mm with at most two decimals"},
        {"setpoint=1.", "setpoint needs mm with at most two decimals"},
        {"position-below=99999999", "position-below needs mm with at most two decimals"},
        {"speed-above=40000", "speed-above needs a whole number of rpm, -32768 to 32767"},
        {"speed-below=fast", "speed-below needs a whole number of rpm, -32768 to 32767"},
        {"speed-above=1.5", "speed-above needs a whole number of rpm, -32768 to 32767"},
        {"status=idle", "status needs moving, stopped or in-position"},
        {"input=brake", "input needs enable, home or end"},
        {"torque-above=3",
         "unknown cause torque-above; one of position-above, position-below, "
         "speed-above, speed-below, setpoint, status, input"},
    };
    for (const auto& c : bad) {
        const auto read = ampsim::read_alarm_cause(c.text);
        EXPECT_FALSE(read.cause) << c.text;
        EXPECT_EQ(read.problem, c.problem) << c.text;
    }
    // A cause that the move never meets would leave the alarms away.
    EXPECT_FALSE(ampsim::cause_can_hold(cause_from("position-above=50")));
    EXPECT_TRUE(ampsim::cause_can_hold(cause_from("position-above=49.99")));
    EXPECT_FALSE(ampsim::cause_can_hold(cause_from("setpoint=25")));
    EXPECT_TRUE(ampsim::cause_can_hold(cause_from("input=end", ampsim::cyclic::kLongestAlarmLag)));
}

// Every alarm's cause read back from the record that carries it: its place
// before the alarm read (the I/O read is the cycle before's), K cycles
// earlier with a lag of K; under either schedule.
TEST(AmplifierModel, CyclicAlarmsComeOnlyWhereTheirCauseHeldTheLagBefore)
{
    using ampsim::cyclic::kCycle;
    const auto position = [](const Record& r) { return little_endian(r.sent, 3, 4); };
    const auto speed = [](const Record& r) { return little_endian(r.sent, 3, 2); };
    const struct {
        const char* cause;
        unsigned lag;
        std::size_t back;  // records from the cause's record to the alarm read
        std::function<bool(const Record&)> met;
    } cases[] = {
        {"position-above=42.68", 0, 3, [&](const Record& r) { return position(r) > 4268; }},
        {"position-below=7.32", 1, 3, [&](const Record& r) { return position(r) < 732; }},
        {"speed-above=400", 0, 2, [&](const Record& r) { return speed(r) > 400; }},
        {"speed-below=-300", 2, 2, [&](const Record& r) { return speed(r) < -300; }},
        {"setpoint=0", 3, 1, [](const Record& r) { return little_endian(r.received, 4, 4) == 0; }},
        {"status=moving", 0, 4, [](const Record& r) { return (r.sent[3] & 0x02) != 0; }},
        {"status=stopped", 1, 4, [](const Record& r) { return (r.sent[3] & 0x02) == 0; }},
        {"status=in-position", 0, 4, [](const Record& r) { return (r.sent[3] & 0x04) != 0; }},
        {"input=home", 0, 5, [](const Record& r) { return (r.sent[3] & 0x02) != 0; }},
        {"input=end", 2, 5, [](const Record& r) { return (r.sent[3] & 0x04) != 0; }},
    };
    for (const auto& c : cases) {
        for (const auto& [every, mean] : {std::pair(150u, 0u), std::pair(0u, 150u)}) {
            AmplifierModel model(alarms_with(every, mean, cause_from(c.cause, c.lag)));
            const auto made = run_host(model, 6 * 3000);
            const std::size_t back = c.back + 6 * c.lag;
            const std::uint8_t carrier = kCycle[(4 + 6 - c.back) % 6];
            const auto alarms = alarms_in(made);
            ASSERT_GE(alarms.size(), 20u) << c.cause << " every " << every;
            for (const std::size_t at : alarms) {
                ASSERT_GE(at, back) << c.cause;
                const Record& record = made[at - back];
                ASSERT_EQ(record.received[2], carrier) << c.cause << " alarm at " << at;
                EXPECT_TRUE(c.met(record)) << c.cause << " every " << every << " alarm at " << at;
            }
            // The cause holds in only some cycles, so that the rows above say
            // something.
            std::size_t reads = 0, met = 0;
            for (std::size_t at = back; at < made.size(); ++at) {
                if (made[at].received[2] == ampsim::cyclic::kAlarmRead) {
                    ++reads;
                    met += c.met(made[at - back]) ? 1u : 0u;
                }
            }
            EXPECT_LT(met, reads * 9 / 10) << c.cause;
        }
    }
}

TEST(AmplifierModel, CyclicAlarmNoiseComesWithoutRegardToTheCauseInItsShare)
{
    const auto cause_held_for = [](const std::vector<Record>& made, std::size_t at) {
        return little_endian(made[at - 3].sent, 3, 4) > 4500;  // the position read
    };
    for (const double noise : {0.0, 0.2}) {
        AmplifierModel model(alarms_with(0, 60, cause_from("position-above=45", 0, noise), 3));
        const auto made = run_host(model, 6 * 20000);
        const auto alarms = alarms_in(made);
        ASSERT_GE(alarms.size(), 300u);
        const auto with_cause = static_cast<std::size_t>(
            std::count_if(alarms.begin(), alarms.end(),
                          [&](std::size_t at) { return cause_held_for(made, at); }));
        if (noise == 0) {
            EXPECT_EQ(with_cause, alarms.size());
        } else {
            // About a fifth come at any cycle; the cause holds in about a
            // quarter of the cycles, so some 15 % lack it.
            EXPECT_GT(alarms.size() - with_cause, alarms.size() * 7 / 100);
            EXPECT_LT(alarms.size() - with_cause, alarms.size() * 25 / 100);
        }
    }
}

// A mean interval draws each alarm afresh: intervals as a memoryless draw
// gives them (many short, some long), and alarms at every point of the move.
TEST(AmplifierModel, CyclicAlarmsWithAMeanIntervalAreMemorylessAndFallAtEveryPhase)
{
    constexpr unsigned kMean = 300;
    AmplifierModel model(alarms_with(0, kMean, {}, 4));
    const auto made = run_host(model, 400 * kMean);
    const auto alarms = alarms_in(made);
    ASSERT_GE(alarms.size(), 300u);
    const double mean = static_cast<double>(alarms.back() - alarms.front()) /
                        static_cast<double>(alarms.size() - 1);
    EXPECT_NEAR(mean, kMean, kMean * 0.15);
    std::size_t short_gaps = 0, long_gaps = 0;
    for (std::size_t k = 1; k < alarms.size(); ++k) {
        short_gaps += alarms[k] - alarms[k - 1] < kMean / 4 ? 1u : 0u;
        long_gaps += alarms[k] - alarms[k - 1] > 2 * kMean ? 1u : 0u;
    }
    // Memoryless: 1 - e^-1/4 = 22 % of the intervals are below a quarter of
    // the mean, e^-2 = 14 % above twice it; a jittered interval has neither.
    EXPECT_NEAR(static_cast<double>(short_gaps) / static_cast<double>(alarms.size()), 0.22, 0.07);
    EXPECT_NEAR(static_cast<double>(long_gaps) / static_cast<double>(alarms.size()), 0.14, 0.06);

    std::map<std::uint64_t, std::size_t> at_phase;
    for (const std::size_t at : alarms) {
        ++at_phase[at / 6 % ampsim::move::kPeriodCycles];
    }
    EXPECT_EQ(at_phase.size(), ampsim::move::kPeriodCycles) << "some point of the move has none";
    const std::size_t fair = alarms.size() / ampsim::move::kPeriodCycles;
    for (const auto& [phase, count] : at_phase) {
        EXPECT_LT(count, 3 * fair) << "alarms crowd at cycle " << phase << " of the move";
    }

    // Deterministic from the seed, with a cause as well.
    AmplifierModel again(alarms_with(0, kMean, {}, 4)), other(alarms_with(0, kMean, {}, 5));
    EXPECT_EQ(alarms_in(run_host(again, 400 * kMean)), alarms);
    EXPECT_NE(alarms_in(run_host(other, 400 * kMean)), alarms);
    const auto planted = cause_from("input=home", 2, 0.2);
    AmplifierModel first(alarms_with(0, 120, planted, 8)), second(alarms_with(0, 120, planted, 8));
    EXPECT_EQ(alarms_in(run_host(first, 20000)), alarms_in(run_host(second, 20000)));
}

TEST(AmplifierModel, AStopConditionOnTheAlarmFlagKeepsTheCycleBeforeTheFault)
{
    AmplifierModel model(cyclic(120, 9));
    // Sent byte 1 (trigger index 16 + 1): the response's alarm flag.
    log_control(model, {1, 17, ampsim::cyclic::kAlarmFlag, ampsim::cyclic::kAlarmFlag, 0});
    model.advance(1000);
    ASSERT_EQ(model.log_status(), 0) << "the alarm stopped the log";
    const auto log = model.log_in_read_order();
    const auto written =
        static_cast<std::size_t>(std::find(log.begin(), log.end(), Record{}) - log.begin());
    ASSERT_GE(written, 60u);
    const Record& last = log[written - 1];
    EXPECT_EQ(last.received[2], ampsim::cyclic::kAlarmRead);
    EXPECT_NE(last.sent[3], 0);
    // The records before it are the cycle that led there, in order.
    constexpr std::size_t kAlarmSlot = 4;
    for (std::size_t back = 1; back < 12; ++back) {
        const Record& record = log[written - 1 - back];
        EXPECT_EQ(record.received[2], ampsim::cyclic::kCycle[(kAlarmSlot + 6 - back % 6) % 6])
            << back;
        EXPECT_EQ(record.sent[1] & ampsim::cyclic::kAlarmFlag, 0) << back;
    }
}

}  // namespace
