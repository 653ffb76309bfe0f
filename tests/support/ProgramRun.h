// A program of ours run to its end in a process of its own, for a test that
// needs a second user of a library (a second opener of a port, say).
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// Runs program (a path) with args and waits for it; its exit code, or -1
// when it could not be started or did not end by itself.
int exit_code_of(const std::string& program, const std::vector<std::string>& args);

}  // namespace testsupport
