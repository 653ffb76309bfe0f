// Ctrl-C, SIGTERM (a service manager's stop) or SIGHUP (the terminal gone)
// while quillon-cli talks to the amplifier: the first one lets the exchange
// under way end (within the protocol's own time-outs) and sends no more, so
// that the port is closed properly and no file is written; a second one
// ends the program at once (a capture hook that runs killed with it).
#pragma once

#include "ExitStatus.h"

#include <sys/types.h>

namespace quillon::cli {

void catch_interruption();
bool interrupted();
// The status of a program ended by the signal that interrupted it: 130
// (SIGINT), 143 (SIGTERM), 129 (SIGHUP), as a shell reports it.
Exit interruption_status();

// The process group of a child that ends with the program: a second
// signal, which ends the program at once, kills it first. 0 for none.
void kill_group_on_forced_exit(pid_t group);

// A reader of standard output that goes away ends no capture series: its
// writes fail (EPIPE) instead of the signal ending the program.
void ignore_broken_pipe();

}  // namespace quillon::cli
