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
    // An absolute sleep on the monotonic clock (the one steady_clock reads),
    // so that no drift builds up over a long exchange.
    const auto since_epoch = std::chrono::duration_cast<std::chrono::nanoseconds>(
        done.time_since_epoch());
    timespec until{static_cast<time_t>(since_epoch.count() / 1'000'000'000),
                   static_cast<long>(since_epoch.count() % 1'000'000'000)};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

}  // namespace ampsim
