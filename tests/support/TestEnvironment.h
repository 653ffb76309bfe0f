// Per-process surroundings of a test or benchmark: a private config and
// runtime folder, so that the ports one process publishes never meet
// another's, and the folder where the built programs and libraries sit.
#pragma once

#include <string>

namespace testsupport {

// The folder of the running program (build/bin).
std::string bin_dir();

// Makes the private folders and points XDG_CONFIG_HOME and XDG_RUNTIME_DIR
// at them; remove_private_folders() takes them away again.
void make_private_folders();
void remove_private_folders();

// Their root, once made.
std::string private_root();

}  // namespace testsupport
