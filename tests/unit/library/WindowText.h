#pragma once

// The window's words for what the library reports, as UTF-8, so the tests
// check the texts the installer sees.
#include "Words.h"

#include <string>

inline std::string Zh(const library::SLibraryError& error) {
    return words::LibraryErrorText(error).toStdString();
}

inline std::string Reason(const library::CImportPreview& preview, std::size_t nRow) {
    return words::RowReasonText(preview, nRow).toStdString();
}

inline std::string Zh(library::ERuleFailure eRule) {
    return words::RuleText(eRule).toStdString();
}
