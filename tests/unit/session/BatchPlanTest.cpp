// The batch core without a socket: the plan's address rules, the retry rule
// and a run over the scripted transport and clock.

#include "BatchPlan.h"
#include "BatchRun.h"
#include "FileSystem.h"
#include "SessionFakes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

namespace {

using session::EBatchOutcome;
using session::SPlanProblem;

std::vector<session::SBatchRoom> Rooms(const std::vector<std::vector<std::string>>& rows,
                                       const session::EarlierResults* pEarlier = nullptr) {
    session::SPlanTable plan;
    session::SPlanFileError error;
    EXPECT_TRUE(session::PlanFromRows(rows, plan, error));
    return session::RoomsFromPlan(plan, {}, pEarlier);
}

struct SAddressCase {
    const char* name;
    std::vector<std::vector<std::string>> rows;
    std::vector<SPlanProblem::EKind> expected;
};

class PlanAddressTest : public ::testing::TestWithParam<SAddressCase> {};

TEST_P(PlanAddressTest, EveryAddressAndNewAddressBelongsToOneRoom) {
    std::vector<SPlanProblem::EKind> found;
    for (const SPlanProblem& p : session::CheckAddresses(Rooms(GetParam().rows)))
        found.push_back(p.eKind);
    EXPECT_EQ(found, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, PlanAddressTest,
    ::testing::Values(
        SAddressCase{
            "distinct", {{"address", "controller_ip"}, {"10.0.0.1", "10.0.0.11"}, {"10.0.0.2", ""}}, {}},
        SAddressCase{
            "address_twice", {{"address"}, {"10.0.0.1"}, {"10.0.0.1"}}, {SPlanProblem::AddressTwice}},
        SAddressCase{"new_address_twice",
                     {{"address", "controller_ip"}, {"10.0.0.1", "10.0.0.9"}, {"10.0.0.2", "10.0.0.9"}},
                     {SPlanProblem::NewAddressTwice}},
        SAddressCase{"onto_another_row",
                     {{"address", "controller_ip"}, {"10.0.0.1", "10.0.0.2"}, {"10.0.0.2", ""}},
                     {SPlanProblem::NewAddressIsOtherRow}},
        // Moving to where it already is, is no move.
        SAddressCase{"stays", {{"address", "controller_ip"}, {"10.0.0.1", "10.0.0.1"}}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// A retry runs what failed, did not run, is new or changed; an ok row that
// is the same keeps its earlier line.
TEST(BatchRetryTest, OnlyUnchangedOkRowsAreLeftOut) {
    const std::vector<std::vector<std::string>> rows{
        {"room", "address", "server_ip"}, {"A", "10.0.0.1", "10.1.1.1"}, {"B", "10.0.0.2", "10.1.1.1"},
        {"C", "10.0.0.3", "10.1.1.1"},    {"D", "10.0.0.4", "10.1.1.1"}, {"E", "10.0.0.5", "10.1.1.1"}};
    auto line = [](const char* room, const char* outcome, const char* row) {
        return std::vector<std::string>{room, "", outcome, "", "1.0", row, ""};
    };
    const session::EarlierResults earlier{line("A", "ok", "A,10.0.0.1,10.1.1.1"),
                                          line("B", "failed", "B,10.0.0.2,10.1.1.1"),
                                          line("C", "not run", "C,10.0.0.3,10.1.1.1"),
                                          line("D", "ok", "D,10.0.0.4,10.9.9.9")}; // D changed since
    const auto rooms = Rooms(rows, &earlier);
    ASSERT_EQ(rooms.size(), 5u);
    EXPECT_FALSE(rooms[0].bRun);
    EXPECT_EQ(session::ResultLine(rooms[0]), earlier[0]);
    for (std::size_t i = 1; i < 5; ++i)
        EXPECT_TRUE(rooms[i].bRun) << rooms[i].strRoom;
}

// Two rows naming one room: each finds its own earlier line by its content,
// in whichever order the results file lists them, so the one that ended ok
// is not run again and the one that failed is.
TEST(BatchRetryTest, RowsOfOneNameAreMatchedByContent) {
    const std::vector<std::vector<std::string>> rows{
        {"room", "address", "controller_ip"}, {"A", "10.0.0.1", "10.0.1.1"}, {"A", "10.0.0.2", "10.0.1.2"}};
    auto line = [](const char* outcome, const char* row) {
        return std::vector<std::string>{"A", "", outcome, "", "1.0", row, outcome[0] == 'o' ? "b.json" : ""};
    };
    for (const bool bReversed : {false, true}) {
        session::EarlierResults earlier{line("ok", "A,10.0.0.1,10.0.1.1"),
                                        line("failed", "A,10.0.0.2,10.0.1.2")};
        if (bReversed)
            std::swap(earlier[0], earlier[1]);
        const auto rooms = Rooms(rows, &earlier);
        ASSERT_EQ(rooms.size(), 2u);
        EXPECT_FALSE(rooms[0].bRun) << bReversed;
        EXPECT_EQ(session::ResultLine(rooms[0])[6], "b.json");
        EXPECT_TRUE(rooms[1].bRun) << bReversed;
    }
}

// A run that replaces a results file: a room whose same row ended ok there
// keeps that line and its backup while this run sends it nothing (not run,
// or failed before its Set); once its Set has started, its own line counts.
TEST(BatchRetryTest, AnOkLineIsReplacedOnlyByARunThatSent) {
    const std::vector<std::vector<std::string>> rows{
        {"room", "address"}, {"A", "10.0.0.1"}, {"B", "10.0.0.2"}};
    const session::EarlierResults earlier{{"A", "10.0.0.1", "ok", "", "9.0", "A,10.0.0.1", "a.json"},
                                          {"B", "10.0.0.2", "ok", "", "9.0", "B,10.0.0.9", "b.json"}};
    struct SCase {
        EBatchOutcome eOutcome;
        bool bSetStarted;
        bool bKept;
    };
    for (const SCase& c :
         {SCase{EBatchOutcome::NotRun, false, true}, SCase{EBatchOutcome::Failed, false, true},
          SCase{EBatchOutcome::Failed, true, false}, SCase{EBatchOutcome::Ok, true, false}}) {
        auto rooms = Rooms(rows);
        session::KeepOkLines(rooms, earlier);
        for (auto& room : rooms) {
            room.eOutcome = c.eOutcome;
            session::SWriteResult result;
            result.bSetStarted = c.bSetStarted;
            room.result = result;
        }
        EXPECT_EQ(session::ResultLine(rooms[0]) == earlier[0], c.bKept) << int(c.eOutcome) << c.bSetStarted;
        // B's row changed since: its earlier line is not its own.
        EXPECT_NE(session::ResultLine(rooms[1])[5], earlier[1][5]);
    }
}

// A plan file as a spreadsheet saves it: padding rows and unnamed empty
// columns are left out, the window's column names are accepted, a named
// column that is no plan column is refused by name, and a row with a cell
// beyond the header is refused on its own line.
struct SPlanFileCase {
    const char* name;
    const char* text;
    session::EPlanFileError eError;
    std::string strDetail;
    std::vector<std::size_t> lines;   // the rooms' lines
    std::vector<std::size_t> refused; // the lines refused as longer than the header
    std::string strFirstRow;          // the first room's row as it runs
};

class PlanFileTest : public ::testing::TestWithParam<SPlanFileCase> {};

TEST_P(PlanFileTest, ReadsWhatASpreadsheetWrites) {
    const SPlanFileCase& c = GetParam();
    const std::filesystem::path folder = MakeTempFolder("plan");
    std::string strError;
    ASSERT_TRUE(base::WriteFileReplacing(folder / "plan.csv", c.text, false, strError)) << strError;
    session::SPlanTable plan;
    session::SPlanFileError error;
    const bool bRead = session::ReadPlanFile(Utf8FromPath(folder / "plan.csv"), plan, error);
    std::filesystem::remove_all(folder);
    ASSERT_EQ(bRead, c.eError == session::EPlanFileError::None);
    EXPECT_EQ(error.eError, c.eError);
    EXPECT_EQ(error.strDetail, c.strDetail);
    if (!bRead)
        return;
    std::vector<std::size_t> lines, refused;
    for (const session::SBatchRoom& room : session::RoomsFromPlan(plan, {})) {
        lines.push_back(room.nLine);
        if (room.problem.eProblem == session::EValueProblem::TooManyCells) {
            refused.push_back(room.nLine);
            EXPECT_FALSE(room.bPrepared);
            EXPECT_EQ(room.problem.strDetail, std::to_string(plan.nColumns));
        } else {
            EXPECT_TRUE(room.bPrepared) << room.nLine;
        }
    }
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(refused, c.refused);
    ASSERT_FALSE(plan.rows.empty());
    EXPECT_EQ(plan.rows[0].strText, c.strFirstRow);
}

using session::EPlanFileError;
INSTANTIATE_TEST_SUITE_P(
    Plans, PlanFileTest,
    ::testing::Values(SPlanFileCase{"padding",
                                    "room,address,,\n,,,\n101,10.0.0.1,,\n,,,\n \n102,10.0.0.2,,\n,,,\n",
                                    EPlanFileError::None,
                                    "",
                                    {3, 6},
                                    {},
                                    "101,10.0.0.1"},
                      SPlanFileCase{"padding_column_between",
                                    "address,,room\r\n10.0.0.1,,101\r\n",
                                    EPlanFileError::None,
                                    "",
                                    {2},
                                    {},
                                    "10.0.0.1,101"},
                      SPlanFileCase{
                          "window_names",
                          "房间,现地址,新中控IP,服务器IP,电控锁类型\n101,10.0.0.1,10.0.1.1,10.1.1.1,脉冲型\n",
                          EPlanFileError::None,
                          "",
                          {2},
                          {},
                          "101,10.0.0.1,10.0.1.1,10.1.1.1,脉冲型"},
                      SPlanFileCase{"unknown_name",
                                    "room,address,colour,\n101,10.0.0.1,red,\n",
                                    EPlanFileError::UnknownColumn,
                                    "colour",
                                    {},
                                    {},
                                    ""},
                      SPlanFileCase{"unnamed_with_value",
                                    "address,,room\n10.0.0.1,x,101\n",
                                    EPlanFileError::UnnamedColumn,
                                    "2",
                                    {},
                                    {},
                                    ""},
                      SPlanFileCase{"same_column_twice",
                                    "address,现地址\n10.0.0.1,10.0.0.2\n",
                                    EPlanFileError::DuplicateColumn,
                                    "现地址",
                                    {},
                                    {},
                                    ""},
                      SPlanFileCase{"cell_beyond_header",
                                    "room,address\n101,10.0.0.1,x\n\n102,10.0.0.2,,\n",
                                    EPlanFileError::None,
                                    "",
                                    {2, 4},
                                    {2},
                                    "101,10.0.0.1"}),
    [](const auto& info) { return std::string(info.param.name); });

// Over a transport where nothing answers: every room fails alone with "no
// reply", at most nMaxRunning at a time; a stop before any Set leaves the
// rest not run, and a bad row fails without being sent.
TEST(BatchRunTest, SilentRoomsFailAloneAndStopLeavesTheRestNotRun) {
    for (const bool bStop : {false, true}) {
        auto rooms = Rooms({{"address", "mask"},
                            {"10.0.0.1", ""},
                            {"10.0.0.2", ""},
                            {"10.0.0.3", ""},
                            {"10.0.0.4", "255.0.255.0"}});
        session::TimeMs now = 0;
        sessiontest::CFakeTransport transport;
        transport.pNow = &now;
        session::CBatchRun run(rooms, [&] { return now; });
        std::size_t nEnded = 0;
        run.m_pfnRoomEnded = [&](std::size_t) { ++nEnded; };
        session::SSessionTiming timing;
        timing.nTickMs = 100;
        timing.nMaxRunning = 2;
        session::CSessionEngine engine(transport, run, timing);
        run.Start(engine, std::make_shared<session::CHistory>(std::filesystem::temp_directory_path()));
        EXPECT_EQ(engine.RunningCount(), 2u);
        EXPECT_EQ(run.Total(), 4u);
        if (bStop) {
            EXPECT_EQ(run.Stop(), 3u);
        }
        for (; !engine.Idle() && now < 60000; now += 50)
            engine.Advance(now);
        EXPECT_TRUE(run.Finished());
        EXPECT_EQ(nEnded, 3u);
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(rooms[i].eOutcome, bStop ? EBatchOutcome::NotRun : EBatchOutcome::Failed);
            EXPECT_EQ(rooms[i].result && rooms[i].result->eStop == session::EWriteStop::NoAnswer, !bStop);
        }
        EXPECT_EQ(rooms[3].eOutcome, EBatchOutcome::Failed);
        EXPECT_EQ(session::ResultLine(rooms[3])[2], "failed");
        for (const sessiontest::SSent& s : transport.sent)
            EXPECT_NE(s.to, codec::AddressToBytes("10.0.0.4"));
    }
}

} // namespace
