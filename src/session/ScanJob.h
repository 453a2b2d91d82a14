#pragma once

// One scan of a range of addresses, the same for every face: one read per
// address, queued a little ahead of the engine's pace; the controllers that
// answered, keyed by the address queried and in address order; the
// addresses that gave nothing; and, when asked for, an echo probe of those.
// The face joins the engine with Observer(), calls Poll() from its timer or
// run loop, and words and shows what the job returns.

#include "SessionEngine.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CEchoSweep;
class CSocketApi;

namespace session {

struct SScanCounts {
    std::size_t nTotal = 0; // the addresses of the present phase (the silent ones while probing)
    std::size_t nDone = 0;  // of these, the ones that ended
    std::size_t nQueriesSent = 0;
    std::size_t nControllers = 0;
};

class CScanJob : private ISessionObserver {
public:
    using ClockFn = std::function<TimeMs()>;
    enum class EPhase { Ready, Querying, Probing, Over };

    // dQueriesPerSecond is the engine's pace of the scan; the job keeps
    // enough reads queued for it without queuing the whole range at once.
    CScanJob(std::vector<codec::Ip4> addresses, double dQueriesPerSecond);
    ~CScanJob() override;
    CScanJob(const CScanJob&) = delete;
    CScanJob& operator=(const CScanJob&) = delete;

    // Once the queries are over, the addresses that gave no reply are probed
    // with the echo request over `api`, each waiting `timeout` for its answer.
    void ProbeSilent(CSocketApi& api, std::chrono::milliseconds timeout);

    // The observer the face gives the engine for the scan's client.
    ISessionObserver& Observer() { return *this; }
    // Queues the first reads as `client` of the engine.
    void Start(CSessionEngine& engine, ClientId client, ClockFn clock);
    // Called after each turn of the engine: queues more reads as the engine
    // takes them, ends the queries once every read has ended, then runs the
    // echo probe and collects its answers. The engine is not touched once
    // the phase has left Querying (the face may drop the client then).
    EPhase Poll();
    // Reads not yet started are dropped, sent ones finish their wait; a
    // probe ends after the address in progress. Nothing is probed after a stop.
    void Stop();

    EPhase Phase() const { return m_ePhase; }
    bool Stopped() const { return m_bStopped; }
    // The echo probe was asked for but this process may not send it.
    bool ProbeRefused() const { return m_bProbeRefused; }
    SScanCounts Counts() const { return m_counts; }
    std::size_t AheadLimit() const { return m_nAhead; }
    const std::map<codec::Ip4, SReadResult>& Found() const { return m_found; }
    // The addresses whose read gave nothing (in address order once probing starts).
    const std::vector<codec::Ip4>& Silent() const { return m_silent; }
    // The silent addresses that answered the echo probe, in probing order.
    const std::vector<codec::Ip4>& Echoed() const { return m_echoed; }

    // Told as a controller answers and as a silent address answers the echo.
    std::function<void(const codec::Ip4& address, const SReadResult& read)> m_pfnFound;
    std::function<void(const codec::Ip4& address)> m_pfnEchoed;

private:
    void OnStarted(ExchangeId) override;
    void OnReadDone(ExchangeId id, const SReadResult& result) override;
    void OnNotRun(ExchangeId id) override;

    void TopUp();
    void EndQueries();

    std::vector<codec::Ip4> m_addresses;
    std::size_t m_nAhead = 0;
    CSessionEngine* m_pEngine = nullptr;
    ClientId m_nClient = 0;
    ClockFn m_clock;
    CSocketApi* m_pEchoApi = nullptr;
    std::chrono::milliseconds m_echoTimeout{0};
    std::unique_ptr<CEchoSweep> m_pSweep;

    EPhase m_ePhase = EPhase::Ready;
    bool m_bStopped = false;
    bool m_bProbeRefused = false;
    std::size_t m_nNext = 0;                  // the next address to queue
    std::size_t m_nNotRun = 0;                // queued reads dropped before they started
    std::map<ExchangeId, codec::Ip4> m_reads; // queued or running
    std::map<codec::Ip4, SReadResult> m_found;
    std::vector<codec::Ip4> m_silent, m_echoed;
    SScanCounts m_counts;
};

} // namespace session
