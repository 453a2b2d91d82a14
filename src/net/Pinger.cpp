#include "Pinger.h"

#include "PingReply.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

std::uint32_t g_nEchoId = 1;
std::uint32_t g_nEchoSeq = 1;

namespace {

constexpr std::uint8_t kEchoRequest = 8;
constexpr std::size_t kIpHeaderSize = 20;
constexpr std::size_t kTtlOffset = 8;
constexpr std::size_t kTimeOffset = 9;
constexpr std::size_t kDataOffset = 13;

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Format(const char* pszFormat, ...) {
    char buffer[512];
    va_list args;
    va_start(args, pszFormat);
    std::vsnprintf(buffer, sizeof buffer, pszFormat, args);
    va_end(args);
    return buffer;
}

// The fields are defined in little-endian order, whatever the machine.
void PutLittleEndian16(std::uint8_t* p, std::uint16_t nValue) {
    p[0] = static_cast<std::uint8_t>(nValue);
    p[1] = static_cast<std::uint8_t>(nValue >> 8);
}

void PutLittleEndian32(std::uint8_t* p, std::uint32_t nValue) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(nValue >> (8 * i));
    }
}

std::uint32_t GetLittleEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

// nAddress holds the four bytes in network order.
std::string DottedAddress(std::uint32_t nAddress) {
    std::uint8_t bytes[4];
    std::memcpy(bytes, &nAddress, sizeof bytes);
    return Format("%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
}

} // namespace

CPinger::CPinger(CSocketApi& api, std::chrono::milliseconds replyTimeout, ECounters eCounters)
    : m_api(api), m_replyTimeout(replyTimeout), m_eCounters(eCounters),
      m_nEchoId(eCounters == ECounters::Program ? g_nEchoId : m_nOwnId),
      m_nEchoSeq(eCounters == ECounters::Program ? g_nEchoSeq : m_nOwnSeq) {}

void CPinger::Probe(std::uint32_t nCount, const std::string& strHost) {
    m_eSocketKind = CSocketApi::EIcmpSocket::Raw;
    TSocket sock = m_api.OpenIcmp(m_eSocketKind);
    if (sock == kInvalidSocket) {
        // Without CAP_NET_RAW the raw socket is refused; the datagram socket needs no privilege
        // where net.ipv4.ping_group_range admits the process's group.
        m_eSocketKind = CSocketApi::EIcmpSocket::Datagram;
        sock = m_api.OpenIcmp(m_eSocketKind);
    }
    if (sock == kInvalidSocket) {
        SetError(FormatSocketError("socket()"));
        return;
    }

    std::uint32_t nDestination = 0;
    if (!m_api.Resolve(strHost, nDestination)) {
        SetStatus(Format("Host not found: %s", strHost.c_str()));
        CloseSocket(sock);
        return;
    }
    SetStatus(Format("Pinging %s [%s] with %d bytes of data:", strHost.c_str(),
                     DottedAddress(nDestination).c_str(), static_cast<int>(kDataSize)));

    for (std::uint32_t nAttempt = 1; nAttempt <= nCount; ++nAttempt) {
        // A failed send has already left its error text; the attempt still waits its second.
        SendRequest(sock, nDestination);

        const int nReadable = WaitReadable(sock);
        if (nReadable < 0) {
            SetError(FormatSocketError("select()"));
            break;
        }
        if (nReadable == 0) {
            SetStatus("Request Timed Out");
            SetAnswered(false);
            continue;
        }

        // Any datagram within the wait counts as an answer, even one that then fails to read.
        std::uint32_t nSource = 0;
        std::uint8_t nTtl = 0;
        const std::uint32_t nSentTick = ReceiveReply(sock, nSource, nTtl);
        const std::uint32_t nRoundTrip = m_api.TickCount() - nSentTick;
        SetStatus(Format("Reply[%u] from: %s: bytes=%d time=%lums TTL=%d", nAttempt,
                         DottedAddress(nSource).c_str(), static_cast<int>(kDataSize),
                         static_cast<unsigned long>(nRoundTrip), nTtl));
        SetAnswered(true);
        break;
    }
    CloseSocket(sock);
}

int CPinger::SendRequest(TSocket sock, std::uint32_t nDestination) {
    std::array<std::uint8_t, kRequestSize> request{};
    request[0] = kEchoRequest;
    request[1] = 0;
    PutLittleEndian16(&request[4], static_cast<std::uint16_t>(m_nEchoId++));
    PutLittleEndian16(&request[6], static_cast<std::uint16_t>(m_nEchoSeq++));
    for (std::size_t j = 0; j < kDataSize; ++j) {
        request[kDataOffset + j] = static_cast<std::uint8_t>(0x20 + j);
    }
    PutLittleEndian32(&request[kTimeOffset], m_api.TickCount());
    const std::uint16_t nChecksum = InternetChecksum(request.data(), request.size());
    std::memcpy(&request[2], &nChecksum, sizeof nChecksum);

    const int nSent = m_api.SendTo(sock, request.data(), request.size(), nDestination);
    if (nSent < 0) {
        SetError(FormatSocketError("sendto()"));
    }
    return nSent;
}

int CPinger::WaitReadable(TSocket sock) {
    return m_api.Select(sock, m_replyTimeout);
}

std::uint32_t CPinger::ReceiveReply(TSocket sock, std::uint32_t& nSource, std::uint8_t& nTtl) {
    std::array<std::uint8_t, kReceiveSize> buffer{};
    int nAncillaryTtl = -1;
    nSource = 0;
    if (m_api.ReceiveFrom(sock, buffer.data(), buffer.size(), nSource, nAncillaryTtl) < 0) {
        SetError(FormatSocketError("recvfrom()"));
    }
    if (m_eSocketKind == CSocketApi::EIcmpSocket::Raw) {
        // A raw socket delivers the IPv4 header first; its length field is not consulted.
        nTtl = buffer[kTtlOffset];
        return GetLittleEndian32(&buffer[kIpHeaderSize + kTimeOffset]);
    }
    nTtl = nAncillaryTtl < 0 ? 0 : static_cast<std::uint8_t>(nAncillaryTtl);
    return GetLittleEndian32(&buffer[kTimeOffset]);
}

std::string CPinger::FormatSocketError(const char* pszCall) const {
    return Format("%s - WSAError: %ld", pszCall, m_api.LastError());
}

std::uint16_t CPinger::InternetChecksum(const std::uint8_t* pData, std::size_t nSize) {
    std::uint32_t nSum = 0;
    std::size_t i = 0;
    for (; i + 1 < nSize; i += 2) {
        nSum += std::uint32_t{pData[i]} | std::uint32_t{pData[i + 1]} << 8;
    }
    if (i < nSize) {
        nSum += pData[i];
    }
    nSum = (nSum & 0xFFFF) + (nSum >> 16);
    nSum += nSum >> 16;
    // The sum was read little-endian; turn it back into the memory order of the words.
    const std::uint16_t nLittle = static_cast<std::uint16_t>(~nSum);
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(nLittle),
                                   static_cast<std::uint8_t>(nLittle >> 8)};
    std::uint16_t nResult = 0;
    std::memcpy(&nResult, bytes, sizeof nResult);
    return nResult;
}

std::string CPinger::StatusText() const {
    std::lock_guard lock(m_mutexText);
    return m_strStatus;
}

std::string CPinger::ErrorText() const {
    std::lock_guard lock(m_mutexText);
    return m_strError;
}

void CPinger::SetStatus(std::string strText) {
    std::lock_guard lock(m_mutexText);
    m_strStatus = std::move(strText);
}

void CPinger::SetAnswered(bool bAnswered) {
    if (m_eCounters == ECounters::Program)
        g_bPingReply.store(bAnswered ? 1 : 0);
}

void CPinger::SetError(std::string strText) {
    std::lock_guard lock(m_mutexText);
    m_strError = std::move(strText);
}

void CPinger::CloseSocket(TSocket sock) {
    if (m_api.Close(sock) != 0) {
        SetError(FormatSocketError("closesocket()"));
    }
}
