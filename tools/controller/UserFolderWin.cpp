#include "UserFolder.h"

#include <windows.h>

#include <string>

namespace controller {

std::filesystem::path UserFolder() {
    std::wstring strFolder(MAX_PATH, L'\0');
    DWORD n =
        GetEnvironmentVariableW(L"LOCALAPPDATA", strFolder.data(), static_cast<DWORD>(strFolder.size()));
    if (n >= strFolder.size()) {
        strFolder.resize(n);
        n = GetEnvironmentVariableW(L"LOCALAPPDATA", strFolder.data(), static_cast<DWORD>(strFolder.size()));
    }
    if (n == 0 || n >= strFolder.size())
        return {};
    strFolder.resize(n);
    return std::filesystem::path(strFolder) / L"Velmora";
}

} // namespace controller
