#include "SystemSocketApi.h"

#include <cerrno>
#include <cstring>

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

CSystemSocketApi& CSystemSocketApi::Instance() {
    static CSystemSocketApi s_api;
    return s_api;
}

TSocket CSystemSocketApi::OpenIcmp(EIcmpSocket eKind) {
    const int nType = eKind == EIcmpSocket::Raw ? SOCK_RAW : SOCK_DGRAM;
    const int sock = ::socket(AF_INET, nType | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (sock < 0 || eKind == EIcmpSocket::Raw) {
        return sock < 0 ? kInvalidSocket : sock;
    }
    // The datagram socket strips the IPv4 header, so the TTL has to come as ancillary data.
    const int nOn = 1;
    if (::setsockopt(sock, IPPROTO_IP, IP_RECVTTL, &nOn, sizeof nOn) != 0) {
        const int nError = errno;
        ::close(sock);
        errno = nError;
        return kInvalidSocket;
    }
    return sock;
}

bool CSystemSocketApi::Resolve(const std::string& strHost, std::uint32_t& nAddress) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* pResult = nullptr;
    if (::getaddrinfo(strHost.c_str(), nullptr, &hints, &pResult) != 0 || pResult == nullptr) {
        return false;
    }
    sockaddr_in address{};
    std::memcpy(&address, pResult->ai_addr, sizeof address);
    ::freeaddrinfo(pResult);
    nAddress = address.sin_addr.s_addr;
    return true;
}

int CSystemSocketApi::SendTo(TSocket sock, const std::uint8_t* pData, std::size_t nSize,
                             std::uint32_t nAddress) {
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = 0;
    destination.sin_addr.s_addr = nAddress;
    return static_cast<int>(
        ::sendto(sock, pData, nSize, 0, reinterpret_cast<const sockaddr*>(&destination), sizeof destination));
}

int CSystemSocketApi::Select(TSocket sock, std::chrono::milliseconds timeout) {
    // poll instead of select: same wait, without the FD_SETSIZE ceiling on the descriptor number.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{sock, POLLIN, 0};
        const int nResult =
            ::poll(&entry, 1, remaining.count() > 0 ? static_cast<int>(remaining.count()) : 0);
        if (nResult < 0 && errno == EINTR) {
            continue;
        }
        return nResult;
    }
}

int CSystemSocketApi::ReceiveFrom(TSocket sock, std::uint8_t* pBuffer, std::size_t nSize,
                                  std::uint32_t& nSource, int& nTtl) {
    sockaddr_in source{};
    iovec part{pBuffer, nSize};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(int))];
    msghdr message{};
    message.msg_name = &source;
    message.msg_namelen = sizeof source;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;

    nTtl = -1;
    const ssize_t nReceived = ::recvmsg(sock, &message, 0);
    if (nReceived < 0) {
        return -1;
    }
    nSource = source.sin_addr.s_addr;
    for (cmsghdr* pHeader = CMSG_FIRSTHDR(&message); pHeader != nullptr;
         pHeader = CMSG_NXTHDR(&message, pHeader)) {
        if (pHeader->cmsg_level == IPPROTO_IP && pHeader->cmsg_type == IP_TTL) {
            int nValue = 0;
            std::memcpy(&nValue, CMSG_DATA(pHeader), sizeof nValue);
            nTtl = nValue;
        }
    }
    return static_cast<int>(nReceived);
}

int CSystemSocketApi::Close(TSocket sock) {
    return ::close(sock) == 0 ? 0 : -1;
}

long CSystemSocketApi::LastError() const {
    return errno;
}

std::uint32_t CSystemSocketApi::TickCount() {
    const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}
