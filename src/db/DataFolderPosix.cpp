// On POSIX systems data.mdb is the working folder's, as it always was.
#include "DataLocation.h"

#include <unistd.h>

std::filesystem::path CDataLocation::ProgramFolder() {
    return {};
}

std::filesystem::path CDataLocation::UserFolder() {
    return {};
}

bool CDataLocation::FolderWritable(const std::filesystem::path& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}
