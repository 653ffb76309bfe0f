#include "PortPath.h"

#include <filesystem>

namespace tarnlink {

namespace fs = std::filesystem;

PortEntry find_port(int port_number)
{
    PortEntry entry;
    const fs::path link = port_link_path(port_number);
    std::error_code error;
    const auto status = fs::symlink_status(link, error);
    // Only a clear "no such entry" lets the machine's own port stand in; an
    // entry that cannot be looked at (a folder without permission) is opened
    // as it is, and fails there with the reason.
    const bool absent = status.type() == fs::file_type::not_found;
    if (absent) {
        entry.path = "/dev/ttyS" + std::to_string(port_number - 1);
    } else {
        entry.path = link.string();
        entry.in_ports_folder = true;
        if (fs::is_symlink(status)) {
            entry.link_target = fs::read_symlink(link, error).string();
        }
    }
    const fs::path device = fs::canonical(entry.path, error);
    if (!error) {
        entry.device = device.string();
    }
    return entry;
}

std::string describe_port(int port_number, std::string_view absent)
{
    const PortEntry entry = find_port(port_number);
    const std::string named = entry.link_target.empty() ? entry.path : entry.link_target;
    std::string text = "COM" + std::to_string(port_number) + ": " + named;
    if (entry.device.empty()) {
        text += " (";
        text += absent;
        text += ")";
    } else if (entry.device != named) {
        text += " -> " + entry.device;
    }
    return text;
}

}  // namespace tarnlink
