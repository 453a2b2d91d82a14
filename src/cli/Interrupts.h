#pragma once

// The command line's contact with process signals and the console, one file
// per system (InterruptsPosix.cpp, InterruptsWin.cpp).

namespace cli {

// Ctrl+C (SIGINT), SIGTERM and a hang-up (SIGHUP; on Windows the console
// window closing) are counted instead of ending the process, so a batch can
// finish what it started and write its results.
void InstallInterruptCounter();
int Interrupts();
// Whether standard error is a terminal (the progress bar is drawn only then).
bool ErrorIsTerminal();
// The run has written its results: a console that is closing may end the
// process now (Windows keeps it alive only while its close handler runs).
void ReadyToEnd();

} // namespace cli
