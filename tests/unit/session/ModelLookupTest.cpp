// Which model a controller's code bundle names when several library rows
// share its VIDEO code.

#include "ModelLookup.h"
#include "codec/CodeBundle.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

const char* const kVideo = "534F555243452034310D";

std::string BundleOf(const char* baud, const char* parity, const char* powerOn = "505752204F4E0D") {
    return codec::BuildCodeBundle({baud, parity, kVideo, "", powerOn, "505752204F46460D"}).bundle;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct SRow {
    const char* model;
    std::string bundle;
};

struct SCase {
    const char* name;
    std::vector<SRow> rows;
    std::string read;
    const char* expected;
};

class ModelNameTest : public ::testing::TestWithParam<SCase> {};

TEST_P(ModelNameTest, AWholeBundleMatchWinsOverTheVideoCode) {
    const session::ModelLookupFn lookup = [](const std::string&) {
        session::SModelLookup found;
        for (const SRow& r : GetParam().rows) {
            found.models.push_back(r.model);
            found.bundles.push_back(r.bundle);
        }
        return found;
    };
    EXPECT_EQ(session::ModelName(GetParam().read, lookup), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Library, ModelNameTest,
    ::testing::Values(
        SCase{"first_of_two",
              {{"Slow", BundleOf("19200", "无")}, {"Fast", BundleOf("38400", "无")}},
              BundleOf("19200", "无"),
              "Slow"},
        SCase{"last_of_two",
              {{"Slow", BundleOf("19200", "无")}, {"Fast", BundleOf("38400", "无")}},
              BundleOf("38400", "无"),
              "Fast"},
        SCase{"case_blind",
              {{"Slow", BundleOf("19200", "无")}, {"Fast", BundleOf("38400", "无")}},
              Lower(BundleOf("19200", "无")),
              "Slow"},
        SCase{"two_whole",
              {{"A", BundleOf("9600", "偶")}, {"B", BundleOf("38400", "无")}, {"C", BundleOf("9600", "偶")}},
              BundleOf("9600", "偶"),
              "A / C"},
        SCase{"video_only",
              {{"Slow", BundleOf("19200", "无")}, {"Fast", BundleOf("38400", "无")}},
              BundleOf("9600", "无"),
              "Fast"},
        SCase{"other_power_code",
              {{"Slow", BundleOf("19200", "无")}, {"Fast", BundleOf("38400", "无")}},
              BundleOf("19200", "无", "AA"),
              "Fast"},
        SCase{"no_row", {}, BundleOf("19200", "无"), "未知投影机型号"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
