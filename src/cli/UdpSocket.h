#pragma once

// The command line's only contact with the socket API and process signals;
// a port to another system replaces UdpSocket.cpp alone.

#include "codec/Address.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cli {

class CUdpSocket {
public:
    CUdpSocket() = default;
    ~CUdpSocket();
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;

    // Binds 0.0.0.0:port. Like the window's socket it allows sharing the port
    // with programs that allow it too (a controller emulator on an address of
    // its own); a program holding the port alone makes it fail.
    bool Open(std::uint16_t port, std::string& error);
    std::uint16_t Port() const { return m_nPort; }

    void Send(const std::uint8_t* data, std::size_t length, const codec::Ip4& to, std::uint16_t port);
    // One waiting datagram without blocking; false when none waits.
    bool Receive(std::vector<std::uint8_t>& buffer, std::size_t& length);
    // Waits at most timeoutMs for a datagram (a signal ends the wait early).
    void Wait(int timeoutMs);

private:
    int m_nHandle = -1;
    std::uint16_t m_nPort = 0;
};

// Ctrl+C (SIGINT) and SIGTERM are counted instead of ending the process, so
// a batch can finish what it started and write its results.
void InstallInterruptCounter();
int Interrupts();
// Whether standard error is a terminal (the progress bar is drawn only then).
bool ErrorIsTerminal();

} // namespace cli
