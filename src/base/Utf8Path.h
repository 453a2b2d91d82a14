#pragma once

#include <filesystem>
#include <string>

// Paths travel through the program as UTF-8 text (SQLite takes them so on
// every platform). These turn them into file-system paths and back without
// passing through the system's narrow code page, which on Windows cannot hold
// a folder name in Chinese.
inline std::filesystem::path PathFromUtf8(const std::string& strUtf8) {
    return std::filesystem::path(std::u8string(strUtf8.begin(), strUtf8.end()));
}

inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string strUtf8 = path.u8string();
    return std::string(strUtf8.begin(), strUtf8.end());
}
