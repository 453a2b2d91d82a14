// Address text, hex pairs and microphone values: the three text-to-byte
// conversions every request depends on.

#include "codec/Address.h"
#include "codec/Hex.h"
#include "codec/Requests.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using codec::Ip4;

struct AddressCase {
    std::string text;
    Ip4 bytes;
    friend void PrintTo(const AddressCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class AddressToBytesTest : public testing::TestWithParam<AddressCase> {};

TEST_P(AddressToBytesTest, ConvertsLikeDottedDecimal) {
    EXPECT_EQ(codec::AddressToBytes(GetParam().text), GetParam().bytes) << '"' << GetParam().text << '"';
}

constexpr Ip4 kNone{0xFF, 0xFF, 0xFF, 0xFF};

INSTANTIATE_TEST_SUITE_P(
    Accepted, AddressToBytesTest,
    testing::Values(AddressCase{"192.168.1.100", {0xC0, 0xA8, 0x01, 0x64}},
                    AddressCase{"0.0.0.0", {0, 0, 0, 0}}, AddressCase{"255.255.255.255", kNone},
                    AddressCase{"10", {0, 0, 0, 10}}, AddressCase{"127.1", {0x7F, 0, 0, 1}},
                    AddressCase{"1.16777215", {1, 0xFF, 0xFF, 0xFF}}, AddressCase{"10.1.258", {10, 1, 1, 2}},
                    AddressCase{"0x7f.0.0.1", {0x7F, 0, 0, 1}}, AddressCase{"0X7F.0.0.1", {0x7F, 0, 0, 1}},
                    AddressCase{"0300.0250.1.0144", {0xC0, 0xA8, 0x01, 0x64}},
                    AddressCase{"0xC0A80164", {0xC0, 0xA8, 0x01, 0x64}},
                    AddressCase{"3232235876", {0xC0, 0xA8, 0x01, 0x64}},
                    AddressCase{"1.2.3.4 anything", {1, 2, 3, 4}}, AddressCase{"1.2.3.4\t", {1, 2, 3, 4}},
                    AddressCase{"00001.2.3.4", {1, 2, 3, 4}}));

INSTANTIATE_TEST_SUITE_P(Refused, AddressToBytesTest,
                         testing::Values(AddressCase{"", kNone}, AddressCase{"abc", kNone},
                                         AddressCase{"1.2.3.256", kNone}, AddressCase{"1.2.3.4.5", kNone},
                                         AddressCase{"1..2", kNone}, AddressCase{"1.2.3.", kNone},
                                         AddressCase{" 1.2.3.4", kNone}, AddressCase{"08.1.1.1", kNone},
                                         AddressCase{"4294967296", kNone}, AddressCase{"1.16777216", kNone},
                                         AddressCase{"1.2.65536", kNone}, AddressCase{"256.1", kNone},
                                         AddressCase{"0x", kNone}, AddressCase{"1.2.3.4x", kNone},
                                         AddressCase{"-1", kNone}, AddressCase{"+1.2.3.4", kNone},
                                         AddressCase{"99999999999999999999", kNone}));

struct HexCase {
    std::string piece;
    int value;
    friend void PrintTo(const HexCase& c, std::ostream* os) { *os << '"' << c.piece << '"'; }
};

class HexPairToByteTest : public testing::TestWithParam<HexCase> {};

TEST_P(HexPairToByteTest, ReadsLikeStrtoulOnTwoCharacters) {
    EXPECT_EQ(codec::HexPairToByte(GetParam().piece.c_str()), GetParam().value)
        << '"' << GetParam().piece << '"';
}

INSTANTIATE_TEST_SUITE_P(Pieces, HexPairToByteTest,
                         testing::Values(HexCase{"00", 0x00}, HexCase{"FF", 0xFF}, HexCase{"ff", 0xFF},
                                         HexCase{"a5", 0xA5}, HexCase{"5A", 0x5A}, HexCase{"G1", 0x00},
                                         HexCase{"1G", 0x01}, HexCase{" 1", 0x01}, HexCase{"\t7", 0x07},
                                         HexCase{"+1", 0x01}, HexCase{"-1", 0xFF}, HexCase{"-F", 0xF1},
                                         HexCase{"0x", 0x00}, HexCase{"  ", 0x00}, HexCase{"+-", 0x00},
                                         HexCase{"--", 0x00}, HexCase{"123", 0x12}, HexCase{"F4 ", 0xF4}));

TEST(HexPairToByteTest, ReadsOnlyTheTwoCharactersGiven) {
    // No terminator after the piece: reading a third byte would be caught by
    // the sanitizer build.
    const char piece[2] = {'A', 'b'};
    EXPECT_EQ(codec::HexPairToByte(piece), 0xAB);
}

struct MicCase {
    std::string text;
    int value;
    friend void PrintTo(const MicCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class MicValueToByteTest : public testing::TestWithParam<MicCase> {};

TEST_P(MicValueToByteTest, SendsOneBasedWithNoChoiceAsFF) {
    EXPECT_EQ(codec::MicValueToByte(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Texts, MicValueToByteTest,
                         testing::Values(MicCase{"0", 0x01}, MicCase{"1", 0x02}, MicCase{"3", 0x04},
                                         MicCase{"16", 0x11}, MicCase{"-1", 0xFF}, MicCase{"", 0x01},
                                         MicCase{"abc", 0x01}, MicCase{" 3", 0x04}, MicCase{"3x", 0x04},
                                         MicCase{"+7", 0x08}, MicCase{"254", 0xFF}, MicCase{"255", 0x00},
                                         MicCase{"-2", 0xFF}, MicCase{"-1.5", 0xFF}, MicCase{"511", 0x00}));

} // namespace
