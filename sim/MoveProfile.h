// The back-and-forth move that the cyclic host's axis makes: out over the
// stroke, a dwell, back to zero, a dwell, and again. Each half is a cosine
// ramp, so the speed rises and falls smoothly and is zero at both ends.
#pragma once

#include <cstdint>

namespace ampsim {

namespace move {
inline constexpr double kCycleSeconds = 0.1;      // nominal time of one host cycle
inline constexpr std::int32_t kStroke = 5000;     // 50.00 mm, in 0.01 mm
inline constexpr std::uint64_t kMoveCycles = 16;  // cycles of each move
inline constexpr std::uint64_t kDwellCycles = 4;  // cycles at rest at each end
inline constexpr double kLeadMillimetres = 5.0;   // travel per motor revolution
inline constexpr std::uint64_t kPeriodCycles = 2 * (kMoveCycles + kDwellCycles);
}  // namespace move

struct AxisState {
    std::int32_t position = 0;  // 0.01 mm
    std::int16_t speed = 0;     // rpm, negative on the way back
    std::int32_t target = 0;    // 0.01 mm: the end the axis moves to or rests at
    bool moving = false;
};

// Where the axis is in the given host cycle.
AxisState axis_at(std::uint64_t cycle);

}  // namespace ampsim
