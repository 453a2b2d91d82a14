#include "Pinger.h"
#include "FakeSocketApi.h"
#include "PingReply.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

// A value the probe never writes, so "unchanged" is told apart from 0 and 1.
constexpr std::uint8_t kUntouched = 7;

int Flag() {
    return g_bPingReply.load();
}

class PingerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_nEchoId = 1;
        g_nEchoSeq = 1;
        g_bPingReply = kUntouched;
    }

    CFakeSocketApi m_api;
    CPinger m_pinger{m_api, std::chrono::milliseconds(0)};
};

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> bytes;
    for (int nValue : values) {
        bytes.push_back(static_cast<std::uint8_t>(nValue));
    }
    return bytes;
}

std::vector<std::uint8_t> ChecksumBytes(const std::vector<std::uint8_t>& data) {
    const std::uint16_t nChecksum = CPinger::InternetChecksum(data.data(), data.size());
    std::vector<std::uint8_t> stored(2);
    std::memcpy(stored.data(), &nChecksum, 2);
    return stored;
}

TEST(InternetChecksumTest, MatchesHandComputedValues) {
    // The worked example of RFC 1071, section 3: one's complement sum ddf2, checksum 220d.
    EXPECT_EQ(ChecksumBytes(Bytes({0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7})), Bytes({0x22, 0x0d}));
    // An odd last byte is the low byte of a word whose high byte is 0: 0x0201 + 0x0003 = 0x0204.
    EXPECT_EQ(ChecksumBytes(Bytes({0x01, 0x02, 0x03})), Bytes({0xfb, 0xfd}));
    // Carries fold back in: ffff + ffff = 1fffe -> ffff -> checksum 0.
    EXPECT_EQ(ChecksumBytes(Bytes({0xff, 0xff, 0xff, 0xff})), Bytes({0x00, 0x00}));
    EXPECT_EQ(ChecksumBytes({}), Bytes({0xff, 0xff}));
}

TEST(InternetChecksumTest, RunWithItsChecksumInPlaceVerifiesToZero) {
    for (std::size_t nSize : {6u, 7u, 45u, 321u}) {
        std::vector<std::uint8_t> data(nSize);
        for (std::size_t i = 0; i < nSize; ++i) {
            data[i] = static_cast<std::uint8_t>(i * 37 + 11);
        }
        data[2] = data[3] = 0;
        const std::uint16_t nChecksum = CPinger::InternetChecksum(data.data(), data.size());
        std::memcpy(&data[2], &nChecksum, 2);
        EXPECT_EQ(CPinger::InternetChecksum(data.data(), data.size()), 0) << "size " << nSize;
    }
}

TEST_F(PingerTest, FirstRequestHasTheEchoLayout) {
    m_api.m_ticks = {0x12345678};
    m_pinger.Probe(1, "192.0.2.7");

    const auto sent = m_api.Sent();
    ASSERT_EQ(sent.size(), 1u);
    const auto& bytes = sent[0].bytes;
    ASSERT_EQ(bytes.size(), 45u);
    EXPECT_EQ(sent[0].nAddress, Address(192, 0, 2, 7));
    EXPECT_EQ(bytes[0], 8);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 4, bytes.begin() + 13),
              Bytes({0x01, 0x00, 0x01, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12}));
    for (std::size_t j = 0; j < 32; ++j) {
        EXPECT_EQ(bytes[13 + j], 0x20 + j) << "offset " << 13 + j;
    }
    EXPECT_EQ(CPinger::InternetChecksum(bytes.data(), bytes.size()), 0);
    EXPECT_EQ(m_pinger.StatusText(), "Request Timed Out");
}

TEST_F(PingerTest, SilentHostGetsEveryAttemptAndCountersRunAcrossProbes) {
    g_bPingReply = 1;
    m_pinger.Probe(3, "192.0.2.1");

    auto sent = m_api.Sent();
    ASSERT_EQ(sent.size(), 3u);
    for (std::uint16_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Field16(sent[i].bytes, 4), i + 1);
        EXPECT_EQ(Field16(sent[i].bytes, 6), i + 1);
        EXPECT_EQ(CPinger::InternetChecksum(sent[i].bytes.data(), sent[i].bytes.size()), 0);
    }
    EXPECT_EQ(m_api.Selects(), 3);
    EXPECT_EQ(Flag(), 0);
    EXPECT_EQ(m_pinger.StatusText(), "Request Timed Out");
    EXPECT_EQ(m_api.Opens(), 1);
    EXPECT_EQ(m_api.Closes(), 1);

    m_pinger.Probe(1, "192.0.2.1");
    sent = m_api.Sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(Field16(sent[3].bytes, 4), 4);
    EXPECT_EQ(Field16(sent[3].bytes, 6), 4);
}

TEST_F(PingerTest, SixteenBitFieldsWrapWithTheirCounters) {
    g_nEchoId = g_nEchoSeq = 0xFFFF;
    m_pinger.Probe(2, "192.0.2.1");
    const auto sent = m_api.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(Field16(sent[0].bytes, 4), 0xFFFF);
    EXPECT_EQ(Field16(sent[1].bytes, 4), 0x0000);
    EXPECT_EQ(Field16(sent[1].bytes, 6), 0x0000);
    EXPECT_EQ(g_nEchoId, 0x10001u);
    EXPECT_EQ(g_nEchoSeq, 0x10001u);
}

TEST_F(PingerTest, CountZeroOpensAndClosesButSendsNothing) {
    m_pinger.Probe(0, "192.0.2.1");
    EXPECT_EQ(m_api.Opens(), 1);
    EXPECT_EQ(m_api.Closes(), 1);
    EXPECT_TRUE(m_api.Sent().empty());
    EXPECT_EQ(m_api.Selects(), 0);
    EXPECT_EQ(Flag(), kUntouched);
    EXPECT_EQ(m_pinger.StatusText(), "Pinging 192.0.2.1 [192.0.2.1] with 32 bytes of data:");
}

TEST_F(PingerTest, UnresolvableHostSendsNothingAndClosesTheSocket) {
    m_pinger.Probe(3, "no-such-host.invalid");
    EXPECT_TRUE(m_api.Sent().empty());
    EXPECT_EQ(m_api.Closes(), 1);
    EXPECT_EQ(Flag(), kUntouched);
    EXPECT_EQ(m_pinger.StatusText(), "Host not found: no-such-host.invalid");
}

// A socket failure at each step: what is sent, what the flag becomes, and the error text.
struct SFailureCase {
    const char* pszName;
    std::function<void(CFakeSocketApi&)> configure;
    std::size_t nSent;
    std::uint8_t nFlag;
    const char* pszError;
    int nCloses;
};

void PrintTo(const SFailureCase& failure, std::ostream* pOut) {
    *pOut << failure.pszName;
}

class PingerFailureTest : public PingerTest, public ::testing::WithParamInterface<SFailureCase> {};

TEST_P(PingerFailureTest, ReportsAndContinuesAsDefined) {
    const SFailureCase& failure = GetParam();
    failure.configure(m_api);
    m_pinger.Probe(3, "192.0.2.1");
    EXPECT_EQ(m_api.Sent().size(), failure.nSent);
    EXPECT_EQ(Flag(), failure.nFlag);
    EXPECT_EQ(m_pinger.ErrorText(), failure.pszError);
    EXPECT_EQ(m_api.Closes(), failure.nCloses);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, PingerFailureTest,
    ::testing::Values(SFailureCase{"NoSocketOfEitherKind",
                                   [](CFakeSocketApi& api) {
                                       api.m_bRefuseRaw = api.m_bRefuseDatagram = true;
                                       api.m_nError = 13;
                                   },
                                   0, kUntouched, "socket() - WSAError: 13", 0},
                      // A failed send is not retried, and each attempt still waits for its answer.
                      SFailureCase{"SendFails",
                                   [](CFakeSocketApi& api) {
                                       api.m_sendHook = [] { return -1; };
                                       api.m_nError = 101;
                                   },
                                   3, 0, "sendto() - WSAError: 101", 1},
                      SFailureCase{"WaitFailsFirst",
                                   [](CFakeSocketApi& api) {
                                       api.m_selectHook = [](std::chrono::milliseconds) { return -1; };
                                       api.m_nError = 4;
                                   },
                                   1, kUntouched, "select() - WSAError: 4", 1},
                      SFailureCase{"WaitFailsAfterATimeout",
                                   [](CFakeSocketApi& api) {
                                       auto nCalls = std::make_shared<int>(0);
                                       api.m_selectHook = [nCalls](std::chrono::milliseconds) {
                                           return ++*nCalls == 1 ? 0 : -1;
                                       };
                                       api.m_nError = 4;
                                   },
                                   2, 0, "select() - WSAError: 4", 1},
                      // Readable is proof enough of an answer, even when the read itself fails.
                      SFailureCase{"ReceiveFails",
                                   [](CFakeSocketApi& api) {
                                       api.m_selectHook = [](std::chrono::milliseconds) { return 1; };
                                       api.m_receiveHook = [] { return -1; };
                                       api.m_nError = 104;
                                   },
                                   1, 1, "recvfrom() - WSAError: 104", 1},
                      SFailureCase{"CloseFails",
                                   [](CFakeSocketApi& api) {
                                       api.m_nCloseResult = -1;
                                       api.m_nError = 9;
                                   },
                                   3, 0, "closesocket() - WSAError: 9", 1}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST_F(PingerTest, UsesDatagramSocketWhenRawIsRefused) {
    m_api.m_bRefuseRaw = true;
    m_pinger.Probe(1, "192.0.2.1");
    EXPECT_EQ(m_api.Opens(), 1);
    EXPECT_EQ(m_api.Sent().size(), 1u);
    EXPECT_EQ(m_pinger.ErrorText(), "");
}

// Where the answer sits depends on the socket kind: behind the IPv4 header on a raw socket, at
// the start of the buffer on a datagram socket, whose TTL arrives as ancillary data.
struct SReplyCase {
    const char* pszName;
    bool bDatagram;
    int nReplyOnSelect; // the wait that first finds the socket readable
    std::deque<std::uint32_t> ticks;
    const char* pszStatus;
};

void PrintTo(const SReplyCase& reply, std::ostream* pOut) {
    *pOut << reply.pszName;
}

class PingerReplyTest : public PingerTest, public ::testing::WithParamInterface<SReplyCase> {};

TEST_P(PingerReplyTest, ReadsTimeAndTtlAtTheirPlaces) {
    const SReplyCase& reply = GetParam();
    m_api.m_bRefuseRaw = reply.bDatagram;
    m_api.m_ticks = reply.ticks;
    m_api.m_nReplyTtl = 55;
    m_api.m_nReplySource = Address(10, 1, 2, 3);
    auto nCalls = std::make_shared<int>(0);
    m_api.m_selectHook = [nCalls, nReady = reply.nReplyOnSelect](std::chrono::milliseconds) {
        return ++*nCalls >= nReady ? 1 : 0;
    };

    m_pinger.Probe(5, "10.1.2.3");

    EXPECT_EQ(m_pinger.StatusText(), reply.pszStatus);
    EXPECT_EQ(m_api.Sent().size(), static_cast<std::size_t>(reply.nReplyOnSelect));
    EXPECT_EQ(Flag(), 1);
    EXPECT_EQ(m_api.Closes(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PingerReplyTest,
    ::testing::Values(
        SReplyCase{
            "RawFirstAttempt", false, 1, {1000, 1042}, "Reply[1] from: 10.1.2.3: bytes=32 time=42ms TTL=55"},
        SReplyCase{"DatagramFirstAttempt",
                   true,
                   1,
                   {1000, 1042},
                   "Reply[1] from: 10.1.2.3: bytes=32 time=42ms TTL=55"},
        // The time of the answered request is the one echoed, not the first one sent.
        SReplyCase{"RawThirdAttempt",
                   false,
                   3,
                   {100, 1100, 2100, 2107},
                   "Reply[3] from: 10.1.2.3: bytes=32 time=7ms TTL=55"},
        SReplyCase{"TickCountWraps",
                   true,
                   1,
                   {0xFFFFFFF0u, 0x10},
                   "Reply[1] from: 10.1.2.3: bytes=32 time=32ms TTL=55"}),
    [](const auto& info) { return std::string(info.param.pszName); });

// Counts the requests that go out over the real sockets; can forbid the raw socket to exercise
// the unprivileged datagram socket.
class CCountingSocketApi : public CSystemSocketApi {
public:
    explicit CCountingSocketApi(bool bDatagramOnly) : m_bDatagramOnly(bDatagramOnly) {}

    TSocket OpenIcmp(EIcmpSocket eKind) override {
        if (m_bDatagramOnly && eKind == EIcmpSocket::Raw) {
            return kInvalidSocket;
        }
        return CSystemSocketApi::OpenIcmp(eKind);
    }
    int SendTo(TSocket sock, const std::uint8_t* pData, std::size_t nSize, std::uint32_t nAddress) override {
        ++m_nSent;
        return CSystemSocketApi::SendTo(sock, pData, nSize, nAddress);
    }

    int m_nSent = 0;

private:
    const bool m_bDatagramOnly;
};

int DefaultTtl() {
    std::ifstream file("/proc/sys/net/ipv4/ip_default_ttl");
    int nTtl = 64;
    file >> nTtl;
    return nTtl;
}

class PingerLoopbackTest : public PingerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PingerLoopbackTest, ReplyStopsTheAttempts) {
    CCountingSocketApi api(GetParam());
    const TSocket probe = GetParam() ? kInvalidSocket : api.OpenIcmp(CSocketApi::EIcmpSocket::Raw);
    const TSocket fallback =
        probe != kInvalidSocket ? kInvalidSocket : api.OpenIcmp(CSocketApi::EIcmpSocket::Datagram);
    if (probe == kInvalidSocket && fallback == kInvalidSocket) {
        GTEST_SKIP() << "this process may open no ICMP socket of the kind under test";
    }
    api.Close(probe != kInvalidSocket ? probe : fallback);

    CPinger pinger(api);
    pinger.Probe(3, "127.0.0.1");

    EXPECT_EQ(api.m_nSent, 1);
    EXPECT_EQ(Flag(), 1);
    EXPECT_EQ(pinger.ErrorText(), "");
    const std::regex reply(R"(Reply\[1\] from: 127\.0\.0\.1: bytes=32 time=(\d+)ms TTL=(\d+))");
    std::smatch match;
    const std::string strStatus = pinger.StatusText();
    ASSERT_TRUE(std::regex_match(strStatus, match, reply)) << strStatus;
    EXPECT_LT(std::stoul(match[1]), 1000u);
    EXPECT_EQ(std::stoi(match[2]), DefaultTtl());
}

INSTANTIATE_TEST_SUITE_P(Sockets, PingerLoopbackTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "DatagramOnly" : "RawOrDatagram"; });

} // namespace
