// Request datagrams compared byte for byte with layouts written out by hand.

#include "codec/Requests.h"
#include "Bytes.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using codec::Datagram;
using codec::MicEntryText;
using codec::SettingsValues;
using testbytes::Fill;
using testbytes::Hex;
using testbytes::Place;

constexpr codec::Ip4 kInitial{192, 168, 1, 100};

SettingsValues Sample() {
    SettingsValues v;
    v.initialIp = kInitial;
    v.serverIp = {192, 168, 1, 10};
    v.controllerIp = {192, 168, 1, 101};
    v.maskIp = {255, 255, 255, 0};
    v.gatewayIp = {192, 168, 1, 1};
    return v;
}

TEST(QueryTest, IsTheFourteenByteHeaderOfKindFive) {
    EXPECT_EQ(codec::BuildQuery(kInitial), Hex("4B564D505248 535A C0A80164 00 05"));
}

TEST(NetworkRequestTest, PlacesAddressesAfterTheHeader) {
    SettingsValues v = Sample();
    v.oneKey = true;
    v.lockTypeIndex = 0;
    v.lockTimeIndex = 5;
    const Datagram expected = Hex("4B564D505248 535A C0A80164 00 03"
                                  "C0A8010A C0A80165 FFFFFF00 C0A80101"
                                  "000000000000 AA AA 01 05");
    EXPECT_EQ(codec::BuildNetworkRequest(v), expected);
}

struct LockCase {
    bool oneKey;
    int lockType, lockTime;
    const char* tail; // bytes 36 to 39
    friend void PrintTo(const LockCase& c, std::ostream* os) {
        *os << "oneKey " << c.oneKey << " type " << c.lockType << " time " << c.lockTime;
    }
};

class NetworkTailTest : public testing::TestWithParam<LockCase> {};

TEST_P(NetworkTailTest, OneKeyAndLockBytes) {
    SettingsValues v = Sample();
    v.oneKey = GetParam().oneKey;
    v.lockTypeIndex = GetParam().lockType;
    v.lockTimeIndex = GetParam().lockTime;
    const Datagram d = codec::BuildNetworkRequest(v);
    ASSERT_EQ(d.size(), 40u);
    EXPECT_EQ(Datagram(d.begin() + 36, d.end()), Hex(GetParam().tail));
}

INSTANTIATE_TEST_SUITE_P(Cases, NetworkTailTest,
                         testing::Values(LockCase{false, 1, 7, "A0A0 02FF"},   // level lock ignores the time
                                         LockCase{false, -1, 7, "A0A0 02FF"},  // no type selected
                                         LockCase{true, 1, -1, "AAAA 02FF"},   // one-key on
                                         LockCase{false, 0, 0, "A0A0 0100"},   // pulse, "0.5"
                                         LockCase{false, 0, 120, "A0A0 0178"}, // pulse, "120"
                                         LockCase{true, 0, -1, "AAAA 01FF"})); // pulse, no time

TEST(DeviceRequestTest, FiveRecordsThenZeroEntriesThenFF) {
    SettingsValues v = Sample();
    v.domeIndex = 0;
    v.micIndex = 1;
    v.keyboardIndex = -1;
    const std::vector<MicEntryText> rows{
        {"3", "16", "-1", "1"}, // tdnum, qjnum, bitnum, tyjnum
        {"0", "0", "0", "0"},   {"-1", "-1", "-1", "-1"}, {"", "abc", "254", "255"}, {"19", "2", "3", "4"},
    };
    Datagram expected(184, 0);
    Place(expected, 0, "4B564D505248 535A C0A80164 00 04 01 02 00 FFFFFFFFFFFFFF");
    Place(expected, 24, "02 04 11 FF");
    Place(expected, 28, "01 01 01 01");
    Place(expected, 32, "FF FF FF FF");
    Place(expected, 36, "00 01 01 FF");
    Place(expected, 40, "05 14 03 04");
    Fill(expected, 104, 184, 0xFF);
    EXPECT_EQ(codec::BuildDeviceRequest(v, rows), expected);
}

TEST(DeviceRequestTest, EmptyTableLeavesEveryEntryZero) {
    Datagram expected(184, 0);
    Place(expected, 0, "4B564D505248 535A C0A80164 00 04 00 00 00 FFFFFFFFFFFFFF");
    Fill(expected, 104, 184, 0xFF);
    EXPECT_EQ(codec::BuildDeviceRequest(Sample(), {}), expected);
}

TEST(DeviceRequestTest, RecordsAfterTheTwentiethAreNotSent) {
    std::vector<MicEntryText> rows(25, MicEntryText{"1", "1", "1", "1"});
    const Datagram d = codec::BuildDeviceRequest(Sample(), rows);
    ASSERT_EQ(d.size(), 184u);
    for (std::size_t i = 24; i < 104; ++i)
        EXPECT_EQ(d[i], 0x02) << "offset " << i;
    for (std::size_t i = 104; i < 184; ++i)
        EXPECT_EQ(d[i], 0xFF) << "offset " << i;
}

struct CodeCase {
    int kind;
    std::string bundle;
    const char* payload; // bytes from offset 14; the rest up to 222 is zero
    friend void PrintTo(const CodeCase& c, std::ostream* os) {
        *os << "kind " << c.kind << " \"" << c.bundle << '"';
    }
};

class ProjectorRequestTest : public testing::TestWithParam<CodeCase> {};

TEST_P(ProjectorRequestTest, BundleTextBecomesBytes) {
    Datagram expected(222, 0);
    Place(expected, 0, "4B564D505248 535A C0A80164 00");
    expected[13] = static_cast<std::uint8_t>(GetParam().kind);
    Place(expected, 14, GetParam().payload);
    EXPECT_EQ(codec::BuildProjectorRequest(GetParam().kind, kInitial, GetParam().bundle), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ProjectorRequestTest,
                         testing::Values(CodeCase{1, "", ""},               // all zero
                                         CodeCase{2, "F4010A", "F4 01 0A"}, // kind 2 header
                                         CodeCase{1, "0A0B0", "0A 0B"},     // odd length loses the last
                                         CodeCase{1, "G11Gff", "00 01 FF"}, // strtoul on each piece
                                         CodeCase{1, "f4 1+1-1", "F4 01 01 FF"})); // blank and sign

TEST(ProjectorRequestTest, WholeBundleFillsOffsets14To221AndNoMore) {
    // 500 characters: the first 208 pairs are sent, the rest is cut.
    std::string bundle;
    for (int i = 0; i < 250; ++i) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        bundle += kDigits[(i >> 4) & 15];
        bundle += kDigits[i & 15];
    }
    const Datagram d = codec::BuildProjectorRequest(1, kInitial, bundle);
    ASSERT_EQ(d.size(), 222u);
    for (std::size_t i = 0; i < 208; ++i)
        ASSERT_EQ(d[14 + i], i) << "offset " << 14 + i;
}

TEST(SetSequenceTest, KindsDestinationsAndPausesInOrder) {
    SettingsValues v = Sample();
    const auto steps = codec::BuildSetSequence(v, {});
    ASSERT_EQ(steps.size(), 5u);
    const int kinds[] = {1, 2, 3, 4, 5};
    const std::size_t lengths[] = {222, 222, 40, 184, 14};
    const int pauses[] = {2000, 2000, 2000, 4000, 0};
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(steps[i].datagram.size(), lengths[i]);
        EXPECT_EQ(steps[i].datagram[13], kinds[i]);
        EXPECT_EQ(steps[i].pauseAfterMs, pauses[i]);
        const codec::Ip4 destination = i < 4 ? v.initialIp : v.controllerIp;
        EXPECT_EQ(steps[i].destination, destination);
        const codec::Ip4 carried{steps[i].datagram[8], steps[i].datagram[9], steps[i].datagram[10],
                                 steps[i].datagram[11]};
        EXPECT_EQ(carried, destination);
    }
}

} // namespace
