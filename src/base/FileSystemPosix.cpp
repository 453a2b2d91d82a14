#include "FileSystem.h"

#include <atomic>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

std::FILE* OpenFile(const std::filesystem::path& path, const char* pszMode) {
    return std::fopen(path.c_str(), pszMode);
}

bool SyncFile(std::FILE* pFile) {
    return std::fflush(pFile) == 0 && ::fsync(::fileno(pFile)) == 0;
}

bool MoveReplacing(const std::filesystem::path& from, const std::filesystem::path& to, std::string& strError,
                   bool bSync) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        strError = "cannot replace " + Utf8FromPath(to) + ": " + LastErrorText();
        return false;
    }
    if (!bSync)
        return true;
    // The new name reaches the disk with the folder that holds it.
    const std::filesystem::path folder = to.has_parent_path() ? to.parent_path() : std::filesystem::path(".");
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return true;
}

bool RemoveFile(const std::filesystem::path& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    // One file is one device and inode, whatever names and links lead to it.
    struct stat first = {};
    struct stat second = {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::filesystem::path TemporaryBeside(const std::filesystem::path& path) {
    std::filesystem::path temp = path;
    // Unique per write, so two writers of one file in one process never
    // share a temporary name.
    static std::atomic<unsigned long> nextWrite{0};
    temp += ".tmp." + std::to_string(::getpid()) + "." + std::to_string(++nextWrite);
    return temp;
}

std::string LastErrorText() {
    return std::strerror(errno);
}

namespace {

SFileError ErrorOfCode(int nError) {
    SFileError error{EFileError::Other, std::strerror(nError)};
    switch (nError) {
    case ENOENT:
        error.eKind = EFileError::NotFound;
        break;
    case EACCES:
    case EPERM:
        error.eKind = EFileError::AccessDenied;
        break;
    case EROFS:
        error.eKind = EFileError::ReadOnly;
        break;
    case EBUSY:
    case ETXTBSY:
        error.eKind = EFileError::InUse;
        break;
    case ENOSPC:
    case EDQUOT:
        error.eKind = EFileError::DiskFull;
        break;
    default:
        break;
    }
    return error;
}

} // namespace

SFileError LastFileError() {
    return ErrorOfCode(errno);
}

SFileError FileErrorOf(const std::error_code& error) {
    return {ErrorOfCode(error.value()).eKind, error.message()};
}

} // namespace base
