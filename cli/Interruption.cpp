#include "Interruption.h"

#include <unistd.h>
#include <csignal>
#include <initializer_list>

namespace quillon::cli {

namespace {

volatile std::sig_atomic_t interruptions = 0;
volatile std::sig_atomic_t first_signal = 0;
static_assert(sizeof(pid_t) <= sizeof(std::sig_atomic_t));
volatile std::sig_atomic_t group_to_kill = 0;

constexpr int kSignalStatusBase = 128;

extern "C" void on_interrupt(int signal)
{
    interruptions = interruptions + 1;
    if (interruptions > 1) {
        if (group_to_kill > 0) {
            ::kill(-group_to_kill, SIGKILL);
        }
        ::_exit(kSignalStatusBase + signal);
    }
    first_signal = signal;
}

void handle_signal(int signal, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
}

}  // namespace

void catch_interruption()
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        handle_signal(signal, on_interrupt);
    }
}

void kill_group_on_forced_exit(pid_t group)
{
    group_to_kill = group;
}

void ignore_broken_pipe()
{
    handle_signal(SIGPIPE, SIG_IGN);
}

bool interrupted()
{
    return interruptions > 0;
}

Exit interruption_status()
{
    return first_signal == 0 ? kInterrupted : static_cast<Exit>(kSignalStatusBase + first_signal);
}

}  // namespace quillon::cli
