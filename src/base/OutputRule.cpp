#include "OutputRule.h"

#include "FileSystem.h"

#include <cstring>
#include <memory>

namespace base {

COutputRule::COutputRule(std::filesystem::path library) : m_library(std::move(library)) {}

COutputRule& COutputRule::AddInput(const std::filesystem::path& input) {
    if (!input.empty())
        m_inputs.push_back(input);
    return *this;
}

EOutputRefusal COutputRule::Check(const std::filesystem::path& output) const {
    std::error_code error;
    if (std::filesystem::is_directory(output, error))
        return EOutputRefusal::Folder;
    if (!m_library.empty() && SameFile(output, m_library))
        return EOutputRefusal::LibraryInUse;
    for (const std::filesystem::path& input : m_inputs)
        if (SameFile(output, input))
            return EOutputRefusal::Input;
    if (IsSqliteFile(output))
        return EOutputRefusal::Database;
    return EOutputRefusal::None;
}

bool IsSqliteFile(const std::filesystem::path& path) {
    static constexpr char kHeader[] = "SQLite format 3"; // and its terminating zero: 16 bytes
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenFile(path, "rb"), &std::fclose);
    if (!file)
        return false;
    char start[sizeof kHeader] = {};
    return std::fread(start, 1, sizeof start, file.get()) == sizeof start &&
           std::memcmp(start, kHeader, sizeof kHeader) == 0;
}

} // namespace base
