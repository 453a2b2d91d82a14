#pragma once

// The emulator's UDP socket: bound to one address and port with SO_REUSEADDR
// (so it shares the port with a Velmora holding 0.0.0.0), waiting for a
// datagram with a time limit. The calls are the platform's file
// (UdpSocketPosix.cpp, UdpSocketWin.cpp).
#include "codec/Address.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace controller {

struct Endpoint {
    codec::Ip4 address{};
    std::uint16_t port = 0;

    std::string Text() const { return codec::BytesToAddress(address) + ":" + std::to_string(port); }
};

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Binds address:port; `port` becomes the port actually bound. On failure
    // the socket stays closed and `error` says why.
    bool Open(const codec::Ip4& address, std::uint16_t& port, std::string& error);
    void Close();
    // Takes over the other's socket, closing its own.
    void Swap(UdpSocket& other) noexcept;

    // Waits up to timeoutMs: 1 a datagram is there, 0 none (or a signal came), -1 error.
    int Wait(int timeoutMs, std::string& error);
    // One datagram into the buffer: its length, or -1.
    long Receive(std::uint8_t* buffer, std::size_t capacity, Endpoint& from);
    // The bytes sent, or -1 with `error` set.
    long Send(const std::uint8_t* data, std::size_t length, const Endpoint& to, std::string& error);

private:
    std::intptr_t m_socket = -1;
};

} // namespace controller
