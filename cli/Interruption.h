// Ctrl-C while quillon-cli talks to the amplifier: the first one lets the
// exchange under way end (within the protocol's own time-outs) and sends no
// more, so that the port is closed properly and no file is written; a second
// one ends the program at once.
#pragma once

namespace quillon::cli {

void catch_interruption();
bool interrupted();

}  // namespace quillon::cli
