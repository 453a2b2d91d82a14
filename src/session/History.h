#pragma once

// The write history: before every write, what the controller held is kept
// as history/ADDRESS/TIME.json beside data.mdb, the newest few per controller.

#include "Snapshot.h"

#include <filesystem>
#include <string>
#include <vector>

namespace session {

class CHistory {
public:
    // `folder` is the folder that holds data.mdb.
    explicit CHistory(std::filesystem::path folder, std::size_t nKeep = 20);

    // Saves the snapshot under its address and prunes the oldest beyond the
    // limit. Returns false with the reason when the file could not be
    // written completely; the caller must then send nothing.
    bool Save(const SSnapshot& snapshot, std::string& strError, std::filesystem::path* pSaved = nullptr);

    // The saved files of one address, oldest first.
    std::vector<std::filesystem::path> List(const codec::Ip4& address) const;

    std::filesystem::path Folder(const codec::Ip4& address) const;

private:
    std::filesystem::path m_root;
    std::size_t m_nKeep;
};

} // namespace session
