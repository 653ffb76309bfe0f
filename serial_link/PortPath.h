// Where a port name such as "COM3" lives on this machine: the user's ports
// folder's entry when it has one, else the matching /dev/ttyS device. Shared
// by the library, the simulator (which publishes its links there) and the
// program (which shows where each port leads, and keeps its settings in the
// same configuration folder).
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace tarnlink {

// The user's Quillon configuration folder: $XDG_CONFIG_HOME/quillon, where
// XDG_CONFIG_HOME defaults to $HOME/.config and a relative value is ignored.
inline std::string user_config_folder()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "") + "/.config";
    }
    return base + "/quillon";
}

// Ports are looked up there by their names: the folder also holds entries
// that are no ports (the simulator's hidden owner files, ".COM1.owner").
inline std::string ports_folder()
{
    return user_config_folder() + "/ports";
}

inline constexpr int kHighestPort = 16;

// "COM1".."COM16" give 1..16; anything else gives nothing.
inline std::optional<int> port_number_of(std::string_view name)
{
    if (name.size() < 4 || name.size() > 5 || name.substr(0, 3) != "COM") {
        return std::nullopt;
    }
    int number = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + (c - '0');
    }
    if (name[3] == '0' || number < 1 || number > kHighestPort) {
        return std::nullopt;
    }
    return number;
}

inline std::string port_link_path(int port_number)
{
    return ports_folder() + "/COM" + std::to_string(port_number);
}

// What port COMn (n = 1..16) stands for.
struct PortEntry {
    // The path to open. Whenever the ports folder has an entry COMn (a link,
    // even a broken one, or any other file) it is that entry, so that a
    // missing adapter fails the open instead of reaching another device;
    // only without one does /dev/ttyS{n-1} stand in.
    std::string path;
    bool in_ports_folder = false;
    std::string link_target;  // where the entry points, when it is a link
    std::string device;       // the path resolved through every link; empty when absent
};

PortEntry find_port(int port_number);

// One line for a person: "COM3: /dev/serial/by-id/usb-... -> /dev/ttyUSB0",
// "COM4: /dev/ttyS3 (not present)"; a window gives "not present" in its
// user's language.
std::string describe_port(int port_number, std::string_view absent = "not present");

// Why COMn does not open, for a person, found by looking at what find_port
// names: "COM3: /dev/ttyUSB0: Permission denied (is this user in the dialout
// group?)". port_number outside 1..16 is said to be so.
std::string explain_port_failure(int port_number);

}  // namespace tarnlink
