// The scan job over emulated controllers on a fake clock: what it finds and
// counts, a stop in the middle, a lost reply, and the bound on the reads it
// queues ahead of the engine's pace.

#include "ScanJob.h"
#include "Peer.h"
#include "SystemSocketApi.h"

#include <gtest/gtest.h>

#include <deque>
#include <set>

namespace {

using session::CScanJob;

codec::Ip4 Address(std::size_t i) {
    return codec::AddressToBytes("10.0.1." + std::to_string(1 + i));
}

// A process that may not open an ICMP socket.
class CNoIcmpApi : public CSystemSocketApi {
public:
    TSocket OpenIcmp(EIcmpSocket) override { return kInvalidSocket; }
};

struct SScanCase {
    const char* name;
    std::size_t nAddresses;
    std::set<std::size_t> off;  // addresses where nothing answers
    std::size_t nLossy = 99999; // the controller whose network reply is lost
    double dRate = 200;
    std::size_t nStopAfter = 0; // Stop once this many queries went out (0: never)
    bool bEcho = false;         // ask for the echo probe, which the process may not send
};
void PrintTo(const SScanCase& c, std::ostream* pOut) {
    *pOut << c.name;
}
class ScanJobTest : public testing::TestWithParam<SScanCase> {};

TEST_P(ScanJobTest, FindsCountsStopsAndQueuesAhead) {
    const SScanCase& c = GetParam();
    struct CNet : session::IDatagramTransport {
        void SendTo(const codec::Datagram& datagram, const codec::Ip4& to) override {
            outbox.push_back({datagram, to});
            tSent.push_back(now);
        }
        std::deque<std::pair<codec::Datagram, codec::Ip4>> outbox;
        std::vector<session::TimeMs> tSent;
        session::TimeMs now = 0;
    } net;
    std::vector<controller::Peer> peers;
    std::vector<codec::Ip4> addresses;
    for (std::size_t i = 0; i < c.nAddresses; ++i) {
        addresses.push_back(Address(i));
        peers.emplace_back(controller::DefaultState(Address(i)));
    }
    session::ISessionObserver nobody;
    session::SSessionTiming timing;
    timing.nTickMs = 100;
    timing.nMaxRunning = 4096;
    timing.dStartsPerSecond = c.dRate;
    session::CSessionEngine engine(net, nobody);
    engine.SetModelLookup([](const std::string&) { return session::SModelLookup{}; });

    CScanJob job(addresses, c.dRate);
    CNoIcmpApi noIcmp;
    if (c.bEcho)
        job.ProbeSilent(noIcmp, std::chrono::milliseconds(10));
    std::vector<codec::Ip4> told;
    job.m_pfnFound = [&](const codec::Ip4& a, const session::SReadResult&) { told.push_back(a); };
    const session::ClientId client = engine.AddClient(job.Observer(), timing);
    job.Start(engine, client, [&net] { return net.now; });

    std::size_t nMostWaiting = 0, nSentAtStop = 0;
    for (int n = 0; n < 20000 && job.Poll() == CScanJob::EPhase::Querying; ++n) {
        nMostWaiting = std::max(nMostWaiting, engine.WaitingCount());
        if (c.nStopAfter && !job.Stopped() && job.Counts().nQueriesSent >= c.nStopAfter) {
            job.Stop();
            nSentAtStop = net.tSent.size();
        }
        while (!net.outbox.empty()) {
            const auto [bytes, to] = net.outbox.front();
            net.outbox.pop_front();
            controller::Faults faults;
            for (std::size_t i = 0; i < c.nAddresses; ++i)
                if (!c.off.count(i) && peers[i].Current() == to) {
                    faults.dropKind = i == c.nLossy ? 3 : 0;
                    for (const codec::Datagram& reply :
                         peers[i].Handle(bytes.data(), bytes.size(), faults).replies)
                        engine.OnDatagram(reply.data(), reply.size(), net.now);
                }
        }
        net.now += 5;
        engine.Advance(net.now);
    }
    ASSERT_EQ(job.Phase(), CScanJob::EPhase::Over);
    EXPECT_TRUE(engine.Idle(client));

    // Never more than the bound waits, and the bound is reached when the
    // range is longer than it: the first query leaves at once.
    EXPECT_LE(nMostWaiting, job.AheadLimit());
    if (c.nAddresses > 2 * job.AheadLimit() && !c.nStopAfter) {
        EXPECT_EQ(nMostWaiting, job.AheadLimit());
    }
    ASSERT_FALSE(net.tSent.empty());
    EXPECT_EQ(net.tSent.front(), 0);

    const session::SScanCounts counts = job.Counts();
    EXPECT_EQ(counts.nTotal, c.nAddresses);
    EXPECT_EQ(counts.nDone, c.nAddresses); // dropped reads end too
    EXPECT_EQ(counts.nControllers, job.Found().size());
    EXPECT_EQ(told.size(), job.Found().size());
    EXPECT_EQ(job.ProbeRefused(), c.bEcho && !c.off.empty() && !c.nStopAfter);
    EXPECT_TRUE(job.Echoed().empty());
    if (c.nStopAfter) {
        // What was not started is dropped: nothing went out after the stop.
        EXPECT_TRUE(job.Stopped());
        EXPECT_EQ(net.tSent.size(), nSentAtStop);
        EXPECT_LT(counts.nQueriesSent, c.nAddresses);
        EXPECT_EQ(job.Found().size() + job.Silent().size(), counts.nQueriesSent);
        return;
    }
    EXPECT_EQ(counts.nQueriesSent, c.nAddresses);
    // Every controller that answered is found at the address it was asked
    // at, in address order; the switched-off ones are the silent ones.
    std::vector<codec::Ip4> found, silent(job.Silent());
    for (const auto& [address, read] : job.Found()) {
        found.push_back(address);
        EXPECT_EQ(read.Complete(), address != Address(c.nLossy));
    }
    std::vector<codec::Ip4> expectFound, expectSilent;
    for (std::size_t i = 0; i < c.nAddresses; ++i)
        (c.off.count(i) ? expectSilent : expectFound).push_back(Address(i));
    std::sort(silent.begin(), silent.end());
    EXPECT_EQ(found, expectFound);
    EXPECT_EQ(silent, expectSilent);
}

INSTANTIATE_TEST_SUITE_P(
    Scans, ScanJobTest,
    testing::Values(SScanCase{"some_silent", 6, {1, 4}}, SScanCase{"a_lost_reply_is_still_found", 4, {}, 2},
                    SScanCase{"long_range_queues_ahead", 120, {0, 119}, 99999, 40},
                    SScanCase{"stop_mid_scan", 120, {3}, 99999, 40, 10},
                    SScanCase{"echo_refused", 5, {2}, 99999, 200, 0, true},
                    SScanCase{"echo_refused_nothing_silent", 3, {}, 99999, 200, 0, true}),
    [](const auto& info) { return info.param.name; });

} // namespace
