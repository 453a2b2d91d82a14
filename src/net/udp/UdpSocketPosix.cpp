// The UDP socket over POSIX sockets.
#include "UdpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace net {
namespace {

int Descriptor(CUdpSocket::THandle nHandle) {
    return static_cast<int>(nHandle);
}

sockaddr_in SocketAddress(const Ip4& address, std::uint16_t nPort) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(nPort);
    std::memcpy(&sa.sin_addr.s_addr, address.data(), address.size());
    return sa;
}

} // namespace

bool CUdpSocket::StartSocketLayer() {
    return true;
}

CUdpSocket::EBind CUdpSocket::Bind(const Ip4& address, std::uint16_t nPort, EShare share,
                                   std::string& strError) {
    Close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        strError = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return EBind::Failed;
    }
    if (share == EShare::Shared) {
        const int nOn = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn);
    }
    const sockaddr_in sa = SocketAddress(address, nPort);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        const int nCode = errno;
        ::close(fd);
        strError = std::strerror(nCode);
        return nCode == EADDRINUSE ? EBind::PortTaken : EBind::Failed;
    }
    // Reads never block: a wait or a notifier says when a datagram is there.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_nHandle = static_cast<THandle>(fd);
    return EBind::Bound;
}

void CUdpSocket::Close() {
    if (m_nHandle != kNoHandle)
        ::close(Descriptor(m_nHandle));
    m_nHandle = kNoHandle;
}

std::uint16_t CUdpSocket::LocalPort() const {
    sockaddr_in sa{};
    socklen_t nSize = sizeof sa;
    if (m_nHandle == kNoHandle ||
        ::getsockname(Descriptor(m_nHandle), reinterpret_cast<sockaddr*>(&sa), &nSize) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

void CUdpSocket::SetReceiveBuffer(int nBytes) {
    if (m_nHandle != kNoHandle)
        ::setsockopt(Descriptor(m_nHandle), SOL_SOCKET, SO_RCVBUF, &nBytes, sizeof nBytes);
}

long CUdpSocket::Receive(void* pBuffer, std::size_t nCapacity, Ip4* pFrom, std::uint16_t* pFromPort) {
    if (m_nHandle == kNoHandle)
        return -1;
    sockaddr_in sa{};
    socklen_t nSize = sizeof sa;
    const ssize_t n = ::recvfrom(Descriptor(m_nHandle), pBuffer, nCapacity, MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&sa), &nSize);
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
    if (::sendto(Descriptor(m_nHandle), pData, nLength, 0, reinterpret_cast<const sockaddr*>(&sa),
                 sizeof sa) < 0)
        return std::strerror(errno);
    return {};
}

bool CUdpSocket::WaitAny(const std::vector<const CUdpSocket*>& sockets, int nTimeoutMs,
                         std::vector<bool>& ready) {
    std::vector<pollfd> fds;
    fds.reserve(sockets.size());
    for (const CUdpSocket* pSocket : sockets)
        fds.push_back({pSocket->IsOpen() ? Descriptor(pSocket->m_nHandle) : -1, POLLIN, 0});
    ready.assign(sockets.size(), false);
    const int n = ::poll(fds.data(), fds.size(), nTimeoutMs);
    if (n < 0)
        return errno == EINTR;
    for (std::size_t i = 0; i < fds.size(); ++i)
        ready[i] = (fds[i].revents & POLLIN) != 0;
    return true;
}

bool CUdpSocket::PortIsFree(std::uint16_t nPort) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return false;
    const sockaddr_in sa = SocketAddress(Ip4{0, 0, 0, 0}, nPort);
    const bool bFree = ::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
    ::close(fd);
    return bFree;
}

bool CUdpSocket::ParseAddress(const std::string& strText, Ip4& address) {
    in_addr parsed{};
    if (::inet_aton(strText.c_str(), &parsed) == 0)
        return false;
    std::memcpy(address.data(), &parsed.s_addr, address.size());
    return true;
}

} // namespace net
