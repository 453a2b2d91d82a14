// The writable-medium check on Windows: the file's read-only attribute is
// cleared for good where the medium allows it, the file is opened for writing
// and its times are written back, and a file can be made beside it (SQLite
// writes its journal there). Any refusal means a medium that cannot be written,
// a CD-ROM or a folder such as Program Files without write rights.
#include "DataLocation.h"
#include "Database.h"
#include "Utf8Path.h"

#include <windows.h>

bool CDatabase::CheckWritableMedium() {
    const std::filesystem::path file = std::filesystem::absolute(PathFromUtf8(Path()));
    const DWORD nAttributes = GetFileAttributesW(file.c_str());
    if (nAttributes == INVALID_FILE_ATTRIBUTES || (nAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if ((nAttributes & FILE_ATTRIBUTE_READONLY) &&
        !SetFileAttributesW(file.c_str(), nAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)))
        return false;
    // Shared with every other opener, so a file that the program itself (or a
    // viewer) holds open still passes; only the medium and the rights decide.
    HANDLE hFile = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    FILETIME created{}, accessed{}, written{};
    const bool bTimesWritten = GetFileTime(hFile, &created, &accessed, &written) &&
                               SetFileTime(hFile, &created, &accessed, &written);
    CloseHandle(hFile);
    return bTimesWritten && CDataLocation::FolderWritable(file.parent_path());
}
