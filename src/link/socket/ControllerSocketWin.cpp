// The controller socket over Winsock.
#include "ControllerSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mswsock.h>

namespace {

sockaddr_in AnyAddress(std::uint16_t nPort) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(nPort);
    return address;
}

SOCKET Handle(qintptr nSocket) {
    return static_cast<SOCKET>(nSocket);
}

} // namespace

bool CControllerSocket::InitSocketLayer() {
    // Started once for the whole run and never cleaned up: the program's
    // sockets live until it ends.
    static const bool s_bStarted = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return s_bStarted;
}

void CControllerSocket::CloseSocket(qintptr nSocket) {
    ::closesocket(Handle(nSocket));
}

bool CControllerSocket::Create(std::uint16_t nPort) {
    if (!InitSocketLayer())
        return false;
    SOCKET nSocket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (nSocket == INVALID_SOCKET)
        return false;
    BOOL bOn = TRUE;
    ::setsockopt(nSocket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&bOn), sizeof bOn);
    sockaddr_in address = AnyAddress(nPort);
    if (::bind(nSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::closesocket(nSocket);
        return false;
    }
    // An ICMP port-unreachable (a controller address where nothing listens)
    // would otherwise make the next receive fail with WSAECONNRESET instead of
    // reading the next datagram.
    BOOL bReport = FALSE;
    DWORD nReturned = 0;
    ::WSAIoctl(nSocket, SIO_UDP_CONNRESET, &bReport, sizeof bReport, nullptr, 0, &nReturned, nullptr,
               nullptr);
    // Reads never block the window: a notification means a datagram is there.
    u_long nNonBlocking = 1;
    ::ioctlsocket(nSocket, FIONBIO, &nNonBlocking);
    Attach(static_cast<qintptr>(nSocket));
    return true;
}

std::uint16_t CControllerSocket::LocalPort() const {
    sockaddr_in address{};
    int nLength = sizeof address;
    if (m_nSocket == kNoSocket ||
        ::getsockname(Handle(m_nSocket), reinterpret_cast<sockaddr*>(&address), &nLength) != 0)
        return 0;
    return ntohs(address.sin_port);
}

long CControllerSocket::SendTo(const void* pData, std::size_t nLength, std::uint16_t nPort,
                               const std::string& strAddress) {
    if (m_nSocket == kNoSocket)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(nPort);
    if (::inet_pton(AF_INET, strAddress.c_str(), &address.sin_addr) != 1)
        return -1;
    return static_cast<long>(::sendto(Handle(m_nSocket), static_cast<const char*>(pData),
                                      static_cast<int>(nLength), 0, reinterpret_cast<sockaddr*>(&address),
                                      sizeof address));
}

long CControllerSocket::ReceiveFrom(void* pBuffer, std::size_t nCapacity, std::string* pSender,
                                    std::uint16_t* pSenderPort) {
    if (m_nSocket == kNoSocket)
        return -1;
    sockaddr_in address{};
    int nLength = sizeof address;
    int nResult = ::recvfrom(Handle(m_nSocket), static_cast<char*>(pBuffer), static_cast<int>(nCapacity), 0,
                             reinterpret_cast<sockaddr*>(&address), &nLength);
    // A datagram longer than the buffer arrives cut to the buffer, as on
    // POSIX systems, instead of being reported as an error.
    if (nResult == SOCKET_ERROR && ::WSAGetLastError() == WSAEMSGSIZE)
        nResult = static_cast<int>(nCapacity);
    if (nResult >= 0) {
        if (pSender) {
            char szText[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &address.sin_addr, szText, sizeof szText);
            *pSender = szText;
        }
        if (pSenderPort)
            *pSenderPort = ntohs(address.sin_port);
    }
    return static_cast<long>(nResult);
}

bool CControllerSocket::PortIsFree(std::uint16_t nPort) {
    if (!InitSocketLayer())
        return false;
    SOCKET nSocket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (nSocket == INVALID_SOCKET)
        return false;
    sockaddr_in address = AnyAddress(nPort);
    bool bFree = ::bind(nSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::closesocket(nSocket);
    return bFree;
}
