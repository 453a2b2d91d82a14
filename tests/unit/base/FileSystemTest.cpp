// The UTF-8 file layer, in folders and files named as installers name them:
// Chinese, with spaces. On Windows these run under Wine, where a narrow call
// would turn the names into "?" and fail.
#include "FileSystem.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

class FileSystemTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        m_root = MakeTempFolder("velmora-base") / base::PathFromUtf8(GetParam());
        std::string strError;
        ASSERT_TRUE(base::CreateFolders(m_root, strError)) << strError;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root.parent_path(), ignored);
    }
    fs::path File(const char* pszUtf8) const { return m_root / base::PathFromUtf8(pszUtf8); }
    std::string Read(const fs::path& path) const {
        std::string strText, strError;
        EXPECT_TRUE(base::ReadFile(path, strText, strError)) << strError;
        return strText;
    }

    fs::path m_root;
};

TEST_P(FileSystemTest, ReplacingWritesWholeFilesAndLeavesNothingBeside) {
    const fs::path target = File("投影机代码.csv");
    std::string strError;
    ASSERT_TRUE(base::WriteFileReplacing(target, "first\n", true, strError)) << strError;
    // Replacing an existing file is what Windows' rename refuses.
    const std::string strSecond("型号,波特率\r\n\0binary", 24);
    ASSERT_TRUE(base::WriteFileReplacing(target, strSecond, false, strError)) << strError;
    EXPECT_EQ(Read(target), strSecond);
    const auto files = base::ListFolder(m_root);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(base::Utf8FromPath(files[0].filename()), "投影机代码.csv");
}

// Two writers of one file in one process (a batch's backup and the window's)
// each replace it whole; neither takes the other's temporary file away.
TEST_P(FileSystemTest, TwoWritersOfOneFileInOneProcessBothSucceed) {
    const fs::path target = File("127.0.0.2.json");
    const std::string strA(4000, 'a'), strB(3000, 'b');
    auto write = [&](const std::string& strText, int& nFailed) {
        for (int i = 0; i < 200; ++i) {
            std::string strError;
            if (!base::WriteFileReplacing(target, strText, false, strError))
                ++nFailed;
        }
    };
    int nFailedA = 0, nFailedB = 0;
    std::thread first(write, std::cref(strA), std::ref(nFailedA));
    std::thread second(write, std::cref(strB), std::ref(nFailedB));
    first.join();
    second.join();
    EXPECT_EQ(nFailedA + nFailedB, 0);
    const std::string strEnd = Read(target);
    EXPECT_TRUE(strEnd == strA || strEnd == strB);
    EXPECT_EQ(base::ListFolder(m_root).size(), 1u);
}

TEST_P(FileSystemTest, MoveReplacingPutsOneFileInAnothersPlace) {
    const fs::path from = File("新 的.json"), to = File("教室101.json");
    std::string strError;
    ASSERT_TRUE(base::WriteFileReplacing(from, "new", false, strError)) << strError;
    ASSERT_TRUE(base::WriteFileReplacing(to, "old", false, strError)) << strError;
    ASSERT_TRUE(base::MoveReplacing(from, to, strError)) << strError;
    EXPECT_EQ(Read(to), "new");
    EXPECT_FALSE(fs::exists(from));
}

TEST_P(FileSystemTest, FailuresNameTheFileAndChangeNothing) {
    std::string strText = "kept", strError;
    EXPECT_FALSE(base::ReadFile(File("没有.csv"), strText, strError));
    EXPECT_NE(strError.find("没有.csv"), std::string::npos) << strError;
    EXPECT_EQ(strText, "kept");

    // A target inside a folder that does not exist: nothing is made.
    strError.clear();
    EXPECT_FALSE(base::WriteFileReplacing(File("无 此/a.json"), "x", false, strError));
    EXPECT_NE(strError.find("无 此"), std::string::npos) << strError;
    EXPECT_TRUE(base::ListFolder(m_root).empty());

    EXPECT_TRUE(base::RemoveFile(File("没有.csv"))) << "a file that is not there is removed already";
}

TEST_P(FileSystemTest, ListFolderTakesFilesOfOneEndingInNameOrder) {
    std::string strError;
    for (const char* psz : {"b 备份.json", "a.json", "c.txt"})
        ASSERT_TRUE(base::WriteFileReplacing(File(psz), "x", false, strError)) << strError;
    ASSERT_TRUE(base::CreateFolders(File("子.json"), strError)) << strError;
    const auto files = base::ListFolder(m_root, ".json");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(base::Utf8FromPath(files[0].filename()), "a.json");
    EXPECT_EQ(base::Utf8FromPath(files[1].filename()), "b 备份.json");
    EXPECT_EQ(base::ListFolder(m_root).size(), 3u);
    EXPECT_TRUE(base::ListFolder(File("不存在")).empty());
}

TEST_P(FileSystemTest, SameFileSeesThroughOtherSpellings) {
    const fs::path file = File("data.mdb");
    std::string strError;
    ASSERT_TRUE(base::WriteFileReplacing(file, "x", false, strError)) << strError;
    ASSERT_TRUE(base::WriteFileReplacing(File("other.mdb"), "x", false, strError)) << strError;
    EXPECT_TRUE(base::SameFile(file, m_root / "." / "data.mdb"));
    EXPECT_TRUE(base::SameFile(file, m_root.parent_path() / m_root.filename() / ".." / m_root.filename() / "data.mdb"));
    std::error_code error;
    fs::create_hard_link(file, File("链接.csv"), error);
    if (!error) {
        EXPECT_TRUE(base::SameFile(file, File("链接.csv")));
    }
    EXPECT_FALSE(base::SameFile(file, File("other.mdb")));
    EXPECT_FALSE(base::SameFile(file, File("missing.csv")));
}

INSTANTIATE_TEST_SUITE_P(Names, FileSystemTest, ::testing::Values("plain", "学校 配置"),
                         [](const auto& info) { return info.index == 0 ? "Ascii" : "ChineseWithSpace"; });

} // namespace
