#include "Interruption.h"

#include "ExitStatus.h"

#include <unistd.h>
#include <csignal>

namespace quillon::cli {

namespace {

volatile std::sig_atomic_t interruptions = 0;

extern "C" void on_interrupt(int)
{
    interruptions = interruptions + 1;
    if (interruptions > 1) {
        ::_exit(kInterrupted);
    }
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
    handle_signal(SIGINT, on_interrupt);
}

void ignore_broken_pipe()
{
    handle_signal(SIGPIPE, SIG_IGN);
}

bool interrupted()
{
    return interruptions > 0;
}

}  // namespace quillon::cli
