// ampsim's control commands: faults and events on demand, one line each,
// read from standard input by the program and usable by tests in-process.
#pragma once

#include "Amplifier.h"
#include "AmplifierModel.h"
#include "BlockPeer.h"
#include "UsbEndpoint.h"

#include <optional>
#include <string>

namespace ampsim {

struct ControlTarget {
    AmplifierModel& model;
    Amplifier& amplifier;
    BlockPeer* serial = nullptr;  // absent when ampsim serves no serial port
    UsbEndpoint* usb = nullptr;   // absent when it serves no USB socket
};

// One command line, read: its verb and its argument, a count or a word.
struct ControlCommand {
    std::string verb;
    int count = 1;
    std::string word;  // hang-up's point, write-log's path
};

// Nothing when the line is no command: an unknown verb, a missing, bad or
// extra argument.
std::optional<ControlCommand> parse_control_command(const std::string& line);

// Carries out one command line; returns what it did, or why not.
std::string run_control_command(ControlTarget& target, const std::string& line);

// The list of commands, for --help.
const char* control_help();

}  // namespace ampsim
