// The command line's socket and interrupts on Windows (Winsock).
#include "UdpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mswsock.h>

#include <io.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace cli {
namespace {

std::atomic<int> g_nInterrupts{0};

// Runs on a thread of its own that the console starts for each Ctrl+C,
// Ctrl+Break or closed console window; the process goes on.
BOOL WINAPI OnConsoleControl(DWORD nEvent) {
    switch (nEvent) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        ++g_nInterrupts;
        return TRUE;
    default:
        return FALSE;
    }
}

SOCKET Handle(int nHandle) {
    return static_cast<SOCKET>(nHandle);
}

} // namespace

CUdpSocket::~CUdpSocket() {
    if (m_nHandle >= 0)
        ::closesocket(Handle(m_nHandle));
}

bool CUdpSocket::Open(std::uint16_t port, std::string& error) {
    static const bool s_bStarted = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!s_bStarted) {
        error = "cannot start Winsock";
        return false;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        error = "cannot create a UDP socket: Winsock error " + std::to_string(WSAGetLastError());
        return false;
    }
    const BOOL on = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    // A building answers at once: room for every reply of a hundred rooms.
    const int buffer = 4 << 20;
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&buffer), sizeof buffer);
    // A room without a controller must not make the next receive fail.
    BOOL report = FALSE;
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_UDP_CONNRESET, &report, sizeof report, nullptr, 0, &returned, nullptr, nullptr);
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        const int code = WSAGetLastError();
        ::closesocket(s);
        if (code == WSAEADDRINUSE || code == WSAEACCES)
            error = "UDP port " + std::to_string(port) +
                    " is taken by another program; close it (or give --local-port) and try again";
        else
            error =
                "cannot bind UDP port " + std::to_string(port) + ": Winsock error " + std::to_string(code);
        return false;
    }
    int size = sizeof sa;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &size);
    m_nPort = ntohs(sa.sin_port);
    // Socket handles are small numbers that fit the int the class keeps.
    m_nHandle = static_cast<int>(s);
    return true;
}

void CUdpSocket::Send(const std::uint8_t* data, std::size_t length, const codec::Ip4& to,
                      std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    std::memcpy(&sa.sin_addr.s_addr, to.data(), 4);
    // A failed send is noticed as silence, like a lost datagram.
    ::sendto(Handle(m_nHandle), reinterpret_cast<const char*>(data), static_cast<int>(length), 0,
             reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
}

bool CUdpSocket::Receive(std::vector<std::uint8_t>& buffer, std::size_t& length) {
    int n =
        ::recv(Handle(m_nHandle), reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0);
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE)
        n = static_cast<int>(buffer.size()); // cut to the buffer, as on POSIX systems
    if (n < 0)
        return false;
    length = static_cast<std::size_t>(n);
    return true;
}

void CUdpSocket::Wait(int timeoutMs) {
    WSAPOLLFD pfd{Handle(m_nHandle), POLLRDNORM, 0};
    ::WSAPoll(&pfd, 1, timeoutMs);
}

void InstallInterruptCounter() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

int Interrupts() {
    return g_nInterrupts;
}

bool ErrorIsTerminal() {
    // A console window, not a file, a pipe or the NUL device (which _isatty
    // also calls a character device).
    DWORD nMode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &nMode) != 0;
}

} // namespace cli
