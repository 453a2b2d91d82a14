#include "PortOwner.h"

#include <windows.h>

#include <string>

namespace {

// The holder's text stays readable: the lock is taken on a byte far past it
// (Windows' byte-range locks keep others from reading what they cover).
constexpr DWORD kLockOffset = 0x40000000;

std::wstring LockPath(std::uint16_t nPort) {
    wchar_t szFolder[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, szFolder);
    std::wstring strFolder(szFolder, n);
    return strFolder + L"velmora-udp-" + std::to_wstring(nPort) + L".lock";
}

} // namespace

CPortOwner::~CPortOwner() {
    Release();
}

bool CPortOwner::Acquire(std::uint16_t nPort, const std::string& strProgram, std::string& strHolder) {
    Release();
    if (nPort == 0)
        return true; // an ephemeral port is never shared
    HANDLE hFile = CreateFileW(LockPath(nPort).c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return true; // without a lock file the port's own bind check still applies
    OVERLAPPED where{};
    where.Offset = kLockOffset;
    if (!LockFileEx(hFile, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where)) {
        char text[200] = {};
        DWORD nRead = 0;
        ReadFile(hFile, text, sizeof text - 1, &nRead, nullptr);
        CloseHandle(hFile);
        strHolder = CPortOwner::HolderFromText(std::string(text, nRead));
        return false;
    }
    const std::string strText = strProgram + " (pid " + std::to_string(GetCurrentProcessId()) + ")\r\n";
    SetFilePointer(hFile, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(hFile);
    DWORD nWritten = 0;
    WriteFile(hFile, strText.data(), static_cast<DWORD>(strText.size()), &nWritten, nullptr);
    m_nHandle = reinterpret_cast<std::intptr_t>(hFile);
    m_bHeld = true;
    return true;
}

void CPortOwner::Release() {
    if (m_bHeld)
        CloseHandle(reinterpret_cast<HANDLE>(m_nHandle)); // closing the file releases its lock
    m_nHandle = -1;
    m_bHeld = false;
}
