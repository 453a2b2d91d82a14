#pragma once

#include "TrafficLog.h"

#include <string>

// The program-wide values through which the dialogs hand data to one another.
// They live for the whole run and are touched only on the user-interface
// thread.

// Projector hand-over from the code library to the main window.
extern int g_nProjectorSlot;         // 0 none, 1 or 2
extern std::string g_strChosenCode;  // the code bundle
extern std::string g_strChosenModel; // the model name
extern bool g_bProjectorChosen;      // a bundle and a model wait for the main window

extern bool g_bMicTableFromController; // the microphone table was last written by a controller reading
extern std::string g_strSearchKeyword; // the last model-search keyword

// Every datagram the program sent and received since it started (the
// window's socket and the diagnosis put them in; 通信记录 shows them).
session::CTrafficLog& ProgramTrafficLog();

// Back to the values the program starts with (tests run many dialogs in one process).
void ResetProgramValues();
