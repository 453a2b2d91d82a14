// The statement texts, written out by hand from the statement table: the
// builders must give them byte for byte, blanks, brackets and letter case
// included.
#include "Statements.h"
#include "AsciiText.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

struct StatementCase {
    const char* pszName;
    std::function<std::string()> build;
    std::string strExpected;
};

void PrintTo(const StatementCase& c, std::ostream* pOut) {
    *pOut << c.pszName;
}

class StatementText : public ::testing::TestWithParam<StatementCase> {};

TEST_P(StatementText, IsExactlyTheWrittenText) {
    EXPECT_EQ(GetParam().build(), GetParam().strExpected);
}

INSTANTIATE_TEST_SUITE_P(
    AllStatements, StatementText,
    ::testing::Values(
        StatementCase{"SelectLibrarySorted", [] { return stmt::SelectLibrarySorted(); },
                      "SELECT * FROM DATA ORDER BY [投影机型号]"},
        StatementCase{"SelectLibrary", [] { return stmt::SelectLibrary(); }, "SELECT * FROM DATA"},
        StatementCase{"InsertModel",
                      [] {
                          return stmt::InsertModel("NEC LT75Z", "19200", "偶", "0203000002010109",
                                                   "020300000201060e", "020000000002", "020100000003");
                      },
                      "INSERT INTO data (投影机型号,波特率,校验,VGA,VIDEO,[POWER ON],[POWER OFF]) VALUES "
                      "('NEC LT75Z','19200','偶','0203000002010109','020300000201060e','020000000002',"
                      "'020100000003')"},
        StatementCase{"DeleteModel", [] { return stmt::DeleteModel("NEC LT75Z"); },
                      "DELETE FROM DATA WHERE 投影机型号='NEC LT75Z'"},
        StatementCase{"SelectModel", [] { return stmt::SelectModel("投影机 X1"); },
                      "SELECT * FROM DATA WHERE 投影机型号 = '投影机 X1'"},
        StatementCase{
            "SearchModels", [] { return stmt::SearchModels("AB", "ab"); },
            "SELECT * FROM DATA WHERE [投影机型号] LIKE '%AB%' OR [投影机型号] LIKE '%ab%' ORDER BY "
            "[投影机型号]"},
        StatementCase{"SelectByVideo", [] { return stmt::SelectByVideo("7e53560d"); },
                      "SELECT * FROM data where [video]='7e53560d'"},
        StatementCase{"SelectMicTable", [] { return stmt::SelectMicTable(); }, "SELECT *  from htset"},
        StatementCase{"SaveMicRow", [] { return stmt::SaveMicRow("1", "2", "3", "-1", "19"); },
                      "update [htset] set [tdnum]='1',qjnum='2',bitnum='3',tyjnum='-1' where [htnum]='19'"},
        StatementCase{"StoreMicRow", [] { return stmt::StoreMicRow("4", "5", "6", "0", "0"); },
                      "update [htset] set tdnum='4',qjnum='5',bitnum='6',tyjnum='0' where htnum='0'"},
        StatementCase{"SelectMicTableForSet", [] { return stmt::SelectMicTableForSet(); },
                      "SELECT * FROM [htset] "},
        // Each apostrophe doubled, and nothing else touched.
        StatementCase{"DeleteModelApostrophe", [] { return stmt::DeleteModel("x' OR '1'='1"); },
                      "DELETE FROM DATA WHERE 投影机型号='x'' OR ''1''=''1'"},
        StatementCase{
            "SearchModelsApostrophe", [] { return stmt::SearchModels("O'NEIL", "o'neil"); },
            "SELECT * FROM DATA WHERE [投影机型号] LIKE '%O''NEIL%' OR [投影机型号] LIKE '%o''neil%' "
            "ORDER BY [投影机型号]"},
        StatementCase{"SaveMicRowApostrophes", [] { return stmt::SaveMicRow("'", "''", "a'b", "'c", "d'"); },
                      "update [htset] set [tdnum]='''',qjnum='''''',bitnum='a''b',tyjnum='''c' where "
                      "[htnum]='d'''"}),
    [](const auto& info) { return std::string(info.param.pszName); });

struct CaseFold {
    const char* pszInput;
    const char* pszUpper;
    const char* pszLower;
};

class KeywordCase : public ::testing::TestWithParam<CaseFold> {};

// Multi-byte characters must come through whole; only ASCII letters change.
TEST_P(KeywordCase, ChangesAsciiLettersOnly) {
    EXPECT_EQ(base::AsciiUpper(GetParam().pszInput), GetParam().pszUpper);
    EXPECT_EQ(base::AsciiLower(GetParam().pszInput), GetParam().pszLower);
}

INSTANTIATE_TEST_SUITE_P(Keywords, KeywordCase,
                         ::testing::Values(CaseFold{"ab", "AB", "ab"}, CaseFold{"Ep-54z", "EP-54Z", "ep-54z"},
                                           CaseFold{"投影机ab", "投影机AB", "投影机ab"},
                                           CaseFold{"\xC3\xA9x\xFFz", "\xC3\xA9X\xFFZ", "\xC3\xA9x\xFFz"},
                                           CaseFold{"", "", ""}));

} // namespace
