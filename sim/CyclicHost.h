// A host that polls the amplifier as a controller does, in a fixed cycle of
// six commands: status, position, speed, setpoint, alarm and I/O. Every
// command carries the cycle's sequence counter as its first parameter byte.
// The axis follows a back-and-forth move; every so often the alarm read
// answers an alarm code once, and that response's first header byte has
// kAlarmFlag set, so that a stop condition on one byte can catch it. An alarm
// may be tied to a planted cause, something the host read or wrote in the
// cycles before, for the search of likely causes to be tried on.
#pragma once

#include "SyntheticHost.h"

#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace ampsim {

namespace cyclic {
inline constexpr std::uint8_t kAddress = 0x01;
inline constexpr std::uint8_t kStatusRead = 0x40;     // answers the status byte
inline constexpr std::uint8_t kPositionRead = 0x41;   // answers int32 LE, 0.01 mm
inline constexpr std::uint8_t kSpeedRead = 0x42;      // answers int16 LE, rpm
inline constexpr std::uint8_t kSetpointWrite = 0x43;  // sends int32 LE target, 0.01 mm
inline constexpr std::uint8_t kAlarmRead = 0x44;      // answers the alarm code, 0 = none
inline constexpr std::uint8_t kIoRead = 0x45;         // answers inputs, outputs
inline constexpr std::array<std::uint8_t, 6> kCycle{kStatusRead,    kPositionRead, kSpeedRead,
                                                    kSetpointWrite, kAlarmRead,    kIoRead};
inline constexpr std::uint8_t kAlarmFlag = 0x80;  // in the response's first header byte
// Alarm codes 1-5: overcurrent, overvoltage, excess position deviation,
// encoder error, overload (docs/ampsim-fields.json names them).
inline constexpr std::uint8_t kHighestAlarmCode = 5;

// Status byte bits.
inline constexpr std::uint8_t kStatusReady = 0x01;
inline constexpr std::uint8_t kStatusMoving = 0x02;
inline constexpr std::uint8_t kStatusInPosition = 0x04;
// Input byte bits.
inline constexpr std::uint8_t kInputEnable = 0x01;
inline constexpr std::uint8_t kInputHome = 0x02;
inline constexpr std::uint8_t kInputEnd = 0x04;
// Output byte bits.
inline constexpr std::uint8_t kOutputReady = 0x01;
inline constexpr std::uint8_t kOutputBrakeReleased = 0x02;
inline constexpr std::uint8_t kOutputInPosition = 0x04;

inline constexpr unsigned kLongestAlarmLag = 40;  // cycles: about one log of 256 records
}  // namespace cyclic

// What must have held in a cycle for the alarm read to answer an alarm. The
// cycle of an alarm read is the six records up to it, so each value is the
// one its record before the alarm read carries: the status, position and
// speed read and the setpoint write of the alarm's cycle, and the I/O read
// of the cycle before (it comes after the alarm read in a cycle).
struct AlarmCause {
    enum class Kind {
        Any,            // no cause: every cycle will do
        PositionAbove,  // position > value (0.01 mm)
        PositionBelow,  // position < value (0.01 mm)
        SpeedAbove,     // speed > value (rpm)
        SpeedBelow,     // speed < value (rpm)
        Setpoint,       // setpoint = value (0.01 mm)
        StatusBit,      // status bit value set (or clear, !bit_set)
        InputBit,       // input bit value set
    };
    Kind kind = Kind::Any;
    std::int32_t value = 0;
    bool bit_set = true;
    unsigned lag_cycles = 0;  // the cause is taken this many cycles before the alarm's
    double noise = 0;         // this share of alarms come without regard to the cause
    bool operator==(const AlarmCause&) const = default;
};

// Reads CAUSE as --alarm-cause gives it (kind, value and bit; lag and noise
// are left at 0). The problem says what was wrong.
struct AlarmCauseRead {
    std::optional<AlarmCause> cause;
    std::string problem;
};
AlarmCauseRead read_alarm_cause(std::string_view text);

// Whether the cause held in the cycle of an alarm read (after the lag).
bool cause_held(const AlarmCause& cause, std::uint64_t alarm_cycle);
// Whether the cause holds in any cycle of the move, so that alarms can come.
bool cause_can_hold(const AlarmCause& cause);

class CyclicHost : public SyntheticHost {
public:
    // alarm_every: about how many exchanges lie between alarms (jittered by
    // up to a quarter either way, from the seed); alarm_mean: instead, each
    // alarm read answers an alarm with the chance that gives this mean
    // interval in exchanges (at least one cycle); both 0 = never an alarm.
    // An alarm that either makes due waits for a cycle where the cause held.
    CyclicHost(std::uint64_t seed, unsigned alarm_every, unsigned alarm_mean = 0,
               const AlarmCause& cause = {});
    HostExchange next_exchange() override;

private:
    std::vector<std::uint8_t> response_data(std::uint8_t cmd, std::uint8_t alarm_code) const;
    std::uint8_t take_alarm_code();
    bool alarm_due();
    bool chance(double probability);
    void schedule_next_alarm();

    std::mt19937_64 random_;
    const unsigned alarm_every_;
    const unsigned alarm_mean_;
    const AlarmCause cause_;
    std::uint64_t exchanges_ = 0;
    std::uint64_t next_alarm_at_ = 0;
    bool due_ = false;            // an alarm waits for its cause
    bool without_cause_ = false;  // the waiting alarm is one of the noise
};

}  // namespace ampsim
