#include "interrupt.h"

#include <signal.h>

#include <csignal>

namespace {

volatile std::sig_atomic_t caught = 0;

void onSignal(int signal) {
    caught = signal;
}

}  // namespace

void catchInterrupts() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int interruptSignal() {
    return caught;
}
