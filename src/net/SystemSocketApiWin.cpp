// The echo probe's system calls on Windows. A raw ICMP socket needs an
// administrator there, so where it is refused the "datagram" kind is served by
// IcmpSendEcho2 (iphlpapi), which every user may call and which is what the
// system's own ping uses. The probe sees the same socket-like calls either way.
#include "SystemSocketApi.h"
#include "udp/UdpSocket.h"

// Winsock first, then the helper APIs that build on it, each in this order.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>

#include <icmpapi.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr std::size_t kIcmpHeaderSize = 8;
// How long the system waits for each echo reply. The probe waits one second
// per attempt, so a reply later than that is of no use to it.
constexpr DWORD kEchoTimeoutMs = 1000;
// Handles of IcmpSendEcho2 sessions carry the top bit, which no SOCKET has.
constexpr TSocket kSessionTag = TSocket{1} << (sizeof(TSocket) * 8 - 1);

// Winsock is started once for the whole program, by the UDP layer.
bool StartWinsock() {
    return net::CUdpSocket::StartSocketLayer();
}

// One echo request handed to the system and the buffer its reply lands in.
struct SEchoRequest {
    HANDLE hDone = nullptr; // set by the system when the reply or the time-out is in
    std::vector<std::uint8_t> reply;
    std::uint8_t header[kIcmpHeaderSize] = {};
    ULONGLONG nDeadline = 0;
    bool bAnswered = false;

    ~SEchoRequest() {
        if (hDone)
            CloseHandle(hDone);
    }
    const ICMP_ECHO_REPLY* Reply() const { return reinterpret_cast<const ICMP_ECHO_REPLY*>(reply.data()); }
};

struct SIcmpSession {
    HANDLE hIcmp = INVALID_HANDLE_VALUE;
    std::deque<std::unique_ptr<SEchoRequest>> pending;
};

std::mutex g_mutexSessions;
std::map<TSocket, std::unique_ptr<SIcmpSession>> g_sessions;
TSocket g_nNextSession = kSessionTag;

SIcmpSession* Session(TSocket sock) {
    if ((sock & kSessionTag) == 0 || sock == kInvalidSocket)
        return nullptr;
    std::lock_guard lock(g_mutexSessions);
    auto it = g_sessions.find(sock);
    return it == g_sessions.end() ? nullptr : it->second.get();
}

int SendEcho(SIcmpSession& session, const std::uint8_t* pData, std::size_t nSize, std::uint32_t nAddress) {
    if (nSize < kIcmpHeaderSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    // The system builds the ICMP header itself: only what follows it is sent
    // as the echo data, and comes back in the reply.
    auto pRequest = std::make_unique<SEchoRequest>();
    std::memcpy(pRequest->header, pData, kIcmpHeaderSize);
    const WORD nDataSize = static_cast<WORD>(nSize - kIcmpHeaderSize);
    pRequest->reply.resize(sizeof(ICMP_ECHO_REPLY) + nDataSize + 8 + 2 * sizeof(void*) + 64);
    pRequest->hDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!pRequest->hDone)
        return -1;
    pRequest->nDeadline = GetTickCount64() + kEchoTimeoutMs;
    const DWORD nResult =
        IcmpSendEcho2(session.hIcmp, pRequest->hDone, nullptr, nullptr, nAddress,
                      const_cast<std::uint8_t*>(pData + kIcmpHeaderSize), nDataSize, nullptr,
                      pRequest->reply.data(), static_cast<DWORD>(pRequest->reply.size()), kEchoTimeoutMs);
    if (nResult == 0 && GetLastError() != ERROR_IO_PENDING)
        return -1;
    session.pending.push_back(std::move(pRequest));
    return static_cast<int>(nSize);
}

// Whether a finished request brought an echo reply (not a time-out or an
// unreachable report).
bool Answered(SEchoRequest& request) {
    if (IcmpParseReplies(request.reply.data(), static_cast<DWORD>(request.reply.size())) == 0)
        return false;
    return request.Reply()->Status == IP_SUCCESS;
}

int WaitForEcho(SIcmpSession& session, std::chrono::milliseconds timeout) {
    const ULONGLONG nEnd = GetTickCount64() + static_cast<ULONGLONG>(timeout.count());
    for (;;) {
        for (auto& pRequest : session.pending)
            if (pRequest->bAnswered)
                return 1;
        std::vector<HANDLE> waits;
        for (auto& pRequest : session.pending)
            if (waits.size() < MAXIMUM_WAIT_OBJECTS)
                waits.push_back(pRequest->hDone);
        const ULONGLONG nNow = GetTickCount64();
        const DWORD nLeft = nNow >= nEnd ? 0 : static_cast<DWORD>(nEnd - nNow);
        if (waits.empty()) {
            Sleep(nLeft);
            return 0;
        }
        const DWORD nWait =
            WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, nLeft);
        if (nWait == WAIT_TIMEOUT)
            return 0;
        if (nWait >= WAIT_OBJECT_0 + waits.size())
            return -1;
        auto it = session.pending.begin() + (nWait - WAIT_OBJECT_0);
        if (Answered(**it)) {
            (*it)->bAnswered = true;
            return 1;
        }
        session.pending.erase(it); // timed out or unreachable: nothing to read
    }
}

int ReceiveEcho(SIcmpSession& session, std::uint8_t* pBuffer, std::size_t nSize, std::uint32_t& nSource,
                int& nTtl) {
    for (auto it = session.pending.begin(); it != session.pending.end(); ++it) {
        if (!(*it)->bAnswered)
            continue;
        const ICMP_ECHO_REPLY* pReply = (*it)->Reply();
        // Laid out as an ICMP datagram socket delivers it: an echo reply header
        // (with the request's identifier and sequence) and then the echoed data.
        std::uint8_t header[kIcmpHeaderSize];
        std::memcpy(header, (*it)->header, kIcmpHeaderSize);
        header[0] = 0;
        header[2] = header[3] = 0;
        std::size_t nLength = 0;
        auto append = [&](const void* pPart, std::size_t nPart) {
            const std::size_t nTake = std::min(nPart, nSize - nLength);
            if (nTake)
                std::memcpy(pBuffer + nLength, pPart, nTake);
            nLength += nTake;
        };
        append(header, kIcmpHeaderSize);
        if (pReply->Data)
            append(pReply->Data, pReply->DataSize);
        nSource = pReply->Address;
        nTtl = pReply->Options.Ttl;
        session.pending.erase(it);
        return static_cast<int>(nLength);
    }
    WSASetLastError(WSAEWOULDBLOCK);
    return -1;
}

} // namespace

CSystemSocketApi& CSystemSocketApi::Instance() {
    static CSystemSocketApi s_api;
    return s_api;
}

TSocket CSystemSocketApi::OpenIcmp(EIcmpSocket eKind) {
    if (!StartWinsock())
        return kInvalidSocket;
    if (eKind == EIcmpSocket::Raw) {
        const SOCKET sock = ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
        return sock == INVALID_SOCKET ? kInvalidSocket : static_cast<TSocket>(sock);
    }
    auto pSession = std::make_unique<SIcmpSession>();
    pSession->hIcmp = IcmpCreateFile();
    if (pSession->hIcmp == INVALID_HANDLE_VALUE)
        return kInvalidSocket;
    std::lock_guard lock(g_mutexSessions);
    const TSocket sock = g_nNextSession++;
    g_sessions.emplace(sock, std::move(pSession));
    return sock;
}

bool CSystemSocketApi::Resolve(const std::string& strHost, std::uint32_t& nAddress) {
    if (!StartWinsock())
        return false;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* pResult = nullptr;
    if (::getaddrinfo(strHost.c_str(), nullptr, &hints, &pResult) != 0 || pResult == nullptr)
        return false;
    sockaddr_in address{};
    std::memcpy(&address, pResult->ai_addr, sizeof address);
    ::freeaddrinfo(pResult);
    nAddress = address.sin_addr.s_addr;
    return true;
}

int CSystemSocketApi::SendTo(TSocket sock, const std::uint8_t* pData, std::size_t nSize,
                             std::uint32_t nAddress) {
    if (SIcmpSession* pSession = Session(sock))
        return SendEcho(*pSession, pData, nSize, nAddress);
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = 0;
    destination.sin_addr.s_addr = nAddress;
    const int nSent =
        ::sendto(static_cast<SOCKET>(sock), reinterpret_cast<const char*>(pData), static_cast<int>(nSize), 0,
                 reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    return nSent == SOCKET_ERROR ? -1 : nSent;
}

int CSystemSocketApi::Select(TSocket sock, std::chrono::milliseconds timeout) {
    if (SIcmpSession* pSession = Session(sock))
        return WaitForEcho(*pSession, timeout);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(sock), &readable);
    timeval wait{};
    wait.tv_sec = static_cast<long>(timeout.count() / 1000);
    wait.tv_usec = static_cast<long>(timeout.count() % 1000 * 1000);
    const int nResult = ::select(0, &readable, nullptr, nullptr, &wait);
    return nResult == SOCKET_ERROR ? -1 : nResult;
}

int CSystemSocketApi::ReceiveFrom(TSocket sock, std::uint8_t* pBuffer, std::size_t nSize,
                                  std::uint32_t& nSource, int& nTtl) {
    nTtl = -1;
    if (SIcmpSession* pSession = Session(sock))
        return ReceiveEcho(*pSession, pBuffer, nSize, nSource, nTtl);
    sockaddr_in source{};
    int nLength = sizeof source;
    int nReceived = ::recvfrom(static_cast<SOCKET>(sock), reinterpret_cast<char*>(pBuffer),
                               static_cast<int>(nSize), 0, reinterpret_cast<sockaddr*>(&source), &nLength);
    if (nReceived == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE)
        nReceived = static_cast<int>(nSize);
    if (nReceived == SOCKET_ERROR)
        return -1;
    nSource = source.sin_addr.s_addr;
    return nReceived;
}

int CSystemSocketApi::Close(TSocket sock) {
    std::unique_ptr<SIcmpSession> pSession;
    {
        std::lock_guard lock(g_mutexSessions);
        auto it = g_sessions.find(sock);
        if (it != g_sessions.end()) {
            pSession = std::move(it->second);
            g_sessions.erase(it);
        }
    }
    if (!pSession)
        return ::closesocket(static_cast<SOCKET>(sock)) == 0 ? 0 : -1;
    // The system writes into a request's buffer until the request is over,
    // which its own time-out bounds: wait for that before letting them go.
    for (auto& pRequest : pSession->pending) {
        const ULONGLONG nNow = GetTickCount64();
        const DWORD nLeft = nNow >= pRequest->nDeadline ? 0 : static_cast<DWORD>(pRequest->nDeadline - nNow);
        WaitForSingleObject(pRequest->hDone, nLeft + 500);
    }
    const bool bClosed = IcmpCloseHandle(pSession->hIcmp) != FALSE;
    return bClosed ? 0 : -1;
}

long CSystemSocketApi::LastError() const {
    return static_cast<long>(WSAGetLastError());
}

std::uint32_t CSystemSocketApi::TickCount() {
    return static_cast<std::uint32_t>(GetTickCount());
}
