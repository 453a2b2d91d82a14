// The one output rule: an output is compared with the library in use and the
// files the command reads as files, whatever path, link or case names them.
#include "OutputRule.h"
#include "FileSystem.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

struct SRuleCase {
    const char* name;
    // Makes the output to check in the folder (which holds 数据/data.mdb,
    // 数据/计划.csv, read by the command, and a copy of the library).
    std::function<fs::path(const fs::path& folder)> output;
    base::EOutputRefusal eExpected;
};

class OutputRuleTest : public ::testing::TestWithParam<SRuleCase> {
protected:
    void SetUp() override {
        m_root = MakeTempFolder("velmora-rule");
        const fs::path data = m_root / base::PathFromUtf8("数据");
        fs::create_directories(data / "sub");
        // An SQLite file starts with this header; the rest does not matter to the rule.
        const std::string header("SQLite format 3\0rest of the page", 32);
        std::ofstream(data / "data.mdb", std::ios::binary) << header;
        std::ofstream(data / base::PathFromUtf8("备份.db"), std::ios::binary) << header;
        std::ofstream(data / base::PathFromUtf8("计划.csv")) << "room,address\n";
        std::ofstream(data / "notes.csv") << "SQLite format 2 is not a database\n";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    fs::path m_root;
};

TEST_P(OutputRuleTest, RefusesTheLibraryDatabasesAndInputsHoweverNamed) {
    const fs::path data = m_root / base::PathFromUtf8("数据");
    fs::path output;
    try {
        output = GetParam().output(data);
    } catch (const fs::filesystem_error& e) {
        GTEST_SKIP() << "this system makes no such link: " << e.what();
    }
    base::COutputRule rule(data / "data.mdb");
    rule.AddInput(data / base::PathFromUtf8("计划.csv"));
    EXPECT_EQ(rule.Check(output), GetParam().eExpected) << base::Utf8FromPath(output);
}

using base::EOutputRefusal;

INSTANTIATE_TEST_SUITE_P(
    Outputs, OutputRuleTest,
    ::testing::Values(
        SRuleCase{"library", [](const fs::path& d) { return d / "data.mdb"; }, EOutputRefusal::LibraryInUse},
        SRuleCase{"library_through_dotdot", [](const fs::path& d) { return d / "sub" / ".." / "data.mdb"; },
                  EOutputRefusal::LibraryInUse},
        SRuleCase{"library_through_symlink",
                  [](const fs::path& d) {
                      fs::create_symlink(d / "data.mdb", d / "link.csv");
                      return d / "link.csv";
                  },
                  EOutputRefusal::LibraryInUse},
        SRuleCase{"library_through_hard_link",
                  [](const fs::path& d) {
                      fs::create_hard_link(d / "data.mdb", d / "hard.csv");
                      return d / "hard.csv";
                  },
                  EOutputRefusal::LibraryInUse},
        SRuleCase{"another_database", [](const fs::path& d) { return d / base::PathFromUtf8("备份.db"); },
                  EOutputRefusal::Database},
        SRuleCase{"input",
                  [](const fs::path& d) { return d / "sub" / ".." / base::PathFromUtf8("计划.csv"); },
                  EOutputRefusal::Input},
        SRuleCase{"input_through_hard_link",
                  [](const fs::path& d) {
                      fs::create_hard_link(d / base::PathFromUtf8("计划.csv"), d / "plan-copy.csv");
                      return d / "plan-copy.csv";
                  },
                  EOutputRefusal::Input},
        SRuleCase{"folder", [](const fs::path& d) { return d / "sub"; }, EOutputRefusal::Folder},
        SRuleCase{"ordinary_file", [](const fs::path& d) { return d / "notes.csv"; }, EOutputRefusal::None},
        SRuleCase{"new_file", [](const fs::path& d) { return d / base::PathFromUtf8("结果.csv"); },
                  EOutputRefusal::None}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
