#include "UdpEndpoint.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace controller {
namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) {
    g_stop = 1;
}

sockaddr_in SocketAddress(const codec::Ip4& address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    std::memcpy(&sa.sin_addr.s_addr, address.data(), 4);
    return sa;
}

} // namespace

CUdpEndpoint::~CUdpEndpoint() {
    Close();
}

bool CUdpEndpoint::Open(const codec::Ip4& address, std::uint16_t& port, std::string& error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // Many controllers answer at once: room for a burst of queries.
    const int buffer = 1 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    const sockaddr_in sa = SocketAddress(address, port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        error = "cannot bind " + codec::BytesToAddress(address) + ":" + std::to_string(port) + ": " +
                std::strerror(errno);
        ::close(fd);
        return false;
    }
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) == 0)
        port = ntohs(bound.sin_port);
    Close();
    m_nHandle = fd;
    return true;
}

void CUdpEndpoint::Close() {
    if (m_nHandle >= 0)
        ::close(static_cast<int>(m_nHandle));
    m_nHandle = -1;
}

void CUdpEndpoint::TakeOver(CUdpEndpoint& other) {
    Close();
    m_nHandle = other.m_nHandle;
    other.m_nHandle = -1;
}

bool CUdpEndpoint::Receive(std::vector<std::uint8_t>& buffer, std::size_t& length, codec::Ip4& from,
                           std::uint16_t& port) {
    sockaddr_in sa{};
    socklen_t size = sizeof sa;
    const ssize_t n = ::recvfrom(static_cast<int>(m_nHandle), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&sa), &size);
    if (n < 0)
        return false;
    length = static_cast<std::size_t>(n);
    std::memcpy(from.data(), &sa.sin_addr.s_addr, 4);
    port = ntohs(sa.sin_port);
    return true;
}

std::string CUdpEndpoint::Send(const std::uint8_t* data, std::size_t length, const codec::Ip4& to,
                               std::uint16_t port) {
    const sockaddr_in sa = SocketAddress(to, port);
    if (::sendto(static_cast<int>(m_nHandle), data, length, 0, reinterpret_cast<const sockaddr*>(&sa),
                 sizeof sa) < 0)
        return std::strerror(errno);
    return {};
}

bool CUdpEndpoint::WaitAny(const std::vector<CUdpEndpoint*>& endpoints, int timeoutMs,
                           std::vector<bool>& ready) {
    std::vector<pollfd> fds;
    for (const CUdpEndpoint* e : endpoints)
        fds.push_back({static_cast<int>(e->m_nHandle), POLLIN, 0});
    ready.assign(endpoints.size(), false);
    const int n = ::poll(fds.data(), fds.size(), timeoutMs);
    if (n < 0)
        return errno == EINTR;
    for (std::size_t i = 0; i < fds.size(); ++i)
        ready[i] = (fds[i].revents & POLLIN) != 0;
    return true;
}

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() {
    return g_stop != 0;
}

} // namespace controller
