#include "FileSystem.h"

#include <algorithm>
#include <memory>
#include <system_error>

namespace base {

bool ReadFile(const std::filesystem::path& path, std::string& strText, std::string& strError,
              SFileError* pCause) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenFile(path, "rb"), &std::fclose);
    const auto Failed = [&](const char* pszWhat) {
        const SFileError cause = LastFileError();
        if (pCause)
            *pCause = cause;
        strError = pszWhat + Utf8FromPath(path) + ": " + cause.strSystem;
        return false;
    };
    if (!file)
        return Failed("cannot open ");
    std::string strAll;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        strAll.append(buffer, n);
    if (std::ferror(file.get()))
        return Failed("cannot read ");
    strText = std::move(strAll);
    return true;
}

bool WriteFileReplacing(const std::filesystem::path& path, std::string_view text, bool bSync,
                        std::string& strError, SFileError* pCause) {
    SFileError cause;
    auto Failed = [&] {
        cause = LastFileError();
        if (pCause)
            *pCause = cause;
    };
    const std::filesystem::path temp = TemporaryBeside(path);
    std::FILE* pFile = OpenFile(temp, "wb");
    if (!pFile) {
        Failed();
        strError = "cannot write " + Utf8FromPath(temp) + ": " + cause.strSystem;
        return false;
    }
    bool bOk = std::fwrite(text.data(), 1, text.size(), pFile) == text.size() && std::fflush(pFile) == 0;
    if (bOk && bSync)
        bOk = SyncFile(pFile);
    if (!bOk) {
        Failed();
        strError = "cannot write " + Utf8FromPath(temp) + ": " + cause.strSystem;
    }
    if (std::fclose(pFile) != 0 && bOk) {
        Failed();
        strError = "cannot write " + Utf8FromPath(temp) + ": " + cause.strSystem;
        bOk = false;
    }
    if (bOk && !MoveReplacing(temp, path, strError, bSync)) {
        Failed();
        bOk = false;
    }
    if (!bOk)
        RemoveFile(temp);
    return bOk;
}

bool CreateFolders(const std::filesystem::path& folder, std::string& strError, SFileError* pCause) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        if (pCause)
            *pCause = FileErrorOf(error);
        strError = "cannot create the folder " + Utf8FromPath(folder) + ": " + error.message();
        return false;
    }
    return true;
}

std::vector<std::filesystem::path> ListFolder(const std::filesystem::path& folder,
                                              std::string_view extension) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code kindError;
        if (!it->is_regular_file(kindError))
            continue;
        const std::string strName = Utf8FromPath(it->path().filename());
        if (strName.size() >= extension.size() &&
            strName.compare(strName.size() - extension.size(), extension.size(), extension) == 0)
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool IsExistingFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error) && !std::filesystem::is_directory(path, error);
}

} // namespace base
