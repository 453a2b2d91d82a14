#include "ScanJob.h"

#include "EchoSweep.h"

#include <algorithm>

namespace session {

CScanJob::CScanJob(std::vector<codec::Ip4> addresses, double dQueriesPerSecond)
    : m_addresses(std::move(addresses)),
      // A quarter of a second's reads, at least sixteen: the engine never
      // waits for the job, and queuing thousands at once would take long
      // enough to put the first starts behind their schedule.
      m_nAhead(std::max<std::size_t>(16, static_cast<std::size_t>(dQueriesPerSecond / 4))) {
    m_counts.nTotal = m_addresses.size();
}

CScanJob::~CScanJob() = default;

void CScanJob::ProbeSilent(CSocketApi& api, std::chrono::milliseconds timeout) {
    m_pEchoApi = &api;
    m_echoTimeout = timeout;
}

void CScanJob::Start(CSessionEngine& engine, ClientId client, ClockFn clock) {
    m_pEngine = &engine;
    m_nClient = client;
    m_clock = std::move(clock);
    m_ePhase = EPhase::Querying;
    TopUp();
}

void CScanJob::TopUp() {
    while (!m_bStopped && m_nNext < m_addresses.size()) {
        // Queued and not started yet: the reads the engine has in hand.
        const std::size_t nWaiting = m_nNext - m_counts.nQueriesSent - m_nNotRun;
        if (nWaiting >= m_nAhead)
            break;
        const codec::Ip4 address = m_addresses[m_nNext++];
        m_reads.emplace(m_pEngine->StartRead(m_nClient, address, m_clock()), address);
    }
}

CScanJob::EPhase CScanJob::Poll() {
    if (m_ePhase == EPhase::Querying) {
        TopUp();
        if (m_reads.empty() && (m_bStopped || m_nNext == m_addresses.size()))
            EndQueries();
        return m_ePhase;
    }
    if (m_ePhase == EPhase::Probing) {
        for (const CEchoSweep::SResult& r : m_pSweep->TakeResults()) {
            ++m_counts.nDone;
            if (!r.bAnswered)
                continue;
            m_echoed.push_back(r.address);
            if (m_pfnEchoed)
                m_pfnEchoed(r.address);
        }
        if (m_pSweep->Finished()) {
            m_pSweep.reset();
            m_ePhase = EPhase::Over;
        }
    }
    return m_ePhase;
}

void CScanJob::EndQueries() {
    m_ePhase = EPhase::Over;
    if (m_bStopped || m_silent.empty() || !m_pEchoApi)
        return;
    if (!CEchoSweep::ProbingAllowed(*m_pEchoApi)) {
        m_bProbeRefused = true;
        return;
    }
    std::sort(m_silent.begin(), m_silent.end());
    m_counts.nTotal = m_silent.size();
    m_counts.nDone = 0;
    m_pSweep = std::make_unique<CEchoSweep>(m_silent, *m_pEchoApi, m_echoTimeout);
    m_ePhase = EPhase::Probing;
}

void CScanJob::Stop() {
    if (m_bStopped)
        return;
    m_bStopped = true;
    if (m_ePhase == EPhase::Querying) {
        // The addresses not queued yet end here, the queued ones as the engine drops them.
        m_counts.nDone += m_addresses.size() - m_nNext;
        m_pEngine->CancelNotStarted(m_nClient);
    }
    if (m_pSweep)
        m_pSweep->Stop();
}

void CScanJob::OnStarted(ExchangeId) {
    ++m_counts.nQueriesSent;
}

void CScanJob::OnReadDone(ExchangeId id, const SReadResult& result) {
    ++m_counts.nDone;
    const auto it = m_reads.find(id);
    if (it == m_reads.end())
        return;
    const codec::Ip4 address = it->second;
    m_reads.erase(it);
    if (!result.Any()) {
        m_silent.push_back(address);
        return;
    }
    ++m_counts.nControllers;
    m_found[address] = result;
    if (m_pfnFound)
        m_pfnFound(address, result);
}

void CScanJob::OnNotRun(ExchangeId id) {
    ++m_counts.nDone;
    m_nNotRun += m_reads.erase(id);
}

} // namespace session
