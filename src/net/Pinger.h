#pragma once

#include "SocketApi.h"
#include "SystemSocketApi.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

// Identifier and sequence counters of the echo requests, both starting at 1 and counting together
// across probes for the whole run; each request carries their low 16 bits. Only the program's
// probe (the one pinger with ECounters::Program, on the ping worker thread) touches them.
extern std::uint32_t g_nEchoId;
extern std::uint32_t g_nEchoSeq;

// Finds out whether an IPv4 host answers ICMP echo. One probe sends up to `count` requests, each
// followed by a wait of at most one second, and stops at the first answer. A raw socket is used
// where the process may open one; otherwise the unprivileged ICMP datagram socket, with the same
// results. An instance is used by one thread at a time.
class CPinger {
public:
    // Where a pinger counts its requests and leaves its outcome. The program's probe counts on
    // g_nEchoId/g_nEchoSeq and sets g_bPingReply; any other (a scan's sweep, on a thread of its
    // own) counts on counters of its own and leaves its outcome in its status text only, so it
    // neither races with the program's probe nor overwrites its answer.
    enum class ECounters { Program, Own };

    static constexpr std::size_t kRequestSize = 45;
    static constexpr std::size_t kDataSize = 32;
    static constexpr std::size_t kReceiveSize = 321;

    explicit CPinger(CSocketApi& api = CSystemSocketApi::Instance(),
                     std::chrono::milliseconds replyTimeout = std::chrono::seconds(1),
                     ECounters eCounters = ECounters::Program);
    CPinger(const CPinger&) = delete;
    CPinger& operator=(const CPinger&) = delete;

    // Runs one probe of at most nCount attempts against a host name or dotted address.
    void Probe(std::uint32_t nCount, const std::string& strHost);

    // Builds the next echo request and sends it; returns the bytes sent or -1.
    int SendRequest(TSocket sock, std::uint32_t nDestination);
    // Waits up to the reply timeout: -1 error, 0 timed out, otherwise readable.
    int WaitReadable(TSocket sock);
    // Receives one datagram and returns the send time echoed in it; also its sender and TTL.
    // Both come from fixed places, so after a failed receive they are 0.
    std::uint32_t ReceiveReply(TSocket sock, std::uint32_t& nSource, std::uint8_t& nTtl);
    // "<call> - WSAError: <code>" with the socket layer's last error.
    std::string FormatSocketError(const char* pszCall) const;

    // RFC 1071 checksum over bytes read as little-endian 16-bit words; store the result in
    // native byte order and the run sums to zero.
    static std::uint16_t InternetChecksum(const std::uint8_t* pData, std::size_t nSize);

    // The last status text ("Pinging ...", "Reply[...", "Request Timed Out", "Host not found: ...")
    // and the last socket error text; empty until one is produced. Safe from any thread.
    std::string StatusText() const;
    std::string ErrorText() const;

private:
    void SetStatus(std::string strText);
    void SetAnswered(bool bAnswered);
    void SetError(std::string strText);
    void CloseSocket(TSocket sock);

    CSocketApi& m_api;
    const std::chrono::milliseconds m_replyTimeout;
    CSocketApi::EIcmpSocket m_eSocketKind = CSocketApi::EIcmpSocket::Raw;
    const ECounters m_eCounters;
    std::uint32_t m_nOwnId = 1;
    std::uint32_t m_nOwnSeq = 1;
    std::uint32_t& m_nEchoId;  // g_nEchoId or m_nOwnId
    std::uint32_t& m_nEchoSeq; // g_nEchoSeq or m_nOwnSeq
    mutable std::mutex m_mutexText;
    std::string m_strStatus;
    std::string m_strError;
};
