// The simulator's COMn links in the ports folder, and which process made
// each: an owner file beside the link, hidden and named so that no port name
// matches it (".COM3.owner"), holding the process id and the pseudo-terminal
// the link was made to. A link whose simulator has ended is told by that from
// a live one's, even once its pseudo-terminal number has gone to another.
#pragma once

#include <string>

namespace ampsim {

// Where the owner file of link lives.
std::string owner_file_path(const std::string& link);

// For every COMn whose owner file names a process that no longer runs (one
// that has ended but is not yet reaped by its parent counts as ended):
// removes the link when it still points where that simulator made it point
// (a link the user has put there since stays), and the owner file. Called
// before a simulator opens its own pseudo-terminal, which could otherwise get
// the number such a link points to.
void remove_links_of_ended_simulators();

// Makes link point to target and records this process as its owner. An entry
// that is there already is kept, and the call throws std::runtime_error
// naming it: it is the user's (a real adapter) or another simulator's. Only a
// link to a pseudo-terminal that is gone, or to target itself (whose number
// an ended one had), is replaced. Throws
// std::system_error when the link or its owner file cannot be made.
void publish_link(const std::string& target, const std::string& link);

// Removes link and its owner file if they are still this process's link to
// target, and never another's that has since taken the port.
void withdraw_link(const std::string& target, const std::string& link);

}  // namespace ampsim
