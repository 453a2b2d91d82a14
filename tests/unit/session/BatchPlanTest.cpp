// The batch core without a socket: the plan's address rules, the retry rule
// and a run over the scripted transport and clock.

#include "BatchPlan.h"
#include "BatchRun.h"
#include "SessionFakes.h"

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
    session::EarlierResults earlier;
    auto line = [](const char* room, const char* outcome, const char* row) {
        return std::vector<std::string>{room, "", outcome, "", "1.0", row, ""};
    };
    earlier["A"] = line("A", "ok", "A,10.0.0.1,10.1.1.1");
    earlier["B"] = line("B", "failed", "B,10.0.0.2,10.1.1.1");
    earlier["C"] = line("C", "not run", "C,10.0.0.3,10.1.1.1");
    earlier["D"] = line("D", "ok", "D,10.0.0.4,10.9.9.9"); // changed since
    const auto rooms = Rooms(rows, &earlier);
    ASSERT_EQ(rooms.size(), 5u);
    EXPECT_FALSE(rooms[0].bRun);
    EXPECT_EQ(session::ResultLine(rooms[0]), earlier["A"]);
    for (std::size_t i = 1; i < 5; ++i)
        EXPECT_TRUE(rooms[i].bRun) << rooms[i].strRoom;
}

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
            EXPECT_EQ(rooms[i].strDifferences, bStop ? "" : "no reply");
        }
        EXPECT_EQ(rooms[3].eOutcome, EBatchOutcome::Failed);
        EXPECT_EQ(session::ResultLine(rooms[3])[2], "failed");
        for (const sessiontest::SSent& s : transport.sent)
            EXPECT_NE(s.to, codec::AddressToBytes("10.0.0.4"));
    }
}

} // namespace
