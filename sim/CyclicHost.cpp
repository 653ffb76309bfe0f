#include "CyclicHost.h"

#include "MoveProfile.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <span>

namespace ampsim {

namespace {

void append_little_endian(std::vector<std::uint8_t>& out, std::uint32_t value, int width)
{
    for (int i = 0; i < width; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint8_t status_byte(const AxisState& axis)
{
    using namespace cyclic;
    return static_cast<std::uint8_t>(kStatusReady | (axis.moving ? kStatusMoving : 0) |
                                     (axis.moving ? 0 : kStatusInPosition));
}

std::vector<std::uint8_t> io_bytes(const AxisState& axis)
{
    using namespace cyclic;
    const auto inputs =
        static_cast<std::uint8_t>(kInputEnable | (axis.position == 0 ? kInputHome : 0) |
                                  (axis.position == move::kStroke ? kInputEnd : 0));
    const auto outputs = static_cast<std::uint8_t>(kOutputReady | kOutputBrakeReleased |
                                                   (axis.moving ? 0 : kOutputInPosition));
    return {inputs, outputs};
}

bool all_digits(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Millimetres with at most two decimals, in the host's 0.01 mm.
std::optional<std::int32_t> hundredths_of_mm(std::string_view text)
{
    const bool negative = text.starts_with('-');
    if (negative || text.starts_with('+')) {
        text.remove_prefix(1);
    }
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view decimals =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (whole.empty() || !all_digits(whole) || !all_digits(decimals) || decimals.size() > 2 ||
        (point != std::string_view::npos && decimals.empty())) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    if (whole.size() > 8 ||
        std::from_chars(whole.data(), whole.data() + whole.size(), value).ec != std::errc{}) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < 2; ++i) {
        value = value * 10 + (i < decimals.size() ? decimals[i] - '0' : 0);
    }
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

// A whole number of rpm, as the int16 speed read can answer it.
std::optional<std::int32_t> rpm(std::string_view text)
{
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
        value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max()) {
        return std::nullopt;
    }
    return value;
}

struct NamedBit {
    std::string_view name;
    std::uint8_t bit;
    bool set;
};

constexpr std::array<NamedBit, 3> kStatusNames{{{"moving", cyclic::kStatusMoving, true},
                                                {"stopped", cyclic::kStatusMoving, false},
                                                {"in-position", cyclic::kStatusInPosition, true}}};
constexpr std::array<NamedBit, 3> kInputNames{{{"enable", cyclic::kInputEnable, true},
                                               {"home", cyclic::kInputHome, true},
                                               {"end", cyclic::kInputEnd, true}}};

}  // namespace

AlarmCauseRead read_alarm_cause(std::string_view text)
{
    using Kind = AlarmCause::Kind;
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        return {std::nullopt, "not NAME=VALUE"};
    }
    const std::string_view name = text.substr(0, equals);
    const std::string_view value = text.substr(equals + 1);
    const auto number = [&](Kind kind, std::optional<std::int32_t> read,
                            const char* wanted) -> AlarmCauseRead {
        if (!read) {
            return {std::nullopt, std::string(name) + " needs " + wanted};
        }
        return {AlarmCause{.kind = kind, .value = *read}, {}};
    };
    const auto bit = [&](Kind kind, std::span<const NamedBit> names,
                         const char* wanted) -> AlarmCauseRead {
        for (const NamedBit& named : names) {
            if (named.name == value) {
                return {AlarmCause{.kind = kind, .value = named.bit, .bit_set = named.set}, {}};
            }
        }
        return {std::nullopt, std::string(name) + " needs " + wanted};
    };
    constexpr const char* kMillimetres = "mm with at most two decimals";
    constexpr const char* kRpm = "a whole number of rpm, -32768 to 32767";
    if (name == "position-above") {
        return number(Kind::PositionAbove, hundredths_of_mm(value), kMillimetres);
    }
    if (name == "position-below") {
        return number(Kind::PositionBelow, hundredths_of_mm(value), kMillimetres);
    }
    if (name == "speed-above") {
        return number(Kind::SpeedAbove, rpm(value), kRpm);
    }
    if (name == "speed-below") {
        return number(Kind::SpeedBelow, rpm(value), kRpm);
    }
    if (name == "setpoint") {
        return number(Kind::Setpoint, hundredths_of_mm(value), kMillimetres);
    }
    if (name == "status") {
        return bit(Kind::StatusBit, kStatusNames, "moving, stopped or in-position");
    }
    if (name == "input") {
        return bit(Kind::InputBit, kInputNames, "enable, home or end");
    }
    return {std::nullopt, "unknown cause " + std::string(name) +
                              "; one of position-above, position-below, speed-above, "
                              "speed-below, setpoint, status, input"};
}

bool cause_held(const AlarmCause& cause, std::uint64_t alarm_cycle)
{
    using Kind = AlarmCause::Kind;
    if (cause.kind == Kind::Any) {
        return true;
    }
    if (alarm_cycle < cause.lag_cycles) {
        return false;  // the host had not run that cycle
    }
    const std::uint64_t cycle = alarm_cycle - cause.lag_cycles;
    const AxisState axis = axis_at(cycle);
    const auto bit_as_asked = [&](std::uint8_t byte) {
        return ((byte & cause.value) != 0) == cause.bit_set;
    };
    switch (cause.kind) {
    case Kind::PositionAbove: return axis.position > cause.value;
    case Kind::PositionBelow: return axis.position < cause.value;
    case Kind::SpeedAbove: return axis.speed > cause.value;
    case Kind::SpeedBelow: return axis.speed < cause.value;
    case Kind::Setpoint: return axis.target == cause.value;
    case Kind::StatusBit: return bit_as_asked(status_byte(axis));
    // The I/O read before the alarm read is the previous cycle's.
    case Kind::InputBit: return cycle > 0 && bit_as_asked(io_bytes(axis_at(cycle - 1))[0]);
    case Kind::Any: break;
    }
    return true;
}

bool cause_can_hold(const AlarmCause& cause)
{
    // The move repeats every period; the first cycles may lack a record.
    const std::uint64_t first = cause.lag_cycles + 1;
    for (std::uint64_t cycle = first; cycle < first + move::kPeriodCycles; ++cycle) {
        if (cause_held(cause, cycle)) {
            return true;
        }
    }
    return false;
}

CyclicHost::CyclicHost(std::uint64_t seed, unsigned alarm_every, unsigned alarm_mean,
                       const AlarmCause& cause)
    : random_(seed), alarm_every_(alarm_every), alarm_mean_(alarm_mean), cause_(cause)
{
    schedule_next_alarm();
}

HostExchange CyclicHost::next_exchange()
{
    const std::uint64_t cycle = exchanges_ / cyclic::kCycle.size();
    const std::uint8_t cmd = cyclic::kCycle[exchanges_ % cyclic::kCycle.size()];
    const auto sequence = static_cast<std::uint8_t>(cycle);

    std::vector<std::uint8_t> parameters{sequence};
    if (cmd == cyclic::kSetpointWrite) {
        append_little_endian(parameters, static_cast<std::uint32_t>(axis_at(cycle).target), 4);
    }
    const std::uint8_t alarm_code = cmd == cyclic::kAlarmRead ? take_alarm_code() : 0;
    const auto response_header =
        static_cast<std::uint8_t>(cyclic::kAddress | (alarm_code != 0 ? cyclic::kAlarmFlag : 0));

    HostExchange exchange;
    lay_block(exchange.received, cyclic::kAddress, cmd, std::move(parameters));
    lay_block(exchange.sent, response_header, cmd, response_data(cmd, alarm_code));
    ++exchanges_;
    return exchange;
}

std::vector<std::uint8_t> CyclicHost::response_data(std::uint8_t cmd, std::uint8_t alarm_code) const
{
    const AxisState axis = axis_at(exchanges_ / cyclic::kCycle.size());
    std::vector<std::uint8_t> data;
    switch (cmd) {
    case cyclic::kStatusRead: data.push_back(status_byte(axis)); break;
    case cyclic::kPositionRead:
        append_little_endian(data, static_cast<std::uint32_t>(axis.position), 4);
        break;
    case cyclic::kSpeedRead:
        append_little_endian(data, static_cast<std::uint16_t>(axis.speed), 2);
        break;
    case cyclic::kAlarmRead: data.push_back(alarm_code); break;
    case cyclic::kIoRead: data = io_bytes(axis); break;
    default: break;  // the setpoint write is acknowledged without data
    }
    return data;
}

// The alarm code this alarm read answers: one once the next alarm is due and
// its cause held (or it is one of the noise).
std::uint8_t CyclicHost::take_alarm_code()
{
    if (!alarm_due() ||
        !(without_cause_ || cause_held(cause_, exchanges_ / cyclic::kCycle.size()))) {
        return 0;
    }
    due_ = false;
    const auto code = static_cast<std::uint8_t>(1 + random_() % cyclic::kHighestAlarmCode);
    schedule_next_alarm();
    return code;
}

// Once due, an alarm stays due until it comes. With a mean interval, each
// alarm read draws afresh, so that alarms have no memory of the last one and
// fall at any point of the move.
bool CyclicHost::alarm_due()
{
    if (!due_) {
        due_ = alarm_every_ != 0
                   ? exchanges_ >= next_alarm_at_
                   : alarm_mean_ != 0 &&
                         chance(static_cast<double>(cyclic::kCycle.size()) / alarm_mean_);
        without_cause_ = due_ && cause_.noise > 0 && chance(cause_.noise);
    }
    return due_;
}

bool CyclicHost::chance(double probability)
{
    // 53 random bits as a fraction in [0, 1), the same on every platform.
    constexpr double kUnit = 1.0 / static_cast<double>(std::uint64_t{1} << 53);
    return static_cast<double>(random_() >> 11) * kUnit < probability;
}

void CyclicHost::schedule_next_alarm()
{
    if (alarm_every_ == 0) {
        return;
    }
    const std::uint64_t quarter = alarm_every_ / 4;
    const std::uint64_t jitter = random_() % (2 * quarter + 1);  // 0..2q: -q..+q around N
    next_alarm_at_ = exchanges_ + alarm_every_ - quarter + jitter;
}

}  // namespace ampsim
