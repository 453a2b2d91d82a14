#pragma once

// How the emulator is asked to stop, one file per system
// (StopSignalsPosix.cpp, StopSignalsWin.cpp).

namespace controller {

// SIGINT and SIGTERM (a console's Ctrl+C or close on Windows) ask the
// emulator to stop; it then ends its loop and exits normally.
void InstallStopSignals();
bool StopRequested();

} // namespace controller
