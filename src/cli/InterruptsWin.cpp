// Interrupts and the console on Windows.
#include "Interrupts.h"

#include <windows.h>

#include <atomic>

namespace cli {
namespace {

std::atomic<int> g_nInterrupts{0};

// Runs on a thread of its own that the console starts for each Ctrl+C,
// Ctrl+Break or closed console window; the process goes on.
BOOL WINAPI OnConsoleControl(DWORD nEvent) {
    switch (nEvent) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        ++g_nInterrupts;
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

bool ErrorIsTerminal() {
    // A console window, not a file, a pipe or the NUL device (which _isatty
    // also calls a character device).
    DWORD nMode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &nMode) != 0;
}

} // namespace cli
