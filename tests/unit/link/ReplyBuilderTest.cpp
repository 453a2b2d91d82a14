// The tests' reply builder against replies written out by hand from the
// layout, so every test that feeds built replies feeds what a controller sends.

#include "ReplyBuilder.h"
#include "Bytes.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using testbytes::Fill;
using testbytes::Place;

constexpr codec::Ip4 kHere{192, 168, 1, 100};

Bytes Written(std::size_t length, const char* pszHeader) {
    Bytes d(length, 0);
    Place(d, 0, pszHeader);
    return d;
}

struct SBuilderCase {
    const char* pszName;
    std::function<Bytes()> build;
    std::function<Bytes()> written;
};

class ReplyBuilderTest : public ::testing::TestWithParam<SBuilderCase> {};

TEST_P(ReplyBuilderTest, MatchesTheWrittenLayout) {
    EXPECT_EQ(GetParam().build(), GetParam().written());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReplyBuilderTest,
    ::testing::Values(
        SBuilderCase{"QueryHeader", [] { return Bytes(CReplyBuilder(5, kHere)); },
                     [] { return Written(14, "4B564D505248 4648 C0A80164 00 05"); }},
        SBuilderCase{"OtherMarkerShortLength", [] { return Bytes(CReplyBuilder(2, kHere, 20).Marker("SZ")); },
                     [] { return Written(20, "4B564D505248 535A C0A80164 00 02"); }},
        SBuilderCase{
            "ProjectorBlocks",
            [] {
                return Bytes(CReplyBuilder(1, kHere).Block(0, 0xF4, 1, {0xAB, 0xCD}).Block(3, 0xF2, 4, {}));
            },
            [] {
                Bytes d = Written(222, "4B564D505248 4648 C0A80164 00 01");
                Fill(d, 14, 66, 0xFF);
                Place(d, 14, "F4 01 03 ABCD 00");
                Fill(d, 170, 222, 0xFF);
                Place(d, 170, "F2 04 01 00");
                return d;
            }},
        SBuilderCase{"Network",
                     [] {
                         return Bytes(CReplyBuilder(3, kHere)
                                          .Network({192, 168, 1, 10}, {192, 168, 1, 101}, {255, 255, 255, 0},
                                                   {192, 168, 1, 1})
                                          .OneKey(0xAA, 0xA0)
                                          .Lock(2, 0));
                     },
                     [] {
                         Bytes d = Written(40, "4B564D505248 4648 C0A80164 00 03");
                         Place(d, 14, "C0A8010A C0A80165 FFFFFF00 C0A80101 000000000000 AAA0 02 00");
                         return d;
                     }},
        SBuilderCase{"Device",
                     [] {
                         return Bytes(CReplyBuilder(4, kHere)
                                          .Devices(0, 2, 1)
                                          .Mic(0, {0x01, 0x11, 0x04, 0xFF})
                                          .UnusedMics(1)
                                          .Mic(19, {5, 6, 7, 8})
                                          .Padding());
                     },
                     [] {
                         Bytes d = Written(184, "4B564D505248 4648 C0A80164 00 04");
                         Place(d, 14, "00 02 01 FFFFFFFFFFFFFF 01 11 04 FF");
                         Fill(d, 28, 184, 0xFF);
                         Place(d, 100, "05 06 07 08");
                         return d;
                     }}),
    [](const auto& info) { return std::string(info.param.pszName); });

} // namespace
