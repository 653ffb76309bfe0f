// Finding out why a port does not open: the same lookup the library opens
// by, then the device looked at and opened the way the library opens it.
#include "PortPath.h"
#include "Wording.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace tarnlink {

namespace {

std::string reason_for(int error)
{
    switch (error) {
    case EACCES:
        return QUILLON_TEXT("Message", "Permission denied (is this user in the dialout group?)");
    case EBUSY: return QUILLON_TEXT("Message", "held by another program");
    default: return std::strerror(error);
    }
}

// Opens the device as the library would and says what stands in the way;
// empty when nothing does.
std::string open_problem(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return reason_for(errno);
    }
    std::string problem;
    if (::isatty(fd) == 0) {
        problem = QUILLON_TEXT("Message", "not a terminal");
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        problem = reason_for(errno == EWOULDBLOCK ? EBUSY : errno);
    }
    ::close(fd);
    return problem;
}

}  // namespace

std::string explain_port_failure(int port_number)
{
    const std::string port = "COM" + std::to_string(port_number);
    if (port_number < 1 || port_number > 16) {
        return quillon::with_numbers(QUILLON_TEXT("Message", "COM%1 is not one of COM%2 to COM%3"),
                                     {port_number, 1, 16});
    }
    const PortEntry entry = find_port(port_number);
    if (!entry.in_ports_folder && entry.device.empty()) {
        return port + ": no entry in " + ports_folder() + " and no " + entry.path;
    }
    if (!entry.link_target.empty() && entry.device.empty()) {
        return port + ": " + entry.path + " -> " + entry.link_target + ": " +
               QUILLON_TEXT("Message", "the device is gone");
    }
    const std::string device = entry.device.empty() ? entry.path : entry.device;
    const std::string problem = open_problem(entry.path);
    return port + ": " + device + ": " +
           (problem.empty()
                ? QUILLON_TEXT("Message", "opens now, but the library could not set the line up")
                : problem);
}

}  // namespace tarnlink
