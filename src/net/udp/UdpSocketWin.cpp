// The UDP socket over Winsock.
#include "UdpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mswsock.h>

#include <cstring>

namespace net {
namespace {

SOCKET Handle(CUdpSocket::THandle nHandle) {
    return static_cast<SOCKET>(nHandle);
}

sockaddr_in SocketAddress(const Ip4& address, std::uint16_t nPort) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(nPort);
    std::memcpy(&sa.sin_addr.s_addr, address.data(), address.size());
    return sa;
}

std::string ErrorText(int nCode) {
    return "Winsock error " + std::to_string(nCode);
}

} // namespace

bool CUdpSocket::StartSocketLayer() {
    // Started once for the whole run and never cleaned up: the program's
    // sockets live until it ends.
    static const bool s_bStarted = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return s_bStarted;
}

CUdpSocket::EBind CUdpSocket::Bind(const Ip4& address, std::uint16_t nPort, EShare share,
                                   std::string& strError) {
    Close();
    if (!StartSocketLayer()) {
        strError = "cannot start Winsock";
        return EBind::Failed;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        strError = "cannot create a UDP socket: " + ErrorText(::WSAGetLastError());
        return EBind::Failed;
    }
    if (share == EShare::Shared) {
        const BOOL bOn = TRUE;
        ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&bOn), sizeof bOn);
    }
    const sockaddr_in sa = SocketAddress(address, nPort);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        const int nCode = ::WSAGetLastError();
        ::closesocket(s);
        strError = ErrorText(nCode);
        return nCode == WSAEADDRINUSE || nCode == WSAEACCES ? EBind::PortTaken : EBind::Failed;
    }
    // An ICMP port-unreachable (a controller address where nothing listens,
    // a tool that has gone) would otherwise make the next receive fail with
    // WSAECONNRESET instead of reading the next datagram.
    BOOL bReport = FALSE;
    DWORD nReturned = 0;
    ::WSAIoctl(s, SIO_UDP_CONNRESET, &bReport, sizeof bReport, nullptr, 0, &nReturned, nullptr, nullptr);
    // Reads never block: a wait or a notifier says when a datagram is there.
    u_long nNonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nNonBlocking);
    m_nHandle = static_cast<THandle>(s);
    return EBind::Bound;
}

void CUdpSocket::Close() {
    if (m_nHandle != kNoHandle)
        ::closesocket(Handle(m_nHandle));
    m_nHandle = kNoHandle;
}

std::uint16_t CUdpSocket::LocalPort() const {
    sockaddr_in sa{};
    int nSize = sizeof sa;
    if (m_nHandle == kNoHandle ||
        ::getsockname(Handle(m_nHandle), reinterpret_cast<sockaddr*>(&sa), &nSize) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

void CUdpSocket::SetReceiveBuffer(int nBytes) {
    if (m_nHandle != kNoHandle)
        ::setsockopt(Handle(m_nHandle), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&nBytes),
                     sizeof nBytes);
}

long CUdpSocket::Receive(void* pBuffer, std::size_t nCapacity, Ip4* pFrom, std::uint16_t* pFromPort) {
    if (m_nHandle == kNoHandle)
        return -1;
    sockaddr_in sa{};
    int nSize = sizeof sa;
    int n = ::recvfrom(Handle(m_nHandle), static_cast<char*>(pBuffer), static_cast<int>(nCapacity), 0,
                       reinterpret_cast<sockaddr*>(&sa), &nSize);
    // A datagram longer than the buffer arrives cut to the buffer, as on
    // POSIX systems, instead of being reported as an error.
    if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEMSGSIZE)
        n = static_cast<int>(nCapacity);
    if (n < 0)
        return -1;
    if (pFrom)
        std::memcpy(pFrom->data(), &sa.sin_addr.s_addr, pFrom->size());
    if (pFromPort)
        *pFromPort = ntohs(sa.sin_port);
    return static_cast<long>(n);
}

std::string CUdpSocket::Send(const void* pData, std::size_t nLength, const Ip4& to,
                             std::uint16_t nPort) const {
    if (m_nHandle == kNoHandle)
        return "the socket is not open";
    const sockaddr_in sa = SocketAddress(to, nPort);
    if (::sendto(Handle(m_nHandle), static_cast<const char*>(pData), static_cast<int>(nLength), 0,
                 reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR)
        return ErrorText(::WSAGetLastError());
    return {};
}

bool CUdpSocket::WaitAny(const std::vector<const CUdpSocket*>& sockets, int nTimeoutMs,
                         std::vector<bool>& ready) {
    std::vector<WSAPOLLFD> fds;
    fds.reserve(sockets.size());
    for (const CUdpSocket* pSocket : sockets)
        fds.push_back({Handle(pSocket->m_nHandle), POLLRDNORM, 0});
    ready.assign(sockets.size(), false);
    const int n = ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), nTimeoutMs);
    if (n == SOCKET_ERROR)
        return false;
    for (std::size_t i = 0; i < fds.size(); ++i)
        ready[i] = (fds[i].revents & POLLRDNORM) != 0;
    return true;
}

bool CUdpSocket::PortIsFree(std::uint16_t nPort) {
    if (!StartSocketLayer())
        return false;
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return false;
    const sockaddr_in sa = SocketAddress(Ip4{0, 0, 0, 0}, nPort);
    const bool bFree = ::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    ::closesocket(s);
    return bFree;
}

bool CUdpSocket::ParseAddress(const std::string& strText, Ip4& address) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, strText.c_str(), &parsed) != 1)
        return false;
    std::memcpy(address.data(), &parsed.s_addr, address.size());
    return true;
}

} // namespace net
