// The code bundle text: block layout, the two tables, letter case, fill and
// the refusal of codes that do not fit a block.

#include "codec/CodeBundle.h"
#include "Bytes.h"

#include <gtest/gtest.h>

namespace {

using codec::BundleStatus;
using codec::ProjectorCodes;
using testbytes::Repeat;

TEST(CodeBundleTest, WorkedExampleNineSixHundredNoParity) {
    const ProjectorCodes codes{"9600", "无", "0A0B", "0C", "", "010203"};
    const auto result = codec::BuildCodeBundle(codes);
    ASSERT_EQ(result.status, BundleStatus::Ok);
    const std::string expected = "F401030A0B00" + Repeat("FF", 46) + //
                                 "F402020C00" + Repeat("FF", 47) +   //
                                 "F4030100" + Repeat("FF", 48) +     //
                                 "F40404010203"
                                 "00" +
                                 Repeat("FF", 45);
    EXPECT_EQ(result.bundle, expected);
    EXPECT_EQ(result.bundle.size(), 416u);
    EXPECT_EQ(result.tooLongBlock, -1);
}

TEST(CodeBundleTest, EvenParityAtFastestRate) {
    const ProjectorCodes codes{"115200", "偶", "aabb", "cc", "dd", "ee"};
    const auto result = codec::BuildCodeBundle(codes);
    ASSERT_EQ(result.status, BundleStatus::Ok);
    // The code keeps its lower case; only the fill and the baud pair are upper.
    const std::string expected = "FF0103aabb02" + Repeat("FF", 46) + //
                                 "FF0202cc02" + Repeat("FF", 47) +   //
                                 "FF0302dd02" + Repeat("FF", 47) +   //
                                 "FF0402ee02" + Repeat("FF", 47);
    EXPECT_EQ(result.bundle, expected);
}

TEST(CodeBundleTest, ThirteenByteCodeHasLowerCaseLengthPair) {
    const std::string code = Repeat("1A", 13);
    const auto result = codec::BuildCodeBundle({"9600", "无", code, code, code, code});
    ASSERT_EQ(result.status, BundleStatus::Ok);
    EXPECT_EQ(result.bundle.substr(0, 104), "F4010e" + code + "00" + Repeat("FF", 35));
}

TEST(CodeBundleTest, FortyEightByteCodeHasNoFill) {
    const std::string code = Repeat("AB", 48);
    const auto result = codec::BuildCodeBundle({"9600", "奇", code, "", "", ""});
    ASSERT_EQ(result.status, BundleStatus::Ok);
    EXPECT_EQ(result.bundle.substr(0, 104), "F40131" + code + "01");
    EXPECT_EQ(result.bundle.size(), 416u);
}

TEST(CodeBundleTest, OddCodeIsAppendedWhole) {
    const auto result = codec::BuildCodeBundle({"9600", "无", "0A0B0", "", "", ""});
    ASSERT_EQ(result.status, BundleStatus::Ok);
    const std::string block1 = "F401030A0B000" + Repeat("FF", 46);
    EXPECT_EQ(result.bundle.substr(0, block1.size()), block1);
    EXPECT_EQ(result.bundle.size(), 417u);
}

TEST(CodeBundleTest, UnknownBaudAndParityLeaveTheirPairsOut) {
    const auto result = codec::BuildCodeBundle({"1200", "mark", "0A", "", "", ""});
    ASSERT_EQ(result.status, BundleStatus::Ok);
    EXPECT_EQ(result.bundle.substr(0, 100), "01020A" + Repeat("FF", 47));
}

class TooLongCodeTest : public testing::TestWithParam<int> {};

TEST_P(TooLongCodeTest, RefusedWithItsBlock) {
    ProjectorCodes codes{"9600", "无", "01", "02", "03", "04"};
    std::string* fields[] = {&codes.video, &codes.vga, &codes.powerOn, &codes.powerOff};
    *fields[GetParam()] = Repeat("AB", 49);
    const auto result = codec::BuildCodeBundle(codes);
    EXPECT_EQ(result.status, BundleStatus::CodeTooLong);
    EXPECT_EQ(result.tooLongBlock, GetParam());
    EXPECT_TRUE(result.bundle.empty());
}

INSTANTIATE_TEST_SUITE_P(EachBlock, TooLongCodeTest, testing::Values(0, 1, 2, 3));

TEST(CodeBundleTest, NinetySevenCharactersStillFit) {
    // 97 characters are 48 bytes once halved, the largest code a block holds.
    const auto result = codec::BuildCodeBundle({"9600", "无", Repeat("AB", 48) + "C", "", "", ""});
    EXPECT_EQ(result.status, BundleStatus::Ok);
}

TEST(CodeBundleTest, LengthIsCountedInBytesOfTheText) {
    // 33 three-byte characters are 99 bytes of UTF-8: 49 bytes once halved.
    const auto result = codec::BuildCodeBundle({"9600", "无", Repeat("无", 33), "", "", ""});
    EXPECT_EQ(result.status, BundleStatus::CodeTooLong);
    EXPECT_EQ(result.tooLongBlock, 0);
}

struct PairCase {
    std::string text, pair;
    friend void PrintTo(const PairCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class BaudPairTest : public testing::TestWithParam<PairCase> {};
TEST_P(BaudPairTest, Table) {
    EXPECT_EQ(codec::BaudPair(GetParam().text), GetParam().pair);
}
INSTANTIATE_TEST_SUITE_P(Rates, BaudPairTest,
                         testing::Values(PairCase{"2400", "CF"}, PairCase{"4800", "E8"},
                                         PairCase{"9600", "F4"}, PairCase{"19200", "FA"},
                                         PairCase{"38400", "FD"}, PairCase{"57600", "D0"},
                                         PairCase{"115200", "FF"}, PairCase{"  9600", "F4"},
                                         PairCase{"9600 bps", "F4"}, PairCase{"9601", ""},
                                         PairCase{"1200", ""}, PairCase{"", ""}, PairCase{"abc", ""},
                                         PairCase{"96000000000000009600", ""}));

class ParityPairTest : public testing::TestWithParam<PairCase> {};
TEST_P(ParityPairTest, Table) {
    EXPECT_EQ(codec::ParityPair(GetParam().text), GetParam().pair);
}
INSTANTIATE_TEST_SUITE_P(Texts, ParityPairTest,
                         testing::Values(PairCase{"无", "00"}, PairCase{"奇", "01"}, PairCase{"偶", "02"},
                                         PairCase{"none", ""}, PairCase{"无 ", ""}, PairCase{"", ""}));

} // namespace
