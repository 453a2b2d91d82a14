// The "library" command line, parsed from argument vectors as velmora-cli
// would receive them, on a fresh data.mdb in the working folder.
#include "LibraryCommand.h"
#include "LibraryFiles.h"
#include "TestDatabase.h"
#include "Utf8Path.h"

#include <CLI/CLI.hpp>
#include <gtest/gtest.h>

#include <iostream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Runs one command line; the exit status and what went to stdout and stderr.
struct SRun {
    int nExit = -1;
    std::string strOut, strErr;
};

SRun RunCli(std::vector<std::string> args) {
    CLI::App app("velmora-cli");
    app.require_subcommand(1);
    SRun run;
    cli::AddLibraryCommand(app, &run.nExit);
    std::vector<const char*> argv{"velmora-cli"};
    for (const std::string& strArg : args)
        argv.push_back(strArg.c_str());
    std::ostringstream out, err;
    std::streambuf* pOut = std::cout.rdbuf(out.rdbuf());
    std::streambuf* pErr = std::cerr.rdbuf(err.rdbuf());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& error) {
        run.nExit = app.exit(error, out, err) == 0 ? 0 : 64;
    }
    std::cout.rdbuf(pOut);
    std::cerr.rdbuf(pErr);
    run.strOut = out.str();
    run.strErr = err.str();
    return run;
}

const std::string kCsv =
    "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\n"
    "Epson EMP-53,9600,无,534F555243452031310D,534F555243452034310D,505752204F4E0D,505752204F46460D\n"
    "Epson EB-1410Wi,4800,无,0A,0B,0C,0D\n"
    "Cli New,9600,奇,0A,0B,0C,0D\n"
    "Cli Bad,9600,奇,0A,0B,0C,0\n";

struct SCommandCase {
    const char* pszName;
    std::vector<std::string> args;
    int nExit;
    std::vector<std::string> outputs; // each must appear in stdout or stderr
    std::string strNewRows;           // rows named 'Cli New' afterwards
    std::string strTakenBaud;         // baud of Epson EB-1410Wi afterwards
};
void PrintTo(const SCommandCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class LibraryCommand : public ::testing::TestWithParam<SCommandCase> {
protected:
    void SetUp() override {
        testfiles::Write(m_db.Folder() / "in.csv", kCsv);
        testfiles::Write(m_db.Folder() / "access.mdb", std::string("\0\x01\0\0Standard Jet DB\0", 20));
        testfiles::Write(m_db.Folder() / "header.csv", "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n");
        // An export cut short by four bytes: the last code lost its end.
        testfiles::Write(m_db.Folder() / "cut.csv", "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n"
                                                    "Cli New,9600,奇,0A,0B,0C,0D\r\n"
                                                    "Epson EB-1410Wi,4800,无,0A,0B,0C,7E5046");
        // Cli New with the parity 偶 in GBK (C5 BC, also the UTF-8 ż).
        testfiles::Write(m_db.Folder() / "gbk.csv", "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n"
                                                    "Cli New,9600,\xC5\xBC,0A,0B,0C,0D\r\n");
    }
    CTestDatabase m_db;
};

TEST_P(LibraryCommand, RunsAndReports) {
    const SCommandCase& c = GetParam();
    const SRun run = RunCli(c.args);
    EXPECT_EQ(run.nExit, c.nExit) << run.strOut << run.strErr;
    for (const std::string& strText : c.outputs)
        EXPECT_NE((run.strOut + run.strErr).find(strText), std::string::npos)
            << "missing: " << strText << "\n"
            << run.strOut << run.strErr;
    EXPECT_EQ(m_db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号='Cli New'"), c.strNewRows);
    EXPECT_EQ(m_db.Scalar("SELECT 波特率 FROM DATA WHERE 投影机型号='Epson EB-1410Wi'"), c.strTakenBaud);
}

const std::vector<std::string> kCounts{"new: 1\n", "identical: 1\n", "conflicting: 1\n", "invalid: 1\n",
                                       "line 5: invalid: POWER OFF has an odd number of digits"};

std::vector<std::string> With(std::vector<std::string> texts, const std::string& strMore) {
    texts.push_back(strMore);
    return texts;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, LibraryCommand,
    ::testing::Values(
        SCommandCase{"ImportKeep",
                     {"library", "import", "in.csv", "--on-conflict", "keep"},
                     0,
                     With(kCounts, "written: 1 new, 0 updated, 1 identical row already there, 1 conflicting "
                                   "row kept as in the library, 1 invalid row not imported\n"),
                     "1",
                     "9600"},
        SCommandCase{"ImportTake",
                     {"library", "import", "in.csv", "--on-conflict", "take"},
                     0,
                     With(kCounts, "written: 1 new, 1 updated, 1 identical row already there, 1 invalid row "
                                   "not imported\n"),
                     "1",
                     "4800"},
        SCommandCase{"DryRunWritesNothing",
                     {"library", "import", "in.csv", "--on-conflict", "take", "--dry-run"},
                     0,
                     With(kCounts, "dry run: nothing written"),
                     "0",
                     "9600"},
        SCommandCase{"ExplicitDb",
                     {"library", "import", "in.csv", "--db", "data.mdb", "--on-conflict", "take"},
                     0,
                     kCounts,
                     "1",
                     "4800"},
        SCommandCase{
            "OnConflictIsRequired", {"library", "import", "in.csv"}, 64, {"--on-conflict"}, "0", "9600"},
        SCommandCase{"OnConflictValueChecked",
                     {"library", "import", "in.csv", "--on-conflict", "merge"},
                     64,
                     {"merge"},
                     "0",
                     "9600"},
        SCommandCase{"NotAVelmoraFile",
                     {"library", "import", "access.mdb", "--on-conflict", "keep"},
                     2,
                     {"access.mdb is not a Velmora data.mdb"},
                     "0",
                     "9600"},
        SCommandCase{"MissingFile",
                     {"library", "import", "missing.csv", "--on-conflict", "keep"},
                     2,
                     {"cannot open missing.csv: "},
                     "0",
                     "9600"},
        // A missing library is said as such, with the folder it was looked for in.
        SCommandCase{"MissingLibrary",
                     {"library", "export", "out.csv", "--db", "nowhere/data.mdb"},
                     3,
                     {"cannot find nowhere/data.mdb: the folder ", "nowhere does not hold it"},
                     "0",
                     "9600"},
        SCommandCase{"Export",
                     {"library", "export", "out.csv"},
                     0,
                     {"exported ", " models to out.csv\n"},
                     "0",
                     "9600"},
        SCommandCase{
            "HeaderOnlyWritesNothing",
            {"library", "import", "header.csv", "--on-conflict", "take"},
            1,
            {"written: 0 new, 0 updated, 0 identical rows already there, 0 invalid rows not imported\n"},
            "0",
            "9600"},
        SCommandCase{
            "CutShortRowIsNotWritten",
            {"library", "import", "cut.csv", "--on-conflict", "take"},
            0,
            {"line 3: invalid: the file ends inside this row (no line break); it may be incomplete",
             "written: 1 new, 0 updated, 0 identical rows already there, 1 invalid row not imported\n"},
            "1",
            "9600"},
        SCommandCase{"LibraryNotUsableOnImport",
                     {"library", "import", "in.csv", "--db", "access.mdb", "--on-conflict", "keep"},
                     3,
                     {"access.mdb is not a Velmora data.mdb"},
                     "0",
                     "9600"},
        SCommandCase{"MissingLibraryOnImport",
                     {"library", "import", "in.csv", "--db", "nowhere/data.mdb", "--on-conflict", "keep"},
                     3,
                     {"cannot find nowhere/data.mdb: the folder ", "nowhere does not hold it"},
                     "0",
                     "9600"},
        SCommandCase{"ExportOverTheLibraryIsRefused",
                     {"library", "export", "data.mdb"},
                     2,
                     {"cannot export to data.mdb: it is the library in use"},
                     "0",
                     "9600"},
        SCommandCase{"ExportToAnMdbNameIsRefused",
                     {"library", "export", "backup.mdb"},
                     2,
                     {"cannot export to backup.mdb: names ending in .mdb are kept for libraries"},
                     "0",
                     "9600"},
        SCommandCase{"EncodingGuessedAndShown",
                     {"library", "import", "gbk.csv", "--on-conflict", "keep"},
                     0,
                     {"encoding: GB18030\n", "new: 1\n", "invalid: 0\n"},
                     "1",
                     "9600"},
        SCommandCase{"EncodingForced",
                     {"library", "import", "gbk.csv", "--encoding", "utf-8", "--on-conflict", "keep"},
                     1,
                     {"encoding: UTF-8\n", "line 2: invalid: the parity is not none, odd or even"},
                     "0",
                     "9600"},
        SCommandCase{"EncodingValueChecked",
                     {"library", "import", "gbk.csv", "--encoding", "latin1", "--on-conflict", "keep"},
                     64,
                     {"latin1"},
                     "0",
                     "9600"}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST(LibraryCommandFiles, ExportThenMergeAnotherLibrary) {
    CTestDatabase db;
    ASSERT_EQ(RunCli({"library", "export", "out.csv"}).nExit, 0);
    const std::string strCsv = testfiles::Read(db.Folder() / "out.csv");
    EXPECT_EQ(strCsv.rfind("\xEF\xBB\xBFmodel,baud,parity,VGA,VIDEO,POWER ON,POWER OFF\r\n", 0), 0u);

    // Another installer's data.mdb with one model of their own.
    CTestDatabase other(false, false);
    other.Exec("INSERT INTO DATA VALUES ('Theirs','9600','无','0A','0B','0C','0D')");
    const SRun run = RunCli({"library", "import", Utf8FromPath(other.File()), "--db", Utf8FromPath(db.File()),
                             "--on-conflict", "keep"});
    EXPECT_EQ(run.nExit, 0) << run.strErr;
    EXPECT_NE(run.strOut.find("new: 1\n"), std::string::npos) << run.strOut;
    EXPECT_NE(run.strOut.find("invalid: 0\n"), std::string::npos) << run.strOut;
    EXPECT_EQ(db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号='Theirs'"), "1");
}

} // namespace
