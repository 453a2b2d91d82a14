#include "UdpEndpoint.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mswsock.h>
#include <windows.h>

#include <atomic>
#include <cstring>

namespace controller {
namespace {

std::atomic<bool> g_stop{false};

BOOL WINAPI OnConsoleControl(DWORD) {
    g_stop = true;
    return TRUE;
}

bool StartWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOCKET Handle(std::intptr_t handle) {
    return static_cast<SOCKET>(handle);
}

sockaddr_in SocketAddress(const codec::Ip4& address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    std::memcpy(&sa.sin_addr.s_addr, address.data(), 4);
    return sa;
}

std::string ErrorText(int code) {
    return "Winsock error " + std::to_string(code);
}

} // namespace

CUdpEndpoint::~CUdpEndpoint() {
    Close();
}

bool CUdpEndpoint::Open(const codec::Ip4& address, std::uint16_t& port, std::string& error) {
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
    // Many controllers answer at once: room for a burst of queries.
    const int buffer = 1 << 20;
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&buffer), sizeof buffer);
    // A reply to a tool that has gone would otherwise make the next receive
    // fail with WSAECONNRESET.
    BOOL report = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    const sockaddr_in sa = SocketAddress(address, port);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        error = "cannot bind " + codec::BytesToAddress(address) + ":" + std::to_string(port) + ": " +
                ErrorText(WSAGetLastError());
        ::closesocket(s);
        return false;
    }
    sockaddr_in bound{};
    int size = sizeof bound;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &size) == 0)
        port = ntohs(bound.sin_port);
    Close();
    m_nHandle = static_cast<std::intptr_t>(s);
    return true;
}

void CUdpEndpoint::Close() {
    if (m_nHandle >= 0)
        ::closesocket(Handle(m_nHandle));
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
    int size = sizeof sa;
    int n = ::recvfrom(Handle(m_nHandle), reinterpret_cast<char*>(buffer.data()),
                       static_cast<int>(buffer.size()), 0, reinterpret_cast<sockaddr*>(&sa), &size);
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE)
        n = static_cast<int>(buffer.size()); // cut to the buffer, as on POSIX systems
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
    if (::sendto(Handle(m_nHandle), reinterpret_cast<const char*>(data), static_cast<int>(length), 0,
                 reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR)
        return ErrorText(WSAGetLastError());
    return {};
}

bool CUdpEndpoint::WaitAny(const std::vector<CUdpEndpoint*>& endpoints, int timeoutMs,
                           std::vector<bool>& ready) {
    std::vector<WSAPOLLFD> fds;
    for (const CUdpEndpoint* e : endpoints)
        fds.push_back({Handle(e->m_nHandle), POLLRDNORM, 0});
    ready.assign(endpoints.size(), false);
    const int n = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeoutMs);
    if (n == SOCKET_ERROR)
        return false;
    for (std::size_t i = 0; i < fds.size(); ++i)
        ready[i] = (fds[i].revents & POLLRDNORM) != 0;
    return true;
}

void InstallStopSignals() {
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool StopRequested() {
    return g_stop;
}

} // namespace controller
