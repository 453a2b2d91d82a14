// The default ranges of a controller scan, and the echo sweep over the
// addresses that gave no reply.
#include "EchoSweep.h"
#include "FakeSocketApi.h"
#include "LocalInterfaces.h"
#include "PingReply.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

namespace {

struct SRangeCase {
    const char* pszName;
    std::vector<SInterfaceAddress> interfaces;
    std::string strExpected;
};

class DefaultScanRangesTest : public ::testing::TestWithParam<SRangeCase> {};

TEST_P(DefaultScanRangesTest, CoverEachInterfaceSubnet) {
    EXPECT_EQ(DefaultScanRanges(GetParam().interfaces), GetParam().strExpected);
}

SInterfaceAddress Interface(std::array<std::uint8_t, 4> address, int nPrefix, bool bLoopback = false) {
    return SInterfaceAddress{"if", address, nPrefix, bLoopback};
}

INSTANTIATE_TEST_SUITE_P(
    Interfaces, DefaultScanRangesTest,
    ::testing::Values(SRangeCase{"ClassroomLan", {Interface({192, 168, 1, 37}, 24)}, "192.168.1.0/24"},
                      SRangeCase{"WideSubnetNarrowed", {Interface({10, 1, 2, 3}, 8)}, "10.1.2.0/24"},
                      SRangeCase{"TwentyKept", {Interface({172, 16, 5, 9}, 20)}, "172.16.0.0/20"},
                      SRangeCase{"LoopbackNarrowed", {Interface({127, 0, 0, 1}, 8, true)}, "127.0.0.0/24"},
                      SRangeCase{"HostRoute", {Interface({10, 0, 0, 7}, 32)}, "10.0.0.7/32"},
                      SRangeCase{"SameSubnetOnce",
                                 {Interface({192, 168, 1, 37}, 24), Interface({192, 168, 1, 38}, 24),
                                  Interface({127, 0, 0, 1}, 8, true)},
                                 "192.168.1.0/24,127.0.0.0/24"},
                      SRangeCase{"None", {}, ""}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST(LocalInterfacesTest, LoopbackIsAmongThem) {
    bool bLoopback = false;
    for (const SInterfaceAddress& item : LocalIpv4Interfaces())
        if (item.address == std::array<std::uint8_t, 4>{127, 0, 0, 1}) {
            bLoopback = true;
            EXPECT_TRUE(item.bLoopback);
            EXPECT_EQ(item.nPrefix, 8);
        }
    EXPECT_TRUE(bLoopback);
}

struct SAllowedCase {
    bool bRefuseRaw, bRefuseDatagram, bAllowed;
};
class ProbingAllowedTest : public ::testing::TestWithParam<SAllowedCase> {};

TEST_P(ProbingAllowedTest, NeedsOneKindOfIcmpSocket) {
    CFakeSocketApi api;
    api.m_bRefuseRaw = GetParam().bRefuseRaw;
    api.m_bRefuseDatagram = GetParam().bRefuseDatagram;
    EXPECT_EQ(CEchoSweep::ProbingAllowed(api), GetParam().bAllowed);
    EXPECT_EQ(api.m_nCloses.load(), api.m_nOpens.load());
}

INSTANTIATE_TEST_SUITE_P(Sockets, ProbingAllowedTest,
                         ::testing::Values(SAllowedCase{false, false, true}, SAllowedCase{true, false, true},
                                           SAllowedCase{false, true, true}, SAllowedCase{true, true, false}));

// Hosts .2 and .4 answer; the others stay silent.
TEST(EchoSweepTest, ReportsEachAddressInOrder) {
    CFakeSocketApi api;
    const std::set<std::uint32_t> answering{Address(10, 0, 0, 2), Address(10, 0, 0, 4)};
    api.m_selectHook = [&](std::chrono::milliseconds) {
        const auto sent = api.Sent();
        return !sent.empty() && answering.count(sent.back().nAddress) ? 1 : 0;
    };
    CEchoSweep sweep({{10, 0, 0, 1}, {10, 0, 0, 2}, {10, 0, 0, 3}, {10, 0, 0, 4}}, api,
                     std::chrono::milliseconds(5));
    std::vector<CEchoSweep::SResult> results;
    for (int i = 0; i < 500 && !sweep.Finished(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(sweep.Finished());
    results = sweep.TakeResults();
    ASSERT_EQ(results.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(results[i].address[3], i + 1);
        EXPECT_EQ(results[i].bAnswered, i == 1 || i == 3) << i;
    }
    EXPECT_TRUE(sweep.TakeResults().empty());
}

// The sweep's answers are its own: the program's probe counters and answer flag stay as they were.
TEST(EchoSweepTest, LeavesTheProgramsProbeAlone) {
    g_nEchoId = g_nEchoSeq = 1;
    g_bPingReply = 7;
    CFakeSocketApi api;
    api.m_selectHook = [](std::chrono::milliseconds) { return 1; };
    CEchoSweep sweep({{10, 0, 0, 1}, {10, 0, 0, 2}}, api, std::chrono::milliseconds(5));
    for (int i = 0; i < 500 && !sweep.Finished(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(sweep.Finished());
    EXPECT_EQ(sweep.TakeResults().size(), 2u);
    EXPECT_EQ(g_nEchoId, 1u);
    EXPECT_EQ(g_nEchoSeq, 1u);
    EXPECT_EQ(g_bPingReply.load(), 7);
}

TEST(EchoSweepTest, StopEndsBeforeTheRest) {
    CFakeSocketApi api;
    api.m_selectHook = [](std::chrono::milliseconds timeout) {
        std::this_thread::sleep_for(timeout);
        return 0;
    };
    std::vector<CEchoSweep::Address> many(200, CEchoSweep::Address{10, 0, 0, 9});
    auto pSweep = std::make_unique<CEchoSweep>(many, api, std::chrono::milliseconds(5));
    pSweep->Stop();
    for (int i = 0; i < 500 && !pSweep->Finished(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(pSweep->Finished());
    EXPECT_LT(pSweep->TakeResults().size(), many.size());
}

} // namespace
