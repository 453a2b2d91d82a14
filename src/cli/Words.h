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
#include "RoomPlan.h"
#include "codec/AddressRange.h"

#include <cstddef>
#include <string>
#include <vector>

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

// A write's outcome: the parts of a read that did not come, the rules a
// value breaks, why a write stopped, and the results file's differences.
// One reply part: "projector 1 codes", "projector 2 codes", "IP settings", "extra settings".
std::string PartText(session::EReplyPart ePart);
// "not received: projector 2 codes, IP settings"; "" for none.
std::string MissingPartsText(const std::vector<session::EReplyPart>& parts);
// "field: why" for one problem of the value rules.
std::string SettingIssueText(const session::SSettingIssue& issue);
// Why a room (command-line options or a plan row) was refused before
// anything was sent.
std::string PrepareErrorText(const session::SValueProblem& problem);
// What a finished write came to, "" when every field read back as sent;
// the notes say why a write stopped before its Set.
std::string WriteOutcomeText(const session::SWriteResult& result, const session::SWriteNotes& notes);
// The differences column (and the run's table) for a room: why its row was
// refused, what its write came to, or, found already at its new address,
// "already at 10.0.1.5; written: lock_time, projector1", "…; nothing to
// change", or the failure after the "already at" part.
std::string ResultsDifferences(const session::SBatchRoom& room);
// The words for a new address that another controller answers.
inline constexpr const char* kAddressTakenText = "address taken by another controller";
// The differences of a room whose Set has started and not yet ended.
inline constexpr const char* kSetUnderWayText = "Set under way";

} // namespace cli
