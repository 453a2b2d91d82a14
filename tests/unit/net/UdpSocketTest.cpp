// The UDP layer on real loopback sockets: binds alone and shared, the
// emulator's arrangement of one port on several addresses, datagrams with
// their sender, waits and the free-port check.
#include "udp/UdpSocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using net::CUdpSocket;
using net::Ip4;
using EShare = CUdpSocket::EShare;
using EBind = CUdpSocket::EBind;

constexpr Ip4 kAny{0, 0, 0, 0};
constexpr Ip4 kLoopback{127, 0, 0, 1};

CUdpSocket Bound(const Ip4& address, std::uint16_t nPort, EShare share) {
    CUdpSocket socket;
    std::string strError;
    EXPECT_EQ(socket.Bind(address, nPort, share, strError), EBind::Bound) << strError;
    return socket;
}

std::vector<std::uint8_t> ReceiveOne(CUdpSocket& socket, Ip4* pFrom = nullptr,
                                     std::uint16_t* pFromPort = nullptr) {
    std::vector<std::uint8_t> bytes(2048);
    if (!socket.Wait(2000))
        return {};
    const long n = socket.Receive(bytes.data(), bytes.size(), pFrom, pFromPort);
    bytes.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return bytes;
}

struct SShareCase {
    const char* pszName;
    EShare first, second;
    EBind expected;
};

class UdpSocketShareTest : public ::testing::TestWithParam<SShareCase> {};

// A second bind of the same address and port succeeds only when both share.
TEST_P(UdpSocketShareTest, SecondBindOfOneAddress) {
    CUdpSocket first = Bound(kLoopback, 0, GetParam().first);
    const std::uint16_t nPort = first.LocalPort();
    ASSERT_NE(nPort, 0);
    CUdpSocket second;
    std::string strError;
    EXPECT_EQ(second.Bind(kLoopback, nPort, GetParam().second, strError), GetParam().expected);
    EXPECT_EQ(second.IsOpen(), GetParam().expected == EBind::Bound);
    if (GetParam().expected != EBind::Bound) {
        EXPECT_FALSE(strError.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Binds, UdpSocketShareTest,
    ::testing::Values(SShareCase{"BothAlone", EShare::Alone, EShare::Alone, EBind::PortTaken},
                      SShareCase{"BothShared", EShare::Shared, EShare::Shared, EBind::Bound},
                      SShareCase{"SharedThenAlone", EShare::Shared, EShare::Alone, EBind::PortTaken}),
    [](const auto& info) { return std::string(info.param.pszName); });

// The emulator's arrangement: a program holds 0.0.0.0 on the port, and
// controllers on addresses of their own share it; each datagram reaches the
// socket of the address it was sent to, and its sender is reported.
TEST(UdpSocketTest, SharedPortOnSeveralAddressesDeliversByAddress) {
#ifdef _WIN32
    // Only the emulator shares a port this way, and it runs on Linux; Wine's
    // loopback neither delivers by the bound address nor keeps the sender's.
    GTEST_SKIP() << "delivery by bound address is the Linux emulator's arrangement";
#endif
    CUdpSocket program = Bound(kAny, 0, EShare::Shared);
    const std::uint16_t nPort = program.LocalPort();
    CUdpSocket roomA = Bound(Ip4{127, 0, 0, 2}, nPort, EShare::Shared);
    CUdpSocket roomB = Bound(Ip4{127, 0, 0, 3}, nPort, EShare::Shared);
    CUdpSocket client = Bound(kLoopback, 0, EShare::Alone);

    const std::vector<std::uint8_t> toA{1, 2, 3}, toB{4, 5};
    EXPECT_EQ(client.Send(toA.data(), toA.size(), Ip4{127, 0, 0, 2}, nPort), "");
    EXPECT_EQ(client.Send(toB.data(), toB.size(), Ip4{127, 0, 0, 3}, nPort), "");
    Ip4 from{};
    std::uint16_t nFromPort = 0;
    EXPECT_EQ(ReceiveOne(roomA, &from, &nFromPort), toA);
    EXPECT_EQ(from, kLoopback);
    EXPECT_EQ(nFromPort, client.LocalPort());
    EXPECT_EQ(ReceiveOne(roomB), toB);

    // A reply from a room comes from the room's own address.
    const std::vector<std::uint8_t> reply{9};
    EXPECT_EQ(roomB.Send(reply.data(), reply.size(), kLoopback, client.LocalPort()), "");
    EXPECT_EQ(ReceiveOne(client, &from, &nFromPort), reply);
    EXPECT_EQ(from, (Ip4{127, 0, 0, 3}));
    EXPECT_EQ(nFromPort, nPort);
    EXPECT_FALSE(program.Wait(0));
}

TEST(UdpSocketTest, ReceiveNeverBlocksAndCutsLongDatagrams) {
    CUdpSocket receiver = Bound(kLoopback, 0, EShare::Alone);
    CUdpSocket sender = Bound(kLoopback, 0, EShare::Alone);
    std::uint8_t buffer[4] = {};
    EXPECT_EQ(receiver.Receive(buffer, sizeof buffer), -1);

    const std::vector<std::uint8_t> bytes{1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(sender.Send(bytes.data(), bytes.size(), kLoopback, receiver.LocalPort()), "");
    ASSERT_TRUE(receiver.Wait(2000));
    EXPECT_EQ(receiver.Receive(buffer, sizeof buffer), 4);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 4),
              std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 4));
    // The rest of the cut datagram is gone, not read as a next one.
    EXPECT_EQ(receiver.Receive(buffer, sizeof buffer), -1);
}

TEST(UdpSocketTest, WaitsEndAtTheTimeoutOrOnTheSocketThatIsReady) {
    CUdpSocket quiet = Bound(kLoopback, 0, EShare::Alone);
    CUdpSocket busy = Bound(kLoopback, 0, EShare::Alone);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(quiet.Wait(60));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));

    const std::uint8_t byte = 7;
    ASSERT_EQ(quiet.Send(&byte, 1, kLoopback, busy.LocalPort()), "");
    std::vector<bool> ready;
    ASSERT_TRUE(CUdpSocket::WaitAny({&quiet, &busy}, 2000, ready));
    EXPECT_EQ(ready, (std::vector<bool>{false, true}));
}

TEST(UdpSocketTest, PortIsFreeOnlyWhenNoSocketHoldsIt) {
    std::uint16_t nPort = 0;
    {
        CUdpSocket alone = Bound(kAny, 0, EShare::Alone);
        nPort = alone.LocalPort();
        EXPECT_FALSE(CUdpSocket::PortIsFree(nPort));
    }
    EXPECT_TRUE(CUdpSocket::PortIsFree(nPort));
    // A shared holder (the window) still makes a plain bind fail.
    CUdpSocket shared = Bound(kAny, nPort, EShare::Shared);
    EXPECT_FALSE(CUdpSocket::PortIsFree(nPort));
}

// A rebind that succeeded replaces the old socket; the old port is let go.
TEST(UdpSocketTest, TakeOverAndMoveKeepOneOwner) {
    CUdpSocket room = Bound(Ip4{127, 0, 0, 2}, 0, EShare::Alone);
    const std::uint16_t nOld = room.LocalPort();
    CUdpSocket moved = Bound(Ip4{127, 0, 0, 4}, 0, EShare::Alone);
    const std::uint16_t nNew = moved.LocalPort();
    room.TakeOver(moved);
    EXPECT_FALSE(moved.IsOpen());
    EXPECT_EQ(room.LocalPort(), nNew);
    CUdpSocket again;
    std::string strError;
    EXPECT_EQ(again.Bind(Ip4{127, 0, 0, 2}, nOld, EShare::Alone, strError), EBind::Bound) << strError;

    CUdpSocket target = std::move(room);
    EXPECT_FALSE(room.IsOpen());
    EXPECT_EQ(target.LocalPort(), nNew);
    EXPECT_EQ(room.NativeHandle(), CUdpSocket::kNoHandle);
}

TEST(UdpSocketTest, ClosedSocketRefusesQuietly) {
    CUdpSocket closed;
    std::uint8_t byte = 0;
    EXPECT_EQ(closed.LocalPort(), 0);
    EXPECT_EQ(closed.Receive(&byte, 1), -1);
    EXPECT_FALSE(closed.Send(&byte, 1, kLoopback, 9).empty());
}

TEST(UdpSocketTest, ParsesDottedAddresses) {
    Ip4 address{};
    ASSERT_TRUE(CUdpSocket::ParseAddress("192.168.1.200", address));
    EXPECT_EQ(address, (Ip4{192, 168, 1, 200}));
    EXPECT_FALSE(CUdpSocket::ParseAddress("192.168.1.", address));
    EXPECT_FALSE(CUdpSocket::ParseAddress("", address));
    EXPECT_EQ(CUdpSocket::AddressText({10, 0, 255, 7}), "10.0.255.7");
}

} // namespace
