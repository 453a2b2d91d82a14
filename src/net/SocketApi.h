#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
using TSocket = std::uintptr_t;
inline constexpr TSocket kInvalidSocket = ~TSocket{0};
#else
using TSocket = int;
inline constexpr TSocket kInvalidSocket = -1;
#endif

// The socket calls and the clock the echo probe relies on. The probe only talks to this interface,
// so a test can stand in for the network (a silent host, a failing send) and a Windows build
// replaces only the system implementation.
//
// IPv4 addresses are passed as four bytes in network order, first field of the dotted text first.
class CSocketApi {
public:
    enum class EIcmpSocket {
        Raw,      // receives the IPv4 header in front of each ICMP message; needs privilege
        Datagram, // unprivileged ICMP socket; receives the ICMP message alone, TTL as ancillary data
    };

    virtual ~CSocketApi() = default;

    // Opens an ICMP socket of the given kind; kInvalidSocket on failure.
    virtual TSocket OpenIcmp(EIcmpSocket eKind) = 0;
    // Resolves a host name or dotted address to its first IPv4 address.
    virtual bool Resolve(const std::string& strHost, std::uint32_t& nAddress) = 0;
    // Returns the bytes sent, or -1.
    virtual int SendTo(TSocket sock, const std::uint8_t* pData, std::size_t nSize,
                       std::uint32_t nAddress) = 0;
    // Waits until the socket is readable: -1 error, 0 timed out, otherwise readable.
    virtual int Select(TSocket sock, std::chrono::milliseconds timeout) = 0;
    // Receives one datagram; returns its length or -1. nTtl is the TTL delivered as ancillary
    // data, or -1 when the socket delivers none.
    virtual int ReceiveFrom(TSocket sock, std::uint8_t* pBuffer, std::size_t nSize, std::uint32_t& nSource,
                            int& nTtl) = 0;
    // Returns 0 or -1.
    virtual int Close(TSocket sock) = 0;
    // Error code of the last failed call on this thread.
    virtual long LastError() const = 0;
    // Milliseconds since an arbitrary start, wrapping at 32 bits.
    virtual std::uint32_t TickCount() = 0;
};
