// The controller socket over POSIX sockets.
#include "ControllerSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in AnyAddress(std::uint16_t nPort) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(nPort);
    return address;
}

} // namespace

bool CControllerSocket::InitSocketLayer() {
    return true;
}

void CControllerSocket::CloseSocket(qintptr nSocket) {
    ::close(static_cast<int>(nSocket));
}

bool CControllerSocket::Create(std::uint16_t nPort) {
    int nSocket = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (nSocket < 0)
        return false;
    int nOn = 1;
    ::setsockopt(nSocket, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    sockaddr_in address = AnyAddress(nPort);
    if (::bind(nSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(nSocket);
        return false;
    }
    // Reads never block the window: a notification means a datagram is there.
    ::fcntl(nSocket, F_SETFL, ::fcntl(nSocket, F_GETFL) | O_NONBLOCK);
    Attach(nSocket);
    return true;
}

std::uint16_t CControllerSocket::LocalPort() const {
    sockaddr_in address{};
    socklen_t nLength = sizeof address;
    if (m_nSocket == kNoSocket ||
        ::getsockname(static_cast<int>(m_nSocket), reinterpret_cast<sockaddr*>(&address), &nLength) != 0)
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
    if (::inet_aton(strAddress.c_str(), &address.sin_addr) == 0)
        return -1;
    return static_cast<long>(::sendto(static_cast<int>(m_nSocket), pData, nLength, 0,
                                      reinterpret_cast<sockaddr*>(&address), sizeof address));
}

long CControllerSocket::ReceiveFrom(void* pBuffer, std::size_t nCapacity, std::string* pSender,
                                    std::uint16_t* pSenderPort) {
    if (m_nSocket == kNoSocket)
        return -1;
    sockaddr_in address{};
    socklen_t nLength = sizeof address;
    ssize_t nResult = ::recvfrom(static_cast<int>(m_nSocket), pBuffer, nCapacity, 0,
                                 reinterpret_cast<sockaddr*>(&address), &nLength);
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
    int nSocket = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (nSocket < 0)
        return false;
    sockaddr_in address = AnyAddress(nPort);
    bool bFree = ::bind(nSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(nSocket);
    return bFree;
}
