#include "FileSystem.h"

#include <atomic>

#include <windows.h>

#include <io.h>

namespace base {

namespace {

std::wstring Widen(const char* psz) {
    std::wstring str;
    for (; *psz; ++psz)
        str.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*psz)));
    return str;
}

std::string Narrow(const wchar_t* psz, int nLength) {
    const int nBytes = WideCharToMultiByte(CP_UTF8, 0, psz, nLength, nullptr, 0, nullptr, nullptr);
    std::string str(static_cast<std::size_t>(nBytes > 0 ? nBytes : 0), '\0');
    if (nBytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, psz, nLength, str.data(), nBytes, nullptr, nullptr);
    return str;
}

} // namespace

std::FILE* OpenFile(const std::filesystem::path& path, const char* pszMode) {
    return _wfopen(path.c_str(), Widen(pszMode).c_str());
}

bool SyncFile(std::FILE* pFile) {
    return std::fflush(pFile) == 0 && _commit(_fileno(pFile)) == 0;
}

bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to, std::string& strError,
                   bool bSync) {
    // Replaces the file even while a reader holds it open with delete sharing;
    // one that locks it out makes this fail, and the failure is reported.
    const DWORD nFlags = MOVEFILE_REPLACE_EXISTING | (bSync ? MOVEFILE_WRITE_THROUGH : 0);
    // Another replacement of the same file (a second writer of it, or a
    // scanner that opened it a moment) refuses the move for that moment:
    // it is tried again for about half a second before it counts as failed.
    for (int nTry = 0;; ++nTry) {
        if (MoveFileExW(from.c_str(), to.c_str(), nFlags))
            return true;
        const DWORD nError = GetLastError();
        if (nTry >= 100 || (nError != ERROR_ACCESS_DENIED && nError != ERROR_SHARING_VIOLATION))
            break;
        Sleep(5);
        SetLastError(nError);
    }
    strError = "cannot replace " + Utf8FromPath(to) + ": " + LastErrorText();
    return false;
}

bool RemoveFile(const std::filesystem::path& path) {
    return DeleteFileW(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

namespace {

// The volume and file index of an existing file (or folder), through any
// name, link or letter case that leads to it.
bool FileIdentity(const std::filesystem::path& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE hFile = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    const bool bOk = GetFileInformationByHandle(hFile, &info) != 0;
    CloseHandle(hFile);
    return bOk;
}

} // namespace

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return FileIdentity(a, first) && FileIdentity(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

std::filesystem::path TemporaryBeside(const std::filesystem::path& path) {
    std::filesystem::path temp = path;
    // Unique per write, so two writers of one file in one process never
    // share a temporary name.
    static std::atomic<unsigned long> nextWrite{0};
    temp += L".tmp." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++nextWrite);
    return temp;
}

std::string LastErrorText() {
    const DWORD nError = GetLastError();
    wchar_t* pszText = nullptr;
    const DWORD nLength = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        nError, 0, reinterpret_cast<wchar_t*>(&pszText), 0, nullptr);
    std::string str = nLength ? Narrow(pszText, static_cast<int>(nLength)) : std::string();
    if (pszText)
        LocalFree(pszText);
    while (!str.empty() &&
           (str.back() == '\n' || str.back() == '\r' || str.back() == ' ' || str.back() == '.'))
        str.pop_back();
    return str.empty() ? "Windows error " + std::to_string(nError) : str;
}

namespace {

EFileError KindOfCode(DWORD nError) {
    switch (nError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
        return EFileError::NotFound;
    case ERROR_ACCESS_DENIED:
        return EFileError::AccessDenied;
    case ERROR_WRITE_PROTECT:
        return EFileError::ReadOnly;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EFileError::InUse;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return EFileError::DiskFull;
    default:
        break;
    }
    return EFileError::Other;
}

} // namespace

SFileError LastFileError() {
    const DWORD nError = GetLastError();
    return {KindOfCode(nError), LastErrorText()};
}

SFileError FileErrorOf(const std::error_code& error) {
    return {KindOfCode(static_cast<DWORD>(error.value())), error.message()};
}

} // namespace base
