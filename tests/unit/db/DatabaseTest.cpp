// The store on real SQLite files: reads, writes, quoting, letter case, the
// repair of the microphone rows and the files it refuses to open.
#include "Database.h"
#include "AsciiText.h"
#include "Statements.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Row = std::vector<std::string>;

const std::vector<std::string> kLibraryColumns = {"投影机型号", "波特率",   "校验",     "VGA",
                                                  "VIDEO",      "POWER ON", "POWER OFF"};
const std::vector<std::string> kMicColumns = {"tdnum", "qjnum", "bitnum", "tyjnum"};

// Every record of a read, the named fields of each as text.
std::vector<Row> ReadAll(const std::string& strStatement, const std::vector<std::string>& columns,
                         CursorType cursor = CursorType::Keyset) {
    std::vector<Row> rows;
    auto pWalker = CDatabase::OpenRead(strStatement, cursor);
    for (; !pWalker->AtEnd(); pWalker->MoveNext()) {
        Row row;
        for (const auto& strColumn : columns)
            row.push_back(pWalker->Field(strColumn));
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> Models(const std::string& strStatement) {
    std::vector<std::string> models;
    for (const auto& row : ReadAll(strStatement, {"投影机型号"}))
        models.push_back(row[0]);
    return models;
}

int Count(const CTestDatabase& db, const std::string& strWhere = "") {
    return std::stoi(db.Scalar("SELECT count(*) FROM DATA" + strWhere));
}

void Insert(const Row& v) {
    CDatabase::ExecuteWrite(stmt::InsertModel(v[0], v[1], v[2], v[3], v[4], v[5], v[6]));
}

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageSink([this](const std::string& strText) { m_messages.push_back(strText); });
    }
    void TearDown() override { SetMessageSink(nullptr); }

    std::vector<std::string> m_messages;
};

// --- reads and writes through the two kinds of connection --------------------

TEST_F(DatabaseTest, WriteIsSeenByTheNextReadOnTheSharedConnection) {
    CTestDatabase db;
    const Row model = {"Velmora Test 1", "57600", "奇", "0A0B", "0C0D", "0E0F", "1011"};
    // A read before the write, so the shared connection has already looked at the table.
    EXPECT_TRUE(CDatabase::OpenRead(stmt::SelectModel(model[0]))->IsEmpty());

    Insert(model);
    EXPECT_EQ(ReadAll(stmt::SelectModel(model[0]), kLibraryColumns), std::vector<Row>{model});

    CDatabase::ExecuteWrite(stmt::DeleteModel(model[0]));
    EXPECT_TRUE(CDatabase::OpenRead(stmt::SelectModel(model[0]))->IsEmpty());

    CDatabase::ExecuteWrite(stmt::SaveMicRow("1", "2", "3", "0", "7"));
    CDatabase::ExecuteWrite(stmt::StoreMicRow("4", "5", "6", "1", "8"));
    auto mic = ReadAll(stmt::SelectMicTableForSet(), kMicColumns, CursorType::Dynamic);
    ASSERT_EQ(mic.size(), 20u);
    EXPECT_EQ(mic[7], (Row{"1", "2", "3", "0"}));
    EXPECT_EQ(mic[8], (Row{"4", "5", "6", "1"}));
    EXPECT_EQ(mic[9], (Row{"-1", "-1", "-1", "-1"}));
}

TEST_F(DatabaseTest, WriteThatMatchesNothingCountsAsDone) {
    CTestDatabase db;
    int nBefore = Count(db);
    EXPECT_NO_THROW(CDatabase::ExecuteWrite(stmt::DeleteModel("no such model")));
    EXPECT_NO_THROW(CDatabase::ExecuteWrite(stmt::SaveMicRow("1", "1", "1", "1", "20")));
    EXPECT_EQ(Count(db), nBefore);
    EXPECT_EQ(db.Scalar("SELECT count(*) FROM htset"), "20");
}

// A read stopped early (the duplicate check leaves at the first match) must not
// keep a lock: the write that follows would otherwise fail with "database is locked".
struct EarlyExit {
    const char* pszName;
    int nRecordsRead; // records walked before the walker goes away; -1: to the end
};

class EarlyExitRead : public DatabaseTest, public ::testing::WithParamInterface<EarlyExit> {};

TEST_P(EarlyExitRead, DoesNotBlockTheNextWrite) {
    CTestDatabase db;
    {
        auto pWalker = CDatabase::OpenRead(stmt::SelectLibrary());
        ASSERT_FALSE(pWalker->AtEnd());
        for (int i = 0; i < GetParam().nRecordsRead && !pWalker->AtEnd(); ++i)
            pWalker->MoveNext();
        if (GetParam().nRecordsRead < 0) {
            while (!pWalker->AtEnd())
                pWalker->MoveNext();
            // A walk that reached its end releases its lock even while the walker lives on.
            auto start = std::chrono::steady_clock::now();
            EXPECT_NO_THROW(CDatabase::ExecuteWrite(stmt::DeleteModel("Epson EMP-53")));
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
        }
        ASSERT_NE(pWalker->Field("投影机型号"), "") << "still on a record";
    }
    auto start = std::chrono::steady_clock::now();
    try {
        CDatabase::ExecuteWrite(stmt::DeleteModel("Epson EB-440W"));
    } catch (const CDatabaseError& error) {
        FAIL() << "write after an early-exit read failed: " << error.Text();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500))
        << "the write had to wait";
    EXPECT_EQ(db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号='Epson EB-440W'"), "0");
}

INSTANTIATE_TEST_SUITE_P(Walks, EarlyExitRead,
                         ::testing::Values(EarlyExit{"AfterFirstRecord", 0}, EarlyExit{"MidWalk", 3}),
                         [](const auto& info) { return std::string(info.param.pszName); });

TEST_F(DatabaseTest, FinishedWalkReleasesItsLockWhileTheWalkerLives) {
    CTestDatabase db;
    auto pWalker = CDatabase::OpenRead(stmt::SelectMicTable());
    while (!pWalker->AtEnd())
        pWalker->MoveNext();
    auto start = std::chrono::steady_clock::now();
    EXPECT_NO_THROW(CDatabase::ExecuteWrite(stmt::StoreMicRow("1", "1", "1", "1", "0")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(db.Scalar("SELECT tdnum FROM htset WHERE htnum='0'"), "1");
}

// A NULL cell ends the walk with a database error; what was handed over before
// it stays handed over, and the lock is gone once the walker is.
TEST_F(DatabaseTest, NullCellMidWalkRaisesAfterEarlierRecords) {
    CTestDatabase db(/*bEmpty=*/true, /*bOpen=*/false);
    db.Exec("INSERT INTO DATA VALUES ('A','9600','无','01','02','03','04');"
            "INSERT INTO DATA VALUES ('B','9600','无',NULL,'12','13','14');"
            "INSERT INTO DATA VALUES ('C','9600','无','21','22','23','24');");
    CDatabase::OpenShared();

    std::vector<std::string> handedOver;
    bool bRaised = false;
    {
        auto pWalker = CDatabase::OpenRead(stmt::SelectLibrarySorted());
        try {
            for (; !pWalker->AtEnd(); pWalker->MoveNext())
                for (const char* pszColumn : {"投影机型号", "波特率", "VGA", "VIDEO"})
                    handedOver.push_back(pWalker->Field(pszColumn));
        } catch (const CDatabaseError& error) {
            bRaised = true;
            ReportDatabaseError(error);
        }
        // The same cell read with a stand-in gives the stand-in.
        EXPECT_EQ(pWalker->FieldOr("VGA", "<none>"), "<none>");
    }
    EXPECT_TRUE(bRaised);
    EXPECT_EQ(handedOver, (std::vector<std::string>{"A", "9600", "01", "02", "B", "9600"}));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_FALSE(m_messages[0].empty());
    EXPECT_NO_THROW(CDatabase::ExecuteWrite(stmt::DeleteModel("C")));
}

TEST_F(DatabaseTest, EmptyTableGivesAnEmptyRead) {
    CTestDatabase db(/*bEmpty=*/true);
    for (const auto& strStatement : {stmt::SelectLibrarySorted(), stmt::SelectLibrary()}) {
        auto pWalker = CDatabase::OpenRead(strStatement);
        EXPECT_TRUE(pWalker->IsEmpty()) << strStatement;
        EXPECT_TRUE(pWalker->AtEnd()) << strStatement;
        EXPECT_THROW(pWalker->Field("VGA"), CDatabaseError);
    }
    // After one write the same read is no longer empty.
    Insert({"M", "2400", "无", "00", "11", "22", "33"});
    EXPECT_FALSE(CDatabase::OpenRead(stmt::SelectLibrary())->IsEmpty());
}

TEST_F(DatabaseTest, ReadOfUnknownColumnOrBadStatementRaises) {
    CTestDatabase db;
    auto pWalker = CDatabase::OpenRead(stmt::SelectLibrary());
    EXPECT_THROW(pWalker->Field("no such column"), CDatabaseError);
    // Column names compare without regard to letter case.
    EXPECT_EQ(pWalker->Field("video"), pWalker->Field("VIDEO"));
    EXPECT_THROW(CDatabase::OpenRead("SELECT * FROM nothing"), CDatabaseError);
    EXPECT_THROW(CDatabase::ExecuteWrite("DELETE FROM nothing"), CDatabaseError);
}

// --- apostrophes -------------------------------------------------------------

// An apostrophe in each of the seven values of a save, one at a time: the row
// is stored and read back exactly.
class ApostropheInValue : public DatabaseTest, public ::testing::WithParamInterface<int> {};

TEST_P(ApostropheInValue, IsStoredAndReadBackExactly) {
    CTestDatabase db;
    Row values = {"Velmora Q", "9600", "无", "0A", "0B", "0C", "0D"};
    values[static_cast<std::size_t>(GetParam())] = GetParam() == 0 ? "O'Neil 'X1'" : "x' OR '1'='1";
    int nBefore = Count(db);
    ASSERT_NO_THROW(Insert(values));
    EXPECT_EQ(Count(db), nBefore + 1);
    EXPECT_EQ(ReadAll(stmt::SelectModel(values[0]), kLibraryColumns), std::vector<Row>{values});
}

INSTANTIATE_TEST_SUITE_P(EachColumn, ApostropheInValue, ::testing::Range(0, 7));

TEST_F(DatabaseTest, ApostrophesCannotWidenASelectOrADelete) {
    CTestDatabase db;
    Insert({"O'Neil", "9600", "无", "01", "02", "03", "04"});
    const int nAll = Count(db);
    const std::string strInjection = "x' OR '1'='1";

    EXPECT_TRUE(CDatabase::OpenRead(stmt::SelectModel(strInjection))->IsEmpty());
    EXPECT_TRUE(CDatabase::OpenRead(stmt::SelectByVideo(strInjection))->IsEmpty());
    EXPECT_TRUE(CDatabase::OpenRead(stmt::SearchModels(strInjection, strInjection))->IsEmpty());
    EXPECT_EQ(Models(stmt::SelectModel("O'Neil")), std::vector<std::string>{"O'Neil"});
    EXPECT_EQ(Models(stmt::SearchModels("'NEIL", "'neil")), std::vector<std::string>{"O'Neil"});

    CDatabase::ExecuteWrite(stmt::DeleteModel(strInjection));
    CDatabase::ExecuteWrite(stmt::DeleteModel("O' OR 1=1; DELETE FROM DATA; --"));
    EXPECT_EQ(Count(db), nAll);
    CDatabase::ExecuteWrite(stmt::DeleteModel("O'Neil"));
    EXPECT_EQ(Count(db), nAll - 1);
}

TEST_F(DatabaseTest, ApostrophesCannotWidenAMicrophoneUpdate) {
    CTestDatabase db;
    CDatabase::ExecuteWrite(stmt::SaveMicRow("9", "9", "9", "9", "x' OR '1'='1"));
    CDatabase::ExecuteWrite(stmt::StoreMicRow("8", "8", "8", "8", "1' OR htnum<>'1"));
    EXPECT_EQ(db.Scalar("SELECT count(*) FROM htset WHERE tdnum<>'-1' OR qjnum<>'-1'"), "0");

    CDatabase::ExecuteWrite(stmt::SaveMicRow("a'", "'b", "''", "'", "3"));
    CDatabase::ExecuteWrite(stmt::StoreMicRow("c'", "d", "e", "f'", "4"));
    auto rows = ReadAll(stmt::SelectMicTable(), kMicColumns);
    ASSERT_EQ(rows.size(), 20u);
    EXPECT_EQ(rows[3], (Row{"a'", "'b", "''", "'"}));
    EXPECT_EQ(rows[4], (Row{"c'", "d", "e", "f'"}));
    EXPECT_EQ(db.Scalar("SELECT count(*) FROM htset WHERE tdnum<>'-1'"), "2");
}

// --- letter case and wildcards -------------------------------------------------

TEST_F(DatabaseTest, VideoComparesCaseBlindModelExactly) {
    CTestDatabase db;
    Insert({"ABC", "9600", "无", "AA", "5A3BC0DE", "CC", "DD"});
    Insert({"abc", "9600", "无", "AA", "fe01", "CC", "DD"});

    // A controller reply names the code in lower case; stored codes keep the case they were typed in.
    EXPECT_EQ(Models(stmt::SelectByVideo("5a3bc0de")), std::vector<std::string>{"ABC"});
    EXPECT_EQ(Models(stmt::SelectByVideo("FE01")), std::vector<std::string>{"abc"});
    EXPECT_EQ(Models(stmt::SelectByVideo("5a3bc0d")), std::vector<std::string>{});
    // A shipped upper-case code found by its lower-case form.
    EXPECT_FALSE(CDatabase::OpenRead(stmt::SelectByVideo("7e53560d"))->IsEmpty());

    EXPECT_EQ(Models(stmt::SelectModel("abc")), std::vector<std::string>{"abc"});
    CDatabase::ExecuteWrite(stmt::DeleteModel("abc"));
    EXPECT_EQ(db.Scalar("SELECT group_concat(投影机型号) FROM DATA WHERE 投影机型号 IN ('ABC','abc')"),
              "ABC");
}

struct Search {
    const char* pszName;
    const char* pszKeyword;
    std::vector<std::string> expected;
};

class ModelSearch : public DatabaseTest, public ::testing::WithParamInterface<Search> {};

TEST_P(ModelSearch, FindsTheMatchingModelsInOrder) {
    CTestDatabase db(/*bEmpty=*/true, /*bOpen=*/false);
    std::string strSql = "BEGIN;";
    for (const char* pszModel : {"EB-1410Wi", "eb-1410wi", "EB-1X10", "EB 14", "PT-100%", "投影机ab", "Zeta"})
        strSql +=
            std::string("INSERT INTO DATA VALUES ('") + pszModel + "','9600','无','01','02','03','04');";
    db.Exec(strSql + "COMMIT;");
    CDatabase::OpenShared();
    std::string strKeyword = GetParam().pszKeyword;
    EXPECT_EQ(Models(stmt::SearchModels(base::AsciiUpper(strKeyword), base::AsciiLower(strKeyword))),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keywords, ModelSearch,
    ::testing::Values(Search{"Substring", "1410", {"EB-1410Wi", "eb-1410wi"}},
                      Search{"BothCases", "eb-14", {"EB-1410Wi", "eb-1410wi"}},
                      Search{"UnderscoreIsOneCharacter", "EB_14", {"EB 14", "EB-1410Wi", "eb-1410wi"}},
                      Search{"PercentIsAnyRun", "EB%10", {"EB-1410Wi", "EB-1X10", "eb-1410wi"}},
                      Search{"Chinese", "机A", {"投影机ab"}}, Search{"Nothing", "QQQ", {}}),
    [](const auto& info) { return std::string(info.param.pszName); });

// --- opening the file ----------------------------------------------------------

TEST_F(DatabaseTest, MissingMicrophoneRowsArePutBackAndOthersLeftAlone) {
    CTestDatabase db(/*bEmpty=*/false, /*bOpen=*/false);
    db.Exec("DELETE FROM htset WHERE htnum IN ('0','7','19');"
            "UPDATE htset SET tdnum='2', qjnum='3', bitnum='4', tyjnum='1' WHERE htnum='5';"
            "INSERT INTO htset VALUES ('20','5','5','5','5');"
            "INSERT INTO htset VALUES ('abc','6','6','6','6');");
    CDatabase::OpenShared();
    CDatabase::CloseShared();
    CDatabase::OpenShared(); // a second open adds nothing

    EXPECT_EQ(db.Scalar("SELECT count(*) FROM htset"), "22");
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(db.Scalar("SELECT count(*) FROM htset WHERE htnum='" + std::to_string(i) + "'"), "1") << i;
    }
    for (const char* pszRow : {"0", "7", "19"}) {
        EXPECT_EQ(db.Scalar(std::string("SELECT tdnum||qjnum||bitnum||tyjnum FROM htset WHERE htnum='") +
                            pszRow + "'"),
                  "-1-1-1-1")
            << pszRow;
    }
    EXPECT_EQ(db.Scalar("SELECT tdnum||qjnum||bitnum||tyjnum FROM htset WHERE htnum='5'"), "2341");
    EXPECT_EQ(db.Scalar("SELECT tdnum FROM htset WHERE htnum='20'"), "5");
    EXPECT_EQ(db.Scalar("SELECT tdnum FROM htset WHERE htnum='abc'"), "6");
}

struct BadFile {
    const char* pszName;
    // Puts the bad file (or no file) in place of data.mdb.
    void (*make)(const CTestDatabase&);
};

std::string FileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const std::string& strBytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << strBytes;
}

class RefusedFile : public DatabaseTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(RefusedFile, IsNotOpenedAndNotChanged) {
    CTestDatabase db(/*bEmpty=*/false, /*bOpen=*/false);
    GetParam().make(db);
    const bool bExisted = fs::exists(db.File());
    const std::string strBefore = bExisted ? FileBytes(db.File()) : "";

    // A good open first: a refused one must not leave it in place.
    fs::copy_file(CTestDatabase::ShippedFile(), db.Folder() / "good.mdb");
    CDatabase::OpenShared("good.mdb");
    ASSERT_TRUE(CDatabase::IsOpen());
    EXPECT_THROW(CDatabase::OpenShared("data.mdb"), CDatabaseError);
    EXPECT_FALSE(CDatabase::IsOpen());
    EXPECT_THROW(CDatabase::OpenRead(stmt::SelectLibrary()), CDatabaseError);

    ASSERT_EQ(fs::exists(db.File()), bExisted) << "the open created the file";
    if (bExisted) {
        EXPECT_EQ(FileBytes(db.File()), strBefore);
    }
    EXPECT_FALSE(fs::exists(db.Folder() / "data.mdb-journal"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedFile,
    ::testing::Values(BadFile{"Missing", [](const CTestDatabase& db) { fs::remove(db.File()); }},
                      BadFile{"AccessFormat",
                              [](const CTestDatabase& db) {
                                  std::string strBytes("\x00\x01\x00\x00Standard Jet DB\x00", 20);
                                  strBytes.resize(4096, '\x5a');
                                  WriteBytes(db.File(), strBytes);
                              }},
                      BadFile{"PlainText",
                              [](const CTestDatabase& db) { WriteBytes(db.File(), "model,baud\nA,9600\n"); }},
                      BadFile{"EmptyFile", [](const CTestDatabase& db) { WriteBytes(db.File(), ""); }},
                      BadFile{"WithoutTables",
                              [](const CTestDatabase& db) { db.Exec("DROP TABLE DATA; DROP TABLE htset;"); }},
                      BadFile{"WithoutHtset", [](const CTestDatabase& db) { db.Exec("DROP TABLE htset;"); }},
                      BadFile{"WithoutData", [](const CTestDatabase& db) { db.Exec("DROP TABLE DATA;"); }}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST_F(DatabaseTest, WriteNeverCreatesTheFile) {
    CTestDatabase db;
    CDatabase::CloseShared(); // Windows deletes no file that is open
    fs::remove(db.File());
    EXPECT_THROW(CDatabase::ExecuteWrite(stmt::DeleteModel("x")), CDatabaseError);
    EXPECT_FALSE(fs::exists(db.File()));
}

// --- error texts -------------------------------------------------------------

struct ErrorText {
    long nCode;
    const char* pszText;
    const char* pszExpected;
};

void PrintTo(const ErrorText& e, std::ostream* pOut) {
    *pOut << std::hex << "0x" << e.nCode << " \"" << e.pszText << "\"";
}

// An error code as the caller holds it: a long, which is 32 bits on Windows,
// where a code with the top bit set is negative.
constexpr long Code(long long nValue) {
    return static_cast<long>(nValue);
}

class DatabaseErrorTextTest : public ::testing::TestWithParam<ErrorText> {};

TEST_P(DatabaseErrorTextTest, GivesTheUserText) {
    EXPECT_EQ(DatabaseErrorText(GetParam().nCode, GetParam().pszText), GetParam().pszExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, DatabaseErrorTextTest,
    ::testing::Values(ErrorText{5, "database is locked", "database is locked"},
                      ErrorText{1, "no such table: DATA\r\n", "no such table: DATA"},
                      ErrorText{1, "line one\r\nline two\r\n", "line one\r\nline two"},
                      // Codes without text: interface-specific errors 0x0201..0xFFFF are numbered from 1.
                      ErrorText{Code(0x80040201LL), "", "IDispatch error #1"},
                      ErrorText{Code(0x80040E37LL), "", "IDispatch error #3127"},
                      ErrorText{Code(0x8004FFFFLL), "", "IDispatch error #65023"},
                      ErrorText{static_cast<long>(static_cast<std::int32_t>(0x80040205u)), "",
                                "IDispatch error #5"},
                      ErrorText{Code(0x80040200LL), "", "Unknown error 0x80040200"},
                      ErrorText{Code(0x800401FFLL), "", "Unknown error 0x800401FF"},
                      ErrorText{Code(0x80050201LL), "", "Unknown error 0x80050201"},
                      ErrorText{Code(0x00040201LL), "", "Unknown error 0x40201"},
                      ErrorText{Code(0x80004005LL), "\r\n", "Unknown error 0x80004005"},
                      ErrorText{10, "", "Unknown error 0xA"}));

TEST_F(DatabaseTest, ReportShowsTheErrorText) {
    ReportDatabaseError(CDatabaseError(0x80040E14L, "Syntax error in FROM clause.\r\n"));
    ReportDatabaseError(CDatabaseError(0x80040E14L, ""));
    EXPECT_EQ(m_messages,
              (std::vector<std::string>{"Syntax error in FROM clause.", "IDispatch error #3092"}));
}

} // namespace
