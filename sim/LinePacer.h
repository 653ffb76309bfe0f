// Emulates the time bytes take on a serial line (10 bits a byte), so that a
// pseudo-terminal, which moves bytes at once, behaves like a real cable.
#pragma once

#include <chrono>
#include <cstddef>

namespace ampsim {

class LinePacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit LinePacer(unsigned bits_per_second = 0) { set_rate(bits_per_second); }

    // 0 = an instant line.
    void set_rate(unsigned bits_per_second);
    unsigned rate() const { return rate_; }

    // Bytes from the host just came in: note when they would have finished
    // arriving over the wire. Nothing waits here; the next departure does.
    void note_arrival(std::size_t count);
    // Bytes are about to go to the host: wait until they would have finished
    // arriving there, so that the host sees them no earlier than on a cable.
    // They start no earlier than the host's last bytes have arrived, since
    // the amplifier answers only what it has received.
    void await_departure(std::size_t count);

    // Wire time of count bytes at the current rate.
    Clock::duration wire_time(std::size_t count) const;

private:
    void sleep_until(Clock::time_point when);

    unsigned rate_ = 0;
    // How late this machine wakes a sleeper, learnt as we go: departures aim
    // this much early so that bytes reach the host when the wire would have
    // delivered them, not a wake-up later.
    Clock::duration wake_lead_{};
    Clock::time_point inbound_free_{};
    Clock::time_point outbound_free_{};
};

}  // namespace ampsim
