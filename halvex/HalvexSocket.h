// Where the USB driver stand-in meets the simulated amplifier: a Unix domain
// socket under the user's runtime folder, or in /tmp under a name of the
// user's own when there is none, so that users never meet each other's
// simulator. Shared by libhalvex.so and by the simulator, which serves it.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace halvex {

inline std::string socket_path()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return std::string(runtime) + "/quillon-halvex.sock";
    }
    return "/tmp/quillon-halvex-" + std::to_string(::getuid()) + ".sock";
}

// The socket address of path; nothing when path is too long for one.
inline std::optional<sockaddr_un> socket_address(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

}  // namespace halvex
