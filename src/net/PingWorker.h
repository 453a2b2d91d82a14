#pragma once

#include "Event.h"
#include "Pinger.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// Runs echo probes on a thread of its own, so a probe never blocks the user interface.
// The thread starts with the worker and waits for a stop or a request; a request made while a
// probe runs stays pending and starts exactly one more probe, however many arrive. Destroying
// the worker stops the thread, after the probe in progress if there is one. The only result of a
// probe is g_bPingReply.
class CPingWorker {
public:
    explicit CPingWorker(CSocketApi& api = CSystemSocketApi::Instance(),
                         std::chrono::milliseconds replyTimeout = std::chrono::seconds(1));
    virtual ~CPingWorker();
    CPingWorker(const CPingWorker&) = delete;
    CPingWorker& operator=(const CPingWorker&) = delete;

    // Asks for a probe of at most nCount attempts against a host name or dotted address. Returns
    // at once; the probe starts when the thread is free.
    void Request(const std::string& strHost, std::uint32_t nCount);

    // The probe engine, for its last status and error texts.
    const CPinger& Pinger() const { return m_pinger; }

private:
    void WorkerMain();

    std::thread m_thread;
    CEvent m_stopEvent{CEvent::EReset::Manual};
    CEvent m_requestEvent{CEvent::EReset::Auto};
    CPinger m_pinger;
    // The request fields are written by the owner and read by the thread at the start of a probe;
    // the lock lets the owner make a new request while a probe is running.
    std::mutex m_mutexRequest;
    std::string m_strHost;
    std::uint32_t m_nCount = 0;
};
