#pragma once

// The emulator's only contact with the socket API and the process signals,
// one file per system (UdpEndpointPosix.cpp, UdpEndpointWin.cpp).

#include "codec/Address.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace controller {

class CUdpEndpoint {
public:
    CUdpEndpoint() = default;
    ~CUdpEndpoint();
    CUdpEndpoint(const CUdpEndpoint&) = delete;
    CUdpEndpoint& operator=(const CUdpEndpoint&) = delete;

    // Binds address:port with SO_REUSEADDR, so it shares the port with a
    // tool bound to 0.0.0.0. `port` becomes the port actually bound.
    bool Open(const codec::Ip4& address, std::uint16_t& port, std::string& error);
    void Close();
    bool IsOpen() const { return m_nHandle >= 0; }
    // Swaps in another endpoint's socket (a move that succeeded).
    void TakeOver(CUdpEndpoint& other);

    // One waiting datagram, without blocking; false when none waits.
    bool Receive(std::vector<std::uint8_t>& buffer, std::size_t& length, codec::Ip4& from,
                 std::uint16_t& port);
    // "" on success, else the system's reason.
    std::string Send(const std::uint8_t* data, std::size_t length, const codec::Ip4& to, std::uint16_t port);

    // Waits at most timeoutMs until some endpoint has a datagram; `ready`
    // tells which. Returns false on an error other than an interruption.
    static bool WaitAny(const std::vector<CUdpEndpoint*>& endpoints, int timeoutMs, std::vector<bool>& ready);

private:
    std::intptr_t m_nHandle = -1; // a descriptor or a SOCKET
};

// SIGINT and SIGTERM ask the emulator to stop.
void InstallStopSignals();
bool StopRequested();

} // namespace controller
