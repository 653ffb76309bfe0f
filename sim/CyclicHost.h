// A host that polls the amplifier as a controller does, in a fixed cycle of
// six commands: status, position, speed, setpoint, alarm and I/O. Every
// command carries the cycle's sequence counter as its first parameter byte.
// The axis follows a back-and-forth move; every so often the alarm read
// answers an alarm code once, and that response's first header byte has
// kAlarmFlag set, so that a stop condition on one byte can catch it.
#pragma once

#include "SyntheticHost.h"

#include <random>

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
}  // namespace cyclic

class CyclicHost : public SyntheticHost {
public:
    // alarm_every: about how many exchanges lie between alarms (jittered by
    // up to a quarter either way, from the seed); 0 = never an alarm.
    CyclicHost(std::uint64_t seed, unsigned alarm_every);
    HostExchange next_exchange() override;

private:
    std::vector<std::uint8_t> response_data(std::uint8_t cmd, std::uint8_t alarm_code) const;
    std::uint8_t take_alarm_code();
    void schedule_next_alarm();

    std::mt19937_64 random_;
    const unsigned alarm_every_;
    std::uint64_t exchanges_ = 0;
    std::uint64_t next_alarm_at_ = 0;
};

}  // namespace ampsim
