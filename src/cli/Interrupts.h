#pragma once

// The command line's contact with process signals and the console, one file
// per system (InterruptsPosix.cpp, InterruptsWin.cpp).

namespace cli {

// Ctrl+C (SIGINT) and SIGTERM are counted instead of ending the process, so
// a batch can finish what it started and write its results.
void InstallInterruptCounter();
int Interrupts();
// Whether standard error is a terminal (the progress bar is drawn only then).
bool ErrorIsTerminal();

} // namespace cli
