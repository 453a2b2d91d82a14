// The code dialog's work on a copy of the shipped data.mdb: the outcomes of
// a save, the keyword search's letter case and order, and the escapes of
// ASCII to hex.
#include "CodeLibrary.h"
#include "Statements.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace library;

namespace {

const SModelRecord kNew{"T-1", "9600", "无", "0A0B", "0a0b", "0102", "0304"};

SModelRecord With(std::string SModelRecord::*pField, const std::string& strValue) {
    SModelRecord record = kNew;
    record.*pField = strValue;
    return record;
}

std::string Count(const CTestDatabase& db, const std::string& strModel) {
    return db.Scalar("SELECT COUNT(*) FROM DATA WHERE 投影机型号 = '" + stmt::Quote(strModel) + "'");
}

} // namespace

TEST(CodeLibrary, SaveOutcomes) {
    struct SCase {
        const char* pszName;
        SModelRecord record;
        ESaveOutcome eOutcome;
        ERuleFailure eRule;
        const char* pszCountAfter;
    } const cases[] = {
        {"New", kNew, ESaveOutcome::Saved, ERuleFailure::None, "1"},
        {"Duplicate", With(&SModelRecord::model, "NEC LT75Z"), ESaveOutcome::Duplicate, ERuleFailure::None,
         "1"},
        {"OtherCaseIsNew", With(&SModelRecord::model, "nec lt75z"), ESaveOutcome::Saved, ERuleFailure::None,
         "1"},
        {"Apostrophes", With(&SModelRecord::model, "O'Neil's 'PJ'"), ESaveOutcome::Saved, ERuleFailure::None,
         "1"},
        {"NoModel", With(&SModelRecord::model, ""), ESaveOutcome::Refused, ERuleFailure::ModelEmpty, "0"},
        {"NoBaud", With(&SModelRecord::baud, ""), ESaveOutcome::Refused, ERuleFailure::BaudEmpty, "0"},
        {"NoParity", With(&SModelRecord::parity, ""), ESaveOutcome::Refused, ERuleFailure::ParityEmpty, "0"},
        {"VgaOdd", With(&SModelRecord::vga, "0A0"), ESaveOutcome::Refused, ERuleFailure::VgaOdd, "0"},
        {"NotHex", With(&SModelRecord::powerOff, "0G"), ESaveOutcome::Refused, ERuleFailure::NotHex, "0"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        CTestDatabase db;
        const SSaveResult result = SaveModel(c.record);
        EXPECT_EQ(result.eOutcome, c.eOutcome);
        EXPECT_EQ(result.eRule, c.eRule);
        EXPECT_EQ(result.eNotice, ECodeNotice::None);
        EXPECT_FALSE(result.checkError || result.insertError);
        EXPECT_EQ(Count(db, c.record.model), c.pszCountAfter);
    }
    // An empty table is said, and the save goes ahead.
    CTestDatabase empty(true);
    const SSaveResult result = SaveModel(kNew);
    EXPECT_EQ(result.eNotice, ECodeNotice::LibraryEmpty);
    EXPECT_EQ(result.eOutcome, ESaveOutcome::Saved);
    EXPECT_EQ(Count(empty, "T-1"), "1");
}

TEST(CodeLibrary, SearchCaseOrderAndEmpty) {
    CTestDatabase db;
    db.Exec("INSERT INTO DATA VALUES ('Yab','9600','无','01','02','03','04'),"
            "('xAB-2','9600','无','01','02','03','04'),('Xab-1','9600','无','01','02','03','04'),"
            "('明基MX518','9600','无','01','02','03','04'),('O''Brien','9600','无','01','02','03','04')");
    struct SCase {
        std::string strKeyword;
        std::vector<std::string> found;
        std::string strLast; // in the statement's (byte) order
        ECodeNotice eNotice;
        std::string strKept;
    } const cases[] = {
        {"aB", {"Xab-1", "xAB-2", "Yab"}, "xAB-2", ECodeNotice::None, "ab"},
        {"明基mx", {"明基MX518"}, "明基MX518", ECodeNotice::None, "明基mx"},
        {"O'B", {"O'Brien"}, "O'Brien", ECodeNotice::None, "o'b"},
        {"x__-1", {"Xab-1"}, "Xab-1", ECodeNotice::None, "x__-1"},
        {"zzqq", {}, "", ECodeNotice::NoSuchModel, "zzqq"},
        {"", {}, "", ECodeNotice::KeywordEmpty, ""},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.strKeyword);
        const SSearchResult result = SearchModels(c.strKeyword);
        EXPECT_EQ(result.models, c.found);
        EXPECT_EQ(result.strLastFound, c.strLast);
        EXPECT_EQ(result.eNotice, c.eNotice);
        EXPECT_EQ(result.strKeyword, c.strKept);
        EXPECT_FALSE(result.error);
    }
}

TEST(CodeLibrary, AsciiToHexEscapes) {
    const std::pair<std::string, std::string> cases[] = {
        {"PWR ON\\r", "505752204F4E0D"},
        {"a\\n\\x1b\\xFf", "610A1BFF"},
        {"\\\\q\\t", "5C715C74"},
        {"\\x4", "5C7834"},
        {"\\xG1", "5C784731"},
        {"end\\", "656E645C"},
        {"中", "E4B8AD"},
        {"", ""},
    };
    for (const auto& [strTyped, strHex] : cases)
        EXPECT_EQ(AsciiToHex(strTyped), strHex) << strTyped;
}
