// The real velmora-controller on loopback: settings sent with the request
// builders come back through the reply reader, an address change is
// followed, a restart keeps everything, and the fault options reach the wire.

#include "EmulatorProcess.h"
#include "codec/CodeBundle.h"
#include "codec/Reply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>

namespace {

using codec::Datagram;
using codec::Ip4;
using codec::ReplyOutcome;
using emulator::Client;
using emulator::Process;
using emulator::TempFolder;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

codec::SettingsValues Settings(const Ip4& here, const Ip4& next) {
    codec::SettingsValues v;
    v.initialIp = here;
    v.controllerIp = next;
    v.serverIp = {10, 1, 2, 3};
    v.maskIp = {255, 255, 254, 0};
    v.gatewayIp = {10, 1, 2, 254};
    v.code1 = codec::BuildCodeBundle({"19200", "奇", "0A1B2C3D", "0102", "AABBCC", "DD"}).bundle;
    v.code2 = codec::BuildCodeBundle({"57600", "偶", "77", "", "28504F5745520D", "2950"}).bundle;
    v.oneKey = true;
    v.lockTypeIndex = 0;
    v.lockTimeIndex = 30;
    v.domeIndex = 1;
    v.micIndex = 0;
    v.keyboardIndex = 1;
    return v;
}

const std::vector<codec::MicEntryText> kRows{
    {"3", "16", "-1", "1"}, {"0", "1", "2", "3"}, {"7", "7", "7", "0"}};

// Sends the four settings of a Set (without its pauses) to the emulator.
void SendSettings(const Client& client, const codec::SettingsValues& v, std::uint16_t port) {
    const auto steps = codec::BuildSetSequence(v, kRows);
    for (std::size_t i = 0; i < 4; ++i)
        client.Send(steps[i].datagram, steps[i].destination, port);
}

std::vector<Datagram> Query(const Client& client, const Ip4& address, std::uint16_t port,
                            std::size_t expect = 4, int waitMs = 3000) {
    client.Send(codec::BuildQuery(address), address, port);
    return client.Receive(expect, waitMs);
}

// Checks that the replies carry exactly what `v` and kRows set.
void ExpectMirrors(const std::vector<Datagram>& replies, const codec::SettingsValues& v) {
    ASSERT_EQ(replies.size(), 4u);
    const Datagram device = codec::BuildDeviceRequest(v, kRows);
    std::map<int, codec::Reply> byKind;
    for (const auto& d : replies) {
        const auto r = codec::ReadReply(d.data(), d.size(), v.controllerIp);
        byKind[r.kind] = r;
    }
    ASSERT_EQ(byKind.size(), 4u);
    EXPECT_EQ(byKind[1].outcome, ReplyOutcome::Projector);
    EXPECT_EQ(Lower(byKind[1].projector.storedBundle), Lower(v.code1));
    EXPECT_EQ(codec::VideoTextFromCode(byKind[1].projector.codeText), "0a1b2c3d");
    EXPECT_EQ(byKind[2].outcome, ReplyOutcome::Projector);
    EXPECT_EQ(Lower(byKind[2].projector.storedBundle), Lower(v.code2));

    const codec::IpReply& ip = byKind[3].ip;
    EXPECT_EQ(byKind[3].outcome, ReplyOutcome::IpSettings);
    EXPECT_EQ(ip.server, v.serverIp);
    EXPECT_EQ(ip.controller, v.controllerIp);
    EXPECT_EQ(ip.mask, v.maskIp);
    EXPECT_EQ(ip.gateway, v.gatewayIp);
    EXPECT_TRUE(ip.oneKey);
    EXPECT_EQ(ip.lockTypeIndex, 0);
    EXPECT_EQ(ip.lockTimeIndex, 30);

    const codec::AdditionalReply& more = byKind[4].additional;
    EXPECT_EQ(byKind[4].outcome, ReplyOutcome::Additional);
    EXPECT_EQ(more.domeIndex, 1);
    EXPECT_EQ(more.micIndex, 0);
    EXPECT_EQ(more.keyboardIndex, 1);
    for (std::size_t i = 0; i < 20; ++i)
        EXPECT_TRUE(std::equal(more.mic[i].begin(), more.mic[i].end(), device.begin() + 24 + 4 * i)) << i;
    EXPECT_EQ(more.mic[0], (std::array<std::uint8_t, 4>{0x02, 0x04, 0x11, 0xFF}));
}

TEST(ControllerProcessTest, SettingsComeBackAndSurviveARestart) {
    TempFolder folder;
    const std::string state = folder.File("state.json");
    const std::string log = folder.File("log.txt");
    const Ip4 here{127, 60, 0, 1};
    Process emulator;
    ASSERT_TRUE(emulator.Start({"--address", "127.60.0.1", "--port", "0", "--state", state, "--log", log}));
    EXPECT_EQ(emulator.address, here);

    Client client;
    const auto v = Settings(here, here);
    SendSettings(client, v, emulator.port);
    const auto first = Query(client, here, emulator.port);
    ExpectMirrors(first, v);
    EXPECT_EQ(emulator.Stop(), 0);

    // One line per datagram: four settings and a query in, four replies out.
    std::ifstream lines(log);
    std::size_t received = 0, sent = 0;
    for (std::string line; std::getline(lines, line);) {
        received += line.find(" recv 127.0.0.1:") != std::string::npos;
        sent += line.find(" send 127.0.0.1:") != std::string::npos;
    }
    EXPECT_EQ(received, 5u);
    EXPECT_EQ(sent, 4u);

    // No --address: the state file says where the controller is.
    Process again;
    ASSERT_TRUE(again.Start({"--port", "0", "--state", state}));
    EXPECT_EQ(again.address, here);
    const auto second = Query(client, here, again.port);
    EXPECT_EQ(second, first);
    EXPECT_EQ(again.Stop(SIGINT), 0);
}

TEST(ControllerProcessTest, AddressChangeIsFollowed) {
    TempFolder folder;
    const std::string state = folder.File("state.json");
    const Ip4 before{127, 60, 0, 2}, after{127, 60, 0, 3};
    Process emulator;
    ASSERT_TRUE(emulator.Start({"--address", "127.60.0.2", "--port", "0", "--state", state}));

    Client client;
    const auto v = Settings(before, after);
    SendSettings(client, v, emulator.port);
    ASSERT_TRUE(emulator.WaitMoved());
    EXPECT_EQ(emulator.address, after);

    EXPECT_TRUE(Query(client, before, emulator.port, 1, 300).empty());
    const auto replies = Query(client, after, emulator.port);
    ExpectMirrors(replies, v);
    // A window still showing the old address drops them.
    for (const auto& d : replies)
        EXPECT_EQ(codec::ReadReply(d.data(), d.size(), before).outcome, ReplyOutcome::Dropped);
    EXPECT_EQ(emulator.Stop(), 0);

    Process again;
    ASSERT_TRUE(again.Start({"--port", "0", "--state", state}));
    EXPECT_EQ(again.address, after);
}

TEST(ControllerProcessTest, AddressChangeAloneMovesAfterItsGraceTime) {
    TempFolder folder;
    const Ip4 before{127, 60, 0, 7}, after{127, 60, 0, 8};
    Process emulator;
    ASSERT_TRUE(emulator.Start({"--address", "127.60.0.7", "--port", "0", "--state", folder.File("s.json"),
                                "--move-after-ms", "100"}));
    Client client;
    client.Send(codec::BuildNetworkRequest(Settings(before, after)), before, emulator.port);
    ASSERT_TRUE(emulator.WaitMoved());
    EXPECT_EQ(emulator.address, after);
    EXPECT_EQ(Query(client, after, emulator.port).size(), 4u);
}

struct WireFaultCase {
    std::vector<std::string> options;
    std::vector<int> kinds;
    std::vector<std::size_t> lengths;
    int badPrefixKind = 0;
    friend void PrintTo(const WireFaultCase& c, std::ostream* os) {
        for (const auto& o : c.options)
            *os << o << ' ';
    }
};

class ControllerFaultTest : public testing::TestWithParam<WireFaultCase> {};

TEST_P(ControllerFaultTest, RepliesOnTheWire) {
    TempFolder folder;
    std::vector<std::string> args{"--address", "127.60.0.4", "--port", "0", "--state", folder.File("s.json")};
    args.insert(args.end(), GetParam().options.begin(), GetParam().options.end());
    Process emulator;
    ASSERT_TRUE(emulator.Start(args));
    Client client;
    const auto replies =
        Query(client, emulator.address, emulator.port, 4, GetParam().kinds.size() == 4 ? 3000 : 400);
    ASSERT_EQ(replies.size(), GetParam().kinds.size());
    for (std::size_t i = 0; i < replies.size(); ++i) {
        ASSERT_GE(replies[i].size(), 14u);
        EXPECT_EQ(replies[i][13], GetParam().kinds[i]) << i;
        EXPECT_EQ(replies[i].size(), GetParam().lengths[i]) << i;
        const bool prefixOk = std::string(replies[i].begin(), replies[i].begin() + 8) == "KVMPRHFH";
        EXPECT_EQ(prefixOk, replies[i][13] != GetParam().badPrefixKind) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, ControllerFaultTest,
    testing::Values(WireFaultCase{{}, {1, 2, 3, 4}, {222, 222, 40, 184}},
                    WireFaultCase{{"--order", "4,1,2,3"}, {4, 1, 2, 3}, {184, 222, 222, 40}},
                    WireFaultCase{{"--silent"}, {}, {}},
                    WireFaultCase{{"--only-14"}, {1, 2, 3, 4}, {14, 14, 14, 14}},
                    WireFaultCase{{"--drop", "1"}, {2, 3, 4}, {222, 40, 184}},
                    WireFaultCase{{"--short", "2"}, {1, 2, 3, 4}, {222, 221, 40, 184}},
                    WireFaultCase{{"--bad-prefix", "3"}, {1, 2, 3, 4}, {222, 222, 40, 184}, 3}));

TEST(ControllerProcessTest, DelayHoldsTheReplies) {
    TempFolder folder;
    Process emulator;
    ASSERT_TRUE(emulator.Start(
        {"--address", "127.60.0.5", "--port", "0", "--state", folder.File("s.json"), "--delay-ms", "300"}));
    Client client;
    const std::int64_t start = emulator::Ms();
    EXPECT_EQ(Query(client, emulator.address, emulator.port).size(), 4u);
    EXPECT_GE(emulator::Ms() - start, 280);
}

int RunForStatus(const std::string& arguments, std::string* output = nullptr) {
    const std::string command = std::string(VELMORA_CONTROLLER_PATH) + " " + arguments;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char chunk[512];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        if (output)
            output->append(chunk, n);
    }
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ControllerProcessTest, HelpAndBadCommandLines) {
    std::string help;
    EXPECT_EQ(RunForStatus("--help", &help), 0);
    EXPECT_NE(help.find("--bad-prefix"), std::string::npos);
    EXPECT_EQ(RunForStatus("--drop 9 2>/dev/null"), 2);
    EXPECT_EQ(RunForStatus("--bogus 2>/dev/null"), 2);
}

TEST(ControllerProcessTest, DamagedStateFileIsLeftAloneAndRefused) {
    TempFolder folder;
    const std::string state = folder.File("s.json");
    std::ofstream(state) << "{\"lockType\": \"pulse\"}";
    EXPECT_EQ(RunForStatus("--port 0 --state " + state + " 2>/dev/null"), 1);
    std::ifstream in(state);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "{\"lockType\": \"pulse\"}");
}

// Binds the real port 1550 (ctest runs it under a resource lock).
TEST(ControllerDefaultPortTest, AnswersOnPort1550) {
    TempFolder folder;
    Process emulator;
    ASSERT_TRUE(emulator.Start({"--address", "127.60.0.6", "--state", folder.File("s.json")}));
    EXPECT_EQ(emulator.port, codec::kControllerPort);
    Client client;
    EXPECT_EQ(Query(client, emulator.address, emulator.port).size(), 4u);
}

} // namespace
