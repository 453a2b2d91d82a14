// The emulator's pieces without sockets: state file, datagram handling,
// fault options and command line.

#include "Bytes.h"
#include "Options.h"
#include "Peer.h"
#include "ReplyBuilder.h"
#include "State.h"
#include "TempFolder.h"
#include "codec/CodeBundle.h"
#include "codec/Reply.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using codec::Datagram;
using controller::ControllerState;
using controller::Faults;

constexpr codec::Ip4 kHere{127, 0, 0, 2};

ControllerState Changed() {
    ControllerState s = controller::DefaultState(kHere);
    s.server = {10, 0, 0, 1};
    s.mask = {255, 255, 0, 0};
    s.gateway = {10, 0, 0, 254};
    s.oneKey = {0xAA, 0xAA};
    s.lockType = 2;
    s.lockTime = 0xFF;
    s.dome = 0;
    s.microphone = 2;
    s.keyboard = 2;
    for (std::size_t i = 0; i < s.mics.size(); ++i)
        s.mics[i] = {static_cast<std::uint8_t>(i), 17, 4, 255};
    s.projectors[1].assign(208, 0xAB);
    return s;
}

TEST(ControllerStateTest, FirstReadNamesTheFirstLibraryModel) {
    const ControllerState s = controller::DefaultState(kHere);
    const Datagram reply = CReplyBuilder(1, kHere).Bundle(s.projectors[0]);
    const auto r = codec::ReadReply(reply.data(), reply.size(), kHere);
    ASSERT_EQ(r.outcome, codec::ReplyOutcome::Projector);
    EXPECT_EQ(codec::VideoTextFromCode(r.projector.codeText), "534f555243452034310d");
    EXPECT_EQ(r.projector.shortText[3], "f40409505752204f46460d00");
}

TEST(ControllerStateTest, FormatAndParseKeepEverySetting) {
    const ControllerState original = Changed();
    ControllerState read = controller::DefaultState({1, 1, 1, 1});
    std::string error;
    ASSERT_TRUE(controller::ParseState(controller::FormatState(original), read, error)) << error;
    EXPECT_EQ(read, original);
}

TEST(ControllerStateTest, MissingKeysKeepTheirValues) {
    ControllerState s = Changed();
    std::string error;
    ASSERT_TRUE(controller::ParseState(R"({"lockTime": 7, "address": "127.0.0.5"})", s, error)) << error;
    EXPECT_EQ(s.lockTime, 7);
    EXPECT_EQ(s.address, (codec::Ip4{127, 0, 0, 5}));
    EXPECT_EQ(s.server, Changed().server);
}

class DamagedStateTest : public testing::TestWithParam<std::string> {};

TEST_P(DamagedStateTest, IsRefusedAndLeavesTheStateAlone) {
    ControllerState s = Changed();
    std::string error;
    EXPECT_FALSE(controller::ParseState(GetParam(), s, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(s, Changed());
}

INSTANTIATE_TEST_SUITE_P(Documents, DamagedStateTest,
                         testing::Values("", "[]", "{", R"({"lockTime": 7,})", R"({"address": "1.2.3"})",
                                         R"({"address": 12})", R"({"lockType": 256})", R"({"lockType": 1.5})",
                                         R"({"oneKey": [170]})", R"({"mics": [[1,2,3,4]]})",
                                         R"({"projector1": "F401"})", R"({"dome": 1} trailing)"));

TEST(ControllerStateTest, SaveThenLoadInAFolder) {
    const auto folder = MakeTempFolder("velmora-state-");
    const std::string path = (folder / "state.json").string();
    ControllerState loaded;
    bool exists = true;
    std::string error;
    ASSERT_TRUE(controller::LoadState(path, loaded, exists, error));
    EXPECT_FALSE(exists);
    ASSERT_TRUE(controller::SaveState(path, Changed(), error)) << error;
    ASSERT_TRUE(controller::SaveState(path, Changed(), error)) << error; // over an existing file
    ASSERT_TRUE(controller::LoadState(path, loaded, exists, error)) << error;
    EXPECT_TRUE(exists);
    EXPECT_EQ(loaded, Changed());
    // Only the state file is left: the temporary file was renamed over it.
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
    std::filesystem::remove_all(folder);
}

Datagram Request(std::size_t length, int kind, const codec::Ip4& address = kHere) {
    return codec::MakeHeader(length, codec::kRequestMarker, address, static_cast<std::uint8_t>(kind));
}

TEST(PeerTest, AddressChangeWaitsForTheDeviceSettings) {
    controller::Peer peer(controller::DefaultState(kHere));
    Datagram d = Request(40, 3);
    testbytes::Place(d, 14, "0A000001 7F000003 FFFF0000 0A0000FE 000000000000 AAAA 01 78");
    const auto h = peer.Handle(d.data(), d.size(), {});
    EXPECT_TRUE(h.applied);
    EXPECT_TRUE(h.movePending);
    EXPECT_FALSE(h.moveNow);
    EXPECT_EQ(peer.State().address, (codec::Ip4{127, 0, 0, 3}));

    // Still on the old address: its replies carry it, and the kind-3 reply
    // already names the address the controller is going to.
    const Datagram oldQuery = Request(14, 5);
    const auto before = peer.Handle(oldQuery.data(), oldQuery.size(), {});
    ASSERT_EQ(before.replies.size(), 4u);
    Datagram expected(40, 0);
    testbytes::Place(expected, 0,
                     "4B564D505248 4648 7F000002 00 03 0A000001 7F000003 FFFF0000 0A0000FE"
                     "000000000000 AAAA 01 78");
    EXPECT_EQ(before.replies[2], expected);

    // The device settings of the same Set still reach it, then it moves.
    const Datagram device = Request(184, 4);
    const auto last = peer.Handle(device.data(), device.size(), {});
    EXPECT_TRUE(last.applied);
    EXPECT_TRUE(last.moveNow);
    peer.Move();
    EXPECT_FALSE(peer.MovePending());

    EXPECT_TRUE(peer.Handle(oldQuery.data(), oldQuery.size(), {}).replies.empty());
    const Datagram query = Request(14, 5, {127, 0, 0, 3});
    const auto after = peer.Handle(query.data(), query.size(), {});
    ASSERT_EQ(after.replies.size(), 4u);
    testbytes::Place(expected, 8, "7F000003");
    EXPECT_EQ(after.replies[2], expected);
}

TEST(PeerTest, SameAddressIsNoMove) {
    controller::Peer peer(controller::DefaultState(kHere));
    Datagram d = Request(40, 3);
    testbytes::Place(d, 18, "7F000002");
    EXPECT_FALSE(peer.Handle(d.data(), d.size(), {}).movePending);
    const Datagram device = Request(184, 4);
    EXPECT_FALSE(peer.Handle(device.data(), device.size(), {}).moveNow);
}

TEST(PeerTest, DeviceSettingIsMirroredByteForByte) {
    controller::Peer peer(controller::DefaultState(kHere));
    Datagram d = Request(184, 4);
    testbytes::Place(d, 14, "02 01 00");
    testbytes::Place(d, 24, "02 04 11 FF");
    testbytes::Place(d, 100, "01 02 03 04");
    ASSERT_TRUE(peer.Handle(d.data(), d.size(), {}).applied);
    const Datagram query = Request(14, 5);
    const auto answer = peer.Handle(query.data(), query.size(), {});
    ASSERT_EQ(answer.replies.size(), 4u);
    Datagram expected(184, 0);
    testbytes::Place(expected, 0, "4B564D505248 4648 7F000002 00 04 02 01 00 FFFFFFFFFFFFFF 02 04 11 FF");
    testbytes::Place(expected, 100, "01 02 03 04");
    testbytes::Fill(expected, 104, 184, 0xFF);
    EXPECT_EQ(answer.replies[3], expected);
}

struct IgnoredCase {
    const char* name;
    Datagram datagram;
    friend void PrintTo(const IgnoredCase& c, std::ostream* os) { *os << c.name; }
};

class IgnoredRequestTest : public testing::TestWithParam<IgnoredCase> {};

TEST_P(IgnoredRequestTest, ChangesNothingAndSendsNothing) {
    controller::Peer peer(controller::DefaultState(kHere));
    const auto h = peer.Handle(GetParam().datagram.data(), GetParam().datagram.size(), {});
    EXPECT_FALSE(h.applied);
    EXPECT_TRUE(h.replies.empty());
    EXPECT_EQ(peer.State(), controller::DefaultState(kHere));
}

Datagram With(Datagram d, std::size_t at, std::uint8_t value) {
    d[at] = value;
    return d;
}

INSTANTIATE_TEST_SUITE_P(Cases, IgnoredRequestTest,
                         testing::Values(IgnoredCase{"header only", Datagram(13, 0)},
                                         IgnoredCase{"other address", Request(40, 3, {127, 0, 0, 9})},
                                         IgnoredCase{"reply marker", With(Request(40, 3), 6, 'F')},
                                         IgnoredCase{"wrong prefix", With(Request(222, 1), 0, 'k')},
                                         IgnoredCase{"byte 12 set", With(Request(222, 1), 12, 1)},
                                         IgnoredCase{"kind 6", Request(14, 6)},
                                         IgnoredCase{"short projector", Request(221, 2)},
                                         IgnoredCase{"short network", Request(39, 3)},
                                         IgnoredCase{"short device", Request(183, 4)}));

struct OptionCase {
    std::vector<std::string> args;
    bool ok;
    friend void PrintTo(const OptionCase& c, std::ostream* os) {
        for (const auto& a : c.args)
            *os << a << ' ';
    }
};

class OptionsTest : public testing::TestWithParam<OptionCase> {};

TEST_P(OptionsTest, AcceptsOnlyWellFormedOptions) {
    controller::Options options;
    std::string error;
    EXPECT_EQ(controller::ParseOptions(GetParam().args, options, error), GetParam().ok) << error;
    EXPECT_EQ(error.empty(), GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, OptionsTest,
    testing::Values(OptionCase{{}, true}, OptionCase{{"--address", "127.0.0.7", "--port", "0"}, true},
                    OptionCase{{"--order=4,1,2,3", "--delay-ms", "50", "--drop", "2"}, true},
                    OptionCase{{"--move-after-ms", "100"}, true}, OptionCase{{"--move-after-ms", "x"}, false},
                    OptionCase{{"--silent", "--only-14", "--bad-prefix", "1", "--short", "4"}, true},
                    OptionCase{{"--address", "nowhere"}, false}, OptionCase{{"--port", "65536"}, false},
                    OptionCase{{"--port"}, false}, OptionCase{{"--order", "1,1,2"}, false},
                    OptionCase{{"--order", "0,1"}, false}, OptionCase{{"--drop", "5"}, false},
                    OptionCase{{"--delay-ms", "-1"}, false}, OptionCase{{"--silent=yes"}, false},
                    OptionCase{{"--frobnicate"}, false}));

TEST(OptionsTest, HelpMentionsEveryOption) {
    const std::string usage = controller::UsageText();
    for (const char* option :
         {"--address", "--port", "--state", "--log", "--help", "--silent", "--delay-ms", "--order",
          "--bad-prefix", "--short", "--only-14", "--drop", "--move-after-ms"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

} // namespace
