// The command line of quillon-cli: the way in, the byte count, and one
// command with its own arguments.
#pragma once

#include "AmplifierProtocol.h"

#include <optional>
#include <string>
#include <vector>

namespace quillon::cli {

// The exit statuses, as --help lists them.
enum Exit : int {
    kDone = 0,
    kUsage = 1,         // bad usage, or a typed value out of range
    kNoConnection = 2,  // library missing, port or USB device not opened
    kNoAnswer = 3,      // "Can't talk with Amplifier."
    kRefused = 4,       // no log function, now logging, cancelled
    kFileError = 5,
    kTimedOut = 6,
    kInterrupted = 130,
};

struct Options {
    // The way in; neither given: the settings file of quillon decides.
    bool usb = false;
    std::optional<std::string> port;  // "COM3"
    std::optional<std::string> baud;  // as typed, converted like the dialog's
    std::optional<bool> wide_mode;    // --bytes 32 / 16
    bool json = false;

    std::string command;  // status, start, stop, save, wait, ports
    std::vector<std::string> arguments;
    std::optional<StopConditionEntry> stop_on;
    std::optional<std::string> timeout;  // wait: seconds, as typed
    std::optional<std::string> out;      // wait: folder
};

// Options, or the reason the command line is no good.
struct Parsed {
    std::optional<Options> options;
    std::string error;
    bool help = false;
};
Parsed parse_options(const std::vector<std::string>& args);

extern const char* const kUsageText;

}  // namespace quillon::cli
