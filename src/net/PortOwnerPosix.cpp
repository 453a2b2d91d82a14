#include "PortOwner.h"

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One file for the whole machine, whoever runs the program: /tmp is there and
// writable for every user on every system the program runs on.
std::string LockPath(std::uint16_t nPort) {
    return "/tmp/velmora-udp-" + std::to_string(nPort) + ".lock";
}

std::string UserName() {
    if (const passwd* pUser = ::getpwuid(::geteuid()); pUser && pUser->pw_name)
        return pUser->pw_name;
    return "uid " + std::to_string(::geteuid());
}

// Opens the lock file, making it when it is not there. An existing file is
// opened without O_CREAT: in a sticky folder the system refuses O_CREAT on
// another user's file (protected_regular) even when its mode lets everyone
// write it. A file made here is opened to every user (mode 0666, whatever
// the umask), so the next owner may be anyone.
int OpenLockFile(const std::string& strPath) {
    for (int nTry = 0; nTry < 3; ++nTry) {
        int fd = ::open(strPath.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0 && errno == EACCES) // a file of an older version, for its user only: readable at most
            fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        fd = ::open(strPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            ::fchmod(fd, 0666);
            return fd;
        }
        if (errno != EEXIST)
            return fd;
        // Another program made it meanwhile: open that one.
    }
    return -1;
}

} // namespace

CPortOwner::~CPortOwner() {
    Release();
}

bool CPortOwner::Acquire(std::uint16_t nPort, const std::string& strProgram, std::string& strHolder) {
    Release();
    if (nPort == 0)
        return true; // an ephemeral port is never shared
    const int fd = OpenLockFile(LockPath(nPort));
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
    const std::string strText =
        strProgram + " (pid " + std::to_string(::getpid()) + ", user " + UserName() + ")\n";
    if (::ftruncate(fd, 0) == 0) [[maybe_unused]]
        const ssize_t nWritten = ::pwrite(fd, strText.data(), strText.size(), 0);
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
