// Per-process test surroundings: a private config and runtime folder, so that
// the ports a test publishes never meet another test's, and the path of the
// folder where the built programs and libraries sit.
#pragma once

#include <string>

namespace testsupport {

// The folder of the running test program (build/bin).
std::string bin_dir();

// The private XDG_CONFIG_HOME / XDG_RUNTIME_DIR of this test process.
std::string private_root();

}  // namespace testsupport
