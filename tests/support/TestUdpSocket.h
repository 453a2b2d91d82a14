#pragma once

// A plain UDP socket for tests that stand where a controller or another
// program stands: bound to a local port, it sends to loopback and takes
// whatever has arrived without waiting. The socket is the UDP layer's; this
// speaks in address texts and byte vectors, as the tests do.
#include "udp/UdpSocket.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CTestUdpSocket {
public:
    struct SDatagram {
        std::vector<std::uint8_t> bytes;
        std::string strFrom; // dotted address of the sender
        std::uint16_t nFromPort = 0;
    };

    // Binds strAddress:nPort (port 0 picks a free one); with bShare the bind
    // shares the port with others that share it. IsOpen() tells whether the
    // bind succeeded.
    explicit CTestUdpSocket(std::uint16_t nPort = 0, const std::string& strAddress = "0.0.0.0",
                            bool bShare = false);
    CTestUdpSocket(const CTestUdpSocket&) = delete;
    CTestUdpSocket& operator=(const CTestUdpSocket&) = delete;

    bool IsOpen() const { return m_socket.IsOpen(); }
    std::uint16_t Port() const { return m_socket.LocalPort(); }
    bool SendTo(const std::string& strAddress, std::uint16_t nPort,
                const std::vector<std::uint8_t>& bytes) const;
    // The next datagram that has arrived, waiting at most nWaitMs for one.
    std::optional<SDatagram> Receive(int nWaitMs = 0);

private:
    net::CUdpSocket m_socket;
};
