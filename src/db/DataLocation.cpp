#include "DataLocation.h"

#include "FileSystem.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kFileName = "data.mdb";

// Copies under a temporary name first, so a copy cut short never passes for
// the user's data on the next start.
bool CopyShipped(const fs::path& shipped, const fs::path& userFolder) {
    std::string strError;
    if (!base::CreateFolders(userFolder, strError))
        return false;
    const fs::path partial = userFolder / "data.mdb.partial";
    base::RemoveFile(partial);
    std::error_code error;
    if (!fs::copy_file(shipped, partial, error) || error)
        return false;
    if (!base::ReplaceFile(partial, userFolder / kFileName, strError)) {
        base::RemoveFile(partial);
        return false;
    }
    return true;
}

} // namespace

CDataLocation::SChoice CDataLocation::Choose(const fs::path& programFolder, const fs::path& userFolder,
                                             const std::function<bool(const fs::path&)>& folderWritable) {
    std::error_code error;
    const fs::path shipped = programFolder / kFileName;
    if (programFolder.empty() || !fs::is_regular_file(shipped, error))
        return {kFileName, EPlace::WorkingFolder};
    if (folderWritable(programFolder) || userFolder.empty())
        return {Utf8FromPath(shipped), EPlace::ProgramFolder};
    const fs::path copy = userFolder / kFileName;
    if (fs::is_regular_file(copy, error) || CopyShipped(shipped, userFolder))
        return {Utf8FromPath(copy), EPlace::UserCopy};
    // No copy can be made: the shipped file still opens, and saves are refused
    // by the medium check with their usual message.
    return {Utf8FromPath(shipped), EPlace::ProgramFolder};
}

CDataLocation::SChoice CDataLocation::Find() {
    const fs::path programFolder = ProgramFolder();
    std::error_code error;
    // A folder the setup program installed is the setup's, even where an
    // administrator could write it: an upgrade replaces its data.mdb, so the
    // installer's own library lives in the per-user copy.
    if (!programFolder.empty() && fs::is_regular_file(programFolder / kSetupMarker, error))
        return Choose(programFolder, UserFolder(), [](const fs::path&) { return false; });
    return Choose(programFolder, UserFolder(), &CDataLocation::FolderWritable);
}
