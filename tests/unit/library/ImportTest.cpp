// Import, merge and export of the projector code library on real data.mdb
// copies: the preview's classes and reasons, the conflict choices, the
// all-or-nothing write, read-only and locked libraries, and the export's bytes.
#include "Database.h"
#include "ErrorDescription.h"
#include "ImportPreview.h"
#include "LibraryFiles.h"
#include "LibraryWriter.h"
#include "ReadOnlyView.h"
#include "Statements.h"
#include "TestDatabase.h"
#include "Utf8Path.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace library;
using testfiles::Row;

namespace {

const char* const kHeader = "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n";
// A model of the shipped library, exactly as it is stored.
const Row kEmp53{
    "Epson EMP-53",    "9600", "无", "534F555243452031310D", "534F555243452034310D", "505752204F4E0D",
    "505752204F46460D"};
const std::string kEmp53Csv = "Epson EMP-53,9600,无,534F555243452031310D,534F555243452034310D,505752204F4E0D,"
                              "505752204F46460D\r\n";

class LibraryTest : public ::testing::Test {
protected:
    std::string Lib() const { return Utf8FromPath(m_db.File()); }
    fs::path In(const std::string& strName) const { return m_db.Folder() / strName; }

    // Writes the bytes to a file and previews them against the library.
    bool Preview(CImportPreview& preview, const std::string& strBytes,
                 const std::string& strName = "in.csv") {
        testfiles::Write(In(strName), strBytes);
        return preview.Load(Utf8FromPath(In(strName)), Lib());
    }

    CTestDatabase m_db;
};

TEST_F(LibraryTest, PreviewClassifiesEveryRow) {
    CImportPreview preview;
    const std::string strCsv = std::string(kHeader) + kEmp53Csv +
                               "Epson EB-1410Wi,19200,无,0A,0B,0C,0D\r\n"
                               "Brand New 1,9600,偶,0A,0B,0C,0D\r\n"
                               ",9600,无,0A,0B,0C,0D\r\n";
    ASSERT_TRUE(Preview(preview, strCsv)) << Describe(preview.Error());
    ASSERT_EQ(preview.RowCount(), 4u);
    EXPECT_EQ(preview.Class(0), ERowClass::Identical);
    EXPECT_EQ(preview.Class(1), ERowClass::Conflict);
    EXPECT_EQ(preview.Existing(1).baud, "9600");
    EXPECT_EQ(preview.Existing(1).vga, "534F555243452031310D");
    EXPECT_EQ(preview.Class(2), ERowClass::New);
    EXPECT_EQ(preview.Class(3), ERowClass::Invalid);
    EXPECT_EQ(preview.Line(3), 5u);
    EXPECT_EQ(preview.Problem(3), ERowProblem::Rule);
    EXPECT_EQ(preview.RuleFailure(3), ERuleFailure::ModelEmpty);
    const SPreviewCounts counts = preview.Counts();
    EXPECT_EQ(counts.nNew, 1u);
    EXPECT_EQ(counts.nIdentical, 1u);
    EXPECT_EQ(counts.nConflict, 1u);
    EXPECT_EQ(counts.nInvalid, 1u);
    // Nothing is written by a preview.
    EXPECT_EQ(m_db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号='Brand New 1'"), "0");
}

// A spreadsheet's edit of an export: codes in lower case are the same codes
// (another code is still a conflict), and rows of only commas, before the
// header as after it, are padding rather than models.
TEST_F(LibraryTest, LetterCaseAndPaddingAreNoChange) {
    CImportPreview preview;
    const std::string strCsv =
        ",,,,,,\r\n" + std::string(kHeader) +
        "Epson EMP-53,9600,无,534f555243452031310d,534F555243452034310d,505752204f4e0d,"
        "505752204f46460d\r\n"
        ",,,,,,\r\n"
        " , ,,,,,\r\n"
        "Epson EB-1410Wi,19200,无,0a,0b,0c,0d\r\n"
        ",,,,,,\r\n";
    ASSERT_TRUE(Preview(preview, strCsv)) << Describe(preview.Error());
    ASSERT_EQ(preview.RowCount(), 2u);
    EXPECT_EQ(preview.Class(0), ERowClass::Identical);
    EXPECT_EQ(preview.Class(1), ERowClass::Conflict);
    EXPECT_EQ(preview.Line(1), 6u);
    EXPECT_EQ(preview.Counts().nInvalid, 0u);
}

// The header's columns in any order, under either name, with columns of
// its own beside them, with or without a byte-order mark, CRLF or LF.
struct SHeaderCase {
    const char* pszName;
    std::string strCsv;
};
void PrintTo(const SHeaderCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class Headers : public LibraryTest, public ::testing::WithParamInterface<SHeaderCase> {};

TEST_P(Headers, MapColumnsByName) {
    CImportPreview preview;
    ASSERT_TRUE(Preview(preview, GetParam().strCsv)) << Describe(preview.Error());
    ASSERT_EQ(preview.RowCount(), 1u);
    EXPECT_EQ(preview.Class(0), ERowClass::New) << static_cast<int>(preview.Problem(0));
    const SModelRecord expected{"明基 MX-1", "4800", "奇", "AA01", "BB02", "CC03", "DD04"};
    EXPECT_EQ(preview.Record(0), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, Headers,
    ::testing::Values(
        SHeaderCase{
            "ExportOrder",
            "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\n明基 MX-1,4800,奇,AA01,BB02,CC03,DD04\n"},
        SHeaderCase{
            "OtherOrder",
            "POWER OFF,VIDEO,model,parity,POWER ON,baud,VGA\r\nDD04,BB02,明基 MX-1,奇,CC03,4800,AA01\r\n"},
        SHeaderCase{"ChineseNames", "投影机型号,波特率,校验,VGA,VIDEO,POWER ON,POWER OFF\r\n明基 "
                                    "MX-1,4800,奇,AA01,BB02,CC03,DD04\r\n"},
        SHeaderCase{
            "CaseAndBlanks",
            " Model , BAUD,Parity,vga,Video,power on,Power Off\n明基 MX-1,4800,奇,AA01,BB02,CC03,DD04\n"},
        SHeaderCase{"ByteOrderMark", "\xEF\xBB\xBFmodel,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n明基 "
                                     "MX-1,4800,奇,AA01,BB02,CC03,DD04\r\n"},
        SHeaderCase{"ExtraColumnsAndEnglishParity",
                    "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF,protocol,source,confidence\n"
                    "明基 MX-1,4800,odd,AA01,BB02,CC03,DD04,RS232,\"manual, p. 3\",high\n"},
        SHeaderCase{"BlankLinesAround", "\n\nmodel,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\n\n明基 "
                                        "MX-1,4800,奇,AA01,BB02,CC03,DD04\n\n"},
        // 投影机型号,波特率,校验 and 明基, 奇 in GBK.
        SHeaderCase{
            "Gbk",
            "\xCD\xB6\xD3\xB0\xBB\xFA\xD0\xCD\xBA\xC5,\xB2\xA8\xCC\xD8\xC2\xCA,\xD0\xA3\xD1\xE9,VGA,VIDEO,"
            "POWER ON,POWER OFF\r\n\xC3\xF7\xBB\xF9 MX-1,4800,\xC6\xE6,AA01,BB02,CC03,DD04\r\n"}),
    [](const auto& info) { return std::string(info.param.pszName); });

// Every reason a row is refused for, with the line it is reported on.
struct SInvalidCase {
    const char* pszName;
    std::string strRows; // after the header line
    std::uint64_t nLine;
    ERowProblem eProblem;
    std::uint64_t nDetail = 0; // the rule broken, for a rule
};
void PrintTo(const SInvalidCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

// The detail of a row refused by a rule: the rule.
constexpr std::uint64_t Broken(ERuleFailure eRule) {
    return static_cast<std::uint64_t>(eRule);
}

class InvalidRows : public LibraryTest, public ::testing::WithParamInterface<SInvalidCase> {};

TEST_P(InvalidRows, ReportLineAndReason) {
    CImportPreview preview;
    ASSERT_TRUE(Preview(preview, kHeader + GetParam().strRows)) << Describe(preview.Error());
    ASSERT_GE(preview.RowCount(), 1u);
    const std::size_t nLast = preview.RowCount() - 1;
    EXPECT_EQ(preview.Class(nLast), ERowClass::Invalid);
    EXPECT_EQ(preview.Line(nLast), GetParam().nLine);
    EXPECT_EQ(preview.Problem(nLast), GetParam().eProblem);
    if (GetParam().eProblem == ERowProblem::Rule)
        EXPECT_EQ(preview.RuleFailure(nLast), static_cast<ERuleFailure>(GetParam().nDetail));
    else
        EXPECT_EQ(preview.ProblemDetail(nLast), GetParam().nDetail);
    EXPECT_EQ(preview.Counts().nInvalid, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, InvalidRows,
    ::testing::Values(
        SInvalidCase{"ModelEmpty", ",9600,无,0A,0B,0C,0D\n", 2, ERowProblem::Rule,
                     Broken(ERuleFailure::ModelEmpty)},
        SInvalidCase{"BaudEmpty", "M,,无,0A,0B,0C,0D\n", 2, ERowProblem::Rule,
                     Broken(ERuleFailure::BaudEmpty)},
        SInvalidCase{"BaudNotInList", "M,300,无,0A,0B,0C,0D\n", 2, ERowProblem::Rule,
                     Broken(ERuleFailure::BaudUnknown)},
        SInvalidCase{"ParityEmpty", "M,9600,,0A,0B,0C,0D\n", 2, ERowProblem::Rule,
                     Broken(ERuleFailure::ParityEmpty)},
        SInvalidCase{"ParityNotInList", "M,9600,space,0A,0B,0C,0D\n", 2, ERowProblem::Rule,
                     Broken(ERuleFailure::ParityUnknown)},
        SInvalidCase{"VgaEmpty", "M,9600,无,,0B,0C,0D\n", 2, ERowProblem::Rule,
                     Broken(ERuleFailure::VgaEmpty)},
        SInvalidCase{"VgaOdd", "M,9600,无,0A0,0B,0C,0D\n", 2, ERowProblem::Rule,
                     Broken(ERuleFailure::VgaOdd)},
        SInvalidCase{"VideoOdd", "M,9600,无,0A,B,0C,0D\n", 2, ERowProblem::Rule,
                     Broken(ERuleFailure::VideoOdd)},
        SInvalidCase{"PowerOnEmpty", "M,9600,无,0A,0B,,0D\n", 2, ERowProblem::Rule,
                     Broken(ERuleFailure::PowerOnEmpty)},
        SInvalidCase{"PowerOffTooLong", "M,9600,无,0A,0B,0C," + std::string(98, 'F') + "\n", 2,
                     ERowProblem::Rule, Broken(ERuleFailure::PowerOffTooLong)},
        SInvalidCase{"NotHex", "M,9600,无,0A,0B,0C,0Z\n", 2, ERowProblem::Rule, Broken(ERuleFailure::NotHex)},
        SInvalidCase{"TooFewFields", "M,9600,无,0A,0B\n", 2, ERowProblem::TooFewFields, 5},
        SInvalidCase{"TooManyFields", "M,9600,无,0A,0B,0C,0D,0E\n", 2, ERowProblem::TooManyFields, 8},
        SInvalidCase{"RepeatedModel",
                     "M,9600,无,0A,0B,0C,0D\n\"multi\nline\",9600,无,0A,0B,0C,0D\nM,4800,无,0A,0B,0C,0D\n", 5,
                     ERowProblem::Repeated, 2},
        SInvalidCase{"TruncatedFile", "M,9600,无,0A,0B,0C,0D\n\"Cut off,9600,无,0A", 3,
                     ERowProblem::Unterminated},
        // A file cut short inside its last code still looks like a whole row.
        SInvalidCase{"CutShortAfterACompleteRow", "M,9600,无,0A,0B,0C,7E50460D\r\nN,9600,无,0A,0B,0C,7E5046",
                     3, ERowProblem::NoLineEnd},
        SInvalidCase{"SingleRowWithoutLineEnd", "M,9600,无,0A,0B,0C,7E5046", 2, ERowProblem::NoLineEnd},
        SInvalidCase{"MultiLineRowCutShort", "\"Two\nLines\",9600,无,0A,0B,0C,7E5046", 2,
                     ERowProblem::NoLineEnd}),
    [](const auto& info) { return std::string(info.param.pszName); });

// Files that cannot be previewed at all.
struct SFileCase {
    const char* pszName;
    std::string strFileName;
    std::string strBytes;
    ELibraryError eError;
    std::string strDetail = {}; // the columns named
};
void PrintTo(const SFileCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class BadFiles : public LibraryTest, public ::testing::WithParamInterface<SFileCase> {};

TEST_P(BadFiles, RefusedWithAMessage) {
    CImportPreview preview;
    EXPECT_FALSE(Preview(preview, GetParam().strBytes, GetParam().strFileName));
    EXPECT_EQ(preview.Error().eCode, GetParam().eError) << Describe(preview.Error());
    EXPECT_EQ(preview.Error().strDetail, GetParam().strDetail);
    EXPECT_EQ(preview.RowCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadFiles,
    ::testing::Values(
        SFileCase{"Empty", "in.csv", "", ELibraryError::EmptyFile},
        SFileCase{"OnlyByteOrderMark", "in.csv", "\xEF\xBB\xBF", ELibraryError::EmptyFile},
        SFileCase{"OnlyBlankLines", "in.csv", "\r\n\n\r\n", ELibraryError::EmptyFile},
        SFileCase{"MissingColumn", "in.csv", "model,baud,parity,VGA,VIDEO,POWER ON\nM,9600,无,0A,0B,0C\n",
                  ELibraryError::MissingColumns, "POWER OFF"},
        SFileCase{"NoHeader", "in.csv", "M,9600,无,0A,0B,0C,0D\n", ELibraryError::MissingColumns,
                  "model、baud、parity、VGA、VIDEO、POWER ON、POWER OFF"},
        SFileCase{"RepeatedColumn", "in.csv", "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF,投影机型号\n",
                  ELibraryError::RepeatedColumn, "投影机型号"},
        SFileCase{"Utf16", "in.csv", std::string("\xFF\xFEm\0", 4), ELibraryError::Utf16},
        SFileCase{"AccessFile", "other.mdb", std::string("\0\x01\0\0Standard Jet DB\0", 20),
                  ELibraryError::NotLibrary}),
    [](const auto& info) { return std::string(info.param.pszName); });

// Text after a UTF-8 mark is not converted; a row that is not UTF-8 (GBK
// bytes, say) is refused and never reaches DATA.
TEST_F(LibraryTest, RowsAfterAUtf8MarkMustBeUtf8) {
    CImportPreview preview;
    // 明基 MX-1 and the parity 无 in GBK, neither of them UTF-8.
    const std::string strCsv = std::string("\xEF\xBB\xBF") + kHeader + "Good 1,9600,偶,0A,0B,0C,0D\r\n" +
                               "\xC3\xF7\xBB\xF9 MX-1,9600,无,0A,0B,0C,0D\r\n" +
                               "Good 2,9600,\xCE\xDE,0A,0B,0C,0D\r\n" + "Bad\xFF,9600,无,0A,0B,0C,0D\r\n";
    ASSERT_TRUE(Preview(preview, strCsv)) << Describe(preview.Error());
    ASSERT_EQ(preview.RowCount(), 4u);
    EXPECT_EQ(preview.Class(0), ERowClass::New);
    // The row and the column (0 the model, 2 the parity) that is not UTF-8.
    const std::pair<std::size_t, std::uint64_t> expected[] = {{1, 0}, {2, 2}, {3, 0}};
    for (const auto& [nRow, nColumn] : expected) {
        EXPECT_EQ(preview.Class(nRow), ERowClass::Invalid) << nRow;
        EXPECT_EQ(preview.Line(nRow), nRow + 2);
        EXPECT_EQ(preview.Problem(nRow), ERowProblem::NotUtf8);
        EXPECT_EQ(preview.ProblemDetail(nRow), nColumn);
    }
    const std::size_t nBefore = testfiles::Rows(m_db.File()).size();
    ASSERT_TRUE(ApplyImport(preview, Lib()).bOk);
    EXPECT_EQ(testfiles::Rows(m_db.File()).size(), nBefore + 1);
    EXPECT_EQ(m_db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号 LIKE 'Good%'"), "1");

    // The same holds for another data.mdb's cells.
    CTestDatabase other(false, false);
    other.Exec("INSERT INTO DATA VALUES (CAST(x'4D4EC3F7' AS TEXT),'9600','无','0A','0B','0C','0D')");
    ASSERT_TRUE(preview.Load(Utf8FromPath(other.File()), Lib())) << Describe(preview.Error());
    const auto nCounts = preview.Counts();
    EXPECT_EQ(nCounts.nNew, 0u);
    EXPECT_EQ(nCounts.nInvalid, 1u);
}

// A foreign database whose DATA lacks a column: a query naming the missing
// column in double quotes would read it as a string and pass.
struct SForeignCase {
    const char* pszName;
    const char* pszCreate;
    std::string strMissing;
};
void PrintTo(const SForeignCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class ForeignDatabases : public LibraryTest, public ::testing::WithParamInterface<SForeignCase> {};

TEST_P(ForeignDatabases, RefusedNamingTheMissingColumns) {
    const fs::path other = m_db.Folder() / "other.mdb";
    sqlite3* pDb = nullptr;
    ASSERT_EQ(sqlite3_open(Utf8FromPath(other).c_str(), &pDb), SQLITE_OK);
    const std::string strSql = std::string(GetParam().pszCreate) +
                               "; CREATE TABLE htset (b TEXT);"
                               "INSERT INTO DATA VALUES ('x','9600','无','0A','0B','0C','0D');";
    ASSERT_EQ(sqlite3_exec(pDb, strSql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(pDb);
    sqlite3_close(pDb);
    const auto before = testfiles::Rows(m_db.File());
    CImportPreview preview;
    EXPECT_FALSE(preview.Load(Utf8FromPath(other), Lib()));
    EXPECT_EQ(preview.Error().eCode, ELibraryError::LibraryColumnsMissing) << Describe(preview.Error());
    EXPECT_EQ(preview.Error().strDetail, GetParam().strMissing);
    EXPECT_FALSE(preview.LibraryFailed());
    EXPECT_EQ(testfiles::Rows(m_db.File()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, ForeignDatabases,
    ::testing::Values(
        SForeignCase{"NoModelColumn",
                     "CREATE TABLE DATA(name, \"波特率\", \"校验\", VGA, VIDEO, \"POWER ON\", \"POWER OFF\")",
                     "投影机型号"},
        SForeignCase{
            "TwoMissing",
            "CREATE TABLE DATA(\"投影机型号\", baud, parity, VGA, VIDEO, \"POWER ON\", \"POWER OFF\")",
            "波特率、校验"},
        SForeignCase{"CodesRenamed",
                     "CREATE TABLE DATA(\"投影机型号\", \"波特率\", \"校验\", VGA, VIDEO, \"POWER_ON\", "
                     "\"POWER OFF\")",
                     "POWER ON"}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST_F(LibraryTest, DatabaseWithoutTheTablesIsNotAVelmoraFile) {
    sqlite3* pDb = nullptr;
    ASSERT_EQ(sqlite3_open(Utf8FromPath(m_db.Folder() / "other.db").c_str(), &pDb), SQLITE_OK);
    sqlite3_exec(pDb, "CREATE TABLE DATA (a TEXT); CREATE TABLE htset (b TEXT);", nullptr, nullptr, nullptr);
    sqlite3_close(pDb);
    CImportPreview preview;
    EXPECT_FALSE(preview.Load(Utf8FromPath((m_db.Folder() / "other.db")), Lib()));
    // Tables of those names without the columns: every column is missing.
    EXPECT_EQ(preview.Error().eCode, ELibraryError::LibraryColumnsMissing) << Describe(preview.Error());
    EXPECT_EQ(preview.Error().strDetail, "投影机型号、波特率、校验、VGA、VIDEO、POWER ON、POWER OFF");

    EXPECT_FALSE(preview.Load(Utf8FromPath((m_db.Folder() / "missing.csv")), Lib()));
    EXPECT_EQ(preview.Error().eCode, ELibraryError::CannotOpenSource) << Describe(preview.Error());
}

// A library as an import killed half-way leaves it: pages of the unfinished
// write in the file and the journal that undoes them beside it. The next
// export, preview and import each roll it back and see the library as it was.
TEST_F(LibraryTest, InterruptedWriteIsRolledBackByTheNextCommand) {
    const auto before = testfiles::Rows(m_db.File());
    auto Crashed = [this](const std::string& strFolder) {
        const fs::path folder = m_db.Folder() / strFolder;
        fs::create_directory(folder);
        sqlite3* pDb = nullptr;
        EXPECT_EQ(sqlite3_open_v2(Lib().c_str(), &pDb, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        // A tiny cache makes the write spill into the file before its commit.
        sqlite3_exec(pDb,
                     "PRAGMA cache_size=2; BEGIN;"
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<3000) "
                     "INSERT INTO DATA SELECT 'Half '||i,'9600','无','0A','0B','0C','0D' FROM n;"
                     "DELETE FROM DATA WHERE 投影机型号='Epson EMP-53';",
                     nullptr, nullptr, nullptr);
        // The files as a crash at this moment leaves them.
        fs::copy_file(m_db.Folder() / "data.mdb", folder / "data.mdb");
        fs::copy_file(m_db.Folder() / "data.mdb-journal", folder / "data.mdb-journal");
        sqlite3_exec(pDb, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(pDb);
        return Utf8FromPath((folder / "data.mdb"));
    };

    const std::string strForExport = Crashed("export");
    const fs::path csv = m_db.Folder() / "out.csv";
    const SWriteResult exported = ExportLibrary(strForExport, Utf8FromPath(csv));
    EXPECT_TRUE(exported.bOk) << Describe(exported.error);
    EXPECT_EQ(exported.nExported, before.size());
    EXPECT_EQ(testfiles::Rows(PathFromUtf8(strForExport)), before);

    const std::string strForPreview = Crashed("preview");
    testfiles::Write(In("in.csv"), kHeader + std::string("Brand New 1,9600,偶,0A,0B,0C,0D\r\n"));
    CImportPreview preview;
    ASSERT_TRUE(preview.Load(Utf8FromPath(In("in.csv")), strForPreview)) << Describe(preview.Error());
    EXPECT_EQ(preview.Counts().nNew, 1u);

    const std::string strForImport = Crashed("import");
    ASSERT_TRUE(preview.Load(Utf8FromPath(In("in.csv")), strForImport)) << Describe(preview.Error());
    const SWriteResult written = ApplyImport(preview, strForImport);
    EXPECT_TRUE(written.bOk) << Describe(written.error);
    EXPECT_EQ(testfiles::Rows(PathFromUtf8(strForImport)).size(), before.size() + 1);

    // The window's start opens the library with its shared connection and
    // finds the model the unfinished write had deleted.
    const std::string strForWindow = Crashed("window");
    CDatabase::CloseShared();
    EXPECT_NO_THROW(CDatabase::OpenShared(strForWindow));
    EXPECT_FALSE(CDatabase::OpenRead(stmt::SelectByVideo("534F555243452034310D"))->IsEmpty());
    CDatabase::CloseShared();
    CDatabase::OpenShared(Lib());
}

// The process's peak resident memory since the last reset, in bytes (Linux's
// VmHWM); 0 where the system does not report it.
std::uint64_t PeakMemory(bool bReset) {
    if (bReset)
        std::ofstream("/proc/self/clear_refs") << "5";
    std::ifstream status("/proc/self/status");
    std::string strLine;
    while (std::getline(status, strLine))
        if (strLine.rfind("VmHWM:", 0) == 0)
            return std::stoull(strLine.substr(6)) * 1024;
    return 0;
}

// A preview holds the rows of the file, not those of the library: previewing
// a few rows against a library of 300,000 models takes a few megabytes (the
// database's page cache), where a copy of the library would take a hundred.
TEST_F(LibraryTest, PreviewMemoryDoesNotGrowWithTheLibrary) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow and quarantine hide what the preview itself holds";
#endif
    m_db.Exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<300000) "
              "INSERT INTO DATA SELECT 'Model '||i,'9600','无','534F555243452031310D','534F555243452034310D',"
              "'505752204F4E0D','505752204F46460D' FROM n");
    testfiles::Write(In("in.csv"), kHeader + kEmp53Csv +
                                       "Model 7,9600,无,0A,0B,0C,0D\r\nBrand New,9600,无,0A,0B,0C,0D\r\n");
    const std::uint64_t nBefore = PeakMemory(true);
    if (nBefore == 0)
        GTEST_SKIP() << "this system reports no peak memory";
    CImportPreview preview;
    ASSERT_TRUE(preview.Load(Utf8FromPath(In("in.csv")), Lib())) << Describe(preview.Error());
    const std::uint64_t nPeak = PeakMemory(false);
    EXPECT_EQ(preview.Counts().nIdentical, 1u);
    EXPECT_EQ(preview.Counts().nConflict, 1u);
    EXPECT_EQ(preview.Counts().nNew, 1u);
    EXPECT_EQ(preview.Existing(1).vga, "534F555243452031310D");
    EXPECT_LT(nPeak - std::min(nPeak, nBefore), 16u << 20)
        << "peak grew by " << (nPeak - nBefore) / 1000000 << " MB";
}

// Keep or take, for all conflicts or one by one.
struct SChoiceCase {
    const char* pszName;
    std::vector<EChoice> choices; // per conflict in file order; empty: for all as given
    EChoice eForAll;
    bool bFirstTaken, bSecondTaken;
};
void PrintTo(const SChoiceCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class ConflictChoices : public LibraryTest, public ::testing::WithParamInterface<SChoiceCase> {};

TEST_P(ConflictChoices, WriteWhatWasChosen) {
    CImportPreview preview;
    ASSERT_TRUE(Preview(preview, std::string(kHeader) + "Epson EMP-53,115200,偶,AA,BB,CC,DD\r\n"
                                                        "Epson EB-1410Wi,2400,奇,11,22,33,44\r\n"
                                                        "Fresh Model,9600,无,0A,0B,0C,0D\r\n"));
    ASSERT_EQ(preview.Counts().nConflict, 2u);
    preview.SetChoiceForAll(GetParam().eForAll);
    for (std::size_t i = 0; i < GetParam().choices.size(); ++i)
        preview.SetChoice(i, GetParam().choices[i]);
    const SWriteResult result = ApplyImport(preview, Lib());
    ASSERT_TRUE(result.bOk) << Describe(result.error);
    EXPECT_EQ(result.nInserted, 1u);
    EXPECT_EQ(result.nUpdated, std::size_t(GetParam().bFirstTaken) + std::size_t(GetParam().bSecondTaken));

    EXPECT_EQ(m_db.Scalar("SELECT 波特率||校验||VGA||VIDEO||[POWER ON]||[POWER OFF] FROM DATA WHERE "
                          "投影机型号='Epson EMP-53'"),
              GetParam().bFirstTaken
                  ? "115200偶AABBCCDD"
                  : "9600无534F555243452031310D534F555243452034310D505752204F4E0D505752204F46460D");
    EXPECT_EQ(m_db.Scalar("SELECT 波特率||校验||VGA FROM DATA WHERE 投影机型号='Epson EB-1410Wi'"),
              GetParam().bSecondTaken ? "2400奇11" : "9600无534F555243452031310D");
    EXPECT_EQ(m_db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号 IN ('Epson EMP-53','Epson EB-1410Wi')"),
              "2");
    EXPECT_EQ(m_db.Scalar("SELECT VIDEO FROM DATA WHERE 投影机型号='Fresh Model'"), "0B");
}

INSTANTIATE_TEST_SUITE_P(
    Choices, ConflictChoices,
    ::testing::Values(SChoiceCase{"KeepAll", {}, EChoice::Keep, false, false},
                      SChoiceCase{"TakeAll", {}, EChoice::Take, true, true},
                      SChoiceCase{"TakeFirstOnly", {EChoice::Take}, EChoice::Keep, true, false},
                      SChoiceCase{"TakeAllButKeepFirst", {EChoice::Keep}, EChoice::Take, false, true}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST_F(LibraryTest, FailureHalfWayLeavesTheLibraryAsItWas) {
    // The engine itself refuses one insert in the middle of the import.
    m_db.Exec("CREATE TRIGGER refuse BEFORE INSERT ON DATA WHEN NEW.投影机型号 = 'Model 50' "
              "BEGIN SELECT RAISE(ABORT, 'injected failure'); END;");
    std::string strCsv = kHeader;
    strCsv += "Epson EMP-53,115200,偶,AA,BB,CC,DD\r\n"; // a take before the failure
    for (int i = 0; i < 100; ++i)
        strCsv += "Model " + std::to_string(i) + ",9600,无,0A,0B,0C,0D\r\n";
    const auto before = testfiles::Rows(m_db.File());
    CImportPreview preview;
    ASSERT_TRUE(Preview(preview, strCsv));
    preview.SetChoiceForAll(EChoice::Take);
    const SWriteResult result = ApplyImport(preview, Lib());
    EXPECT_FALSE(result.bOk);
    // The cause is a kind each face words, and the engine's own text for the command line.
    EXPECT_EQ(result.error.eCode, ELibraryError::WriteFailed);
    EXPECT_EQ(result.error.system.eKind, base::EFileError::Other);
    EXPECT_EQ(result.error.system.strSystem, "injected failure");
    EXPECT_EQ(result.nInserted, 0u);
    EXPECT_EQ(testfiles::Rows(m_db.File()), before);
}

TEST_F(LibraryTest, WriteProtectedFileIsRefused) {
    CImportPreview preview;
    ASSERT_TRUE(Preview(preview, std::string(kHeader) + "New One,9600,无,0A,0B,0C,0D\r\n"));
    const auto before = testfiles::Rows(m_db.File());
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(m_db.File(), readOnly);
    const SWriteResult result = ApplyImport(preview, Lib());
    EXPECT_FALSE(result.bOk);
    EXPECT_EQ(result.error.eCode, ELibraryError::LibraryReadOnly) << Describe(result.error);
    EXPECT_EQ(testfiles::Rows(m_db.File()), before);
    EXPECT_EQ(fs::status(m_db.File()).permissions() & fs::perms::owner_write, fs::perms::none)
        << "the import does not lift the protection";
}

TEST_F(LibraryTest, ReadOnlyMediumIsRefused) {
    CImportPreview preview;
    testfiles::Write(In("in.csv"), std::string(kHeader) + "New One,9600,无,0A,0B,0C,0D\r\n");
    const auto before = testfiles::Rows(m_db.File());
    // The library's folder seen read-only (as on a CD), as the working folder.
    CReadOnlyView medium(m_db.Folder());
    if (!medium.Made())
        GTEST_SKIP() << "no read-only view of a folder can be made here";
    ASSERT_TRUE(preview.Load(Utf8FromPath(In("in.csv")), "data.mdb")) << Describe(preview.Error());
    const SWriteResult result = ApplyImport(preview, "data.mdb");
    EXPECT_FALSE(result.bOk);
    EXPECT_EQ(result.error.eCode, ELibraryError::LibraryReadOnly) << Describe(result.error);
    EXPECT_EQ(testfiles::Rows(m_db.File()), before);
}

TEST_F(LibraryTest, LockedLibraryIsRefused) {
    CImportPreview preview;
    ASSERT_TRUE(Preview(preview, std::string(kHeader) + "New One,9600,无,0A,0B,0C,0D\r\n"));
    const auto before = testfiles::Rows(m_db.File());
    sqlite3* pOther = nullptr;
    ASSERT_EQ(sqlite3_open(Utf8FromPath(m_db.File()).c_str(), &pOther), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(pOther, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    SApplyOptions options;
    options.nBusyTimeoutMs = 20;
    const SWriteResult result = ApplyImport(preview, Lib(), options);
    sqlite3_exec(pOther, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(pOther);
    EXPECT_FALSE(result.bOk);
    EXPECT_EQ(result.error.eCode, ELibraryError::LibraryBusy) << Describe(result.error);
    EXPECT_EQ(testfiles::Rows(m_db.File()), before);
    // Once the other program lets go, the same preview goes in.
    EXPECT_TRUE(ApplyImport(preview, Lib(), options).bOk);
    EXPECT_EQ(m_db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号='New One'"), "1");
}

TEST_F(LibraryTest, LibraryChangedSincePreviewIsRefused) {
    CImportPreview preview;
    ASSERT_TRUE(Preview(preview,
                        std::string(kHeader) + "A One,9600,无,0A,0B,0C,0D\r\nB Two,9600,无,0A,0B,0C,0D\r\n"));
    m_db.Exec("INSERT INTO DATA VALUES ('B Two','4800','奇','01','02','03','04')");
    const auto before = testfiles::Rows(m_db.File());
    const SWriteResult result = ApplyImport(preview, Lib());
    EXPECT_FALSE(result.bOk);
    EXPECT_EQ(result.error.eCode, ELibraryError::LibraryChanged) << Describe(result.error);
    EXPECT_EQ(testfiles::Rows(m_db.File()), before);
}

TEST_F(LibraryTest, MergeAnotherDataMdbLeavesTheMicrophoneTableAlone) {
    // The other installer's library: one model changed, one added, one with
    // a NULL cell, and a microphone table of their own.
    const fs::path other = m_db.Folder() / "other.mdb";
    fs::copy_file(CTestDatabase::ShippedFile(), other);
    sqlite3* pDb = nullptr;
    ASSERT_EQ(sqlite3_open(Utf8FromPath(other).c_str(), &pDb), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(pDb,
                           "UPDATE DATA SET VIDEO='0D0E' WHERE 投影机型号='Epson EMP-53';"
                           "INSERT INTO DATA VALUES ('Their Model','38400','偶','A1','B2','C3','D4');"
                           "INSERT INTO DATA VALUES ('Broken',NULL,'无','A1','B2','C3','D4');"
                           "UPDATE htset SET tdnum='7', qjnum='3';",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(pDb);
    const std::string strMicBefore =
        m_db.Scalar("SELECT group_concat(htnum||tdnum||qjnum||bitnum||tyjnum,';') FROM htset");

    CImportPreview preview;
    ASSERT_TRUE(preview.Load(Utf8FromPath(other), Lib())) << Describe(preview.Error());
    EXPECT_TRUE(preview.FromDatabase());
    const SPreviewCounts counts = preview.Counts();
    EXPECT_EQ(counts.nNew, 1u);
    EXPECT_EQ(counts.nConflict, 1u);
    EXPECT_EQ(counts.nInvalid, 1u);
    EXPECT_EQ(counts.nIdentical, std::stoul(m_db.Scalar("SELECT count(*) FROM DATA")) - 1);
    for (std::size_t i = 0; i < preview.RowCount(); ++i) {
        if (preview.Class(i) == ERowClass::Invalid) {
            EXPECT_EQ(preview.Problem(i), ERowProblem::NullCell);
            EXPECT_EQ(preview.ProblemDetail(i), 1u); // the baud rate's column
        }
    }
    preview.SetChoiceForAll(EChoice::Take);
    const SWriteResult result = ApplyImport(preview, Lib());
    ASSERT_TRUE(result.bOk) << Describe(result.error);
    EXPECT_EQ(m_db.Scalar("SELECT VIDEO FROM DATA WHERE 投影机型号='Epson EMP-53'"), "0D0E");
    EXPECT_EQ(m_db.Scalar("SELECT 波特率 FROM DATA WHERE 投影机型号='Their Model'"), "38400");
    EXPECT_EQ(m_db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号='Broken'"), "0");
    EXPECT_EQ(m_db.Scalar("SELECT group_concat(htnum||tdnum||qjnum||bitnum||tyjnum,';') FROM htset"),
              strMicBefore);
}

// An empty library with the awkward models the installers name.
class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_db.Exec("INSERT INTO DATA VALUES ('Zeta \"Pro\", it''s 明基','9600','无','0A','0B','0C','0D');"
                  "INSERT INTO DATA VALUES ('Alpha','115200','偶','AABB','ccdd','01','02');"
                  "INSERT INTO DATA VALUES ('Two\nLines','2400','奇','11','22','33','44');");
    }
    CTestDatabase m_db{true};
};

TEST_F(ExportTest, WritesTheLayoutByteForByte) {
    const fs::path csv = m_db.Folder() / "out.csv";
    const SWriteResult result = ExportLibrary(Utf8FromPath(m_db.File()), Utf8FromPath(csv));
    ASSERT_TRUE(result.bOk) << Describe(result.error);
    EXPECT_EQ(result.nExported, 3u);
    EXPECT_EQ(testfiles::Read(csv), "\xEF\xBB\xBF"
                                    "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n"
                                    "Alpha,115200,偶,AABB,ccdd,01,02\r\n"
                                    "\"Two\nLines\",2400,奇,11,22,33,44\r\n"
                                    "\"Zeta \"\"Pro\"\", it's 明基\",9600,无,0A,0B,0C,0D\r\n");
    EXPECT_FALSE(fs::exists(PathFromUtf8(Utf8FromPath(csv) + ".part")));
}

TEST_F(ExportTest, RoundTripGivesTheSameRowsAndBytes) {
    const fs::path csv = m_db.Folder() / "out.csv";
    ASSERT_TRUE(ExportLibrary(Utf8FromPath(m_db.File()), Utf8FromPath(csv)).bOk);
    const auto exported = testfiles::Rows(m_db.File());

    CTestDatabase empty(true, false);
    CImportPreview preview;
    ASSERT_TRUE(preview.Load(Utf8FromPath(csv), Utf8FromPath(empty.File()))) << Describe(preview.Error());
    EXPECT_EQ(preview.Counts().nNew, 3u);
    EXPECT_EQ(preview.Counts().nInvalid, 0u);
    ASSERT_TRUE(ApplyImport(preview, Utf8FromPath(empty.File())).bOk);
    EXPECT_EQ(testfiles::Rows(empty.File()), exported);

    const fs::path again = m_db.Folder() / "again.csv";
    ASSERT_TRUE(ExportLibrary(Utf8FromPath(empty.File()), Utf8FromPath(again)).bOk);
    EXPECT_EQ(testfiles::Read(again), testfiles::Read(csv));
}

// An export never replaces the library in use, another database or a file
// named like one; the library stays exactly as it was.
struct SRefusedTarget {
    const char* pszName;
    std::string strTarget; // in the library's folder
    ELibraryError eError;
};
void PrintTo(const SRefusedTarget& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class RefusedExports : public ExportTest, public ::testing::WithParamInterface<SRefusedTarget> {};

TEST_P(RefusedExports, LeaveTheLibraryAlone) {
    const fs::path folder = m_db.Folder();
    fs::create_directory(folder / "sub");
    std::error_code error;
    fs::create_symlink(folder / "data.mdb", folder / "link.csv", error);
    fs::create_hard_link(folder / "data.mdb", folder / "hard.csv", error);
    fs::copy_file(folder / "data.mdb", folder / "copy.sqlite");
    const std::string strBefore = testfiles::Read(folder / "data.mdb");
    const fs::path target = folder / GetParam().strTarget;
    if (GetParam().strTarget.ends_with(".csv") && !fs::exists(target))
        GTEST_SKIP() << "the file system holds no links";
    const std::string strTargetBefore = testfiles::Read(target);

    const SWriteResult result = ExportLibrary(Utf8FromPath(m_db.File()), Utf8FromPath(target));
    EXPECT_FALSE(result.bOk);
    EXPECT_EQ(result.eFailure, EWriteFailure::Refused);
    EXPECT_EQ(result.error.eCode, GetParam().eError) << Describe(result.error);
    EXPECT_EQ(result.error.strPath, Utf8FromPath(target));
    EXPECT_EQ(testfiles::Read(folder / "data.mdb"), strBefore);
    EXPECT_EQ(testfiles::Read(target), strTargetBefore);
    EXPECT_FALSE(fs::exists(PathFromUtf8(Utf8FromPath(target) + ".part")));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, RefusedExports,
    ::testing::Values(SRefusedTarget{"TheLibrary", "data.mdb", ELibraryError::ExportOverLibrary},
                      SRefusedTarget{"TheLibraryByAnotherPath", "sub/../data.mdb",
                                     ELibraryError::ExportOverLibrary},
                      SRefusedTarget{"ASymbolicLink", "link.csv", ELibraryError::ExportOverLibrary},
                      SRefusedTarget{"AHardLink", "hard.csv", ELibraryError::ExportOverLibrary},
                      SRefusedTarget{"AnotherDatabase", "copy.sqlite", ELibraryError::ExportOverDatabase},
                      SRefusedTarget{"AnMdbName", "new.MDB", ELibraryError::ExportMdbName}),
    [](const auto& info) { return std::string(info.param.pszName); });

// An export killed before its rename leaves a .part file; the next export
// removes it, even one that fails.
TEST_F(ExportTest, StalePartialFileIsRemoved) {
    const fs::path csv = m_db.Folder() / "out.csv";
    testfiles::Write(Utf8FromPath(csv) + ".part", "\xEF\xBB\xBFmodel,baud");
    EXPECT_FALSE(ExportLibrary(Utf8FromPath((m_db.Folder() / "missing.mdb")), Utf8FromPath(csv)).bOk);
    EXPECT_FALSE(fs::exists(PathFromUtf8(Utf8FromPath(csv) + ".part")));
    testfiles::Write(Utf8FromPath(csv) + ".part", "\xEF\xBB\xBFmodel,baud");
    ASSERT_TRUE(ExportLibrary(Utf8FromPath(m_db.File()), Utf8FromPath(csv)).bOk);
    EXPECT_FALSE(fs::exists(PathFromUtf8(Utf8FromPath(csv) + ".part")));
}

TEST_F(ExportTest, UnwritableTargetLeavesNoFile) {
    const fs::path csv = m_db.Folder() / "no-such-folder" / "out.csv";
    const SWriteResult result = ExportLibrary(Utf8FromPath(m_db.File()), Utf8FromPath(csv));
    EXPECT_FALSE(result.bOk);
    EXPECT_EQ(result.error.eCode, ELibraryError::CannotWriteCsv) << Describe(result.error);
    EXPECT_EQ(result.error.strPath, Utf8FromPath(csv));
    EXPECT_FALSE(fs::exists(csv));
}

// The newcomer's round: export the shipped library, change a code and add a
// model in a spreadsheet, import it back, take both, and the controller's
// VIDEO code names the new model.
TEST_F(LibraryTest, SpreadsheetRoundAndReadBackLookup) {
    const fs::path csv = m_db.Folder() / "library.csv";
    ASSERT_TRUE(ExportLibrary(Lib(), Utf8FromPath(csv)).bOk);
    std::string strText = testfiles::Read(csv);
    const auto nAt = strText.find(kEmp53Csv);
    ASSERT_NE(nAt, std::string::npos);
    strText.replace(nAt, kEmp53Csv.size(),
                    "Epson EMP-53,9600,无,534F555243452031310D,534F555243452033310D,505752204F4E0D,"
                    "505752204F46460D\r\n");
    strText += "Classroom X1,19200,无,0A0B,7E30305A0D,0C,0D\r\n";
    testfiles::Write(csv, strText);

    CImportPreview preview;
    ASSERT_TRUE(preview.Load(Utf8FromPath(csv), Lib())) << Describe(preview.Error());
    EXPECT_EQ(preview.Counts().nNew, 1u);
    EXPECT_EQ(preview.Counts().nConflict, 1u);
    EXPECT_EQ(preview.Counts().nInvalid, 0u);
    preview.SetChoiceForAll(EChoice::Take);
    ASSERT_TRUE(ApplyImport(preview, Lib()).bOk);

    // The controller reports the code in lower case.
    auto pRead = CDatabase::OpenRead(stmt::SelectByVideo("7e30305a0d"));
    ASSERT_FALSE(pRead->IsEmpty());
    EXPECT_EQ(pRead->Field("投影机型号"), "Classroom X1");
}

#ifdef VELMORA_LIBRARY_CSV
// The library the shipped file was made from reads back as identical rows.
TEST_F(LibraryTest, SharedLibraryCsvMatchesTheShippedFile) {
    CImportPreview preview;
    ASSERT_TRUE(preview.Load(VELMORA_LIBRARY_CSV, Lib())) << Describe(preview.Error());
    EXPECT_EQ(preview.Counts().nIdentical, std::stoul(m_db.Scalar("SELECT count(*) FROM DATA")));
    EXPECT_EQ(preview.Counts().nNew + preview.Counts().nConflict + preview.Counts().nInvalid, 0u);
}
#endif

TEST_F(LibraryTest, LargeImportReportsProgressAndCancelLeavesNothing) {
    std::string strCsv = kHeader;
    for (int i = 0; i < 30000; ++i)
        strCsv += "Bulk " + std::to_string(i) + ",9600,无,0A0B0C,0D0E0F,1011,1213\r\n";
    testfiles::Write(In("bulk.csv"), strCsv);
    std::uint64_t nLast = 0, nTotal = 0;
    CImportPreview preview;
    ASSERT_TRUE(
        preview.Load(Utf8FromPath(In("bulk.csv")), Lib(), [&](std::uint64_t nDone, std::uint64_t nAll) {
            nLast = nDone;
            nTotal = nAll;
            return true;
        }));
    EXPECT_EQ(nLast, nTotal);
    EXPECT_EQ(preview.Counts().nNew, 30000u);

    const auto before = testfiles::Rows(m_db.File());
    SApplyOptions options;
    options.progress = [](std::uint64_t nDone, std::uint64_t) { return nDone < 10000; };
    const SWriteResult result = ApplyImport(preview, Lib(), options);
    EXPECT_FALSE(result.bOk);
    EXPECT_EQ(result.error.eCode, ELibraryError::ImportCancelled) << Describe(result.error);
    EXPECT_EQ(testfiles::Rows(m_db.File()), before);

    ASSERT_TRUE(ApplyImport(preview, Lib()).bOk);
    EXPECT_EQ(m_db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号 LIKE 'Bulk %'"), "30000");
}

} // namespace
