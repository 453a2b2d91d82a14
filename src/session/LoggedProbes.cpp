#include "LoggedProbes.h"

namespace session {

bool CLoggedProbes::Exchange(const std::vector<std::uint8_t>& request, const net::Ip4& to, int nWaitMs,
                             std::vector<net::SDatagramSeen>& received, std::string& strError) {
    const TimeMs tSent = ProgramMs();
    const std::size_t nBefore = received.size();
    const bool bSent = m_probes.Exchange(request, to, nWaitMs, received, strError);
    if (bSent)
        m_log.RecordAt(tSent, ETrafficDirection::Sent, to, request.data(), request.size());
    // The replies are put in when the wait ends, at the times they came.
    for (std::size_t i = nBefore; i < received.size(); ++i)
        m_log.RecordAt(tSent + received[i].nMs, ETrafficDirection::Received, received[i].from,
                       received[i].bytes.data(), received[i].bytes.size());
    return bSent;
}

} // namespace session
