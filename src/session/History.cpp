#include "History.h"

#include "FileSystem.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace session {
namespace {

// "20261208T224005.123Z": sorts by time as text and is a valid file name everywhere.
std::string FileTime() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[40];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &tm);
    char full[48];
    std::snprintf(full, sizeof full, "%s.%03dZ", text, static_cast<int>(ms));
    return full;
}

} // namespace

CHistory::CHistory(std::filesystem::path folder, std::size_t nKeep)
    : m_root(std::move(folder) / "history"), m_nKeep(std::max<std::size_t>(nKeep, 1)) {}

std::filesystem::path CHistory::Folder(const codec::Ip4& address) const {
    return m_root / codec::BytesToAddress(address);
}

bool CHistory::Save(const SSnapshot& snapshot, std::string& strError, std::filesystem::path* pSaved) {
    const std::filesystem::path folder = Folder(snapshot.read.settings.initialIp);
    std::string strFolderError;
    if (!base::CreateFolders(folder, strFolderError)) {
        strError = "cannot save the history: " + strFolderError;
        return false;
    }
    const std::string strStem = FileTime();
    std::filesystem::path path = folder / (strStem + ".json");
    std::error_code error;
    for (int n = 1; std::filesystem::exists(path, error); ++n)
        path = folder / (strStem + "_" + std::to_string(n) + ".json");
    std::string strSaveError;
    if (!SaveSnapshot(path, snapshot, strSaveError)) {
        strError = "cannot save the history: " + strSaveError;
        return false;
    }
    if (pSaved)
        *pSaved = path;
    auto files = List(snapshot.read.settings.initialIp);
    for (std::size_t i = 0; i + m_nKeep < files.size(); ++i)
        base::RemoveFile(files[i]);
    return true;
}

std::vector<std::filesystem::path> CHistory::List(const codec::Ip4& address) const {
    return base::ListFolder(Folder(address), ".json");
}

} // namespace session
