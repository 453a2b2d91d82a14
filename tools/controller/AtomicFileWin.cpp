#include "AtomicFile.h"

#include <windows.h>

#include <filesystem>

namespace controller {

namespace {

std::string LastErrorText() {
    return "Windows error " + std::to_string(GetLastError());
}

} // namespace

bool WriteReplacing(const std::string& path, const std::string& text, bool sync, std::string& error) {
    const std::string temp = path + ".tmp." + std::to_string(GetCurrentProcessId());
    const std::filesystem::path target(path), partial(temp);
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot create " + temp + ": " + LastErrorText();
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size() && (!sync || FlushFileBuffers(file));
    if (!ok)
        error = "cannot write " + temp + ": " + LastErrorText();
    CloseHandle(file);
    if (!ok) {
        DeleteFileW(partial.c_str());
        return false;
    }
    // Replaces the file even while a reader has it open for reading with
    // delete sharing; a reader that locks it out makes this fail, reported.
    if (!MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "cannot replace " + path + " with " + temp + ": " + LastErrorText();
        DeleteFileW(partial.c_str());
        return false;
    }
    return true;
}

} // namespace controller
