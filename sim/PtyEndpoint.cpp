#include "PtyEndpoint.h"

#include "PortPath.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace ampsim {

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// A link that a killed simulator left behind: it points to a pseudo-terminal
// that is gone.
bool is_stale_simulator_link(const std::filesystem::path& link)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(link, error))) {
        return false;
    }
    const fs::path target = fs::read_symlink(link, error);
    return !error && target.parent_path() == "/dev/pts" && !fs::exists(target, error) && !error;
}

// Makes link point to target. An entry that is there already is the user's
// (a real adapter, another simulator) and is kept: the simulator refuses
// rather than take the port over. Only a stale link of its own kind goes.
void publish_link(const std::string& target, const std::string& link)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(fs::path(link).parent_path(), error);
    if (is_stale_simulator_link(link)) {
        fs::remove(link, error);
    }
    fs::create_symlink(target, link, error);
    if (error == std::errc::file_exists) {
        std::error_code unread;
        const fs::path points_to = fs::read_symlink(link, unread);
        throw std::runtime_error(
            link + " is taken" +
            (unread ? std::string(" (not a link)") : " (it points to " + points_to.string() + ")") +
            "; remove it or choose another --port");
    }
    if (error) {
        throw std::system_error(error, "link " + link);
    }
}

}  // namespace

// Should a step fail, what is open so far closes with its owner.
PtyEndpoint::PtyEndpoint(int port_number)
    : port_number_(port_number), master_(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
    if (!master_.valid()) {
        fail("posix_openpt");
    }
    char name[128] = {};
    if (::grantpt(master_.get()) != 0 || ::unlockpt(master_.get()) != 0 ||
        ::ptsname_r(master_.get(), name, sizeof name) != 0) {
        fail("pty set-up");
    }
    slave_path_ = name;
    held_slave_.reset(::open(slave_path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!held_slave_.valid()) {
        fail("open pty slave");
    }
    // Raw from the start, so that nothing written before the program opens
    // the port is changed by the line discipline.
    termios tio{};
    ::tcgetattr(held_slave_.get(), &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(held_slave_.get(), TCSANOW, &tio);

    link_path_ = tarnlink::port_link_path(port_number);
    publish_link(slave_path_, link_path_);
}

PtyEndpoint::~PtyEndpoint()
{
    std::error_code ignored;
    // Remove the link only if it is still ours.
    if (std::filesystem::read_symlink(link_path_, ignored) == slave_path_) {
        std::filesystem::remove(link_path_, ignored);
    }
    hang_up();
}

void PtyEndpoint::hang_up()
{
    master_.reset();
}

}  // namespace ampsim
