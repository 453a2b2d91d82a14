// The batch job over emulated controllers whose rooms differ in every
// field: its counts over the whole plan, the retry rule, and the results
// file, which holds every room's line after each end and calls a room
// under way before its first setting datagram leaves.

#include "BatchJob.h"
#include "FileSystem.h"
#include "Peer.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <set>

namespace {

using session::CBatchJob;
using session::EBatchOutcome;

constexpr std::size_t kRooms = 4;

std::string Address(std::size_t i) {
    return "10.0.0." + std::to_string(11 + i);
}

session::SPlanTable Plan() {
    std::vector<std::vector<std::string>> rows{
        {"room", "address", "server_ip", "mask", "gateway", "lock_type", "lock_time", "one_key"}};
    for (std::size_t i = 0; i < kRooms; ++i) {
        const bool bPulse = i % 2 == 0;
        rows.push_back({"room " + std::to_string(i), Address(i), "10.0.0." + std::to_string(100 + i),
                        "255.255." + std::to_string(255 - (1u << i) + 1) + ".0",
                        "10.0.0." + std::to_string(200 + i), bPulse ? "pulse" : "level",
                        bPulse ? std::to_string(2 + i) : "", i % 3 ? "on" : "off"});
    }
    session::SPlanTable plan;
    session::SPlanFileError error;
    EXPECT_TRUE(session::PlanFromRows(rows, plan, error));
    return plan;
}

// Controllers at the rooms' addresses, those in `silent` switched off;
// every datagram is delivered as time passes.
class CBench : public session::IDatagramTransport {
public:
    CBench() : m_engine(*this, m_observer, Timing()) {
        m_engine.SetModelLookup([](const std::string&) { return session::SModelLookup{}; });
        for (std::size_t i = 0; i < kRooms; ++i)
            m_peers.emplace_back(controller::DefaultState(codec::AddressToBytes(Address(i))));
    }
    void SendTo(const codec::Datagram& datagram, const codec::Ip4& to) override {
        if (datagram.size() > 13 && datagram[13] == 1 && m_pfnSetting)
            m_pfnSetting(codec::BytesToAddress(to));
        m_outbox.push_back({datagram, to});
    }
    // Runs the job's rooms until the engine is idle.
    void Run(CBatchJob& job, const std::set<std::size_t>& silent) {
        job.Start(m_engine, m_nClient, std::make_shared<session::CHistory>(m_folder));
        for (int n = 0; n < 2000 && !m_engine.Idle(m_nClient); ++n) {
            while (!m_outbox.empty()) {
                const auto [bytes, to] = m_outbox.front();
                m_outbox.pop_front();
                for (std::size_t i = 0; i < kRooms; ++i)
                    if (!silent.count(i) && m_peers[i].Current() == to)
                        for (const codec::Datagram& reply :
                             m_peers[i].Handle(bytes.data(), bytes.size(), {}).replies)
                            m_engine.OnDatagram(reply.data(), reply.size(), m_now);
            }
            m_now += 50;
            m_engine.Advance(m_now);
        }
        m_engine.RemoveClient(m_nClient);
    }
    void Join(CBatchJob& job) { m_nClient = m_engine.AddClient(job.Observer(), Timing()); }
    session::TimeMs m_now = 0;
    std::function<void(const std::string& strAddress)> m_pfnSetting;
    std::vector<controller::Peer> m_peers;
    std::filesystem::path m_folder = MakeTempFolder("velmora-job");

private:
    static session::SSessionTiming Timing() {
        session::SSessionTiming t;
        t.nTickMs = 100;
        t.dPauseScale = 0.01;
        t.nReadAttempts = 2;
        t.nMaxRunning = 2;
        return t;
    }
    session::ISessionObserver m_observer;
    session::CSessionEngine m_engine;
    session::ClientId m_nClient = 0;
    std::deque<std::pair<codec::Datagram, codec::Ip4>> m_outbox;
};

struct SJobCase {
    const char* name;
    std::set<std::size_t> silentFirst, silentRetry; // controllers off in the run and in the retry
    bool bBreakResults = false;                     // the results file cannot be replaced once the run began
};
void PrintTo(const SJobCase& c, std::ostream* pOut) {
    *pOut << c.name;
}
class BatchJobTest : public testing::TestWithParam<SJobCase> {};

TEST_P(BatchJobTest, CountsRetryAndResultsFileFollowTheRooms) {
    const SJobCase& c = GetParam();
    CBench bench;
    std::vector<session::SBatchRoom> rooms;
    CBatchJob job(rooms, [&bench] { return bench.m_now; });
    const std::filesystem::path results = bench.m_folder / "results.csv";
    auto lines = [&results] {
        session::EarlierResults earlier;
        session::SPlanFileError error;
        EXPECT_TRUE(session::ReadResultsFile(Utf8FromPath(results), earlier, error));
        return earlier;
    };
    // Written whenever it falls behind, the file holds every room, each
    // ended one with its outcome; before a Set's first datagram it says the
    // room is under way.
    int nFailedWrites = 0;
    job.m_pfnResultsDue = [&] {
        nFailedWrites += job.WriteResults() == CBatchJob::EWrite::Failed;
        if (c.bBreakResults)
            return;
        const session::EarlierResults now = lines();
        ASSERT_EQ(now.size(), kRooms);
        for (std::size_t i = 0; i < kRooms; ++i)
            if (rooms[i].bRun && rooms[i].ePhase == session::EBatchPhase::Done) {
                EXPECT_EQ(now[i][2], session::OutcomeWord(rooms[i].eOutcome)) << i;
            }
    };
    std::set<std::string> setStarted;
    bench.m_pfnSetting = [&](const std::string& strAddress) {
        if (c.bBreakResults || !setStarted.insert(strAddress).second)
            return;
        const session::EarlierResults now = lines();
        const auto line =
            std::find_if(now.begin(), now.end(), [&](const auto& l) { return l[1] == strAddress; });
        ASSERT_NE(line, now.end());
        EXPECT_EQ((*line)[2], "failed");
    };

    const session::SPlanTable plan = Plan();
    job.Prepare(plan, {});
    ASSERT_TRUE(job.PlanProblems().empty());
    ASSERT_TRUE(job.CreateResults(results));
    if (c.bBreakResults) {
        std::filesystem::remove(results);
        std::filesystem::create_directory(results);
    }
    bench.Join(job);
    bench.Run(job, c.silentFirst);
    EXPECT_EQ(job.WriteResults(true) == CBatchJob::EWrite::Written, !c.bBreakResults);
    EXPECT_EQ(nFailedWrites, c.bBreakResults ? 1 : 0);
    session::SBatchCounts counts = job.Counts();
    EXPECT_EQ(counts.nEnded, kRooms);
    EXPECT_EQ(counts.nFailed, c.silentFirst.size());
    EXPECT_EQ(counts.nOk, kRooms - c.silentFirst.size());
    if (c.bBreakResults)
        return;

    // The retry runs the failed rooms only; the others keep their line and what they read back.
    if (c.silentFirst.empty()) {
        EXPECT_EQ(job.PrepareRetry(plan, {}), CBatchJob::EPrepare::NothingToRetry);
        return;
    }
    const std::vector<session::SBatchRoom> before = rooms;
    ASSERT_EQ(job.PrepareRetry(plan, {}), CBatchJob::EPrepare::Ready);
    ASSERT_TRUE(job.CreateResults(results));
    setStarted.clear();
    bench.Join(job);
    bench.Run(job, c.silentRetry);
    ASSERT_EQ(job.WriteResults(true), CBatchJob::EWrite::Written);
    std::size_t nStillSilent = 0;
    for (std::size_t i = 0; i < kRooms; ++i) {
        const bool bFailedBefore = c.silentFirst.count(i) > 0;
        nStillSilent += bFailedBefore && c.silentRetry.count(i);
        EXPECT_EQ(rooms[i].bRun, bFailedBefore) << i;
        if (!bFailedBefore) {
            ASSERT_TRUE(rooms[i].result.has_value());
            EXPECT_EQ(rooms[i].result->sent.serverIp, before[i].result->sent.serverIp);
            EXPECT_EQ(lines()[i], session::ResultLine(before[i]));
        }
    }
    counts = job.Counts();
    EXPECT_EQ(counts.nKept, kRooms - c.silentFirst.size());
    EXPECT_EQ(counts.nFailed, nStillSilent);
    EXPECT_EQ(counts.nOk, kRooms - nStillSilent);
    // Every room that ended ok holds its own plan's server address.
    for (std::size_t i = 0; i < kRooms; ++i) {
        if (rooms[i].eOutcome == EBatchOutcome::Ok) {
            EXPECT_EQ(codec::BytesToAddress(bench.m_peers[i].State().server),
                      "10.0.0." + std::to_string(100 + i));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, BatchJobTest,
                         testing::Values(SJobCase{"AllAnswer", {}, {}},
                                         SJobCase{"OneSilentRecovers", {2}, {}},
                                         SJobCase{"TwoSilentOneStays", {0, 3}, {3}},
                                         SJobCase{"ResultsFileBreaks", {1}, {}, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
