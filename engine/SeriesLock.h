// One capture series at a time on the amplifier that the USB socket leads
// to. Every program of the user shares that socket, so two series would
// each re-arm the log the other is reading and save the same log twice.
// The port of a serial series is held by Tarnlink already.
#pragma once

#include "UniqueFd.h"

#include <optional>
#include <string>

namespace quillon {

class SeriesLock {
public:
    // The lock file beside the USB socket, held for the series' whole run.
    // The system lets go of it when its process ends, however it ends, so a
    // file left by a process that has gone is simply taken over.
    static std::string path();

    // Why the lock was not taken: another series holds it, or the lock file
    // cannot be used.
    struct Refusal {
        bool held = false;
        std::string holder;  // with held: its process id, empty when it wrote none
        std::string reason;  // without held: the system's reason
    };

    // Takes the lock; nothing when it cannot be taken, with why in refusal.
    static std::optional<SeriesLock> take(Refusal& refusal);

private:
    explicit SeriesLock(common::UniqueFd fd) : fd_(std::move(fd)) {}
    common::UniqueFd fd_;
};

}  // namespace quillon
