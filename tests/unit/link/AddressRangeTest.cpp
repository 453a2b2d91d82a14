// Address sets written as one address, FIRST-LAST, a CIDR block or a list.

#include "codec/AddressRange.h"

#include <gtest/gtest.h>

namespace {

struct RangeCase {
    const char* text;
    std::size_t count;
    const char* first;
    const char* last;
};

class AddressRangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(AddressRangeTest, ListsEveryAddressInOrder) {
    std::vector<codec::Ip4> out;
    codec::SRangeError error;
    ASSERT_TRUE(codec::ParseAddressRange(GetParam().text, out, error)) << error.strPiece;
    ASSERT_EQ(out.size(), GetParam().count);
    EXPECT_EQ(codec::BytesToAddress(out.front()), GetParam().first);
    EXPECT_EQ(codec::BytesToAddress(out.back()), GetParam().last);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AddressRangeTest,
    ::testing::Values(RangeCase{"127.0.0.10-127.0.0.109", 100, "127.0.0.10", "127.0.0.109"},
                      RangeCase{"192.168.1.0/24", 254, "192.168.1.1", "192.168.1.254"},
                      RangeCase{"127.0.0.0/28", 14, "127.0.0.1", "127.0.0.14"},
                      RangeCase{"10.0.0.7/32", 1, "10.0.0.7", "10.0.0.7"},
                      RangeCase{"10.0.0.6/31", 2, "10.0.0.6", "10.0.0.7"},
                      RangeCase{"10.0.0.255-10.0.1.1", 3, "10.0.0.255", "10.0.1.1"},
                      RangeCase{"10.0.0.1,10.0.0.9-10.0.0.10", 3, "10.0.0.1", "10.0.0.10"},
                      RangeCase{"192.168.0.0/20", 4094, "192.168.0.1", "192.168.15.254"}));

class BadRangeTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BadRangeTest, IsRefusedWithAReason) {
    std::vector<codec::Ip4> out{{1, 2, 3, 4}};
    codec::SRangeError error;
    EXPECT_FALSE(codec::ParseAddressRange(GetParam(), out, error));
    EXPECT_NE(error.eProblem, codec::ERangeProblem::None);
    EXPECT_EQ(out.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Texts, BadRangeTest,
                         ::testing::Values("", "10.0.0.256", "10.0.0", "10.0.0.1.2", "10.0.0.9-10.0.0.1",
                                           "10.0.0.0/33", "10.0.0.0/", "10.0.0.0/8", "10.0.0.1,", " 10.0.0.1",
                                           "10.0.0.01x", "0x7f.0.0.1", "1.2.3.4-"));

} // namespace
