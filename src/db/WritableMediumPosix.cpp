// The writable-medium check on POSIX systems: the owner's write bit plays the
// part of the read-only attribute, and a read-only mount is the read-only medium.
#include "Database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

std::string FolderOf(const std::string& strPath) {
    auto nSlash = strPath.find_last_of('/');
    if (nSlash == std::string::npos)
        return ".";
    return nSlash == 0 ? "/" : strPath.substr(0, nSlash);
}

} // namespace

bool CDatabase::CheckWritableMedium() {
    const std::string& strPath = Path();
    struct stat status {};
    if (stat(strPath.c_str(), &status) != 0)
        return false;
    // The owner's write bit plays the part of the read-only attribute: clear
    // protection is lifted for good, as the installer would do by hand.
    if ((status.st_mode & S_IWUSR) == 0 && chmod(strPath.c_str(), status.st_mode | S_IWUSR) != 0)
        return false;
    struct statvfs fileSystem {};
    if (statvfs(strPath.c_str(), &fileSystem) == 0 && (fileSystem.f_flag & ST_RDONLY))
        return false;
    int nFile = open(strPath.c_str(), O_RDWR);
    if (nFile < 0)
        return false;
    close(nFile);
    // SQLite writes its journal beside the file.
    return access(FolderOf(strPath).c_str(), W_OK | X_OK) == 0;
}
