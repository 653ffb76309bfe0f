// Where the USB driver stand-in meets the simulated amplifier: a Unix domain
// socket under the user's runtime folder (/tmp when there is none). Shared by
// libhalvex.so and by the simulator, which serves it.
#pragma once

#include <cstdlib>
#include <string>

namespace halvex {

inline std::string socket_path()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = (runtime != nullptr && runtime[0] == '/') ? runtime : "/tmp";
    return folder + "/quillon-halvex.sock";
}

}  // namespace halvex
