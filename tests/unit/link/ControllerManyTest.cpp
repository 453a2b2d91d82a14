// Many controllers in one emulator: faults scoped by address, a Set that
// leaves one field alone, and a building on loopback with one state file each.

#include "Bytes.h"
#include "EmulatorProcess.h"
#include "Options.h"
#include "Peer.h"
#include "State.h"
#include "codec/Reply.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using codec::Datagram;
using codec::Ip4;

TEST(ScopedFaultTest, ApplyToTheirAddressesOnTopOfTheGlobalOnes) {
    controller::Options options;
    std::string error;
    ASSERT_TRUE(
        controller::ParseOptions({"--addresses", "127.61.0.1-127.61.0.4", "--state-dir", "/tmp/x", "--drop",
                                  "1", "--fault", "127.61.0.2:silent", "--fault",
                                  "127.61.0.3-127.61.0.4:drop=3", "--fault", "127.61.0.4:ignore-field=mask"},
                                 options, error))
        << error;
    ASSERT_EQ(options.addresses.size(), 4u);
    const auto one = options.FaultsFor({127, 61, 0, 1});
    EXPECT_FALSE(one.silent);
    EXPECT_EQ(one.dropKind, 1);
    EXPECT_TRUE(options.FaultsFor({127, 61, 0, 2}).silent);
    EXPECT_EQ(options.FaultsFor({127, 61, 0, 3}).dropKind, 3);
    const auto four = options.FaultsFor({127, 61, 0, 4});
    EXPECT_EQ(four.dropKind, 3);
    EXPECT_EQ(four.ignoreFields, (std::set<std::string>{"mask"}));
    EXPECT_TRUE(one.ignoreFields.empty());
}

class BadManyOptionsTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(BadManyOptionsTest, AreRefused) {
    controller::Options options;
    std::string error;
    EXPECT_FALSE(controller::ParseOptions(GetParam(), options, error));
    EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(Lines, BadManyOptionsTest,
                         ::testing::Values(std::vector<std::string>{"--addresses", "127.0.0.1-127.0.0.3"},
                                           std::vector<std::string>{"--addresses", "127.0.0.9-127.0.0.3",
                                                                    "--state-dir", "d"},
                                           std::vector<std::string>{"--address", "127.0.0.1", "--addresses",
                                                                    "127.0.0.2", "--state-dir", "d"},
                                           std::vector<std::string>{"--state-dir", "d"},
                                           std::vector<std::string>{"--fault", "127.0.0.2"},
                                           std::vector<std::string>{"--fault", "127.0.0.2:loud"},
                                           std::vector<std::string>{"--fault", "127.0.0.2:drop=7"},
                                           std::vector<std::string>{"--fault", "127.0.0.2:silent=1"},
                                           std::vector<std::string>{"--fault", "nowhere:silent"},
                                           std::vector<std::string>{"--ignore-field", "colour"}));

struct IgnoredField {
    const char* field;
    int kind;
    std::size_t offset; // first byte of the field in the request
};

class IgnoreFieldTest : public ::testing::TestWithParam<IgnoredField> {};

// A Set whose every byte differs from the state: only the ignored field stays.
TEST_P(IgnoreFieldTest, KeepsThatFieldAndTakesTheRest) {
    const Ip4 here{127, 0, 0, 2};
    controller::Peer peer(controller::DefaultState(here));
    controller::Faults faults;
    faults.ignoreFields = {GetParam().field};
    const controller::ControllerState before = peer.State();
    const std::size_t length = GetParam().kind <= 2 ? 222 : GetParam().kind == 3 ? 40 : 184;
    Datagram d =
        codec::MakeHeader(length, codec::kRequestMarker, here, static_cast<std::uint8_t>(GetParam().kind));
    testbytes::Fill(d, 14, length, 0x42);
    if (GetParam().kind == 3)
        testbytes::Place(d, 18, "7F000002"); // no move
    ASSERT_TRUE(peer.Handle(d.data(), d.size(), faults).applied);
    const auto query = codec::MakeHeader(14, codec::kRequestMarker, here, 5);
    const auto replies = peer.Handle(query.data(), query.size(), {}).replies;
    const Datagram& reply = replies[static_cast<std::size_t>(GetParam().kind - 1)];
    const auto old = controller::Peer(before).Handle(query.data(), query.size(), {}).replies;
    const Datagram& oldReply = old[static_cast<std::size_t>(GetParam().kind - 1)];
    EXPECT_EQ(reply[GetParam().offset], oldReply[GetParam().offset]);
    // Every other setting byte of that reply took the Set's 0x42 (a bundle is one field whole).
    if (GetParam().kind <= 2)
        return;
    std::size_t taken = 0;
    for (std::size_t i = 14;
         i < std::min<std::size_t>(reply.size(), GetParam().kind == 4 ? 104 : reply.size()); ++i)
        taken += reply[i] == 0x42;
    EXPECT_GT(taken, 0u);
}

INSTANTIATE_TEST_SUITE_P(Fields, IgnoreFieldTest,
                         ::testing::Values(IgnoredField{"lock-time", 3, 39}, IgnoredField{"lock-type", 3, 38},
                                           IgnoredField{"server-ip", 3, 14}, IgnoredField{"gateway", 3, 26},
                                           IgnoredField{"one-key", 3, 36}, IgnoredField{"dome", 4, 14},
                                           IgnoredField{"keyboard", 4, 16}, IgnoredField{"mics", 4, 24},
                                           IgnoredField{"projector2", 2, 20}),
                         [](const auto& info) {
                             std::string name = info.param.field;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(ControllerManyProcessTest, EachAddressAnswersWithItsOwnStateAndFaults) {
    emulator::TempFolder folder;
    const std::string dir = folder.File("states");
    emulator::Process emulator;
    ASSERT_TRUE(emulator.Start({"--addresses", "127.61.1.1-127.61.1.5", "--port", "0", "--state-dir", dir,
                                "--fault", "127.61.1.3:silent", "--fault", "127.61.1.4:drop=2"}));
    EXPECT_EQ(emulator.address, (Ip4{127, 61, 1, 1}));
    emulator::Client client;
    for (std::uint8_t last = 1; last <= 5; ++last) {
        const Ip4 a{127, 61, 1, last};
        client.Send(codec::BuildQuery(a), a, emulator.port);
        const auto replies = client.Receive(4, last == 3 || last == 4 ? 400 : 3000);
        const std::size_t expected = last == 3 ? 0 : last == 4 ? 3 : 4;
        ASSERT_EQ(replies.size(), expected) << int(last);
        for (const auto& r : replies)
            EXPECT_NE(codec::ReadReply(r.data(), r.size(), a).outcome, codec::ReplyOutcome::Dropped)
                << int(last);
    }
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(dir) / "127.61.1.5.json"));
    EXPECT_EQ(emulator.Stop(), 0);
}

} // namespace
