#include "MoveProfile.h"

#include <cmath>
#include <numbers>

namespace ampsim {

namespace {

// A cosine ramp from one end to the other; fraction runs 0..1 over the move.
AxisState ramp(std::int32_t from, std::int32_t to, double fraction)
{
    const double span = to - from;
    const double position = from + span * (1 - std::cos(std::numbers::pi * fraction)) / 2;
    const double move_seconds = move::kMoveCycles * move::kCycleSeconds;
    const double millimetres_per_second =
        span / 100 * std::numbers::pi / (2 * move_seconds) * std::sin(std::numbers::pi * fraction);
    const double rpm = millimetres_per_second / move::kLeadMillimetres * 60;
    return {static_cast<std::int32_t>(std::lround(position)),
            static_cast<std::int16_t>(std::lround(rpm)), to, true};
}

AxisState at_rest(std::int32_t position)
{
    return {position, 0, position, false};
}

}  // namespace

AxisState axis_at(std::uint64_t cycle)
{
    using namespace move;
    const std::uint64_t step = cycle % kPeriodCycles;
    const auto fraction = [](std::uint64_t into_move) {
        return static_cast<double>(into_move) / kMoveCycles;
    };
    if (step < kMoveCycles) {
        return ramp(0, kStroke, fraction(step));
    }
    if (step < kMoveCycles + kDwellCycles) {
        return at_rest(kStroke);
    }
    if (step < 2 * kMoveCycles + kDwellCycles) {
        return ramp(kStroke, 0, fraction(step - kMoveCycles - kDwellCycles));
    }
    return at_rest(0);
}

}  // namespace ampsim
