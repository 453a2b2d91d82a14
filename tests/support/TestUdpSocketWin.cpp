#include "TestUdpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <mswsock.h>

namespace {

SOCKET Handle(std::intptr_t nSocket) {
    return static_cast<SOCKET>(nSocket);
}

} // namespace

CTestUdpSocket::CTestUdpSocket(std::uint16_t nPort, const std::string& strAddress, bool bShare) {
    static const bool s_bStarted = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!s_bStarted)
        return;
    SOCKET nSocket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    m_nSocket = nSocket == INVALID_SOCKET ? -1 : static_cast<std::intptr_t>(nSocket);
    if (m_nSocket < 0)
        return;
    BOOL bOn = TRUE;
    if (bShare)
        ::setsockopt(nSocket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&bOn), sizeof bOn);
    BOOL bReport = FALSE;
    DWORD nReturned = 0;
    ::WSAIoctl(nSocket, SIO_UDP_CONNRESET, &bReport, sizeof bReport, nullptr, 0, &nReturned, nullptr,
               nullptr);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(nPort);
    ::inet_pton(AF_INET, strAddress.c_str(), &address.sin_addr);
    m_bBound = ::bind(nSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

CTestUdpSocket::~CTestUdpSocket() {
    if (m_nSocket >= 0)
        ::closesocket(Handle(m_nSocket));
}

std::uint16_t CTestUdpSocket::Port() const {
    sockaddr_in address{};
    int nLength = sizeof address;
    if (::getsockname(Handle(m_nSocket), reinterpret_cast<sockaddr*>(&address), &nLength) != 0)
        return 0;
    return ntohs(address.sin_port);
}

bool CTestUdpSocket::SendTo(const std::string& strAddress, std::uint16_t nPort,
                            const std::vector<std::uint8_t>& bytes) const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(nPort);
    if (::inet_pton(AF_INET, strAddress.c_str(), &address.sin_addr) != 1)
        return false;
    return ::sendto(Handle(m_nSocket), reinterpret_cast<const char*>(bytes.data()),
                    static_cast<int>(bytes.size()), 0, reinterpret_cast<sockaddr*>(&address),
                    sizeof address) == static_cast<int>(bytes.size());
}

std::optional<CTestUdpSocket::SDatagram> CTestUdpSocket::Receive(int nWaitMs) {
    WSAPOLLFD descriptor{Handle(m_nSocket), POLLRDNORM, 0};
    if (::WSAPoll(&descriptor, 1, nWaitMs) <= 0)
        return std::nullopt;
    SDatagram datagram;
    datagram.bytes.resize(65536);
    sockaddr_in from{};
    int nLength = sizeof from;
    int n =
        ::recvfrom(Handle(m_nSocket), reinterpret_cast<char*>(datagram.bytes.data()),
                   static_cast<int>(datagram.bytes.size()), 0, reinterpret_cast<sockaddr*>(&from), &nLength);
    if (n < 0)
        return std::nullopt;
    datagram.bytes.resize(static_cast<std::size_t>(n));
    char szText[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, szText, sizeof szText);
    datagram.strFrom = szText;
    datagram.nFromPort = ntohs(from.sin_port);
    return datagram;
}
