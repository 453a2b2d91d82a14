#include "TestUdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

CTestUdpSocket::CTestUdpSocket(std::uint16_t nPort, const std::string& strAddress, bool bShare) {
    int nSocket = ::socket(AF_INET, SOCK_DGRAM, 0);
    m_nSocket = nSocket;
    if (nSocket < 0)
        return;
    int nOn = 1;
    if (bShare)
        ::setsockopt(nSocket, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(nPort);
    ::inet_pton(AF_INET, strAddress.c_str(), &address.sin_addr);
    m_bBound = ::bind(nSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

CTestUdpSocket::~CTestUdpSocket() {
    if (m_nSocket >= 0)
        ::close(static_cast<int>(m_nSocket));
}

std::uint16_t CTestUdpSocket::Port() const {
    sockaddr_in address{};
    socklen_t nLength = sizeof address;
    if (::getsockname(static_cast<int>(m_nSocket), reinterpret_cast<sockaddr*>(&address), &nLength) != 0)
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
    return ::sendto(static_cast<int>(m_nSocket), bytes.data(), bytes.size(), 0,
                    reinterpret_cast<sockaddr*>(&address),
                    sizeof address) == static_cast<ssize_t>(bytes.size());
}

std::optional<CTestUdpSocket::SDatagram> CTestUdpSocket::Receive(int nWaitMs) {
    pollfd descriptor{static_cast<int>(m_nSocket), POLLIN, 0};
    if (::poll(&descriptor, 1, nWaitMs) <= 0)
        return std::nullopt;
    SDatagram datagram;
    datagram.bytes.resize(65536);
    sockaddr_in from{};
    socklen_t nLength = sizeof from;
    ssize_t n = ::recvfrom(static_cast<int>(m_nSocket), datagram.bytes.data(), datagram.bytes.size(), 0,
                           reinterpret_cast<sockaddr*>(&from), &nLength);
    if (n < 0)
        return std::nullopt;
    datagram.bytes.resize(static_cast<std::size_t>(n));
    char szText[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, szText, sizeof szText);
    datagram.strFrom = szText;
    datagram.nFromPort = ntohs(from.sin_port);
    return datagram;
}
