#include "CyclicHost.h"

#include "MoveProfile.h"

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

}  // namespace

CyclicHost::CyclicHost(std::uint64_t seed, unsigned alarm_every)
    : random_(seed), alarm_every_(alarm_every)
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

// The alarm code this alarm read answers: one once the next alarm is due.
std::uint8_t CyclicHost::take_alarm_code()
{
    if (alarm_every_ == 0 || exchanges_ < next_alarm_at_) {
        return 0;
    }
    const auto code = static_cast<std::uint8_t>(1 + random_() % cyclic::kHighestAlarmCode);
    schedule_next_alarm();
    return code;
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
