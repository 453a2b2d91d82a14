#include "PortOwner.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// $XDG_RUNTIME_DIR, else a folder of this user's own under /tmp.
std::string LockPath(std::uint16_t nPort) {
    std::string strFolder;
    if (const char* pszRuntime = std::getenv("XDG_RUNTIME_DIR"); pszRuntime && *pszRuntime) {
        strFolder = pszRuntime;
    } else {
        strFolder = "/tmp/velmora-" + std::to_string(::getuid());
        ::mkdir(strFolder.c_str(), 0700);
    }
    return strFolder + "/velmora-udp-" + std::to_string(nPort) + ".lock";
}

} // namespace

CPortOwner::~CPortOwner() {
    Release();
}

bool CPortOwner::Acquire(std::uint16_t nPort, const std::string& strProgram, std::string& strHolder) {
    Release();
    if (nPort == 0)
        return true; // an ephemeral port is never shared
    const std::string strPath = LockPath(nPort);
    const int fd = ::open(strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Without a lock file the port's own bind check still applies.
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        char text[200] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        ::close(fd);
        strHolder = CPortOwner::HolderFromText(std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0));
        return false;
    }
    const std::string strText = strProgram + " (pid " + std::to_string(::getpid()) + ")\n";
    if (::ftruncate(fd, 0) == 0)
        [[maybe_unused]] const ssize_t nWritten = ::pwrite(fd, strText.data(), strText.size(), 0);
    m_nHandle = fd;
    m_bHeld = true;
    return true;
}

void CPortOwner::Release() {
    if (m_nHandle >= 0)
        ::close(static_cast<int>(m_nHandle)); // closing the file releases its lock
    m_nHandle = -1;
    m_bHeld = false;
}
