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

}  // namespace

void catch_interruption()
{
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
}

bool interrupted()
{
    return interruptions > 0;
}

}  // namespace quillon::cli
