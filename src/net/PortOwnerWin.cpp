#include "PortOwner.h"

#include <windows.h>

#include <sddl.h>

#include <string>

namespace {

// The holder's text stays readable: the lock is taken on a byte far past it
// (Windows' byte-range locks keep others from reading what they cover).
constexpr DWORD kLockOffset = 0x40000000;

// Every user may open, lock and rewrite the folder and the lock file, so the
// next owner may be another login than the one that made them.
class CEveryoneMayWrite {
public:
    CEveryoneMayWrite() {
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;GA;;;WD)", SDDL_REVISION_1,
                                                                 &m_pDescriptor, nullptr))
            m_attributes.lpSecurityDescriptor = m_pDescriptor;
    }
    ~CEveryoneMayWrite() { LocalFree(m_pDescriptor); }
    CEveryoneMayWrite(const CEveryoneMayWrite&) = delete;
    CEveryoneMayWrite& operator=(const CEveryoneMayWrite&) = delete;
    SECURITY_ATTRIBUTES* Attributes() { return m_pDescriptor ? &m_attributes : nullptr; }

private:
    PSECURITY_DESCRIPTOR m_pDescriptor = nullptr;
    SECURITY_ATTRIBUTES m_attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// %ProgramData%\Velmora: one folder for the whole machine, whoever is logged on.
std::wstring LockPath(std::uint16_t nPort, CEveryoneMayWrite& access) {
    wchar_t szFolder[MAX_PATH + 1] = {};
    DWORD n = GetEnvironmentVariableW(L"ProgramData", szFolder, MAX_PATH + 1);
    std::wstring strFolder;
    if (n > 0 && n <= MAX_PATH) {
        strFolder = std::wstring(szFolder, n) + L"\\Velmora\\";
        CreateDirectoryW(strFolder.c_str(), access.Attributes());
    } else {
        n = GetTempPathW(MAX_PATH + 1, szFolder);
        strFolder.assign(szFolder, n);
    }
    return strFolder + L"velmora-udp-" + std::to_wstring(nPort) + L".lock";
}

std::string UserName() {
    wchar_t szName[257] = {};
    DWORD nSize = 257;
    if (!GetUserNameW(szName, &nSize) || nSize == 0)
        return "unknown";
    const int nWide = static_cast<int>(nSize - 1);
    const int nBytes = WideCharToMultiByte(CP_UTF8, 0, szName, nWide, nullptr, 0, nullptr, nullptr);
    std::string strName(static_cast<std::size_t>(nBytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, szName, nWide, strName.data(), nBytes, nullptr, nullptr);
    return strName;
}

} // namespace

CPortOwner::~CPortOwner() {
    Release();
}

bool CPortOwner::Acquire(std::uint16_t nPort, const std::string& strProgram, std::string& strHolder) {
    Release();
    if (nPort == 0)
        return true; // an ephemeral port is never shared
    CEveryoneMayWrite access;
    HANDLE hFile = CreateFileW(LockPath(nPort, access).c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, access.Attributes(),
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    const std::string strText =
        strProgram + " (pid " + std::to_string(GetCurrentProcessId()) + ", user " + UserName() + ")\r\n";
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
