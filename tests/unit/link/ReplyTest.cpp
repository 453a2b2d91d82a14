// Recognition and decoding of controller replies.

#include "codec/Reply.h"
#include "Bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using codec::ReplyOutcome;
using testbytes::Fill;
using testbytes::Place;
using testbytes::Repeat;
using Bytes = std::vector<std::uint8_t>;

constexpr codec::Ip4 kWindow{192, 168, 1, 100};

Bytes Header(std::size_t length, int kind) {
    Bytes d(length, 0);
    Place(d, 0, "4B564D505248 4648 C0A80164 00");
    d[13] = static_cast<std::uint8_t>(kind);
    return d;
}

// A projector reply whose four blocks carry the given codes at 9600 baud with
// no parity, filled with FF.
Bytes ProjectorReplyBytes(int kind, const std::vector<std::string>& codes) {
    Bytes d = Header(222, kind);
    for (std::size_t b = 0; b < 4; ++b) {
        const std::size_t at = 14 + 52 * b;
        Fill(d, at, at + 52, 0xFF);
        const Bytes code = testbytes::Hex(codes[b]);
        d[at] = 0xF4;
        d[at + 1] = static_cast<std::uint8_t>(b + 1);
        d[at + 2] = static_cast<std::uint8_t>(code.size() + 1);
        for (std::size_t i = 0; i < code.size(); ++i)
            d[at + 3 + i] = code[i];
        d[at + 3 + code.size()] = 0x00;
    }
    return d;
}

Bytes IpReplyBytes() {
    Bytes d = Header(40, 3);
    Place(d, 14, "C0A8010A C0A80165 FFFFFF00 C0A80101 000000000000 AAA0 02 00");
    return d;
}

Bytes AdditionalReplyBytes() {
    Bytes d = Header(184, 4);
    Place(d, 14, "00 02 01 FFFFFFFFFFFFFF");
    Place(d, 24, "01 11 04 FF");
    Place(d, 100, "05 06 07 08");
    Fill(d, 104, 184, 0xFF);
    return d;
}

codec::Reply Read(const Bytes& d) {
    return codec::ReadReply(d.data(), d.size(), kWindow);
}

TEST(ProjectorReplyTest, ShortAndFilledTextsPerBlock) {
    const Bytes d = ProjectorReplyBytes(1, {"0A1B2C3D", "", Repeat("11", 48), "AB"});
    const auto r = Read(d);
    ASSERT_EQ(r.outcome, ReplyOutcome::Projector);
    EXPECT_EQ(r.kind, 1);
    EXPECT_EQ(r.projector.shortText[0], "f401050a1b2c3d00");
    EXPECT_EQ(r.projector.filledText[0], "f401050a1b2c3d00" + Repeat("FF", 44));
    EXPECT_EQ(r.projector.shortText[1], "f4020100");
    EXPECT_EQ(r.projector.shortText[2], "f40331" + Repeat("11", 48) + "00");
    EXPECT_EQ(r.projector.filledText[2], r.projector.shortText[2]);
    EXPECT_EQ(r.projector.shortText[3], "f40402ab00");
    EXPECT_EQ(r.projector.codeText, "f401050a1b2c3d00f4020100f40331" + Repeat("11", 48) + "00f40402ab00");
    EXPECT_EQ(r.projector.storedBundle.size(), 416u);
    EXPECT_EQ(codec::VideoTextFromCode(r.projector.codeText), "0a1b2c3d");
}

struct BlockLengthCase {
    int n;
    std::size_t shortChars, filledChars;
    friend void PrintTo(const BlockLengthCase& c, std::ostream* os) { *os << "n " << c.n; }
};

class BlockLengthTest : public testing::TestWithParam<BlockLengthCase> {};

TEST_P(BlockLengthTest, LengthByteDecidesTheTexts) {
    Bytes d = ProjectorReplyBytes(2, {"01", "02", "03", "04"});
    d[14 + 2] = static_cast<std::uint8_t>(GetParam().n);
    const auto r = Read(d);
    ASSERT_EQ(r.outcome, ReplyOutcome::Projector);
    EXPECT_EQ(r.projector.shortText[0].size(), GetParam().shortChars);
    EXPECT_EQ(r.projector.filledText[0].size(), GetParam().filledChars);
    const std::size_t fill = (GetParam().filledChars - GetParam().shortChars) / 2;
    EXPECT_EQ(r.projector.filledText[0].substr(GetParam().shortChars), Repeat("FF", fill));
}

INSTANTIATE_TEST_SUITE_P(Cases, BlockLengthTest,
                         testing::Values(BlockLengthCase{0, 6, 104}, BlockLengthCase{1, 8, 104},
                                         BlockLengthCase{49, 104, 104}));

class OverrunTest : public testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(OverrunTest, BlockLongerThanItsRoomIsAReceptionError) {
    const auto [kind, block, n] = GetParam();
    Bytes d = ProjectorReplyBytes(kind, {"01", "02", "03", "04"});
    d[14 + 52 * block + 2] = static_cast<std::uint8_t>(n);
    const auto r = Read(d);
    EXPECT_EQ(r.outcome, ReplyOutcome::ReceptionError);
    EXPECT_EQ(r.kind, kind);
    EXPECT_TRUE(r.projector.codeText.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, OverrunTest,
                         testing::Combine(testing::Values(1, 2), testing::Values(0, 3),
                                          testing::Values(50, 255)));

TEST(IpReplyTest, DecodesAddressesOneKeyAndLock) {
    const auto r = Read(IpReplyBytes());
    ASSERT_EQ(r.outcome, ReplyOutcome::IpSettings);
    EXPECT_EQ(r.ip.server, (codec::Ip4{192, 168, 1, 10}));
    EXPECT_EQ(r.ip.controller, (codec::Ip4{192, 168, 1, 101}));
    EXPECT_EQ(r.ip.mask, (codec::Ip4{255, 255, 255, 0}));
    EXPECT_EQ(r.ip.gateway, (codec::Ip4{192, 168, 1, 1}));
    EXPECT_FALSE(r.ip.oneKey); // AA A0 is not the on marker
    EXPECT_EQ(r.ip.lockTypeIndex, 1);
    EXPECT_EQ(r.ip.lockTimeIndex, 0);
}

TEST(IpReplyTest, OneKeyNeedsBothBytes) {
    Bytes d = IpReplyBytes();
    d[37] = 0xAA;
    EXPECT_TRUE(Read(d).ip.oneKey);
}

TEST(AdditionalReplyTest, DecodesTypesAndMicrophoneBytesAsSent) {
    const auto r = Read(AdditionalReplyBytes());
    ASSERT_EQ(r.outcome, ReplyOutcome::Additional);
    EXPECT_EQ(r.additional.domeIndex, -1);
    EXPECT_EQ(r.additional.micIndex, 1);
    EXPECT_EQ(r.additional.keyboardIndex, 0);
    EXPECT_EQ(r.additional.mic[0], (std::array<std::uint8_t, 4>{1, 17, 4, 255}));
    EXPECT_EQ(r.additional.mic[1], (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(r.additional.mic[19], (std::array<std::uint8_t, 4>{5, 6, 7, 8}));
}

// Every reply kind with its valid bytes, for the table-driven cases below.
struct KindCase {
    int kind;
    Bytes (*make)();
    std::size_t needed;
    friend void PrintTo(const KindCase& c, std::ostream* os) { *os << "kind " << c.kind; }
};

Bytes Projector1() {
    return ProjectorReplyBytes(1, {"0A0B", "0C", "0D", "0E"});
}
Bytes Projector2() {
    return ProjectorReplyBytes(2, {"0A0B", "0C", "0D", "0E"});
}

const KindCase kKinds[] = {
    {1, Projector1, 222}, {2, Projector2, 222}, {3, IpReplyBytes, 40}, {4, AdditionalReplyBytes, 104}};

class EachKindTest : public testing::TestWithParam<KindCase> {};

TEST_P(EachKindTest, WrongPrefixIsAReceptionErrorOfItsKind) {
    for (std::size_t at : {0u, 5u, 6u, 7u}) {
        Bytes d = GetParam().make();
        d[at] ^= 0x20;
        const auto r = Read(d);
        EXPECT_EQ(r.outcome, ReplyOutcome::ReceptionError) << "byte " << at;
        EXPECT_EQ(r.kind, GetParam().kind);
    }
    Bytes request = GetParam().make();
    Place(request, 6, "535A"); // the request marker is not a reply
    EXPECT_EQ(Read(request).outcome, ReplyOutcome::ReceptionError);
}

TEST_P(EachKindTest, WrongAddressIsDroppedWhateverTheContents) {
    Bytes d = GetParam().make();
    d[11] = 0x65;
    EXPECT_EQ(Read(d).outcome, ReplyOutcome::Dropped);
    d[0] = 'X';
    EXPECT_EQ(Read(d).outcome, ReplyOutcome::Dropped);
}

TEST_P(EachKindTest, EveryTruncatedPrefixIsRejectedCleanly) {
    const Bytes full = GetParam().make();
    for (std::size_t length = 0; length < GetParam().needed; ++length) {
        // An exact-size copy, so a read past the end trips the sanitizers.
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
        const auto r = codec::ReadReply(cut.data(), cut.size(), kWindow);
        if (length < 14) {
            EXPECT_EQ(r.outcome, ReplyOutcome::Dropped) << "length " << length;
        } else {
            EXPECT_EQ(r.outcome, ReplyOutcome::ReceptionError) << "length " << length;
            EXPECT_EQ(r.kind, GetParam().kind);
        }
    }
    const Bytes exact(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(GetParam().needed));
    EXPECT_NE(codec::ReadReply(exact.data(), exact.size(), kWindow).outcome, ReplyOutcome::ReceptionError);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EachKindTest, testing::ValuesIn(kKinds));

struct OtherKindCase {
    int byte12, byte13;
    friend void PrintTo(const OtherKindCase& c, std::ostream* os) { *os << c.byte12 << ' ' << c.byte13; }
};

class OtherKindTest : public testing::TestWithParam<OtherKindCase> {};

TEST_P(OtherKindTest, RunsOnlyTheFinalStep) {
    Bytes d = Header(222, GetParam().byte13);
    d[12] = static_cast<std::uint8_t>(GetParam().byte12);
    d[0] = 'X'; // the prefix is not looked at for these
    EXPECT_EQ(Read(d).outcome, ReplyOutcome::OtherKind);
    d.resize(14);
    EXPECT_EQ(Read(d).outcome, ReplyOutcome::OtherKind);
}

INSTANTIATE_TEST_SUITE_P(Cases, OtherKindTest,
                         testing::Values(OtherKindCase{1, 1}, OtherKindCase{0, 5}, OtherKindCase{0, 0},
                                         OtherKindCase{0, 255}, OtherKindCase{0x80, 3}));

TEST(ReplyTest, NullOrEmptyIsDropped) {
    EXPECT_EQ(codec::ReadReply(nullptr, 0, kWindow).outcome, ReplyOutcome::Dropped);
    EXPECT_EQ(codec::ReadReply(nullptr, 222, kWindow).outcome, ReplyOutcome::Dropped);
}

struct VideoCase {
    std::string code, video;
    friend void PrintTo(const VideoCase& c, std::ostream* os) { *os << '"' << c.code << '"'; }
};

class VideoTextTest : public testing::TestWithParam<VideoCase> {};
TEST_P(VideoTextTest, FromCodeText) {
    EXPECT_EQ(codec::VideoTextFromCode(GetParam().code), GetParam().video);
}
INSTANTIATE_TEST_SUITE_P(Cases, VideoTextTest,
                         testing::Values(VideoCase{"f401050a1b2c3d00f40201", "0a1b2c3d"},
                                         VideoCase{"f40101", ""}, VideoCase{"f40100ff", ""},
                                         VideoCase{"f401100a", "0a"}, // cut at the end of the text
                                         VideoCase{"f401", ""}, VideoCase{"", ""},
                                         VideoCase{"f4010A0102030405060708090a", "010203040506070809"}));

} // namespace
