// quillon-cli's commands on saved log files: show, find and diff. They open
// no connection.
#pragma once

#include "CommandLine.h"

namespace quillon::cli {

// show FILE [--json | --csv] [--decode]
Exit show_log(const Invocation& call);
// find recv|send BYTE MASK VALUE FILE... [--fired] [--count | --json], or
// find --fired FILE...
Exit find_in_logs(const Invocation& call);
// diff A B [--ignore recv|send BYTE MASK]... [--json]
Exit diff_logs(const Invocation& call);

}  // namespace quillon::cli
