#include "PortsCommand.h"

#include "Output.h"
#include "PortPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

namespace quillon::cli {

namespace fs = std::filesystem;

namespace {

std::string first_line(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// "FTDI, FT232R USB UART, serial A1B2C3": what the USB device above a tty
// says of itself; empty for a device that is not on USB.
std::string usb_identity(const std::string& tty_name)
{
    std::error_code error;
    fs::path device = fs::canonical("/sys/class/tty/" + tty_name + "/device", error);
    for (; !error && device.has_relative_path(); device = device.parent_path()) {
        if (fs::exists(device / "idVendor", error)) {
            std::string text;
            for (const char* item : {"manufacturer", "product", "serial"}) {
                const std::string value = first_line(device / item);
                if (!value.empty()) {
                    text += (text.empty() ? "" : ", ") +
                            (std::string(item) == "serial" ? "serial " + value : value);
                }
            }
            return text;
        }
    }
    return {};
}

void list_machine_devices()
{
    std::set<std::string> lines;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", error)) {
        const fs::path device = fs::canonical(entry.path(), error);
        lines.insert(entry.path().string() + " -> " + (error ? "(not present)" : device.string()));
    }
    for (const auto& entry : fs::directory_iterator("/dev", error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("ttyUSB") || name.starts_with("ttyACM")) {
            const std::string identity = usb_identity(name);
            lines.insert(entry.path().string() + (identity.empty() ? "" : ": " + identity));
        }
    }
    std::string text = "Serial devices:\n";
    if (lines.empty()) {
        text += "  (none)\n";
    }
    for (const auto& line : lines) {
        text += "  " + line + "\n";
    }
    write_output(text);
}

// A terminal device: a character device that is a tty when opened, or that
// another program holds exclusively (only a tty can be held that way).
bool is_terminal_device(const std::string& device)
{
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return false;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == EBUSY;
    }
    const bool terminal = ::isatty(fd) != 0;
    ::close(fd);
    return terminal;
}

}  // namespace

Exit list_ports()
{
    for (int number = 1; number <= 16; ++number) {
        write_output(tarnlink::describe_port(number) + "\n");
    }
    list_machine_devices();
    return kDone;
}

Exit link_port(const std::string& port_name, const std::string& device)
{
    const auto number = tarnlink::port_number_of(port_name);
    if (!number) {
        std::fprintf(stderr, "quillon-cli: %s is not one of COM1 to COM16\n", port_name.c_str());
        return kUsage;
    }
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0 && errno == ENOENT) {
        std::fprintf(stderr, "quillon-cli: %s: no such device\n", device.c_str());
        return kUsage;
    }
    if (!is_terminal_device(device)) {
        std::fprintf(stderr, "quillon-cli: %s is not a terminal device\n", device.c_str());
        return kUsage;
    }
    // The name as given, made absolute: a /dev/serial/by-id name stays one.
    std::error_code error;
    const fs::path target = fs::absolute(device, error);
    const fs::path link = tarnlink::port_link_path(*number);
    fs::create_directories(link.parent_path(), error);
    const auto existing = fs::symlink_status(link, error);
    if (fs::exists(existing) && !fs::is_symlink(existing)) {
        std::fprintf(stderr, "quillon-cli: %s is not a link; it stays as it is\n", link.c_str());
        return kUsage;
    }
    fs::remove(link, error);
    fs::create_symlink(target, link, error);
    if (error) {
        std::fprintf(stderr, "quillon-cli: %s: %s\n", link.c_str(), error.message().c_str());
        return kUsage;
    }
    write_output(tarnlink::describe_port(*number) + "\n");
    return kDone;
}

}  // namespace quillon::cli
