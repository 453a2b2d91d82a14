// The write-medium check: the owner's write bit plays the read-only attribute,
// and a file on a read-only mount counts as read-only.
#include "Database.h"
#include "Statements.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const fs::path& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return 0;
    return status.st_mode & 07777;
}

TEST(WritableMedium, ClearedOwnerWriteBitIsSetAndStaysSet) {
    CTestDatabase db;
    ASSERT_EQ(chmod(db.File().c_str(), 0444), 0);

    EXPECT_TRUE(CDatabase::CheckWritableMedium());
    EXPECT_EQ(ModeOf(db.File()), 0644u) << "only the owner's write bit is added";

    CDatabase::ExecuteWrite(stmt::DeleteModel("Epson EMP-53"));
    EXPECT_EQ(db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号='Epson EMP-53'"), "0");
    EXPECT_TRUE(CDatabase::CheckWritableMedium());
    EXPECT_EQ(ModeOf(db.File()), 0644u);
}

TEST(WritableMedium, WritableFileIsLeftAsItIs) {
    CTestDatabase db;
    ASSERT_EQ(chmod(db.File().c_str(), 0600), 0);
    EXPECT_TRUE(CDatabase::CheckWritableMedium());
    EXPECT_EQ(ModeOf(db.File()), 0600u);
}

TEST(WritableMedium, MissingFileIsNotWritable) {
    CTestDatabase db;
    fs::remove(db.File());
    EXPECT_FALSE(CDatabase::CheckWritableMedium());
    EXPECT_FALSE(fs::exists(db.File()));
}

// A small tmpfs holding a copy of the shipped file, remounted read-only. Needs
// the right to mount (root in CI); skipped otherwise.
class ReadOnlyMount : public ::testing::TestWithParam<mode_t> {
protected:
    void SetUp() override {
        m_previous = fs::current_path();
        std::string strTemplate = (fs::temp_directory_path() / "velmora-ro-XXXXXX").string();
        ASSERT_NE(mkdtemp(strTemplate.data()), nullptr);
        m_folder = strTemplate;
        if (mount("tmpfs", m_folder.c_str(), "tmpfs", 0, "size=1m") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        m_bMounted = true;
        fs::copy_file(CTestDatabase::ShippedFile(), File());
        ASSERT_EQ(chmod(File().c_str(), GetParam()), 0);
        ASSERT_EQ(mount(nullptr, m_folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=1m"), 0)
            << std::strerror(errno);
        m_strBefore = Scalar("SELECT count(*) FROM DATA");
        ASSERT_NE(m_strBefore, "");
    }

    void TearDown() override {
        CDatabase::CloseShared();
        std::error_code error;
        fs::current_path(m_previous, error);
        if (m_bMounted && umount(m_folder.c_str()) != 0)
            umount2(m_folder.c_str(), MNT_DETACH);
        if (!m_folder.empty())
            fs::remove(m_folder, error);
    }

    fs::path File() const { return m_folder / "data.mdb"; }

    std::string Scalar(const std::string& strSql) const {
        std::string strResult;
        sqlite3* pDb = nullptr;
        if (sqlite3_open_v2(File().c_str(), &pDb, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* pStatement = nullptr;
            if (sqlite3_prepare_v2(pDb, strSql.c_str(), -1, &pStatement, nullptr) == SQLITE_OK &&
                sqlite3_step(pStatement) == SQLITE_ROW)
                strResult = reinterpret_cast<const char*>(sqlite3_column_text(pStatement, 0));
            sqlite3_finalize(pStatement);
        }
        sqlite3_close(pDb);
        return strResult;
    }

    fs::path m_previous;
    fs::path m_folder;
    bool m_bMounted = false;
    std::string m_strBefore;
};

// The check looks at data.mdb in the working folder: the shared connection is
// opened on a writable copy, then the working folder becomes the mount.
TEST_P(ReadOnlyMount, CheckRefusesTheMedium) {
    CTestDatabase db;
    fs::current_path(m_folder);
    EXPECT_FALSE(CDatabase::CheckWritableMedium());
    EXPECT_EQ(ModeOf(File()), GetParam());
}

// The program runs from a read-only medium (the saves and deletes are refused,
// the library can still be read), so the shared connection must open there.
TEST_P(ReadOnlyMount, LibraryOpensForReadingAndWritesAreRefused) {
    fs::current_path(m_folder);
    try {
        CDatabase::OpenShared("data.mdb");
    } catch (const CDatabaseError& error) {
        FAIL() << "data.mdb on a read-only medium was refused: " << error.Text();
    }
    auto pWalker = CDatabase::OpenRead(stmt::SelectLibrarySorted());
    EXPECT_FALSE(pWalker->IsEmpty());
    pWalker.reset();
    EXPECT_FALSE(CDatabase::CheckWritableMedium());
    EXPECT_THROW(CDatabase::ExecuteWrite(stmt::DeleteModel("Epson EMP-53")), CDatabaseError);
    EXPECT_EQ(Scalar("SELECT count(*) FROM DATA"), m_strBefore);
}

INSTANTIATE_TEST_SUITE_P(FileModes, ReadOnlyMount, ::testing::Values(mode_t{0644}, mode_t{0444}),
                         [](const auto& info) { return info.param == 0644 ? "Writable" : "WriteProtected"; });

} // namespace
