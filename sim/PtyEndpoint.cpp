#include "PtyEndpoint.h"

#include "PortLinks.h"
#include "PortPath.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <system_error>

namespace ampsim {

namespace {

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

// Should a step fail, what is open so far closes with its owner.
PtyEndpoint::PtyEndpoint(int port_number) : port_number_(port_number)
{
    // First, so that no link of an ended simulator points to the number the
    // new pseudo-terminal may get.
    remove_links_of_ended_simulators();
    master_.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
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
    withdraw_link(slave_path_, link_path_);
    hang_up();
}

void PtyEndpoint::hang_up()
{
    master_.reset();
}

}  // namespace ampsim
