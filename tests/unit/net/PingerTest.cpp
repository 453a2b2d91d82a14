#include "Pinger.h"
#include "FakeSocketApi.h"
#include "PingReply.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>

namespace {

constexpr int kUntouched = 7; // never written by a probe, so "unchanged" differs from 0 and 1

int Flag() {
    return g_bPingReply.load();
}

class PingerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_nEchoId = g_nEchoSeq = 1;
        g_bPingReply = kUntouched;
    }
    CFakeSocketApi m_api;
    CPinger m_pinger{m_api, std::chrono::milliseconds(0)};
};

std::vector<int> StoredChecksum(std::vector<std::uint8_t> data) {
    const std::uint16_t nChecksum = CPinger::InternetChecksum(data.data(), data.size());
    std::uint8_t bytes[2];
    std::memcpy(bytes, &nChecksum, 2);
    return {bytes[0], bytes[1]};
}

TEST(InternetChecksumTest, MatchesHandComputedValues) {
    // RFC 1071, section 3: sum ddf2, checksum 220d.
    EXPECT_EQ(StoredChecksum({0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7}), (std::vector{0x22, 0x0d}));
    // An odd last byte is a word with high byte 0: 0x0201 + 0x0003.
    EXPECT_EQ(StoredChecksum({0x01, 0x02, 0x03}), (std::vector{0xfb, 0xfd}));
    // The carry folds back in: ffff + ffff -> ffff.
    EXPECT_EQ(StoredChecksum({0xff, 0xff, 0xff, 0xff}), (std::vector{0x00, 0x00}));
}

TEST_F(PingerTest, FirstRequestHasTheEchoLayout) {
    m_api.m_ticks = {0x12345678};
    m_pinger.Probe(1, "192.0.2.7");

    const auto sent = m_api.Sent();
    ASSERT_EQ(sent.size(), 1u);
    const auto& bytes = sent[0].bytes;
    ASSERT_EQ(bytes.size(), 45u);
    EXPECT_EQ(sent[0].nAddress, Address(192, 0, 2, 7));
    const std::vector<std::uint8_t> header{8, 0, 0x01, 0x00, 0x01, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(bytes[0], header[0]);
    EXPECT_EQ(bytes[1], header[1]);
    EXPECT_TRUE(std::equal(header.begin() + 2, header.end(), bytes.begin() + 4));
    for (std::size_t j = 0; j < 32; ++j) {
        EXPECT_EQ(bytes[13 + j], 0x20 + j) << "offset " << 13 + j;
    }
    // 45 bytes: the odd last byte takes part in the verification too.
    EXPECT_EQ(CPinger::InternetChecksum(bytes.data(), bytes.size()), 0);
}

TEST_F(PingerTest, SilentHostGetsEveryAttemptAndCountersRunAcrossProbes) {
    g_bPingReply = 1;
    m_pinger.Probe(3, "192.0.2.1");
    m_pinger.Probe(1, "192.0.2.1");

    const auto sent = m_api.Sent();
    ASSERT_EQ(sent.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Field16(sent[i].bytes, 4), i + 1);
        EXPECT_EQ(Field16(sent[i].bytes, 6), i + 1);
    }
    EXPECT_EQ(m_api.m_nSelects, 4);
    EXPECT_EQ(m_api.m_nCloses, 2);
    EXPECT_EQ(Flag(), 0);
    EXPECT_EQ(m_pinger.StatusText(), "Request Timed Out");
}

// A scan's sweep probes on its own thread while the program's probe runs on the ping worker's:
// each counts its requests from 1 without the other's, and only the program's probe (whose host
// stays silent here) sets the answer flag, however often the sweep's host answers.
TEST_F(PingerTest, ProbesOnTwoThreadsCountApart) {
    constexpr int kProbes = 40;
    CFakeSocketApi sweepApi;
    sweepApi.m_selectHook = [](std::chrono::milliseconds) { return 1; };
    CPinger sweep(sweepApi, std::chrono::milliseconds(0), CPinger::ECounters::Own);
    std::thread sweepThread([&] {
        for (int i = 0; i < kProbes; ++i)
            sweep.Probe(1, "192.0.2.2");
    });
    for (int i = 0; i < kProbes; ++i)
        m_pinger.Probe(1, "192.0.2.1");
    sweepThread.join();

    for (const CFakeSocketApi* pApi : {&m_api, &sweepApi}) {
        const auto sent = pApi->Sent();
        ASSERT_EQ(sent.size(), static_cast<std::size_t>(kProbes));
        for (int i = 0; i < kProbes; ++i) {
            EXPECT_EQ(Field16(sent[i].bytes, 4), i + 1);
            EXPECT_EQ(Field16(sent[i].bytes, 6), i + 1);
        }
    }
    EXPECT_EQ(g_nEchoId, static_cast<std::uint32_t>(kProbes + 1));
    EXPECT_EQ(Flag(), 0);
    EXPECT_EQ(sweep.StatusText().rfind("Reply[1]", 0), 0u) << sweep.StatusText();
}

TEST_F(PingerTest, CountZeroAndUnresolvableHostSendNothing) {
    m_pinger.Probe(0, "192.0.2.1");
    EXPECT_EQ(m_pinger.StatusText(), "Pinging 192.0.2.1 [192.0.2.1] with 32 bytes of data:");
    m_pinger.Probe(3, "no-such-host.invalid");
    EXPECT_EQ(m_pinger.StatusText(), "Host not found: no-such-host.invalid");

    EXPECT_TRUE(m_api.Sent().empty());
    EXPECT_EQ(m_api.m_nOpens, 2);
    EXPECT_EQ(m_api.m_nCloses, 2);
    EXPECT_EQ(Flag(), kUntouched);
}

struct SFailureCase {
    const char* pszName;
    std::function<void(CFakeSocketApi&)> configure;
    std::size_t nSent;
    int nFlag;
    const char* pszError;
};
void PrintTo(const SFailureCase& failure, std::ostream* pOut) {
    *pOut << failure.pszName;
}

class PingerFailureTest : public PingerTest, public ::testing::WithParamInterface<SFailureCase> {};

TEST_P(PingerFailureTest, ReportsAndGoesOnAsDefined) {
    m_api.m_nError = 42;
    GetParam().configure(m_api);
    m_pinger.Probe(3, "192.0.2.1");
    EXPECT_EQ(m_api.Sent().size(), GetParam().nSent);
    EXPECT_EQ(Flag(), GetParam().nFlag);
    EXPECT_EQ(m_pinger.ErrorText(), GetParam().pszError);
    EXPECT_EQ(m_api.m_nCloses, m_api.m_nOpens.load());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, PingerFailureTest,
    ::testing::Values(
        SFailureCase{"NoSocket", [](auto& api) { api.m_bRefuseRaw = api.m_bRefuseDatagram = true; }, 0,
                     kUntouched, "socket() - WSAError: 42"},
        // Not retried; every attempt still waits for its answer.
        SFailureCase{"Send", [](auto& api) { api.m_bFailSend = true; }, 3, 0, "sendto() - WSAError: 42"},
        SFailureCase{"FirstWait", [](auto& api) { api.m_selectHook = [](auto) { return -1; }; }, 1,
                     kUntouched, "select() - WSAError: 42"},
        SFailureCase{"SecondWait",
                     [](auto& api) {
                         api.m_selectHook = [pnWaits = std::make_shared<int>(0)](auto) {
                             return ++*pnWaits == 1 ? 0 : -1;
                         };
                     },
                     2, 0, "select() - WSAError: 42"},
        // Readable is proof enough of an answer, even when the read fails.
        SFailureCase{"Receive",
                     [](auto& api) {
                         api.m_selectHook = [](auto) { return 1; };
                         api.m_bFailReceive = true;
                     },
                     1, 1, "recvfrom() - WSAError: 42"},
        SFailureCase{"Close", [](auto& api) { api.m_nCloseResult = -1; }, 3, 0,
                     "closesocket() - WSAError: 42"}),
    [](const auto& info) { return std::string(info.param.pszName); });

// The echoed time sits behind the IPv4 header on a raw socket and at the start on a datagram
// socket, whose TTL comes as ancillary data.
struct SReplyCase {
    const char* pszName;
    bool bDatagram;
    int nReadyOnWait;
    std::deque<std::uint32_t> ticks;
    const char* pszStatus;
};
void PrintTo(const SReplyCase& reply, std::ostream* pOut) {
    *pOut << reply.pszName;
}

class PingerReplyTest : public PingerTest, public ::testing::WithParamInterface<SReplyCase> {};

TEST_P(PingerReplyTest, ReadsTimeAndTtlAtTheirPlaces) {
    m_api.m_bRefuseRaw = GetParam().bDatagram;
    m_api.m_ticks = GetParam().ticks;
    m_api.m_nReplyTtl = 55;
    m_api.m_nReplySource = Address(10, 1, 2, 3);
    auto pnWaits = std::make_shared<int>(0);
    m_api.m_selectHook = [pnWaits, nReady = GetParam().nReadyOnWait](auto) { return ++*pnWaits >= nReady; };

    m_pinger.Probe(5, "10.1.2.3");

    EXPECT_EQ(m_pinger.StatusText(), GetParam().pszStatus);
    EXPECT_EQ(m_api.Sent().size(), static_cast<std::size_t>(GetParam().nReadyOnWait));
    EXPECT_EQ(Flag(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PingerReplyTest,
    ::testing::Values(
        // The time echoed is that of the answered request, not the first.
        SReplyCase{"RawThirdAttempt",
                   false,
                   3,
                   {100, 1100, 2100, 2107},
                   "Reply[3] from: 10.1.2.3: bytes=32 time=7ms TTL=55"},
        SReplyCase{"Datagram", true, 1, {1000, 1042}, "Reply[1] from: 10.1.2.3: bytes=32 time=42ms TTL=55"},
        SReplyCase{"TickCountWraps",
                   false,
                   1,
                   {0xFFFFFFF0u, 0x10},
                   "Reply[1] from: 10.1.2.3: bytes=32 time=32ms TTL=55"}),
    [](const auto& info) { return std::string(info.param.pszName); });

// Real sockets, counting the requests; can forbid the raw socket to reach the datagram socket.
class CLoopbackApi : public CSystemSocketApi {
public:
    bool m_bDatagramOnly = false;
    int m_nSent = 0;
    TSocket OpenIcmp(EIcmpSocket eKind) override {
        return m_bDatagramOnly && eKind == EIcmpSocket::Raw ? kInvalidSocket
                                                            : CSystemSocketApi::OpenIcmp(eKind);
    }
    int SendTo(TSocket sock, const std::uint8_t* pData, std::size_t nSize, std::uint32_t nAddress) override {
        ++m_nSent;
        return CSystemSocketApi::SendTo(sock, pData, nSize, nAddress);
    }
};

class PingerLoopbackTest : public PingerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PingerLoopbackTest, ReplyStopsTheAttempts) {
    CLoopbackApi api;
    api.m_bDatagramOnly = GetParam();
    TSocket sock = api.OpenIcmp(CSocketApi::EIcmpSocket::Raw);
    if (sock == kInvalidSocket &&
        (sock = api.OpenIcmp(CSocketApi::EIcmpSocket::Datagram)) == kInvalidSocket) {
        GTEST_SKIP() << "no ICMP socket of this kind may be opened here";
    }
    api.Close(sock);
    int nDefaultTtl = 0;
    std::ifstream("/proc/sys/net/ipv4/ip_default_ttl") >> nDefaultTtl;

    CPinger pinger(api);
    pinger.Probe(3, "127.0.0.1");

    EXPECT_EQ(api.m_nSent, 1);
    EXPECT_EQ(Flag(), 1);
    EXPECT_EQ(pinger.ErrorText(), "");
    std::smatch match;
    const std::string strStatus = pinger.StatusText();
    ASSERT_TRUE(std::regex_match(
        strStatus, match, std::regex(R"(Reply\[1\] from: 127\.0\.0\.1: bytes=32 time=(\d+)ms TTL=(\d+))")))
        << strStatus;
    EXPECT_LT(std::stoul(match[1]), 1000u);
    // Where the system's default TTL cannot be read (Windows), any real TTL will do.
    if (nDefaultTtl > 0)
        EXPECT_EQ(std::stoi(match[2]), nDefaultTtl);
    else
        EXPECT_GT(std::stoi(match[2]), 0);
}

INSTANTIATE_TEST_SUITE_P(Sockets, PingerLoopbackTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "DatagramOnly" : "RawOrDatagram"; });

} // namespace
