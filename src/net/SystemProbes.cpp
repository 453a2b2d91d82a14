#include "SystemProbes.h"

#include "Firewall.h"
#include "NeighbourTable.h"
#include "Pinger.h"

namespace net {

std::vector<SInterfaceAddress> CSystemProbes::Interfaces() {
    return LocalIpv4Interfaces();
}

SPortCheck CSystemProbes::ClaimPort(const Ip4& local) {
    SPortCheck check;
    Ip4 bindAddress{0, 0, 0, 0};
    if (m_options.bPortHeldHere) {
        check.eState = EPortState::ThisProgram;
        bindAddress = local;
    } else if (!m_portOwner.Acquire(m_options.nLocalPort, m_options.strProgram, check.strHolder)) {
        check.eState = EPortState::OtherVelmora;
        return check;
    }
    std::string strError;
    switch (m_socket.Bind(bindAddress, m_options.nLocalPort, CUdpSocket::EShare::Shared, strError)) {
    case CUdpSocket::EBind::Bound:
        break;
    case CUdpSocket::EBind::PortTaken:
        check.eState = EPortState::OtherProgram;
        m_portOwner.Release();
        break;
    case CUdpSocket::EBind::Failed:
        check.eState = EPortState::Failed;
        check.strHolder = strError;
        m_portOwner.Release();
        break;
    }
    return check;
}

bool CSystemProbes::Exchange(const std::vector<std::uint8_t>& request, const Ip4& to, int nWaitMs,
                             std::vector<SDatagramSeen>& received, std::string& strError) {
    if (!m_socket.IsOpen()) {
        strError = "the port is not open";
        return false;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [start] {
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count());
    };
    strError = m_socket.Send(request.data(), request.size(), to, m_options.nPeerPort);
    if (!strError.empty())
        return false;
    std::vector<std::uint8_t> buffer(8192);
    for (long nLeft = nWaitMs; nLeft > 0; nLeft = nWaitMs - elapsed()) {
        if (!m_socket.Wait(static_cast<int>(nLeft)))
            continue;
        Ip4 from{};
        long nLength = 0;
        while ((nLength = m_socket.Receive(buffer.data(), buffer.size(), &from)) >= 0)
            received.push_back({{buffer.begin(), buffer.begin() + nLength}, from, elapsed()});
    }
    return true;
}

ETriState CSystemProbes::Echo(const Ip4& to) {
    CPinger pinger(CSystemSocketApi::Instance(), m_options.echoTimeout, CPinger::ECounters::Own);
    pinger.Probe(m_options.nEchoCount, CUdpSocket::AddressText(to));
    const std::string strStatus = pinger.StatusText();
    if (strStatus.rfind("Reply", 0) == 0)
        return ETriState::Yes;
    // Without a socket there is no status at all: echo is not allowed here.
    return strStatus.empty() ? ETriState::Unknown : ETriState::No;
}

std::optional<std::string> CSystemProbes::Neighbour(const Ip4& to) {
    return NeighbourLinkAddress(to);
}

SFirewallCheck CSystemProbes::Firewall() {
    return CheckFirewall(m_options.nLocalPort);
}

} // namespace net
