// Interrupts and the console on Windows.
#include "Interrupts.h"

#include <windows.h>

#include <atomic>

namespace cli {
namespace {

std::atomic<int> g_nInterrupts{0};
std::atomic<bool> g_bReadyToEnd{false};

// Runs on a thread of its own that the console starts for each Ctrl+C,
// Ctrl+Break or closed console window; the process goes on. A closing
// console ends the process as soon as this returns, so for that event it
// waits until the run has written its results (the system still ends the
// process after its own time-out).
BOOL WINAPI OnConsoleControl(DWORD nEvent) {
    switch (nEvent) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        ++g_nInterrupts;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        ++g_nInterrupts;
        while (!g_bReadyToEnd)
            Sleep(50);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void InstallInterruptCounter() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

int Interrupts() {
    return g_nInterrupts;
}

void ReadyToEnd() {
    g_bReadyToEnd = true;
}

bool ErrorIsTerminal() {
    // A console window, not a file, a pipe or the NUL device (which _isatty
    // also calls a character device).
    DWORD nMode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &nMode) != 0;
}

} // namespace cli
