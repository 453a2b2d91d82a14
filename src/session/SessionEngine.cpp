#include "SessionEngine.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace session {

struct CSessionEngine::SExchange {
    // Preparing: just before the Set, waiting for the owner's work.
    enum class EPhase { Waiting, Reading, Preparing, Probing, Sending, ReadBack };

    ExchangeId id = 0;
    ClientId client = kFirstClient;
    bool bWrite = false;
    EPhase ePhase = EPhase::Waiting;
    codec::Ip4 target{}; // the address it reads, or where a write is sent
    codec::Ip4 listen{}; // the address the replies it waits for carry
    bool bRouted = false;
    std::vector<codec::Ip4> addresses; // the addresses it keeps to itself while it runs
    SReadResult gathered;
    TimeMs tQuery = 0;
    TimeMs tDeadline = 0;
    int nAttempts = 0;
    int nProbes = 0; // queries sent to the address a write moves to
    SWriteRequest request;
    SControllerSettings prepared; // what pfnBeforeSend made of the request's settings
    std::vector<codec::SetStep> steps;
    std::size_t nStep = 0;
    SWriteResult result;
};

CSessionEngine::SClient& CSessionEngine::ClientOf(const SExchange& x) {
    return m_clients.at(x.client);
}

const SSessionTiming& CSessionEngine::TimingOf(const SExchange& x) const {
    return m_clients.at(x.client).timing;
}

ISessionObserver& CSessionEngine::ObserverOf(const SExchange& x) {
    return *m_clients.at(x.client).pObserver;
}

CSessionEngine::CSessionEngine(IDatagramTransport& transport, ISessionObserver& observer,
                               SSessionTiming timing)
    : m_transport(transport), m_lookup(LookUpInLibrary) {
    timing.nMaxRunning = std::max(1, timing.nMaxRunning);
    timing.nReadAttempts = std::max(1, timing.nReadAttempts);
    m_clients[kFirstClient] = SClient{&observer, timing};
}

CSessionEngine::~CSessionEngine() = default;

ClientId CSessionEngine::AddClient(ISessionObserver& observer, SSessionTiming timing) {
    timing.nMaxRunning = std::max(1, timing.nMaxRunning);
    timing.nReadAttempts = std::max(1, timing.nReadAttempts);
    const ClientId client = m_nNextClient++;
    m_clients[client] = SClient{&observer, timing};
    return client;
}

void CSessionEngine::RemoveClient(ClientId client) {
    if (client == kFirstClient || m_clients.count(client) == 0)
        return;
    std::erase_if(m_waiting, [&](const std::unique_ptr<SExchange>& x) { return x->client == client; });
    std::vector<ExchangeId> running;
    for (const auto& [id, x] : m_running)
        if (x->client == client)
            running.push_back(id);
    for (ExchangeId id : running)
        Finish(id);
    m_clients.erase(client);
}

bool CSessionEngine::Idle(ClientId client) const {
    const auto it = m_clients.find(client);
    return it == m_clients.end() ||
           (it->second.nRunning == 0 &&
            std::none_of(m_waiting.begin(), m_waiting.end(),
                         [&](const std::unique_ptr<SExchange>& x) { return x->client == client; }));
}

ExchangeId CSessionEngine::StartRead(ClientId client, const codec::Ip4& address, TimeMs now) {
    auto x = std::make_unique<SExchange>();
    x->client = m_clients.count(client) ? client : kFirstClient;
    x->target = address;
    x->addresses = {address};
    return Queue(std::move(x), now);
}

ExchangeId CSessionEngine::StartWrite(ClientId client, SWriteRequest request, TimeMs now) {
    auto x = std::make_unique<SExchange>();
    x->client = m_clients.count(client) ? client : kFirstClient;
    x->bWrite = true;
    x->target = request.settings.initialIp;
    x->addresses = {request.settings.initialIp, request.settings.controllerIp};
    x->request = std::move(request);
    return Queue(std::move(x), now);
}

ExchangeId CSessionEngine::Queue(std::unique_ptr<SExchange> x, TimeMs now) {
    x->id = m_nNextId++;
    if (m_nNextId == 0)
        m_nNextId = 1;
    const ExchangeId id = x->id;
    m_waiting.push_back(std::move(x));
    Pump(now);
    return id;
}

bool CSessionEngine::AddressesFree(const SExchange& x) const {
    return std::none_of(x.addresses.begin(), x.addresses.end(),
                        [&](const codec::Ip4& a) { return m_busy.count(a) != 0; });
}

double CSessionEngine::StartInterval(const SSessionTiming& timing) {
    return timing.dStartsPerSecond > 0 ? 1000.0 / timing.dStartsPerSecond
                                       : static_cast<double>(timing.nStartIntervalMs);
}

bool CSessionEngine::CanStart(const SExchange& x, TimeMs now) const {
    const SClient& client = m_clients.at(x.client);
    if (client.nRunning >= static_cast<std::size_t>(client.timing.nMaxRunning))
        return false;
    if (StartInterval(client.timing) > 0 && static_cast<double>(now) < client.dNextStart)
        return false;
    return AddressesFree(x);
}

void CSessionEngine::Pump(TimeMs now) {
    for (;;) {
        // In the order they were queued, the first that may start does:
        // each client keeps to its places and its pace, and a controller
        // in use by any client waits.
        auto it = std::find_if(m_waiting.begin(), m_waiting.end(),
                               [&](const std::unique_ptr<SExchange>& x) { return CanStart(*x, now); });
        if (it == m_waiting.end())
            return;
        std::unique_ptr<SExchange> x = std::move(*it);
        m_waiting.erase(it);
        SExchange& ref = *x;
        for (const codec::Ip4& a : ref.addresses)
            m_busy.insert(a);
        m_running.emplace(ref.id, std::move(x));
        SClient& client = ClientOf(ref);
        ++client.nRunning;
        // Starts keep to their schedule, catching up what the owner's coarse
        // wake-ups delayed (at most 20 ms of it, so a pause is no burst), so
        // the rate holds on average.
        const double dInterval = StartInterval(client.timing);
        if (dInterval > 0) {
            const double dCatchUp = client.bStarted ? std::max(dInterval, 20.0) : 0.0;
            client.dNextStart = std::max(client.dNextStart, static_cast<double>(now) - dCatchUp) + dInterval;
        }
        client.bStarted = true;
        Begin(ref, now);
    }
}

void CSessionEngine::Begin(SExchange& x, TimeMs now) {
    ObserverOf(x).OnStarted(x.id);
    if (x.bWrite && !x.request.bReadFirst) {
        BeginSet(x, now);
        return;
    }
    x.ePhase = SExchange::EPhase::Reading;
    x.listen = x.target;
    Route(x);
    SendQuery(x, now);
}

void CSessionEngine::Route(SExchange& x) {
    // An address is listened on by one exchange at a time: the running ones
    // keep their addresses to themselves (m_busy), so this never takes
    // another exchange's route.
    const auto [it, bInserted] = m_routes.emplace(x.listen, x.id);
    x.bRouted = bInserted || it->second == x.id;
}

void CSessionEngine::Unroute(SExchange& x) {
    if (!x.bRouted)
        return;
    auto it = m_routes.find(x.listen);
    if (it != m_routes.end() && it->second == x.id)
        m_routes.erase(it);
    x.bRouted = false;
}

void CSessionEngine::SendQuery(SExchange& x, TimeMs now) {
    m_transport.SendTo(codec::BuildQuery(x.target), x.target);
    x.tQuery = now;
    x.tDeadline = now + static_cast<TimeMs>(TimingOf(x).nQueryTicks) * TimingOf(x).nTickMs;
    ++x.nAttempts;
}

void CSessionEngine::BeginSet(SExchange& x, TimeMs now) {
    SControllerSettings settings = x.request.settings;
    x.result.present = x.gathered;
    if (x.request.pfnBeforeSend) {
        if (!x.request.pfnBeforeSend(x.result.present, settings)) {
            FinishWrite(x, EWriteOutcome::NotSent, EWriteStop::Refused);
            return;
        }
    }
    x.prepared = settings;
    ContinueSet(x, now);
}

void CSessionEngine::PrepareThenSend(SExchange& x, TimeMs now) {
    if (x.request.pfnLastBeforeSend) {
        std::string strError = x.request.pfnLastBeforeSend();
        if (!strError.empty()) {
            FinishWrite(x, EWriteOutcome::NotSent, EWriteStop::Refused, std::move(strError));
            return;
        }
    }
    if (x.request.pfnAwaitBeforeSend) {
        // No deadline: the owner's ResumeWrite moves it on.
        x.ePhase = SExchange::EPhase::Preparing;
        x.tDeadline = std::numeric_limits<TimeMs>::max();
        if (x.request.pfnAwaitBeforeSend(x.id))
            return;
    }
    SendSet(x, now);
}

void CSessionEngine::ResumeWrite(ExchangeId id, const std::string& strError, TimeMs now) {
    auto it = m_running.find(id);
    if (it == m_running.end() || it->second->ePhase != SExchange::EPhase::Preparing)
        return;
    SExchange& x = *it->second;
    if (!strError.empty())
        FinishWrite(x, EWriteOutcome::NotSent, EWriteStop::Refused, strError);
    else
        SendSet(x, now);
    Pump(now);
}

void CSessionEngine::ContinueSet(SExchange& x, TimeMs now) {
    SControllerSettings settings = x.prepared;
    // The controller is where it is: only the address it moves to may change.
    settings.initialIp = x.target;
    if (std::find(x.addresses.begin(), x.addresses.end(), settings.controllerIp) == x.addresses.end()) {
        // Another exchange waits on that address: its replies would be taken
        // for this one's read-back, so the write does not go ahead.
        if (m_busy.count(settings.controllerIp) != 0) {
            FinishWrite(x, EWriteOutcome::NotSent, EWriteStop::AddressInUse);
            return;
        }
        x.addresses.push_back(settings.controllerIp);
        m_busy.insert(settings.controllerIp);
    }
    // A name that came with codes of another library model gives way to the
    // name of what is really sent.
    for (SProjectorSlot& slot : settings.projectors) {
        SModelLookup found;
        const std::string strNamed = ModelName(slot.strCode, m_lookup, &found);
        const bool bListed =
            std::find(found.models.begin(), found.models.end(), slot.strModel) != found.models.end();
        const std::vector<std::string> whole = WholeBundleMatches(slot.strCode, found);
        const bool bWhole = std::find(whole.begin(), whole.end(), slot.strModel) != whole.end();
        if (!found.models.empty() && (!bListed || (!whole.empty() && !bWhole)))
            slot.strModel = strNamed;
    }
    x.result.sent = settings;
    if (x.request.bProbeNewAddress && settings.controllerIp != x.target) {
        Unroute(x);
        x.ePhase = SExchange::EPhase::Probing;
        x.listen = settings.controllerIp;
        Route(x);
        x.nProbes = 0;
        SendProbe(x, now);
        return;
    }
    PrepareThenSend(x, now);
}

// The new address is asked as a read would ask it (the same wait, the same
// repeated query), so a check that reads it and a write that probes it
// judge one controller alike.
void CSessionEngine::SendProbe(SExchange& x, TimeMs now) {
    m_transport.SendTo(codec::BuildQuery(x.listen), x.listen);
    x.tDeadline = now + static_cast<TimeMs>(TimingOf(x).nQueryTicks) * TimingOf(x).nTickMs;
    ++x.nProbes;
}

void CSessionEngine::SendSet(SExchange& x, TimeMs now) {
    x.steps = codec::BuildSetSequence(ToSetValues(x.result.sent), ToMicRows(x.result.sent));
    x.nStep = 0;
    Unroute(x);
    x.ePhase = SExchange::EPhase::Sending;
    x.listen = x.target;
    Route(x);
    const ExchangeId id = x.id;
    ObserverOf(x).OnSetStarting(id);
    // The observer may have dropped it meanwhile.
    const auto it = m_running.find(id);
    if (it != m_running.end())
        SendStep(*it->second, now);
}

void CSessionEngine::SendStep(SExchange& x, TimeMs now) {
    const codec::SetStep& step = x.steps[x.nStep];
    m_transport.SendTo(step.datagram, step.destination);
    ++x.nStep;
    x.result.bSetStarted = true;
    if (x.nStep < x.steps.size()) {
        const double dPause = step.pauseAfterMs * TimingOf(x).dPauseScale;
        x.tDeadline = now + static_cast<TimeMs>(std::ceil(std::max(0.0, dPause)));
    } else {
        // The closing query is out: only replies from now on can confirm the Set,
        // and they carry the address the controller was told to take.
        Unroute(x);
        x.ePhase = SExchange::EPhase::ReadBack;
        x.listen = x.result.sent.controllerIp;
        x.gathered = {};
        x.tQuery = now;
        x.tDeadline = now + static_cast<TimeMs>(TimingOf(x).nReadBackTicks) * TimingOf(x).nTickMs;
        Route(x);
    }
    ObserverOf(x).OnSetStep(x.id, static_cast<int>(x.nStep));
}

SReplyEvent CSessionEngine::MakeEvent(const codec::Reply& reply, EStage eStage, const SExchange* pExchange,
                                      TimeMs now) const {
    SReplyEvent event;
    event.reply = reply;
    event.eStage = eStage;
    event.tArrived = now;
    if (reply.outcome == codec::ReplyOutcome::Projector || reply.outcome == codec::ReplyOutcome::IpSettings ||
        reply.outcome == codec::ReplyOutcome::Additional) {
        SReadResult decoded;
        ApplyReply(reply, decoded);
        event.values = decoded.settings;
        event.nPart = reply.kind - 1;
    }
    if (reply.outcome != codec::ReplyOutcome::Projector)
        return event;
    event.strModel = ModelName(reply.projector.storedBundle, m_lookup, &event.lookup);
    event.values.projectors[reply.kind == 1 ? 0 : 1].strModel = event.strModel;
    if (eStage == EStage::ReadBack && pExchange) {
        const std::string& strSent = pExchange->result.sent.projectors[reply.kind == 1 ? 0 : 1].strModel;
        const bool bUnknown = !event.strModel.empty() && event.lookup.models.empty();
        event.bModelGood = (event.strModel.empty() && strSent.empty()) || event.strModel == strSent ||
                           std::find(event.lookup.models.begin(), event.lookup.models.end(), strSent) !=
                               event.lookup.models.end() ||
                           (bUnknown && strSent == kUnknownModel);
    }
    return event;
}

void CSessionEngine::OnDatagram(const std::uint8_t* pData, std::size_t nLength, TimeMs now) {
    if (pData == nullptr || nLength < codec::kHeaderLength)
        return;
    const std::uint8_t* pAddress = pData + codec::kAddressOffset;
    const codec::Ip4 address{pAddress[0], pAddress[1], pAddress[2], pAddress[3]};
    const auto route = m_routes.find(address);
    if (route == m_routes.end()) {
        if (m_watched && *m_watched == address) {
            const codec::Reply reply = codec::ReadReply(pData, nLength, address);
            m_clients.at(kFirstClient).pObserver->OnReply(0, MakeEvent(reply, EStage::Unsolicited, nullptr, now));
        }
        Pump(now);
        return;
    }
    SExchange& x = *m_running.at(route->second);
    const codec::Reply reply = codec::ReadReply(pData, nLength, address);
    if (x.ePhase == SExchange::EPhase::Probing) {
        if (reply.outcome == codec::ReplyOutcome::Projector ||
            reply.outcome == codec::ReplyOutcome::IpSettings ||
            reply.outcome == codec::ReplyOutcome::Additional)
            FinishWrite(x, EWriteOutcome::NotSent, EWriteStop::AddressTaken);
        Pump(now);
        return;
    }
    EStage eStage = EStage::Read;
    if (x.ePhase == SExchange::EPhase::Sending)
        eStage = EStage::Sending;
    else if (x.ePhase == SExchange::EPhase::ReadBack)
        eStage = EStage::ReadBack;
    SReplyEvent event = MakeEvent(reply, eStage, &x, now);
    const bool bAccepted = reply.outcome == codec::ReplyOutcome::Projector ||
                           reply.outcome == codec::ReplyOutcome::IpSettings ||
                           reply.outcome == codec::ReplyOutcome::Additional;
    const bool bGathering = eStage == EStage::Read || eStage == EStage::ReadBack;
    if (bAccepted && bGathering) {
        ApplyReply(reply, x.gathered);
        if (reply.outcome == codec::ReplyOutcome::Projector)
            x.gathered.settings.projectors[reply.kind == 1 ? 0 : 1].strModel = event.strModel;
        if (x.gathered.nAnswerMs < 0)
            x.gathered.nAnswerMs = now - x.tQuery;
    }
    const ExchangeId id = x.id;
    ObserverOf(x).OnReply(id, event);
    // The observer may have cancelled it meanwhile.
    auto it = m_running.find(id);
    if (it != m_running.end() && bAccepted && bGathering && it->second->gathered.Complete()) {
        if (eStage == EStage::Read)
            EndRead(*it->second, now);
        else
            EndReadBack(*it->second);
    }
    Pump(now);
}

std::optional<ClientId> CSessionEngine::ListenerOf(const std::uint8_t* pData, std::size_t nLength) const {
    if (pData == nullptr || nLength < codec::kHeaderLength)
        return std::nullopt;
    const std::uint8_t* pAddress = pData + codec::kAddressOffset;
    const auto route = m_routes.find(codec::Ip4{pAddress[0], pAddress[1], pAddress[2], pAddress[3]});
    if (route == m_routes.end())
        return std::nullopt;
    return m_running.at(route->second)->client;
}

void CSessionEngine::Advance(TimeMs now) {
    for (;;) {
        ExchangeId due = 0;
        TimeMs tEarliest = 0;
        for (const auto& [id, x] : m_running) {
            if (x->tDeadline <= now && (due == 0 || x->tDeadline < tEarliest)) {
                due = id;
                tEarliest = x->tDeadline;
            }
        }
        if (due == 0)
            break;
        OnDeadline(*m_running.at(due), now);
    }
    Pump(now);
}

void CSessionEngine::OnDeadline(SExchange& x, TimeMs now) {
    switch (x.ePhase) {
    case SExchange::EPhase::Reading:
        if (!x.gathered.Complete() && x.nAttempts < TimingOf(x).nReadAttempts)
            SendQuery(x, now);
        else
            EndRead(x, now);
        return;
    case SExchange::EPhase::Probing:
        if (x.nProbes < TimingOf(x).nReadAttempts)
            SendProbe(x, now);
        else
            PrepareThenSend(x, now);
        return;
    case SExchange::EPhase::Sending:
        SendStep(x, now);
        return;
    case SExchange::EPhase::ReadBack:
        EndReadBack(x);
        return;
    case SExchange::EPhase::Waiting:
    case SExchange::EPhase::Preparing:
        return;
    }
}

void CSessionEngine::EndRead(SExchange& x, TimeMs now) {
    if (x.bWrite) {
        if (!x.gathered.Complete() && !x.request.bAllowIncompleteRead) {
            // Nothing is written over settings that were not read in full:
            // they could not be backed up, nor kept where the write leaves them.
            x.result.present = x.gathered;
            FinishWrite(x, EWriteOutcome::NotSent,
                        x.gathered.Any() ? EWriteStop::ReadIncomplete : EWriteStop::NoAnswer);
            return;
        }
        BeginSet(x, now);
        return;
    }
    const ExchangeId id = x.id;
    ISessionObserver& observer = ObserverOf(x);
    const SReadResult result = x.gathered;
    Finish(id);
    observer.OnReadDone(id, result);
}

void CSessionEngine::EndReadBack(SExchange& x) {
    x.result.readBack = x.gathered;
    if (!x.gathered.Any()) {
        FinishWrite(x, EWriteOutcome::NoReadBack);
        return;
    }
    x.result.fields = CompareFields(x.result.sent, x.gathered);
    FinishWrite(x, AllEqual(x.result.fields) ? EWriteOutcome::Confirmed : EWriteOutcome::Different);
}

void CSessionEngine::FinishWrite(SExchange& x, EWriteOutcome eOutcome, EWriteStop eStop,
                                 std::string strRefusal) {
    x.result.eOutcome = eOutcome;
    x.result.eStop = eStop;
    x.result.strRefusal = std::move(strRefusal);
    const ExchangeId id = x.id;
    ISessionObserver& observer = ObserverOf(x);
    const SWriteResult result = std::move(x.result);
    Finish(id);
    observer.OnWriteDone(id, result);
}

void CSessionEngine::Finish(ExchangeId id) {
    auto it = m_running.find(id);
    if (it == m_running.end())
        return;
    SExchange& x = *it->second;
    Unroute(x);
    for (const codec::Ip4& a : x.addresses)
        m_busy.erase(a);
    --ClientOf(x).nRunning;
    m_running.erase(it);
}

std::optional<TimeMs> CSessionEngine::NextDeadline() const {
    std::optional<TimeMs> next;
    for (const auto& [id, x] : m_running)
        if (x->ePhase != SExchange::EPhase::Preparing && (!next || x->tDeadline < *next))
            next = x->tDeadline;
    // A paced client's next start, when it has a place and something that may start.
    for (const auto& x : m_waiting) {
        const SClient& client = m_clients.at(x->client);
        if (StartInterval(client.timing) <= 0 ||
            client.nRunning >= static_cast<std::size_t>(client.timing.nMaxRunning) || !AddressesFree(*x))
            continue;
        const TimeMs tStart = static_cast<TimeMs>(std::ceil(client.dNextStart));
        if (!next || tStart < *next)
            next = tStart;
    }
    return next;
}

std::size_t CSessionEngine::CancelNotStarted(ClientId client) {
    const auto found = m_clients.find(client);
    if (found == m_clients.end())
        return 0;
    ISessionObserver& observer = *found->second.pObserver;
    std::vector<ExchangeId> ended;
    for (const auto& x : m_waiting)
        if (x->client == client)
            ended.push_back(x->id);
    std::erase_if(m_waiting, [&](const std::unique_ptr<SExchange>& x) { return x->client == client; });
    std::vector<ExchangeId> reading;
    for (const auto& [id, x] : m_running)
        if (x->client == client && x->bWrite && !x->result.bSetStarted)
            reading.push_back(id);
    for (ExchangeId id : reading) {
        Finish(id);
        ended.push_back(id);
    }
    for (ExchangeId id : ended)
        observer.OnNotRun(id);
    return ended.size();
}

void CSessionEngine::EndReadBackNow(ExchangeId id) {
    auto it = m_running.find(id);
    if (it != m_running.end() && it->second->ePhase == SExchange::EPhase::ReadBack)
        EndReadBack(*it->second);
}

void CSessionEngine::Cancel(ExchangeId id) {
    auto waiting = std::find_if(m_waiting.begin(), m_waiting.end(),
                                [&](const std::unique_ptr<SExchange>& x) { return x->id == id; });
    if (waiting != m_waiting.end())
        m_waiting.erase(waiting);
    Finish(id);
}

void CSessionEngine::CancelAll() {
    m_waiting.clear();
    m_running.clear();
    m_routes.clear();
    m_busy.clear();
    for (auto& [id, client] : m_clients)
        client.nRunning = 0;
}

bool CSessionEngine::SetStarted(ExchangeId id) const {
    auto it = m_running.find(id);
    return it != m_running.end() && it->second->result.bSetStarted;
}

} // namespace session
