#include "UdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace controller {

namespace {

sockaddr_in SocketAddress(const Endpoint& endpoint) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(endpoint.port);
    std::memcpy(&sa.sin_addr.s_addr, endpoint.address.data(), 4);
    return sa;
}

} // namespace

UdpSocket::~UdpSocket() {
    Close();
}

void UdpSocket::Close() {
    if (m_socket >= 0)
        ::close(static_cast<int>(m_socket));
    m_socket = -1;
}

void UdpSocket::Swap(UdpSocket& other) noexcept {
    std::swap(m_socket, other.m_socket);
}

bool UdpSocket::Open(const codec::Ip4& address, std::uint16_t& port, std::string& error) {
    Close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in sa = SocketAddress({address, port});
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        error = "cannot bind " + Endpoint{address, port}.Text() + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) == 0)
        port = ntohs(bound.sin_port);
    m_socket = fd;
    return true;
}

int UdpSocket::Wait(int timeoutMs, std::string& error) {
    pollfd pfd{static_cast<int>(m_socket), POLLIN, 0};
    const int ready = ::poll(&pfd, 1, timeoutMs);
    if (ready < 0) {
        if (errno == EINTR)
            return 0;
        error = std::string("poll: ") + std::strerror(errno);
        return -1;
    }
    return ready > 0 && (pfd.revents & POLLIN) ? 1 : 0;
}

long UdpSocket::Receive(std::uint8_t* buffer, std::size_t capacity, Endpoint& from) {
    sockaddr_in sa{};
    socklen_t size = sizeof sa;
    const ssize_t n =
        ::recvfrom(static_cast<int>(m_socket), buffer, capacity, 0, reinterpret_cast<sockaddr*>(&sa), &size);
    if (n >= 0) {
        std::memcpy(from.address.data(), &sa.sin_addr.s_addr, 4);
        from.port = ntohs(sa.sin_port);
    }
    return static_cast<long>(n);
}

long UdpSocket::Send(const std::uint8_t* data, std::size_t length, const Endpoint& to, std::string& error) {
    const sockaddr_in sa = SocketAddress(to);
    const ssize_t sent = ::sendto(static_cast<int>(m_socket), data, length, 0,
                                  reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (sent < 0)
        error = std::strerror(errno);
    return static_cast<long>(sent);
}

} // namespace controller
