#pragma once

// The diagnosis probes on the real machine: its interfaces, the owner lock
// and a socket on the controllers' port, the echo probe, the neighbour table
// and the firewall.

#include "DiagnosisProbes.h"
#include "PortOwner.h"

#include <chrono>

namespace net {

struct SSystemProbeOptions {
    std::uint16_t nLocalPort = 1550;
    std::uint16_t nPeerPort = 1550;
    std::string strProgram = "velmora";
    // The calling program owns the port already (the window): the query then
    // binds the interface address that reaches the controller, which the
    // system prefers to the program's own socket on 0.0.0.0 for the replies.
    bool bPortHeldHere = false;
    std::chrono::milliseconds echoTimeout = std::chrono::seconds(1);
    std::uint32_t nEchoCount = 2;
};

class CSystemProbes : public IDiagnosisProbes {
public:
    explicit CSystemProbes(SSystemProbeOptions options) : m_options(std::move(options)) {}

    std::vector<SInterfaceAddress> Interfaces() override;
    SPortCheck ClaimPort(const Ip4& local) override;
    bool Exchange(const std::vector<std::uint8_t>& request, const Ip4& to, int nWaitMs,
                  std::vector<SDatagramSeen>& received, std::string& strError) override;
    ETriState Echo(const Ip4& to) override;
    std::optional<std::string> Neighbour(const Ip4& to) override;
    SFirewallCheck Firewall() override;

private:
    SSystemProbeOptions m_options;
    CPortOwner m_portOwner; // released after the socket closes
    CUdpSocket m_socket;
};

} // namespace net
