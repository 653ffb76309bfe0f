// quillon-cli's exit statuses, as its help lists them.
#pragma once

namespace quillon::cli {

enum Exit : int {
    kDone = 0,
    kUsage = 1,         // bad usage, or a typed value out of range
    kNoConnection = 2,  // library missing, port or USB device not opened
    kNoAnswer = 3,      // "Can't talk with Amplifier."
    kRefused = 4,       // no log function, now logging, cancelled, no stop condition
    kFileError = 5,
    kTimedOut = 6,
    kUnreadableLog = 7,  // a log file could not be read
    kNoMatch = 8,        // find: no record met it; diff: the logs differ
    kInterrupted = 130,  // Ctrl-C; SIGTERM ends with 143, SIGHUP with 129
};

}  // namespace quillon::cli
