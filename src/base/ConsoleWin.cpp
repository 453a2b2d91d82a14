#include "Console.h"

#include <windows.h>

#include <shellapi.h>

namespace base {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int nCount = 0;
    wchar_t** ppszWide = CommandLineToArgvW(GetCommandLineW(), &nCount);
    if (!ppszWide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < nCount; ++i) {
        const int nBytes = WideCharToMultiByte(CP_UTF8, 0, ppszWide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string str(static_cast<std::size_t>(nBytes > 0 ? nBytes : 1), '\0');
        if (nBytes > 0)
            WideCharToMultiByte(CP_UTF8, 0, ppszWide[i], -1, str.data(), nBytes, nullptr, nullptr);
        str.resize(str.size() - 1); // the terminating zero
        arguments.push_back(std::move(str));
    }
    LocalFree(ppszWide);
    return arguments;
}

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCP(CP_UTF8);
}

} // namespace base
