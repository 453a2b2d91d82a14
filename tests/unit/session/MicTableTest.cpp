// htset read by htnum, whatever order the rows come back in, and stored
// back from a controller's entries.

#include "MicTable.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>

namespace {

using session::SMicEntry;

TEST(MicTableTest, RowsArePlacedByHtnumNotByPosition) {
    CTestDatabase db;
    db.Exec("DELETE FROM htset WHERE htnum='5';"
            "UPDATE htset SET tdnum='1',qjnum='2',bitnum='3',tyjnum='0' WHERE htnum='6';"
            "INSERT INTO htset (htnum,tdnum,qjnum,bitnum,tyjnum) VALUES ('5','7','8','9','1');"
            "INSERT INTO htset (htnum,tdnum,qjnum,bitnum,tyjnum) VALUES ('20','4','4','4','4');"
            "INSERT INTO htset (htnum,tdnum,qjnum,bitnum,tyjnum) VALUES ('x','4','4','4','4');");
    const auto load = session::LoadMicTable();
    EXPECT_EQ(load.strError, "");
    EXPECT_FALSE(load.bEmpty);
    EXPECT_EQ(load.rows[5], (SMicEntry{"1", "7", "8", "9"}));
    EXPECT_EQ(load.rows[6], (SMicEntry{"0", "1", "2", "3"}));
}

TEST(MicTableTest, MissingRowReadsAsNoChoice) {
    CTestDatabase db;
    db.Exec("UPDATE htset SET tdnum='3',qjnum='3',bitnum='3',tyjnum='1';"
            "DELETE FROM htset WHERE htnum='19';");
    const auto load = session::LoadMicTable();
    EXPECT_EQ(load.rows[18], (SMicEntry{"1", "3", "3", "3"}));
    EXPECT_EQ(load.rows[19], (SMicEntry{"-1", "-1", "-1", "-1"}));
}

TEST(MicTableTest, NullCellsReadAsNoChoice) {
    CTestDatabase db;
    db.Exec("UPDATE htset SET tdnum=NULL,qjnum='4',bitnum=NULL,tyjnum='2' WHERE htnum='3';");
    const auto load = session::LoadMicTable();
    EXPECT_EQ(load.strError, "");
    EXPECT_EQ(load.rows[3], (SMicEntry{"2", "-1", "4", "-1"}));
}

TEST(MicTableTest, StoredEntriesLandInTheirOwnRows) {
    CTestDatabase db;
    std::array<SMicEntry, 20> rows;
    rows[0] = {"0", "16", "3", "-1"};
    rows[13] = {"2", "11", "16", "31"};
    EXPECT_EQ(session::StoreMicTable(rows), "");
    EXPECT_EQ(db.Scalar("SELECT tyjnum||','||tdnum||','||qjnum||','||bitnum FROM htset WHERE htnum='0'"),
              "0,16,3,-1");
    EXPECT_EQ(db.Scalar("SELECT tyjnum||','||tdnum||','||qjnum||','||bitnum FROM htset WHERE htnum='13'"),
              "2,11,16,31");
    EXPECT_EQ(session::LoadMicTable().rows[13], rows[13]);
}

TEST(MicTableTest, HtnumKeys) {
    const std::vector<std::pair<std::string, int>> cases{{"0", 0},   {"19", 19}, {"20", -1}, {"-1", -1},
                                                         {"05", -1}, {"", -1},   {"1a", -1}, {" 1", -1}};
    for (const auto& [text, row] : cases)
        EXPECT_EQ(session::MicRowOf(text), row) << text;
}

} // namespace
