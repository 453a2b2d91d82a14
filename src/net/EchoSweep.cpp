#include "EchoSweep.h"

#include <string>

CEchoSweep::CEchoSweep(std::vector<Address> addresses, CSocketApi& api,
                       std::chrono::milliseconds replyTimeout)
    : m_addresses(std::move(addresses)), m_pinger(api, replyTimeout, CPinger::ECounters::Own) {
    m_thread = std::thread([this] { Run(); });
}

CEchoSweep::~CEchoSweep() {
    m_bStop = true;
    if (m_thread.joinable())
        m_thread.join();
}

bool CEchoSweep::ProbingAllowed(CSocketApi& api) {
    for (auto eKind : {CSocketApi::EIcmpSocket::Raw, CSocketApi::EIcmpSocket::Datagram}) {
        const TSocket sock = api.OpenIcmp(eKind);
        if (sock != kInvalidSocket) {
            api.Close(sock);
            return true;
        }
    }
    return false;
}

std::vector<CEchoSweep::SResult> CEchoSweep::TakeResults() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<SResult> taken;
    taken.swap(m_results);
    return taken;
}

void CEchoSweep::Run() {
    for (const Address& address : m_addresses) {
        if (m_bStop)
            break;
        const std::string strHost = std::to_string(address[0]) + '.' + std::to_string(address[1]) + '.' +
                                    std::to_string(address[2]) + '.' + std::to_string(address[3]);
        m_pinger.Probe(1, strHost);
        // The probe's status names the answer; an error or a timeout leaves another text.
        const bool bAnswered = m_pinger.StatusText().rfind("Reply[", 0) == 0;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_results.push_back({address, bAnswered});
    }
    m_bFinished = true;
}
