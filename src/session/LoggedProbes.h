#pragma once

#include "DiagnosisProbes.h"
#include "TrafficLog.h"

namespace session {

// The probes of a diagnosis with its query and what came back put into the
// traffic log, so the log holds every datagram the program exchanged.
class CLoggedProbes : public net::IDiagnosisProbes {
public:
    CLoggedProbes(net::IDiagnosisProbes& probes, CTrafficLog& log) : m_probes(probes), m_log(log) {}

    std::vector<SInterfaceAddress> Interfaces() override { return m_probes.Interfaces(); }
    net::SPortCheck ClaimPort(const net::Ip4& local) override { return m_probes.ClaimPort(local); }
    bool Exchange(const std::vector<std::uint8_t>& request, const net::Ip4& to, int nWaitMs,
                  std::vector<net::SDatagramSeen>& received, std::string& strError) override;
    net::ETriState Echo(const net::Ip4& to) override { return m_probes.Echo(to); }
    std::optional<std::string> Neighbour(const net::Ip4& to) override { return m_probes.Neighbour(to); }
    net::SFirewallCheck Firewall() override { return m_probes.Firewall(); }

private:
    net::IDiagnosisProbes& m_probes;
    CTrafficLog& m_log;
};

} // namespace session
