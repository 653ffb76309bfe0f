// Per-process surroundings of a test or benchmark: a private config and
// runtime folder, so that the ports one process publishes never meet
// another's, and the folder where the built programs and libraries sit.
#pragma once

#include <string>

namespace testsupport {

// The folder of the running program (build/bin).
std::string bin_dir();

// A library or program built beside the tests, by the name this platform
// gives it: "tarnlink" is libtarnlink.so on Linux and tarnlink.dll on
// Windows; "tarnlink_probe" is tarnlink_probe or tarnlink_probe.exe.
std::string built_library(const std::string& name);
std::string built_program(const std::string& name);

// Whether this Windows program runs under Wine (never true on Linux).
bool under_wine();

// Linux only: makes the private folders and points XDG_CONFIG_HOME and
// XDG_RUNTIME_DIR at them; remove_private_folders() takes them away again.
void make_private_folders();
void remove_private_folders();

// Their root, once made.
std::string private_root();

}  // namespace testsupport
