// The program's own folder and the per-user data folder on Windows.
#include "DataLocation.h"

#include <windows.h>

#include <shlobj.h>

#include <string>

std::filesystem::path CDataLocation::ProgramFolder() {
    std::wstring strPath(MAX_PATH, L'\0');
    for (;;) {
        const DWORD nLength = GetModuleFileNameW(nullptr, strPath.data(), static_cast<DWORD>(strPath.size()));
        if (nLength == 0)
            return {};
        if (nLength < strPath.size()) {
            strPath.resize(nLength);
            return std::filesystem::path(strPath).parent_path();
        }
        strPath.resize(strPath.size() * 2);
    }
}

// %LOCALAPPDATA%\Velmora: per user, on this machine only (not roaming).
std::filesystem::path CDataLocation::UserFolder() {
    PWSTR pszFolder = nullptr;
    std::filesystem::path folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &pszFolder)) && pszFolder)
        folder = std::filesystem::path(pszFolder) / L"Velmora";
    CoTaskMemFree(pszFolder);
    return folder;
}

// Whether a new file can be made in the folder (SQLite also writes its journal
// there), tried with a file that goes away when it is closed.
bool CDataLocation::FolderWritable(const std::filesystem::path& folder) {
    const std::filesystem::path probe =
        folder / (L"velmora-write-test-" + std::to_wstring(GetCurrentProcessId()) + L".tmp");
    HANDLE hFile = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(hFile);
    return true;
}
