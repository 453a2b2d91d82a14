// The port's owner lock holds across the users of one machine: a program of
// another user is refused and told who holds the port, whichever user made
// the lock file first.

#include "PortOwner.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

// A port number no other test uses: only the lock file's name depends on it.
std::uint16_t TestPort(int nOffset) {
    return static_cast<std::uint16_t>(40000 + (::getpid() * 2 + nOffset) % 20000);
}

// Runs body as another user in a child process; its exit status is the result.
template <class Body> int AsUser(const passwd& user, Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(user.pw_gid) != 0 || ::setuid(user.pw_uid) != 0)
            ::_exit(90);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

class PortOwnerUsersTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to run a second process as another user";
        const passwd* pUser = ::getpwnam("nobody");
        if (!pUser)
            GTEST_SKIP() << "no user named nobody";
        m_other = *pUser;
    }
    passwd m_other{};
};

TEST_F(PortOwnerUsersTest, AnotherUsersProgramIsRefusedAndToldWhoHoldsThePort) {
    const std::uint16_t nPort = TestPort(0);
    std::remove(("/tmp/velmora-udp-" + std::to_string(nPort) + ".lock").c_str());
    CPortOwner owner;
    std::string strHolder;
    ASSERT_TRUE(owner.Acquire(nPort, "velmora", strHolder));
    const std::string strExpected = "velmora (pid " + std::to_string(::getpid()) + ", user root)";
    const int nResult = AsUser(m_other, [&] {
        CPortOwner second;
        std::string strSeen;
        if (second.Acquire(nPort, "velmora-cli", strSeen))
            return 1;
        return strSeen == strExpected ? 0 : 2;
    });
    EXPECT_EQ(nResult, 0) << "1: the other user got the port; 2: the holder was not named as " << strExpected;
    // Once the owner has gone, the other user takes the port in the file root made.
    owner.Release();
    EXPECT_EQ(AsUser(m_other,
                     [&] {
                         CPortOwner second;
                         std::string strSeen;
                         return second.Acquire(nPort, "velmora-cli", strSeen) ? 0 : 1;
                     }),
              0);
    std::remove(("/tmp/velmora-udp-" + std::to_string(nPort) + ".lock").c_str());
}

TEST_F(PortOwnerUsersTest, ALockFileAnotherUserMadeStillLocksAndIsTakenOver) {
    const std::uint16_t nPort = TestPort(1);
    const std::string strPath = "/tmp/velmora-udp-" + std::to_string(nPort) + ".lock";
    std::remove(strPath.c_str());
    int toParent[2], toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(m_other.pw_gid) != 0 || ::setuid(m_other.pw_uid) != 0)
            ::_exit(90);
        CPortOwner owner;
        std::string strSeen;
        const char cHeld = owner.Acquire(nPort, "velmora-cli", strSeen) ? 'y' : 'n';
        [[maybe_unused]] const ssize_t nWritten = ::write(toParent[1], &cHeld, 1);
        char cDone = 0;
        [[maybe_unused]] const ssize_t nRead = ::read(toChild[0], &cDone, 1);
        ::_exit(0);
    }
    char cHeld = 0;
    ASSERT_EQ(::read(toParent[0], &cHeld, 1), 1);
    ASSERT_EQ(cHeld, 'y');
    CPortOwner second;
    std::string strHolder;
    EXPECT_FALSE(second.Acquire(nPort, "velmora", strHolder));
    EXPECT_EQ(strHolder, "velmora-cli (pid " + std::to_string(pid) + ", user nobody)");
    ASSERT_EQ(::write(toChild[1], "x", 1), 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    // The file belongs to the other user; it is opened, locked and rewritten all the same.
    EXPECT_TRUE(second.Acquire(nPort, "velmora", strHolder));
    EXPECT_TRUE(second.Held());
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]})
        ::close(fd);
    second.Release();
    std::remove(strPath.c_str());
}

} // namespace
