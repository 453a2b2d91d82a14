// data.mdb in a folder whose name is not plain ASCII (an installer's folder
// named in Chinese): the store opens, reads, writes and checks it there.
#include "Database.h"
#include "Statements.h"
#include "TestDatabase.h"
#include "Utf8Path.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class ChineseFolder : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        m_folder = m_db.Folder() / PathFromUtf8(GetParam());
        fs::create_directories(m_folder);
        fs::copy_file(CTestDatabase::ShippedFile(), m_folder / "data.mdb");
    }

    CTestDatabase m_db{false, false};
    fs::path m_folder;
};

TEST_P(ChineseFolder, OpensByFullPath) {
    const std::string strPath = Utf8FromPath(m_folder / "data.mdb");
    ASSERT_NO_THROW(CDatabase::OpenShared(strPath));
    EXPECT_EQ(CDatabase::Path(), strPath);
    EXPECT_FALSE(CDatabase::OpenRead(stmt::SelectLibrarySorted())->IsEmpty());
    EXPECT_TRUE(CDatabase::CheckWritableMedium());
    ASSERT_NO_THROW(CDatabase::ExecuteWrite(stmt::DeleteModel("Epson EMP-53")));
    EXPECT_TRUE(CDatabase::OpenRead("SELECT * FROM DATA WHERE 投影机型号='Epson EMP-53'")->IsEmpty());
    // Nothing was written under a mangled name beside the real folder.
    std::size_t nFolders = 0;
    for (const auto& entry : fs::directory_iterator(m_db.Folder()))
        nFolders += entry.is_directory() ? 1 : 0;
    EXPECT_EQ(nFolders, 1u);
}

TEST_P(ChineseFolder, OpensFromTheWorkingFolder) {
    fs::current_path(m_folder);
    ASSERT_NO_THROW(CDatabase::OpenShared("data.mdb"));
    EXPECT_TRUE(CDatabase::CheckWritableMedium());
    ASSERT_NO_THROW(CDatabase::ExecuteWrite(stmt::DeleteModel("Epson EMP-53")));
    EXPECT_TRUE(CDatabase::OpenRead("SELECT * FROM DATA WHERE 投影机型号='Epson EMP-53'")->IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Names, ChineseFolder,
                         ::testing::Values("中控设置", "投影机 代码 (副本)", "数据/子目录"),
                         [](const auto& info) { return "Name" + std::to_string(info.index); });

} // namespace
