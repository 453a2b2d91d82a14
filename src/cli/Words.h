#pragma once

// The command line's words for what the layers below report as codes: the
// code library's failures and refused rows, the file layer's reasons, a
// refused plan, output file or address list. Every
// English sentence velmora-cli prints for such a code is made here.

#include "BatchPlan.h"
#include "FileSystem.h"
#include "ImportPreview.h"
#include "LibraryError.h"
#include "ModelRules.h"
#include "OutputRule.h"
#include "codec/AddressRange.h"

#include <cstddef>
#include <string>

namespace cli {

// Why a plan or results file was not read, naming the file.
std::string FileErrorText(const std::string& strPath, const session::SPlanFileError& e);
// Two rows of a plan that cannot both be written, naming their lines.
std::string PlanProblemText(const session::SPlanProblem& p);

// Why an address list was refused.
std::string RangeErrorText(const codec::SRangeError& error);

// Why an output file was refused, naming the file and saying that nothing
// was written.
std::string OutputRefusalText(base::EOutputRefusal eRefusal, const std::string& strFile);

// The system's own text for a file failure (its kind where it gave none).
std::string SystemErrorText(const base::SFileError& error);
// The rule of a saved model a record breaks ("" for None).
std::string LibraryRuleText(library::ERuleFailure eRule);
// Why reading or writing the code library failed.
std::string LibraryErrorText(const library::SLibraryError& error);
// Why a row of an import preview is refused ("" for a row that is not).
std::string RowReasonText(const library::CImportPreview& preview, std::size_t nRow);

} // namespace cli
