// The write-medium check on Windows: the read-only attribute is cleared for
// good and the file then counts as writable; a file that is not there does not.
#include "Database.h"
#include "Statements.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace fs = std::filesystem;

namespace {

DWORD AttributesOf(const fs::path& path) {
    return GetFileAttributesW(path.c_str());
}

struct SAttributeCase {
    const char* pszName;
    DWORD nBefore;
};

class WritableMediumAttributes : public ::testing::TestWithParam<SAttributeCase> {};

TEST_P(WritableMediumAttributes, ReadOnlyBitIsClearedAndTheRestKept) {
    CTestDatabase db;
    ASSERT_TRUE(SetFileAttributesW(db.File().c_str(), GetParam().nBefore));

    EXPECT_TRUE(CDatabase::CheckWritableMedium());
    // Only the read-only bit is touched (whether the archive bit shows
    // depends on the file system, so it is not compared).
    EXPECT_EQ(AttributesOf(db.File()) & ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL),
              GetParam().nBefore & ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL |
                                                       FILE_ATTRIBUTE_READONLY));

    CDatabase::ExecuteWrite(stmt::DeleteModel("Epson EMP-53"));
    EXPECT_EQ(db.Scalar("SELECT count(*) FROM DATA WHERE 投影机型号='Epson EMP-53'"), "0");
    EXPECT_TRUE(CDatabase::CheckWritableMedium());
    EXPECT_EQ(AttributesOf(db.File()) & FILE_ATTRIBUTE_READONLY, 0u) << "the bit stays cleared";
}

INSTANTIATE_TEST_SUITE_P(Attributes, WritableMediumAttributes,
                         ::testing::Values(SAttributeCase{"ArchiveOnly", FILE_ATTRIBUTE_ARCHIVE},
                                           SAttributeCase{"Normal", FILE_ATTRIBUTE_NORMAL},
                                           SAttributeCase{"ReadOnly",
                                                          FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
                                           SAttributeCase{"ReadOnlyAlone", FILE_ATTRIBUTE_READONLY}),
                         [](const auto& info) { return std::string(info.param.pszName); });

TEST(WritableMedium, MissingFileIsNotWritable) {
    CTestDatabase db;
    CDatabase::CloseShared(); // Windows deletes no file that is open
    fs::remove(db.File());
    EXPECT_FALSE(CDatabase::CheckWritableMedium());
    EXPECT_FALSE(fs::exists(db.File()));
}

TEST(WritableMedium, FolderOfThatNameIsNotWritable) {
    CTestDatabase db;
    CDatabase::CloseShared(); // Windows deletes no file that is open
    fs::remove(db.File());
    fs::create_directory(db.File());
    EXPECT_FALSE(CDatabase::CheckWritableMedium());
}

// The check leaves nothing behind in the folder (its probe file is gone).
TEST(WritableMedium, LeavesNoFileBehind) {
    CTestDatabase db;
    ASSERT_TRUE(CDatabase::CheckWritableMedium());
    std::size_t nEntries = 0;
    for (const auto& entry : fs::directory_iterator(db.Folder()))
        nEntries += entry.path().filename() == "data.mdb" ? 0 : 1;
    EXPECT_EQ(nEntries, 0u);
}

} // namespace
