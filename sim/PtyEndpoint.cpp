#include "PtyEndpoint.h"

#include "PortPath.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <stdlib.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace ampsim {

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PtyEndpoint::PtyEndpoint(int port_number) : port_number_(port_number)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) {
        fail("posix_openpt");
    }
    char name[128] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        const int error = errno;
        ::close(master_);
        errno = error;
        fail("pty set-up");
    }
    slave_path_ = name;
    held_slave_ = ::open(slave_path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (held_slave_ < 0) {
        const int error = errno;
        ::close(master_);
        errno = error;
        fail("open pty slave");
    }
    // Raw from the start, so that nothing written before the program opens
    // the port is changed by the line discipline.
    termios tio{};
    ::tcgetattr(held_slave_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(held_slave_, TCSANOW, &tio);

    namespace fs = std::filesystem;
    link_path_ = tarnlink::port_link_path(port_number);
    std::error_code ignored;
    fs::create_directories(fs::path(link_path_).parent_path(), ignored);
    fs::remove(link_path_, ignored);
    fs::create_symlink(slave_path_, link_path_, ignored);
    if (ignored) {
        ::close(held_slave_);
        ::close(master_);
        throw std::system_error(ignored, "link " + link_path_);
    }
}

PtyEndpoint::~PtyEndpoint()
{
    std::error_code ignored;
    // Remove the link only if it is still ours.
    if (std::filesystem::read_symlink(link_path_, ignored) == slave_path_) {
        std::filesystem::remove(link_path_, ignored);
    }
    hang_up();
    if (held_slave_ >= 0) {
        ::close(held_slave_);
    }
}

void PtyEndpoint::hang_up()
{
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

}  // namespace ampsim
