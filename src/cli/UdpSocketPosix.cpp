#include "UdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace cli {
namespace {

volatile std::sig_atomic_t g_nInterrupts = 0;

void OnInterrupt(int) {
    g_nInterrupts = g_nInterrupts + 1;
}

} // namespace

CUdpSocket::~CUdpSocket() {
    if (m_nHandle >= 0)
        ::close(m_nHandle);
}

bool CUdpSocket::Open(std::uint16_t port, std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        error = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return false;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // A building answers at once: room for every reply of a hundred rooms.
    const int buffer = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        const int code = errno;
        ::close(fd);
        if (code == EADDRINUSE)
            error = "UDP port " + std::to_string(port) +
                    " is taken by another program; close it (or give --local-port) and try again";
        else
            error = "cannot bind UDP port " + std::to_string(port) + ": " + std::strerror(code);
        return false;
    }
    socklen_t size = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &size);
    m_nPort = ntohs(sa.sin_port);
    m_nHandle = fd;
    return true;
}

void CUdpSocket::Send(const std::uint8_t* data, std::size_t length, const codec::Ip4& to,
                      std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    std::memcpy(&sa.sin_addr.s_addr, to.data(), 4);
    // A failed send is noticed as silence, like a lost datagram.
    ::sendto(m_nHandle, data, length, 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

bool CUdpSocket::Receive(std::vector<std::uint8_t>& buffer, std::size_t& length) {
    const ssize_t n = ::recv(m_nHandle, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n < 0)
        return false;
    length = static_cast<std::size_t>(n);
    return true;
}

void CUdpSocket::Wait(int timeoutMs) {
    pollfd pfd{m_nHandle, POLLIN, 0};
    ::poll(&pfd, 1, timeoutMs);
}

void InstallInterruptCounter() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int Interrupts() {
    return g_nInterrupts;
}

bool ErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

} // namespace cli
