#pragma once

// The command line's words for what the layers below report as codes: the
// code library's failures and refused rows, the file layer's reasons. Every
// English sentence velmora-cli prints for such a code is made here.

#include "FileSystem.h"
#include "ImportPreview.h"
#include "LibraryError.h"
#include "ModelRules.h"

#include <cstddef>
#include <string>

namespace cli {

// The system's own text for a file failure (its kind where it gave none).
std::string SystemErrorText(const base::SFileError& error);
// The rule of a saved model a record breaks ("" for None).
std::string LibraryRuleText(library::ERuleFailure eRule);
// Why reading or writing the code library failed.
std::string LibraryErrorText(const library::SLibraryError& error);
// Why a row of an import preview is refused ("" for a row that is not).
std::string RowReasonText(const library::CImportPreview& preview, std::size_t nRow);

} // namespace cli
