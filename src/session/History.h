#pragma once

// The write history, the one place that names, lists, prunes and picks
// backups. Before a write, what the controller held is kept as
// history/ADDRESS/TIME.json beside data.mdb (ADDRESS where the controller
// answered, TIME the UTC time of the backup to the millisecond), the newest
// few per controller. Only files of that name pattern are the store's: any
// other file an installer keeps there is never listed, pruned or chosen.
//
// Each backup is a snapshot file with a "backup" object besides: the time it
// was taken, whether it was taken before a restore, the controller's address
// before and after the write, and the parts of the controller's settings it
// lacks (a forced write of an incomplete read keeps the parts that came).

#include "FileSystem.h"
#include "Snapshot.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace session {

enum class EBackupKind { BeforeWrite, BeforeRestore };

struct SBackup {
    SSnapshot snapshot;        // what the controller held: read.received says which parts came
    codec::Ip4 addressAfter{}; // where the write puts the controller (its address when it stays)
    EBackupKind eKind = EBackupKind::BeforeWrite;
};

// One backup of the store, as listed.
struct SBackupEntry {
    std::filesystem::path path;
    std::string strTime;        // "2026-12-09T17:20:05.123Z": sorts as time
    codec::Ip4 addressBefore{}; // where the controller answered when it was backed up
    codec::Ip4 addressAfter{};
    EBackupKind eKind = EBackupKind::BeforeWrite;
    std::array<bool, kReplyParts> received{};
};

class CHistory {
public:
    // `folder` is the folder that holds data.mdb.
    explicit CHistory(std::filesystem::path folder, std::size_t nKeep = 20);

    // Saves the backup under the address the controller answered at and
    // prunes that folder's oldest backups beyond the limit (never the new
    // one). Returns false with the reason when the file could not be written
    // completely; the caller must then send nothing.
    // *pCause, when given, gets the file layer's reason for a failure.
    bool Save(const SBackup& backup, std::string& strError, std::filesystem::path* pSaved = nullptr,
              base::SFileError* pCause = nullptr);

    // Every backup of the controller at `address`, before or after its
    // write, oldest first by the time each records.
    std::vector<SBackupEntry> Entries(const codec::Ip4& address) const;
    // Their files, oldest first.
    std::vector<std::filesystem::path> List(const codec::Ip4& address) const;

    // The newest backup of the controller that was not taken before a
    // restore: what a restore of "the latest" puts back.
    std::optional<SBackupEntry> Latest(const codec::Ip4& address) const;

    // The entry of a file, when it is one of the store's backups.
    std::optional<SBackupEntry> Find(const std::filesystem::path& file) const;

    std::filesystem::path Folder(const codec::Ip4& address) const;

    // Whether a file name is of the store's pattern.
    static bool IsBackupName(const std::string& strName);

private:
    std::vector<SBackupEntry> FolderEntries(const std::filesystem::path& folder,
                                            std::string_view needle = {}) const;

    std::filesystem::path m_root;
    std::size_t m_nKeep;
};

} // namespace session
