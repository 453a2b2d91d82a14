#include "Words.h"

#include "Comparison.h"
#include "Csv.h"

#include <array>

namespace cli {

namespace {

// The columns by their names in the export's header.
constexpr std::array<const char*, 7> kColumns{"model", "baud",     "parity",   "VGA",
                                              "VIDEO", "POWER ON", "POWER OFF"};

// The column names a plan may use, for a header that was refused.
std::string AcceptedColumns() {
    std::string strNames;
    for (const std::string& name : session::kPlanColumns)
        strNames += (strNames.empty() ? "" : ", ") + name;
    std::string strLabels;
    for (const std::string& name : session::kPlanColumnLabels)
        strLabels += (strLabels.empty() ? "" : ", ") + name;
    return "the columns are " + strNames + " (or " + strLabels + ")";
}

} // namespace

std::string OutputRefusalText(base::EOutputRefusal eRefusal, const std::string& strFile) {
    const char* why = "";
    switch (eRefusal) {
    case base::EOutputRefusal::LibraryInUse:
        why = "it is the projector library in use (data.mdb)";
        break;
    case base::EOutputRefusal::Database:
        why = "it is an SQLite database";
        break;
    case base::EOutputRefusal::Input:
        why = "this command reads it";
        break;
    case base::EOutputRefusal::Folder:
        why = "it is a folder";
        break;
    case base::EOutputRefusal::None:
        break;
    }
    return "refusing to write " + strFile + ": " + why + "; nothing was written";
}

// Why a plan or results file was not read, in the command line's words.
std::string FileErrorText(const std::string& strPath, const session::SPlanFileError& e) {
    using session::EPlanFileError;
    switch (e.eError) {
    case EPlanFileError::Unreadable:
        return strPath + ": " + LibraryErrorText(e.read);
    case EPlanFileError::Unterminated:
        return strPath + ": line " + e.strDetail + ": a quoted field is not closed";
    case EPlanFileError::Empty:
        return strPath + ": the plan is empty";
    case EPlanFileError::UnknownColumn:
        return strPath + ": unknown column \"" + e.strDetail + "\"; " + AcceptedColumns();
    case EPlanFileError::UnnamedColumn:
        return strPath + ": column " + e.strDetail + " has values but no name; " + AcceptedColumns();
    case EPlanFileError::DuplicateColumn:
        return strPath + ": column \"" + e.strDetail + "\" appears twice";
    case EPlanFileError::NoAddressColumn:
        return strPath + ": the plan needs an \"address\" column";
    case EPlanFileError::NotResults: {
        std::string header = session::CsvLine(session::kResultColumns);
        header.pop_back();
        return strPath + ": not a results file (header " + header + ")";
    }
    case EPlanFileError::ShortResultLine:
        return strPath + ": line " + e.strDetail + " does not have " +
               std::to_string(session::kResultColumns.size()) + " fields";
    case EPlanFileError::None:
        break;
    }
    return strPath;
}

std::string PlanProblemText(const session::SPlanProblem& p) {
    const std::string strLine = "line " + std::to_string(p.nLine) + ": ";
    switch (p.eKind) {
    case session::SPlanProblem::AddressTwice:
        return strLine + "address " + p.strAddress + " is also on line " + std::to_string(p.nOtherLine);
    case session::SPlanProblem::NewAddressTwice:
        return strLine + "controller_ip " + p.strAddress + " is also planned on line " +
               std::to_string(p.nOtherLine);
    case session::SPlanProblem::NewAddressIsOtherRow:
        break;
    }
    return strLine + "controller_ip " + p.strAddress + " is the address of line " +
           std::to_string(p.nOtherLine);
}

std::string RangeErrorText(const codec::SRangeError& error) {
    const std::string strPiece = "\"" + error.strPiece + "\"";
    switch (error.eProblem) {
    case codec::ERangeProblem::TooMany:
        return "more than " + std::to_string(error.nMaxCount) + " addresses";
    case codec::ERangeProblem::NotCidr:
        return strPiece + " is not a CIDR block a.b.c.d/n";
    case codec::ERangeProblem::NotRange:
        return strPiece + " is not a range FIRST-LAST of addresses";
    case codec::ERangeProblem::NotAddress:
        return strPiece + " is not an IPv4 address";
    case codec::ERangeProblem::None:
        break;
    }
    return {};
}

std::string SystemErrorText(const base::SFileError& error) {
    if (!error.strSystem.empty())
        return error.strSystem;
    switch (error.eKind) {
    case base::EFileError::None:
        return std::string();
    case base::EFileError::NotFound:
        return "not found";
    case base::EFileError::AccessDenied:
        return "access denied";
    case base::EFileError::ReadOnly:
        return "read-only";
    case base::EFileError::InUse:
        return "in use by another program";
    case base::EFileError::DiskFull:
        return "the disk is full";
    case base::EFileError::NotADatabase:
        return "not a database";
    case base::EFileError::Damaged:
        return "the database is damaged";
    case base::EFileError::Other:
        break;
    }
    return "system error";
}

std::string LibraryRuleText(library::ERuleFailure eRule) {
    using library::ERuleFailure;
    switch (eRule) {
    case ERuleFailure::None:
        return std::string();
    case ERuleFailure::ModelEmpty:
        return "the model is empty";
    case ERuleFailure::BaudEmpty:
        return "the baud rate is empty";
    case ERuleFailure::BaudUnknown:
        return "the baud rate is not one of 2400, 4800, 9600, 19200, 38400, 57600, 115200";
    case ERuleFailure::ParityEmpty:
        return "the parity is empty";
    case ERuleFailure::ParityUnknown:
        return "the parity is not none, odd or even";
    case ERuleFailure::NotHex:
        return "a code (VGA, VIDEO, POWER ON, POWER OFF) is not hexadecimal";
    default:
        break;
    }
    // The four codes share three sentences, each naming its code.
    const int nCode = static_cast<int>(eRule) - static_cast<int>(ERuleFailure::VgaEmpty);
    const std::string strCode = kColumns[static_cast<std::size_t>(3 + nCode / 3)];
    switch (nCode % 3) {
    case 0:
        return strCode + " is empty";
    case 1:
        return strCode + " has an odd number of digits";
    default:
        return strCode + " has more than " + std::to_string(library::kMaxCodeDigits) + " digits";
    }
}

std::string LibraryErrorText(const library::SLibraryError& e) {
    using library::ELibraryError;
    const std::string strSystem = SystemErrorText(e.system);
    const std::string strUnchanged = "; the library was not changed";
    const std::string strOtherName = "; choose another CSV file name";
    switch (e.eCode) {
    case ELibraryError::None:
        return std::string();
    case ELibraryError::Cancelled:
        return "the import was cancelled";
    case ELibraryError::SourceIsFolder:
        return e.strPath + " is a folder, not a file";
    case ELibraryError::CannotOpenSource:
        return "cannot open " + e.strPath + ": " + strSystem;
    case ELibraryError::Utf16:
        return "UTF-16 files are not read; save the file as UTF-8 or GBK CSV";
    case ELibraryError::NoGb18030:
        return "this system cannot convert GB18030 text";
    case ELibraryError::ReadFailed:
        return "cannot read the file: " + strSystem;
    case ELibraryError::CutInCharacter:
        return "the file ends inside a character; it is incomplete";
    case ELibraryError::UnknownEncoding:
        return "the file's encoding is not recognised (byte " + std::to_string(e.nNumber) +
               "); save the file as UTF-8 or GBK CSV";
    case ELibraryError::EmptyFile:
        return "the file is empty; there is nothing to import";
    case ELibraryError::HeaderUnterminated:
        return "the first line ends inside quotes; the file is incomplete";
    case ELibraryError::RepeatedColumn:
        return "line 1: the column \"" + e.strDetail + "\" appears twice";
    case ELibraryError::MissingColumns:
        return "the file lacks the columns " + e.strDetail +
               "; the first line must name the columns model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF";
    case ELibraryError::NotLibrary:
        return e.strPath + " is not a Velmora data.mdb (a database with the tables DATA and htset); nothing "
                           "was imported";
    case ELibraryError::LibraryColumnsMissing:
        return e.strPath + " is not a Velmora data.mdb (its DATA table lacks the columns " + e.strDetail +
               "); nothing was imported";
    case ELibraryError::LibraryNotFound:
        return "cannot find " + e.strPath + ": the folder " + e.strDetail + " does not hold it";
    case ELibraryError::CannotOpenLibrary:
        return "cannot open " + e.strPath + ": " + strSystem;
    case ELibraryError::CannotReadLibrary:
        return "cannot read " + e.strPath + ": " + strSystem;
    case ELibraryError::LookupFailed:
        return "reading the library failed";
    case ELibraryError::LibraryUnreadable:
        return "reading the library " + e.strPath + " failed: " + strSystem;
    case ELibraryError::SourceReadFailed:
        return "reading " + e.strPath + " failed: " + strSystem;
    case ELibraryError::LibraryGone:
        return "cannot find " + e.strPath + ": " + strSystem;
    case ELibraryError::LibraryReadOnly:
        return e.strPath + " is read-only" + strUnchanged;
    case ELibraryError::LibraryBusy:
        return e.strPath + " is in use by another program; close it and import again" + strUnchanged;
    case ELibraryError::WriteFailed:
        return "writing " + e.strPath + " failed: " + strSystem + strUnchanged;
    case ELibraryError::LibraryChanged:
        return e.strPath + " changed after the preview; import again" + strUnchanged;
    case ELibraryError::ImportCancelled:
        return "the import was cancelled" + strUnchanged;
    case ELibraryError::ExportOverLibrary:
        return "cannot export to " + e.strPath +
               ": it is the library in use, which the export would replace" + strOtherName;
    case ELibraryError::ExportOverDatabase:
        return "cannot export to " + e.strPath + ": it is a database, which the export would replace" +
               strOtherName;
    case ELibraryError::ExportOverFolder:
        return "cannot export to " + e.strPath + ": it is a folder" + strOtherName;
    case ELibraryError::ExportMdbName:
        return "cannot export to " + e.strPath + ": names ending in .mdb are kept for libraries" +
               strOtherName;
    case ELibraryError::ExportReadFailed:
        return "reading the library " + e.strPath + " failed: " + strSystem;
    case ELibraryError::CannotWriteCsv:
        return "cannot write " + e.strPath + ": " + strSystem;
    case ELibraryError::CsvWriteFailed:
        return "writing " + e.strPath + " failed: " + strSystem;
    case ELibraryError::ExportCancelled:
        return "the export was cancelled";
    }
    return std::string();
}

std::string RowReasonText(const library::CImportPreview& preview, std::size_t nRow) {
    using library::ERowProblem;
    const std::uint64_t nDetail = preview.ProblemDetail(nRow);
    const std::string strColumn = kColumns[static_cast<std::size_t>(nDetail % kColumns.size())];
    const std::string strCounts = std::to_string(nDetail) + " fields where the header has " +
                                  std::to_string(preview.ExpectedFields(nRow));
    switch (preview.Problem(nRow)) {
    case ERowProblem::None:
        return std::string();
    case ERowProblem::Rule:
        return LibraryRuleText(preview.RuleFailure(nRow));
    case ERowProblem::TooFewFields:
        return "too few fields: " + strCounts;
    case ERowProblem::TooManyFields:
        return "too many fields: " + strCounts;
    case ERowProblem::Unterminated:
        return "the file ends inside quotes; this row is incomplete";
    case ERowProblem::Repeated:
        return std::string("the model repeats ") + (preview.FromDatabase() ? "row " : "line ") +
               std::to_string(nDetail);
    case ERowProblem::NullCell:
        return strColumn + " has no value (NULL)";
    case ERowProblem::NoLineEnd:
        return "the file ends inside this row (no line break); it may be incomplete";
    case ERowProblem::NotUtf8:
        return strColumn + " is not valid UTF-8 text; check the file's encoding";
    }
    return std::string();
}

// A write's outcome: the parts of a read that did not come, the rules a
// value breaks, why a write stopped, and the results file's differences.
std::string PartText(session::EReplyPart ePart) {
    switch (ePart) {
    case session::kPartProjector1:
        return "projector 1 codes";
    case session::kPartProjector2:
        return "projector 2 codes";
    case session::kPartNetwork:
        return "IP settings";
    case session::kPartDevices:
        break;
    }
    return "extra settings";
}

std::string MissingPartsText(const std::vector<session::EReplyPart>& parts) {
    std::string strParts;
    for (const session::EReplyPart ePart : parts)
        strParts += (strParts.empty() ? "" : ", ") + PartText(ePart);
    return strParts.empty() ? strParts : "not received: " + strParts;
}

std::string SettingIssueText(const session::SSettingIssue& issue) {
    using session::ESettingProblem;
    const char* why = "";
    switch (issue.eProblem) {
    case ESettingProblem::MaskNotContiguous:
        why = "the mask is not contiguous (its ones must come first)";
        break;
    case ESettingProblem::MaskPrefixOutOfRange:
        why = "the mask leaves no room for hosts (it must be /1 to /30)";
        break;
    case ESettingProblem::AddressUnspecified:
        why = "0.0.0.0 is not a controller address";
        break;
    case ESettingProblem::AddressBroadcast:
        why = "a broadcast address is not a controller address";
        break;
    case ESettingProblem::AddressMulticast:
        why = "a multicast address is not a controller address";
        break;
    case ESettingProblem::AddressReserved:
        why = "a reserved address (240.0.0.0 and above) is not a controller address";
        break;
    case ESettingProblem::AddressIsNetwork:
        why = "the subnet's own network address is not a controller address";
        break;
    case ESettingProblem::AddressIsSubnetBroadcast:
        why = "the subnet's broadcast address is not a controller address";
        break;
    case ESettingProblem::GatewayOutsideSubnet:
        why = "the gateway is outside the controller's subnet (0.0.0.0 means none)";
        break;
    case ESettingProblem::LockTimeWithLevelLock:
        why = "lock time applies to a pulse lock only";
        break;
    case ESettingProblem::None:
        break;
    }
    return issue.strField + ": " + why;
}

std::string PrepareErrorText(const session::SValueProblem& p) {
    using session::EValueProblem;
    const std::string strQuoted = "\"" + p.strValue + "\"";
    std::string strWhy;
    switch (p.eProblem) {
    case EValueProblem::BrokenRule:
        return SettingIssueText({p.strField, p.eRule});
    case EValueProblem::SnapshotIncomplete:
        return p.strValue + ": the snapshot lacks part of the settings (" + MissingPartsText(p.missingParts) +
               "); writing it would replace them with guesses";
    case EValueProblem::SnapshotUnreadable:
        return p.snapshot.strText;
    case EValueProblem::TooManyCells:
        return "the line has " + p.strValue + " cells but the header names " + p.strDetail + " columns";
    case EValueProblem::NotAnAddress:
        strWhy = strQuoted + " is not an IPv4 address a.b.c.d";
        break;
    case EValueProblem::NotPulseOrLevel:
        strWhy = strQuoted + " is not pulse or level";
        break;
    case EValueProblem::BadLockTime:
        strWhy = strQuoted + " is not 0.5 or a whole number of seconds from 1 to 120";
        break;
    case EValueProblem::NotOnOrOff:
        strWhy = strQuoted + " is not on or off";
        break;
    case EValueProblem::NoSuchModel:
        strWhy = strQuoted + " is not a projector model in the library";
        break;
    case EValueProblem::LibraryRowRule:
        strWhy = "the library row " + strQuoted + " would not be saved by the code dialog";
        break;
    case EValueProblem::CodesTooLong:
        strWhy = "the codes of " + strQuoted + " are longer than a block holds";
        break;
    case EValueProblem::LibraryUnreadable:
        strWhy = "library lookup failed: " + p.strDetail;
        break;
    case EValueProblem::None:
        break;
    }
    return p.strField.empty() ? strWhy : p.strField + ": " + strWhy;
}

std::string WriteOutcomeText(const session::SWriteResult& r, const session::SWriteNotes& notes) {
    using session::EWriteOutcome;
    using session::EWriteStop;
    switch (r.eOutcome) {
    case EWriteOutcome::Confirmed:
        return {};
    case EWriteOutcome::Different:
        return session::DifferentFields(r.fields);
    case EWriteOutcome::NoReadBack:
        return "no reply after the Set";
    case EWriteOutcome::NotSent:
        break;
    }
    switch (r.eStop) {
    case EWriteStop::NoAnswer:
        return "no reply";
    case EWriteStop::ReadIncomplete:
        return MissingPartsText(r.present.MissingParts()) + "; nothing was sent";
    case EWriteStop::AddressTaken:
        return kAddressTakenText;
    case EWriteStop::AddressInUse:
        return "address in use by another exchange";
    case EWriteStop::Refused:
        break;
    case EWriteStop::None:
        return "not sent";
    }
    if (notes.unknownPart)
        return "the read is incomplete (" + MissingPartsText(r.present.MissingParts()) +
               ") and without --from " + PartText(*notes.unknownPart) +
               " is unknown unless every field of it is given; nothing was sent";
    if (notes.bRefused) {
        std::string strIssues;
        for (const session::SSettingIssue& issue : notes.issues)
            strIssues += (strIssues.empty() ? "" : "; ") + SettingIssueText(issue);
        return strIssues + "; nothing was sent";
    }
    if (notes.bAlreadySo)
        return "the controller already holds these settings; nothing was sent";
    return r.strRefusal;
}

std::string ResultsDifferences(const session::SBatchRoom& room) {
    if (!room.bPrepared)
        return PrepareErrorText(room.problem);
    if (room.ePhase == session::EBatchPhase::Setting)
        return kSetUnderWayText;
    if (!room.result || room.ePhase != session::EBatchPhase::Done)
        return room.strDifferences;
    const session::SWriteResult& r = *room.result;
    if (room.strMovedTo.empty())
        return WriteOutcomeText(r, *room.notes);
    const std::string strAt = "already at " + room.strMovedTo;
    if (r.eOutcome != session::EWriteOutcome::Confirmed)
        return strAt + "; " + WriteOutcomeText(r, *room.notes);
    std::string strFields;
    for (const std::string& field : session::FieldsToChange(r))
        strFields += (strFields.empty() ? "" : ", ") + field;
    return strAt + (strFields.empty() ? "; nothing to change" : "; written: " + strFields);
}

} // namespace cli
