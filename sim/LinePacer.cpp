#include "LinePacer.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace ampsim {

void LinePacer::set_rate(unsigned bits_per_second)
{
    rate_ = bits_per_second;
}

LinePacer::Clock::duration LinePacer::wire_time(std::size_t count) const
{
    if (rate_ == 0) {
        return Clock::duration::zero();
    }
    const auto ns = static_cast<long long>(count) * 10 * 1'000'000'000LL / rate_;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(ns));
}

void LinePacer::note_arrival(std::size_t count)
{
    if (rate_ != 0) {
        inbound_free_ = std::max(Clock::now(), inbound_free_) + wire_time(count);
    }
}

void LinePacer::await_departure(std::size_t count)
{
    if (rate_ == 0 || count == 0) {
        return;
    }
    const auto start = std::max({Clock::now(), outbound_free_, inbound_free_});
    const auto done = start + wire_time(count);
    outbound_free_ = done;
    const auto wake_at = done - wake_lead_;
    if (wake_at <= Clock::now()) {
        return;
    }
    // A long sleep wakes from a deep idle state, later than a short one; so
    // sleep in two steps, the second short.
    constexpr auto kLastStep = std::chrono::microseconds(200);
    if (wake_at - Clock::now() > 2 * kLastStep) {
        sleep_until(wake_at - kLastStep);
    }
    sleep_until(wake_at);
    const auto late = std::clamp<Clock::duration>(Clock::now() - wake_at, Clock::duration::zero(),
                                                  std::chrono::microseconds(200));
    wake_lead_ = (wake_lead_ * 7 + late) / 8;
}

void LinePacer::sleep_until(Clock::time_point when)
{
    // Absolute, on the monotonic clock that steady_clock reads, so no drift
    // builds up over a long exchange.
    const auto since_epoch =
        std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch());
    timespec until{static_cast<time_t>(since_epoch.count() / 1'000'000'000),
                   static_cast<long>(since_epoch.count() % 1'000'000'000)};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

}  // namespace ampsim
