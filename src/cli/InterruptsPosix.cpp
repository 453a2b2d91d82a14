// Interrupts and the terminal on POSIX systems.
#include "Interrupts.h"

#include <unistd.h>

#include <csignal>

namespace cli {
namespace {

volatile std::sig_atomic_t g_nInterrupts = 0;

void OnInterrupt(int) {
    g_nInterrupts = g_nInterrupts + 1;
}

} // namespace

void InstallInterruptCounter() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A closed terminal or ssh session is an interrupt too, and writing to
    // its closed pipe afterwards must fail quietly rather than end the run.
    ::sigaction(SIGHUP, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
}

int Interrupts() {
    return g_nInterrupts;
}

void ReadyToEnd() {}

bool ErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

} // namespace cli
