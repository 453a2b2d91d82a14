#include "UdpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mswsock.h>

#include <cstring>
#include <utility>

namespace controller {

namespace {

bool StartWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

sockaddr_in SocketAddress(const Endpoint& endpoint) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(endpoint.port);
    std::memcpy(&sa.sin_addr.s_addr, endpoint.address.data(), 4);
    return sa;
}

std::string ErrorText(int code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string result = "Winsock error " + std::to_string(code);
    if (text) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
        if (size > 0)
            WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
        while (!utf8.empty() && (utf8.back() == '\0' || utf8.back() == '\n' || utf8.back() == '\r'))
            utf8.pop_back();
        LocalFree(text);
        result += " (" + utf8 + ")";
    }
    return result;
}

SOCKET Handle(std::intptr_t socket) {
    return static_cast<SOCKET>(socket);
}

} // namespace

UdpSocket::~UdpSocket() {
    Close();
}

void UdpSocket::Close() {
    if (m_socket >= 0)
        ::closesocket(Handle(m_socket));
    m_socket = -1;
}

void UdpSocket::Swap(UdpSocket& other) noexcept {
    std::swap(m_socket, other.m_socket);
}

bool UdpSocket::Open(const codec::Ip4& address, std::uint16_t& port, std::string& error) {
    Close();
    if (!StartWinsock()) {
        error = "cannot start Winsock";
        return false;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        error = "socket: " + ErrorText(WSAGetLastError());
        return false;
    }
    const BOOL on = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    // A reply to a Velmora that has gone would otherwise make the next
    // receive fail with WSAECONNRESET.
    BOOL report = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    const sockaddr_in sa = SocketAddress({address, port});
    if (::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        error = "cannot bind " + Endpoint{address, port}.Text() + ": " + ErrorText(WSAGetLastError());
        ::closesocket(s);
        return false;
    }
    sockaddr_in bound{};
    int size = sizeof bound;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &size) == 0)
        port = ntohs(bound.sin_port);
    m_socket = static_cast<std::intptr_t>(s);
    return true;
}

int UdpSocket::Wait(int timeoutMs, std::string& error) {
    WSAPOLLFD pfd{Handle(m_socket), POLLRDNORM, 0};
    const int ready = ::WSAPoll(&pfd, 1, timeoutMs);
    if (ready == SOCKET_ERROR) {
        error = "poll: " + ErrorText(WSAGetLastError());
        return -1;
    }
    return ready > 0 && (pfd.revents & POLLRDNORM) ? 1 : 0;
}

long UdpSocket::Receive(std::uint8_t* buffer, std::size_t capacity, Endpoint& from) {
    sockaddr_in sa{};
    int size = sizeof sa;
    int n = ::recvfrom(Handle(m_socket), reinterpret_cast<char*>(buffer), static_cast<int>(capacity), 0,
                       reinterpret_cast<sockaddr*>(&sa), &size);
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE)
        n = static_cast<int>(capacity); // cut to the buffer, as on POSIX systems
    if (n >= 0) {
        std::memcpy(from.address.data(), &sa.sin_addr.s_addr, 4);
        from.port = ntohs(sa.sin_port);
    }
    return n;
}

long UdpSocket::Send(const std::uint8_t* data, std::size_t length, const Endpoint& to, std::string& error) {
    const sockaddr_in sa = SocketAddress(to);
    const int sent = ::sendto(Handle(m_socket), reinterpret_cast<const char*>(data), static_cast<int>(length),
                              0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (sent == SOCKET_ERROR)
        error = ErrorText(WSAGetLastError());
    return sent;
}

} // namespace controller
