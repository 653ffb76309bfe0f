// The rate a tty's driver reports, any value (not only the Bnnn table), as a
// pty's master side reports what was set on its slave.
#pragma once

#include <cstdint>

namespace testsupport {

std::uint32_t line_rate(int fd);

// Whether the rate was set outside the Bnnn table (as BOTHER).
bool has_custom_rate(int fd);

}  // namespace testsupport
