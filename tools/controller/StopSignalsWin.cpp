#include "StopSignals.h"

#include <windows.h>

#include <atomic>

namespace controller {
namespace {

std::atomic<bool> g_stop{false};

// Runs on a thread the console starts for the event.
BOOL WINAPI OnConsoleControl(DWORD) {
    g_stop = true;
    return TRUE;
}

} // namespace

void InstallStopSignals() {
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StopRequested() {
    return g_stop;
}

} // namespace controller
