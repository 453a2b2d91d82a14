// The data.mdb the build ships: the projector library of the seed and twenty
// empty microphone rows.
#include "TestDatabase.h"
#include "Utf8Path.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Row = std::vector<std::string>;

class ShippedData : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sqlite3_open_v2(Utf8FromPath(CTestDatabase::ShippedFile()).c_str(), &m_pDb,
                                  SQLITE_OPEN_READONLY, nullptr),
                  SQLITE_OK);
    }
    void TearDown() override { sqlite3_close(m_pDb); }

    std::vector<Row> Query(const std::string& strSql) const {
        std::vector<Row> rows;
        sqlite3_stmt* pStatement = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(m_pDb, strSql.c_str(), -1, &pStatement, nullptr), SQLITE_OK) << strSql;
        while (sqlite3_step(pStatement) == SQLITE_ROW) {
            Row row;
            for (int i = 0; i < sqlite3_column_count(pStatement); ++i) {
                const unsigned char* pText = sqlite3_column_text(pStatement, i);
                row.emplace_back(pText ? reinterpret_cast<const char*>(pText) : "<NULL>");
            }
            rows.push_back(row);
        }
        sqlite3_finalize(pStatement);
        return rows;
    }

    std::vector<Row> Library() const {
        auto rows = Query("SELECT 投影机型号,波特率,校验,VGA,VIDEO,[POWER ON],[POWER OFF] FROM DATA");
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    sqlite3* m_pDb = nullptr;
};

TEST_F(ShippedData, HoldsEveryModelOfTheSeed) {
    std::ifstream seed(VELMORA_SEED_SQL);
    ASSERT_TRUE(seed) << VELMORA_SEED_SQL;
    std::size_t nInserts = 0;
    for (std::string strLine; std::getline(seed, strLine);)
        nInserts += strLine.rfind("INSERT INTO DATA ", 0) == 0;
    ASSERT_GT(nInserts, 0u);
    EXPECT_EQ(Library().size(), nInserts);
}

TEST_F(ShippedData, KeepsModelsSpeedsAndCodesExactly) {
    const std::vector<Row> spots = {
        {"NEC LT75Z", "19200", "无", "0203000002010109", "020300000201060E", "020000000002", "020100000003"},
        {"Hitachi CP-X253", "19200", "无", "BEEF030600FED2010000200000", "BEEF0306006ED3010000200100",
         "BEEF030600BAD2010000600100", "BEEF0306002AD3010000600000"},
        {"BenQ SP920", "115200", "无", "0D2A736F75723D524742230D", "0D2A736F75723D766964230D",
         "0D2A706F773D6F6E230D", "0D2A706F773D6F6666230D"},
        {"LG BX220-JD", "9600", "无", "78622030312036300D", "78622030312032300D", "6B612030312030310D",
         "6B612030312030300D"}};
    auto library = Library();
    for (const auto& spot : spots)
        EXPECT_EQ(std::count(library.begin(), library.end(), spot), 1) << spot[0];
}

TEST_F(ShippedData, EveryValueHasTheFormTheDialogsExpect) {
    const std::vector<std::string> bauds = {"2400", "4800", "9600", "19200", "38400", "57600", "115200"};
    for (const auto& row : Library()) {
        EXPECT_FALSE(row[0].empty());
        EXPECT_NE(std::find(bauds.begin(), bauds.end(), row[1]), bauds.end()) << row[0];
        EXPECT_TRUE(row[2] == "无" || row[2] == "奇" || row[2] == "偶") << row[0];
        for (std::size_t i = 3; i < 7; ++i) {
            EXPECT_TRUE(!row[i].empty() && row[i].size() % 2 == 0 &&
                        row[i].find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos)
                << row[0] << " column " << i << ": " << row[i];
        }
    }
}

TEST_F(ShippedData, HoldsTwentyEmptyMicrophoneRows) {
    auto rows = Query("SELECT htnum,tdnum,qjnum,bitnum,tyjnum FROM htset");
    ASSERT_EQ(rows.size(), 20u);
    std::vector<std::string> keys;
    for (const auto& row : rows) {
        keys.push_back(row[0]);
        EXPECT_EQ(Row(row.begin() + 1, row.end()), (Row{"-1", "-1", "-1", "-1"})) << row[0];
    }
    std::vector<std::string> expected;
    for (int i = 0; i < 20; ++i)
        expected.push_back(std::to_string(i));
    EXPECT_EQ(keys, expected) << "rows in the order a reader walks them";
}

#ifdef VELMORA_LIBRARY_CSV
// One record of the library CSV: fields separated by commas, a field in double
// quotes may hold commas and doubled quotes.
std::vector<Row> ReadCsv(std::istream& in) {
    std::vector<Row> records;
    Row record;
    std::string strField;
    bool bQuoted = false, bAny = false;
    char c;
    while (in.get(c)) {
        bAny = true;
        if (bQuoted) {
            if (c == '"' && in.peek() == '"')
                strField += static_cast<char>(in.get());
            else if (c == '"')
                bQuoted = false;
            else
                strField += c;
        } else if (c == '"') {
            bQuoted = true;
        } else if (c == ',') {
            record.push_back(std::move(strField));
            strField.clear();
        } else if (c == '\n') {
            record.push_back(std::move(strField));
            strField.clear();
            records.push_back(std::move(record));
            record.clear();
            bAny = false;
        } else if (c != '\r') {
            strField += c;
        }
    }
    if (bAny) {
        record.push_back(std::move(strField));
        records.push_back(std::move(record));
    }
    return records;
}

TEST_F(ShippedData, HoldsEveryRowOfTheLibraryCsv) {
    std::ifstream in(VELMORA_LIBRARY_CSV, std::ios::binary);
    ASSERT_TRUE(in) << VELMORA_LIBRARY_CSV;
    auto records = ReadCsv(in);
    ASSERT_GT(records.size(), 1u);
    const Row& header = records.front();
    std::map<std::string, std::size_t> column;
    for (std::size_t i = 0; i < header.size(); ++i)
        column[header[i]] = i;
    for (const char* pszName : {"model", "baud", "parity", "VGA", "VIDEO", "POWER ON", "POWER OFF"})
        ASSERT_TRUE(column.count(pszName)) << pszName;

    const std::map<std::string, std::string> parity = {{"none", "无"}, {"odd", "奇"}, {"even", "偶"}};
    std::vector<Row> expected;
    for (auto it = records.begin() + 1; it != records.end(); ++it) {
        const Row& r = *it;
        ASSERT_EQ(r.size(), header.size()) << "record " << (it - records.begin());
        ASSERT_TRUE(parity.count(r[column["parity"]])) << r[column["parity"]];
        expected.push_back({r[column["model"]], r[column["baud"]], parity.at(r[column["parity"]]),
                            r[column["VGA"]], r[column["VIDEO"]], r[column["POWER ON"]],
                            r[column["POWER OFF"]]});
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Library(), expected);
}
#endif

} // namespace
