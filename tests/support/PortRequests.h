// The words between a test under Wine and the port host (tests/port_host.cpp).
// A request is one line on the test program's output:
//   @port-host VERB N [ARGUMENT]...
// N being the COM port's number; the answer is one line on its input,
// "ok [RESULT]" or "error WHY". Bytes travel as one hexadecimal word ("-"
// for none), a list of blocks as such words, faults and line states as
// numbers in the order of their fields.
#pragma once

#include "ScriptedPort.h"

#include <string>
#include <string_view>

namespace testsupport::requests {

inline constexpr std::string_view kMarker = "@port-host ";

// The verbs, with their arguments and results.
inline constexpr std::string_view kOpen = "open";    // REPLY_BYTES: a scripted port
inline constexpr std::string_view kHold = "hold";    // a held line
inline constexpr std::string_view kEntry = "entry";  // file|link: a non-port entry
inline constexpr std::string_view kDrop = "drop";    // whatever COMn is, gone
inline constexpr std::string_view kReply = "reply";  // H1 H2 BYTES
inline constexpr std::string_view kSilent = "silent";
inline constexpr std::string_view kFaults = "faults";        // FAULTS
inline constexpr std::string_view kReceived = "received";    // -> BYTES
inline constexpr std::string_view kCommands = "commands";    // -> BLOCKS
inline constexpr std::string_view kResponses = "responses";  // -> count
inline constexpr std::string_view kClear = "clear";
inline constexpr std::string_view kStale = "stale";  // BYTES -> 1|0
inline constexpr std::string_view kLine = "line";    // -> LINE_STATE
inline constexpr std::string_view kCook = "cook";

std::string bytes_text(const Bytes& bytes);
Bytes bytes_from(std::string_view word);

std::string blocks_text(const std::vector<Bytes>& blocks);
std::vector<Bytes> blocks_from(std::string_view text);

std::string faults_text(const ampsim::Faults& faults);
ampsim::Faults faults_from(std::string_view text);

std::string line_text(const LineState& line);
LineState line_from(std::string_view text);

}  // namespace testsupport::requests
