// The history store: it prunes and picks only its own backups, "latest" is
// the newest by the time a backup records and never a restore's own backup,
// and a controller that a write moved finds its backup at either address.

#include "FileSystem.h"
#include "History.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

namespace fs = std::filesystem;
using session::CHistory;
using session::EBackupKind;
using session::SBackup;

constexpr codec::Ip4 kOld{10, 1, 2, 3};
constexpr codec::Ip4 kNew{10, 1, 2, 99};

class HistoryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { m_root = MakeTempFolder("velmora-history-store"); }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    // A backup of the controller at `at`, told apart by its lock time.
    static SBackup Backup(codec::Ip4 at, int nLockTime, EBackupKind eKind = EBackupKind::BeforeWrite,
                          codec::Ip4 after = {}) {
        SBackup backup;
        backup.snapshot.read.received = {true, true, true, true};
        backup.snapshot.read.settings.initialIp = at;
        backup.snapshot.read.settings.controllerIp = at;
        backup.snapshot.read.settings.nLockTime = nLockTime;
        backup.snapshot.strTime = "2026-12-09T10:00:00Z";
        backup.snapshot.strProgram = "Velmora 1.0";
        backup.addressAfter = after;
        backup.eKind = eKind;
        return backup;
    }
    fs::path Save(CHistory& history, const SBackup& backup) {
        std::string strError;
        fs::path saved;
        EXPECT_TRUE(history.Save(backup, strError, &saved)) << strError;
        return saved;
    }
    static int LockTimeOf(const fs::path& path) {
        session::SSnapshot snapshot;
        std::string strError;
        EXPECT_TRUE(session::LoadSnapshot(path, snapshot, strError)) << strError;
        return snapshot.read.settings.nLockTime;
    }
    fs::path m_root;
};

TEST_F(HistoryStoreTest, PrunesOnlyItsOwnBackupsAndNeverTheNewOne) {
    CHistory history(m_root, 3);
    const fs::path folder = history.Folder(kOld);
    fs::create_directories(folder);
    // An installer's files, more than the limit, some sorting after the store's names.
    std::vector<fs::path> own;
    for (const char* name : {"1-交接前原始设置.json", "2-交接前原始设置.json", "3.json", "before-term.json",
                             "zz.json", "notes.txt"})
        own.push_back(folder / base::PathFromUtf8(name));
    for (const fs::path& file : own)
        std::ofstream(file) << "{}";
    fs::path last;
    for (int n = 1; n <= 5; ++n)
        last = Save(history, Backup(kOld, n));
    for (const fs::path& file : own)
        EXPECT_TRUE(fs::exists(file)) << file;
    const auto files = history.List(kOld);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files.back(), last);
    EXPECT_EQ(LockTimeOf(files.front()), 3);
    EXPECT_EQ(LockTimeOf(history.Latest(kOld)->path), 5);
}

TEST_F(HistoryStoreTest, LatestIsTheNewestRecordedTimeAndPassesOverARestoresBackup) {
    CHistory history(m_root);
    const fs::path written = Save(history, Backup(kOld, 7));
    Save(history, Backup(kOld, 8, EBackupKind::BeforeRestore));
    // A backup whose name sorts last but which records an earlier time.
    std::string strText, strError;
    ASSERT_TRUE(base::ReadFile(written, strText, strError)) << strError;
    const std::size_t at = strText.find("\"time\": \"20", strText.find("\"backup\""));
    ASSERT_NE(at, std::string::npos) << strText;
    strText.replace(at, strText.find('"', at + 9) + 1 - at, "\"time\": \"2001-01-01T00:00:00.000Z\"");
    strText.replace(strText.find("\"lock_time\": \"7\""), 16, "\"lock_time\": \"9\"");
    std::ofstream(history.Folder(kOld) / "29991231T235959.999Z.json") << strText;
    std::ofstream(history.Folder(kOld) / "notes.json") << "not json";

    const auto latest = history.Latest(kOld);
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->path, written);
    EXPECT_EQ(LockTimeOf(history.List(kOld).front()), 9) << "the old time lists first";
    EXPECT_EQ(history.List(kOld).size(), 3u) << "notes.json is not the store's";
    EXPECT_EQ(history.Find(history.Folder(kOld) / "notes.json"), std::nullopt);
}

TEST_F(HistoryStoreTest, AMovedControllerFindsItsBackupAtEitherAddress) {
    CHistory history(m_root);
    const fs::path moved = Save(history, Backup(kOld, 7, EBackupKind::BeforeWrite, kNew));
    Save(history, Backup(codec::Ip4{10, 1, 2, 50}, 1));
    for (const codec::Ip4& address : {kOld, kNew}) {
        const auto latest = history.Latest(address);
        ASSERT_TRUE(latest) << codec::BytesToAddress(address);
        EXPECT_EQ(latest->path, moved);
        EXPECT_EQ(latest->addressBefore, kOld);
        EXPECT_EQ(latest->addressAfter, kNew);
    }
    EXPECT_EQ(history.List(kNew).size(), 1u);
}

TEST_F(HistoryStoreTest, ABackupOfAnIncompleteReadSaysWhatItLacks) {
    CHistory history(m_root);
    SBackup backup = Backup(kOld, 7);
    backup.snapshot.read.received[session::kPartDevices] = false;
    const fs::path saved = Save(history, backup);
    std::string strText, strError;
    ASSERT_TRUE(base::ReadFile(saved, strText, strError)) << strError;
    EXPECT_NE(strText.find("\"lacks\": [\n      \"devices\"\n    ]"), std::string::npos) << strText;
    EXPECT_FALSE(history.Find(saved)->received[session::kPartDevices]);
}

} // namespace
