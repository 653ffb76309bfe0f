// A serial line held off by flow control, on a pseudo-terminal: output from
// the port's side is suspended (tcflow TCOOFF, which neither a purge nor new
// line settings undo), so that a write on the port cannot go anywhere. A few
// stale bytes wait in the port's input queue as well. Prints the path of the
// port's side, then holds the line until it is told to stop or its parent
// ends.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// What an abandoned exchange may leave behind: ACK, EOT, ENQ, a length.
constexpr unsigned char kStale[] = {0x06, 0x04, 0x05, 0x02};

[[noreturn]] void fail(const char* what)
{
    std::perror(what);
    std::exit(1);
}

}  // namespace

int main()
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        fail("held_line: pty");
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        fail("held_line: open");
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    if (::tcsetattr(slave, TCSANOW, &tio) != 0 || ::tcflow(slave, TCOOFF) != 0) {
        fail("held_line: line settings");
    }
    if (::write(master, kStale, sizeof kStale) != static_cast<ssize_t>(sizeof kStale)) {
        fail("held_line: stale bytes");
    }
    std::printf("held line at %s\n", name);
    std::fflush(stdout);
    for (;;) {
        ::pause();
    }
}
