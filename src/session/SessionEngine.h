#pragma once

// The controller engine: reads, writes with read-back and per-field
// comparison, for many controllers at once over one datagram transport.
//
// It owns no socket, no timer and no thread. Its owner
//  - implements IDatagramTransport (send bytes to an address),
//  - pushes every received datagram into OnDatagram(),
//  - calls Advance(now) at NextDeadline() (or on any periodic tick),
//  - and is told what happened through ISessionObserver, in order.
// Times are milliseconds of one monotonic clock chosen by the owner.
// Replies are told apart by the address in bytes 8 to 11 alone.
//
// One engine serves every face of a program: each face is a client with
// its own observer and its own waits and pacing, and no two exchanges of
// any client use one controller at once.

#include "DatagramTransport.h"
#include "SessionObserver.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace session {

// A client's waits and pacing.
struct SSessionTiming {
    int nTickMs = 1000;       // one tick of every wait
    int nQueryTicks = 3;      // a read waits this many ticks for the four replies
    int nReadBackTicks = 5;   // the read-back after a Set's closing query waits this many
    int nReadAttempts = 1;    // a read that lacks replies at the end of its wait asks again, up to this often;
                              // a write asks the address it moves to as often
    double dPauseScale = 1.0; // the Set's pauses are the codec's times this (1 in the program)
    int nMaxRunning = 16;     // exchanges running at once; the others wait their turn
    int nStartIntervalMs = 0; // at least this long between two starts (pacing a scan)
    // Starts a second (pacing a scan); when set it takes the place of
    // nStartIntervalMs. Starts keep to this schedule on average: one that
    // comes late does not push back the ones after it.
    double dStartsPerSecond = 0;
};

struct SWriteRequest {
    // What to write. settings.initialIp is where the controller is now (every
    // setting datagram goes there); settings.controllerIp is where it will
    // be (the closing query and the read-back go there).
    SControllerSettings settings;
    // Read what the controller holds before anything is sent; a write whose
    // read does not bring all four replies sends nothing.
    bool bReadFirst = true;
    // Runs once the read is in, with that read (or an empty one): it may
    // complete `settings` from what the controller holds and prepares the
    // backup. False stops the write with nothing sent (Refused, no
    // strRefusal): the owner of the function keeps why, as codes.
    std::function<bool(const SReadResult& present, SControllerSettings& settings)> pfnBeforeSend;
    // A controller that is to move: query its new address first, and when
    // anything answers there the write stops (AddressTaken), nothing sent.
    bool bProbeNewAddress = false;
    // Go on to the Set even when the read lacks replies; pfnBeforeSend gets
    // what did come and decides.
    bool bAllowIncompleteRead = false;
    // Runs last before the first datagram, once nothing else can stop the
    // write (the new address was probed and is free): the backup is saved
    // here, so none is kept for a write that sends nothing. A non-empty
    // return is the reason the write stops with nothing sent.
    std::function<std::string()> pfnLastBeforeSend;
    // Set when part of the work before the Set is slow (a backup flushed to
    // disk) and the owner does it elsewhere: at the same moment as
    // pfnLastBeforeSend, this is called with the write's id; when it returns true the write
    // waits with nothing sent, keeping its addresses, until the owner calls
    // ResumeWrite (never from inside this call); false goes on at once.
    // Many writes so wait side by side instead of one after another.
    std::function<bool(ExchangeId id)> pfnAwaitBeforeSend;
};

// Which face an exchange belongs to; kFirstClient is the one the engine is made with.
using ClientId = std::uint32_t;
constexpr ClientId kFirstClient = 0;

class CSessionEngine {
public:
    CSessionEngine(IDatagramTransport& transport, ISessionObserver& observer, SSessionTiming timing = {});
    ~CSessionEngine();
    CSessionEngine(const CSessionEngine&) = delete;
    CSessionEngine& operator=(const CSessionEngine&) = delete;

    // How projector models are named; by default the library in data.mdb.
    void SetModelLookup(ModelLookupFn lookup) { m_lookup = std::move(lookup); }
    // Replies carrying this address that no exchange waits for are still
    // reported (stage Unsolicited), for an owner that follows one address
    // outside its own reads (the window does not: only its reads fill it).
    void SetWatchedAddress(std::optional<codec::Ip4> address) { m_watched = address; }
    const SSessionTiming& Timing(ClientId client = kFirstClient) const { return m_clients.at(client).timing; }

    // Another face: its exchanges are told to `observer` and keep to
    // `timing` (its own waits, places and pacing). The observer outlives
    // the client.
    ClientId AddClient(ISessionObserver& observer, SSessionTiming timing);
    // Drops the client's exchanges, queued or running, without a report.
    void RemoveClient(ClientId client);

    // Queue a read or a write; it starts at once when its client has a free
    // place and no running exchange of any client uses its addresses, else
    // in its turn at a later Advance(). Returns its id (never 0).
    ExchangeId StartRead(const codec::Ip4& address, TimeMs now) { return StartRead(kFirstClient, address, now); }
    ExchangeId StartWrite(SWriteRequest request, TimeMs now) {
        return StartWrite(kFirstClient, std::move(request), now);
    }
    ExchangeId StartRead(ClientId client, const codec::Ip4& address, TimeMs now);
    ExchangeId StartWrite(ClientId client, SWriteRequest request, TimeMs now);

    void OnDatagram(const std::uint8_t* pData, std::size_t nLength, TimeMs now);
    // The client whose exchange would take this datagram now (none: it would be dropped).
    std::optional<ClientId> ListenerOf(const std::uint8_t* pData, std::size_t nLength) const;
    void Advance(TimeMs now);
    // When Advance() has something to do next; nothing when idle.
    std::optional<TimeMs> NextDeadline() const;

    // Ends every exchange that has not sent a datagram of its Set (queued
    // ones, reads before a write), each reported by OnNotRun; reads and Sets
    // already under way finish. Returns how many were ended.
    std::size_t CancelNotStarted() { return CancelNotStarted(kFirstClient); }
    std::size_t CancelNotStarted(ClientId client);
    // Lets a write waiting after pfnAwaitBeforeSend go on to its Set, or
    // (strError not empty) end with nothing sent, reported by OnWriteDone.
    // Nothing happens for an exchange that is not waiting so (ended meanwhile).
    void ResumeWrite(ExchangeId id, const std::string& strError, TimeMs now);
    // Ends a write's read-back at once with what it has gathered, as if its
    // wait had run out (the owner keeps a wait of its own); reported by
    // OnWriteDone. Nothing happens for an exchange in any other phase.
    void EndReadBackNow(ExchangeId id);
    // Drops one exchange, queued or running, at once without a report (its
    // owner has started another in its place).
    void Cancel(ExchangeId id);
    // Drops everything at once without a report (the owner is going away).
    void CancelAll();

    bool Idle() const { return m_running.empty() && m_waiting.empty(); }
    // Whether the client has no exchange queued or running.
    bool Idle(ClientId client) const;
    std::size_t RunningCount() const { return m_running.size(); }
    std::size_t WaitingCount() const { return m_waiting.size(); }
    // Whether a write has sent its first setting datagram.
    bool SetStarted(ExchangeId id) const;

private:
    struct SExchange;
    struct SClient {
        ISessionObserver* pObserver = nullptr;
        SSessionTiming timing;
        std::size_t nRunning = 0;
        double dNextStart = 0;
        bool bStarted = false; // the first start sets the schedule; there is nothing to catch up before it
    };

    ExchangeId Queue(std::unique_ptr<SExchange> exchange, TimeMs now);
    void Pump(TimeMs now);
    bool AddressesFree(const SExchange& x) const;
    bool CanStart(const SExchange& x, TimeMs now) const;
    SClient& ClientOf(const SExchange& x);
    const SSessionTiming& TimingOf(const SExchange& x) const;
    ISessionObserver& ObserverOf(const SExchange& x);
    void Begin(SExchange& x, TimeMs now);
    void SendQuery(SExchange& x, TimeMs now);
    void BeginSet(SExchange& x, TimeMs now);
    void ContinueSet(SExchange& x, TimeMs now);
    // The last work before the Set (pfnLastBeforeSend, pfnAwaitBeforeSend), then the Set.
    void PrepareThenSend(SExchange& x, TimeMs now);
    void SendProbe(SExchange& x, TimeMs now);
    void SendSet(SExchange& x, TimeMs now);
    static double StartInterval(const SSessionTiming& timing);
    void SendStep(SExchange& x, TimeMs now);
    void OnDeadline(SExchange& x, TimeMs now);
    void EndRead(SExchange& x, TimeMs now);
    void EndReadBack(SExchange& x);
    void FinishWrite(SExchange& x, EWriteOutcome eOutcome, EWriteStop eStop = EWriteStop::None,
                     std::string strRefusal = {});
    void Finish(ExchangeId id);
    void Route(SExchange& x);
    void Unroute(SExchange& x);
    SReplyEvent MakeEvent(const codec::Reply& reply, EStage eStage, const SExchange* pExchange,
                          TimeMs now) const;

    IDatagramTransport& m_transport;
    std::map<ClientId, SClient> m_clients;
    ClientId m_nNextClient = kFirstClient + 1;
    ModelLookupFn m_lookup;
    std::optional<codec::Ip4> m_watched;
    ExchangeId m_nNextId = 1;
    std::map<ExchangeId, std::unique_ptr<SExchange>> m_running;
    std::deque<std::unique_ptr<SExchange>> m_waiting;
    std::map<codec::Ip4, ExchangeId> m_routes; // address a reply carries -> exchange listening for it
    std::set<codec::Ip4> m_busy;               // addresses a running exchange uses
};

} // namespace session
