#include "PingWorker.h"

CPingWorker::CPingWorker(CSocketApi& api, std::chrono::milliseconds replyTimeout)
    : m_pinger(api, replyTimeout) {
    // Started last, once every member the thread uses exists.
    m_thread = std::thread(&CPingWorker::WorkerMain, this);
}

CPingWorker::~CPingWorker() {
    // The stop event stays set, so it wins over a pending request; a probe in progress finishes
    // first, which takes up to one reply timeout per attempt.
    m_stopEvent.Set();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CPingWorker::Request(const std::string& strHost, std::uint32_t nCount) {
    {
        std::lock_guard lock(m_mutexRequest);
        m_strHost = strHost;
        m_nCount = nCount;
    }
    m_requestEvent.Set();
}

void CPingWorker::WorkerMain() {
    for (;;) {
        if (CEvent::WaitForAny(m_stopEvent, m_requestEvent) == 0) {
            return;
        }
        std::string strHost;
        std::uint32_t nCount = 0;
        {
            std::lock_guard lock(m_mutexRequest);
            strHost = m_strHost;
            nCount = m_nCount;
        }
        m_pinger.Probe(nCount, strHost);
    }
}
