#pragma once

// What the library reported, spelt out for the message of a failing check:
// the code and the values a sentence about it would use. The window's and
// the command line's words for the codes have tests of their own.
#include "LibraryError.h"

#include <string>

inline std::string Describe(const library::SLibraryError& error) {
    return "code " + std::to_string(static_cast<int>(error.eCode)) + ", path \"" + error.strPath +
           "\", detail \"" + error.strDetail + "\", number " + std::to_string(error.nNumber) + ", system \"" +
           error.system.strSystem + "\"";
}
