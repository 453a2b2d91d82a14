// The command line's words for every failure of the code library: English
// only, and naming the values the failure carries.
#include "Words.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

using library::ELibraryError;

namespace {

// Whether the UTF-8 text holds a CJK character (U+3000 to U+9FFF, U+FF00 to U+FFEF).
bool HasCjk(const std::string& strText) {
    for (std::size_t i = 0; i + 2 < strText.size(); ++i) {
        const auto c = static_cast<unsigned char>(strText[i]);
        const auto c2 = static_cast<unsigned char>(strText[i + 1]);
        if ((c >= 0xE3 && c <= 0xE9) || (c == 0xEF && c2 >= 0xBC && c2 <= 0xBF))
            return true;
    }
    return false;
}

enum : unsigned { kPath = 1, kDetail = 2, kNumber = 4, kSystem = 8 };

struct SCliCase {
    ELibraryError eCode;
    unsigned nNamed; // the values the sentence must name
};
void PrintTo(const SCliCase& c, std::ostream* pOut) {
    *pOut << static_cast<int>(c.eCode);
}

class CliLibraryWords : public ::testing::TestWithParam<SCliCase> {};

TEST_P(CliLibraryWords, EnglishNamingItsValues) {
    const library::SLibraryError error(GetParam().eCode, "in-file.csv", "column-x", 4711,
                                       {base::EFileError::Other, "Engine says no"});
    const std::string strText = cli::LibraryErrorText(error);
    ASSERT_FALSE(strText.empty());
    EXPECT_FALSE(HasCjk(strText)) << strText;
    const unsigned n = GetParam().nNamed;
    EXPECT_EQ(strText.find("in-file.csv") != std::string::npos, (n & kPath) != 0) << strText;
    EXPECT_EQ(strText.find("column-x") != std::string::npos, (n & kDetail) != 0) << strText;
    EXPECT_EQ(strText.find("4711") != std::string::npos, (n & kNumber) != 0) << strText;
    EXPECT_EQ(strText.find("Engine says no") != std::string::npos, (n & kSystem) != 0) << strText;
}

// Every code but None, in their order.
const SCliCase kCases[] = {SCliCase{ELibraryError::Cancelled, 0},
                           SCliCase{ELibraryError::SourceIsFolder, kPath},
                           SCliCase{ELibraryError::CannotOpenSource, kPath | kSystem},
                           SCliCase{ELibraryError::Utf16, 0},
                           SCliCase{ELibraryError::NoGb18030, 0},
                           SCliCase{ELibraryError::ReadFailed, kSystem},
                           SCliCase{ELibraryError::CutInCharacter, 0},
                           SCliCase{ELibraryError::UnknownEncoding, kNumber},
                           SCliCase{ELibraryError::EmptyFile, 0},
                           SCliCase{ELibraryError::HeaderUnterminated, 0},
                           SCliCase{ELibraryError::RepeatedColumn, kDetail},
                           SCliCase{ELibraryError::MissingColumns, kDetail},
                           SCliCase{ELibraryError::NotLibrary, kPath},
                           SCliCase{ELibraryError::LibraryColumnsMissing, kPath | kDetail},
                           SCliCase{ELibraryError::LibraryNotFound, kPath | kDetail},
                           SCliCase{ELibraryError::CannotOpenLibrary, kPath | kSystem},
                           SCliCase{ELibraryError::CannotReadLibrary, kPath | kSystem},
                           SCliCase{ELibraryError::LookupFailed, 0},
                           SCliCase{ELibraryError::LibraryUnreadable, kPath | kSystem},
                           SCliCase{ELibraryError::SourceReadFailed, kPath | kSystem},
                           SCliCase{ELibraryError::LibraryGone, kPath | kSystem},
                           SCliCase{ELibraryError::LibraryReadOnly, kPath},
                           SCliCase{ELibraryError::LibraryBusy, kPath},
                           SCliCase{ELibraryError::WriteFailed, kPath | kSystem},
                           SCliCase{ELibraryError::LibraryChanged, kPath},
                           SCliCase{ELibraryError::ImportCancelled, 0},
                           SCliCase{ELibraryError::ExportOverLibrary, kPath},
                           SCliCase{ELibraryError::ExportOverDatabase, kPath},
                           SCliCase{ELibraryError::ExportOverFolder, kPath},
                           SCliCase{ELibraryError::ExportMdbName, kPath},
                           SCliCase{ELibraryError::ExportReadFailed, kPath | kSystem},
                           SCliCase{ELibraryError::CannotWriteCsv, kPath | kSystem},
                           SCliCase{ELibraryError::CsvWriteFailed, kPath | kSystem},
                           SCliCase{ELibraryError::ExportCancelled, 0}};

INSTANTIATE_TEST_SUITE_P(Codes, CliLibraryWords, ::testing::ValuesIn(kCases));

// The table above holds every code.
TEST(CliLibraryWordsTable, CoversEveryCode) {
    ASSERT_EQ(std::size(kCases), static_cast<std::size_t>(library::kLastLibraryError));
    for (std::size_t i = 0; i < std::size(kCases); ++i)
        EXPECT_EQ(static_cast<std::size_t>(kCases[i].eCode), i + 1);
}

// A rule's sentence is English and names the code it is about.
TEST(CliLibraryWordsTable, RulesAreEnglish) {
    for (int n = 1; n <= static_cast<int>(library::ERuleFailure::NotHex); ++n) {
        const std::string strText = cli::LibraryRuleText(static_cast<library::ERuleFailure>(n));
        EXPECT_FALSE(strText.empty()) << n;
        EXPECT_FALSE(HasCjk(strText)) << strText;
    }
}

// Why a write stopped: English, naming the parts that did not come and the
// rules that were broken, whichever step stopped it.
TEST(CliWriteWords, StopsAreEnglishAndNameTheirParts) {
    using session::EWriteStop;
    session::SWriteResult incomplete;
    incomplete.present.received = {true, false, true, false};
    struct SCase {
        EWriteStop eStop;
        session::SWriteNotes notes;
        std::string strExpected;
    };
    session::SWriteNotes unknown, refused, already;
    unknown.unknownPart = session::kPartProjector2;
    refused.bRefused = true;
    refused.issues = {{"mask", session::ESettingProblem::MaskNotContiguous},
                      {"gateway", session::ESettingProblem::GatewayOutsideSubnet}};
    already.bAlreadySo = true;
    const SCase cases[] = {
        {EWriteStop::NoAnswer, {}, "no reply"},
        {EWriteStop::ReadIncomplete, {}, "not received: projector 2 codes, extra settings; nothing was sent"},
        {EWriteStop::AddressTaken, {}, cli::kAddressTakenText},
        {EWriteStop::Refused, unknown,
         "the read is incomplete (not received: projector 2 codes, extra settings) and without --from "
         "projector 2 codes is unknown unless every field of it is given; nothing was sent"},
        {EWriteStop::Refused, refused,
         "mask: the mask is not contiguous (its ones must come first); gateway: the gateway is outside the "
         "controller's subnet (0.0.0.0 means none); nothing was sent"},
        {EWriteStop::Refused, already, "the controller already holds these settings; nothing was sent"},
    };
    for (const SCase& c : cases) {
        incomplete.eStop = c.eStop;
        const std::string strText = cli::WriteOutcomeText(incomplete, c.notes);
        EXPECT_EQ(strText, c.strExpected);
        EXPECT_FALSE(HasCjk(strText)) << strText;
    }
    session::SValueProblem snapshot;
    snapshot.eProblem = session::EValueProblem::SnapshotIncomplete;
    snapshot.strValue = "a.json";
    snapshot.missingParts = {session::kPartProjector1, session::kPartNetwork};
    EXPECT_EQ(cli::PrepareErrorText(snapshot),
              "a.json: the snapshot lacks part of the settings (not received: projector 1 codes, IP "
              "settings); writing it would replace them with guesses");
    // Each refusal of a value names its field and the value as given.
    using session::EValueProblem;
    const struct {
        session::SValueProblem problem;
        const char* pszExpected;
    } refusals[] = {
        {{EValueProblem::NotAnAddress, "mask", "255.0.0.256"},
         "mask: \"255.0.0.256\" is not an IPv4 address a.b.c.d"},
        {{EValueProblem::BadLockTime, "lock_time", "0"},
         "lock_time: \"0\" is not 0.5 or a whole number of seconds from 1 to 120"},
        {{EValueProblem::NoSuchModel, "projector2", "XJ-9"},
         "projector2: \"XJ-9\" is not a projector model in the library"},
        {{EValueProblem::LibraryUnreadable, "projector1", "M", "disk I/O error"},
         "projector1: library lookup failed: disk I/O error"},
        {{EValueProblem::TooManyCells, {}, "14", "12"},
         "the line has 14 cells but the header names 12 columns"},
    };
    for (const auto& r : refusals)
        EXPECT_EQ(cli::PrepareErrorText(r.problem), r.pszExpected);
}

} // namespace
