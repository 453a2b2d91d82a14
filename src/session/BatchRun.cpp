#include "BatchRun.h"

#include "codec/Address.h"

namespace session {

void CBatchRun::Start(CSessionEngine& engine, ClientId client, std::shared_ptr<CHistory> history) {
    m_pEngine = &engine;
    m_nClient = client;
    m_pHistory = history;
    const TimeMs tStart = m_clock();
    for (std::size_t i = 0; i < m_rooms.size(); ++i) {
        SBatchRoom& room = m_rooms[i];
        if (!room.bRun)
            continue;
        ++m_nTotal;
        if (!room.bPrepared) {
            ++m_nDone;
            continue;
        }
        room.ePhase = EBatchPhase::Waiting;
        m_nQueuing = i;
        const ExchangeId id =
            engine.StartWrite(client, MakeWriteRequest(room.plan, history, room.notes, m_pfnSaveBackup), tStart);
        m_ids[id] = i;
    }
}

std::size_t CBatchRun::Stop() {
    return m_pEngine ? m_pEngine->CancelNotStarted(m_nClient) : 0;
}

void CBatchRun::StopNow(const std::string& strWhyFailed) {
    if (!m_pEngine)
        return;
    for (const auto& [id, nRoom] : m_ids) {
        SBatchRoom& room = m_rooms[nRoom];
        if (room.ePhase != EBatchPhase::Done && m_pEngine->SetStarted(id)) {
            room.eOutcome = EBatchOutcome::Failed;
            room.strDifferences = strWhyFailed;
        }
    }
    m_pEngine->RemoveClient(m_nClient);
    if (m_nClient == kFirstClient)
        m_pEngine->CancelAll();
}

void CBatchRun::BackupSaved(ExchangeId id, const std::string& strError, const std::filesystem::path& saved) {
    if (!m_pEngine || !m_ids.count(id))
        return;
    SBatchRoom& room = m_rooms[m_ids[id]];
    if (room.ePhase == EBatchPhase::Done)
        return;
    if (strError.empty())
        room.notes->backup = saved;
    m_pEngine->ResumeWrite(id, strError.empty() ? std::string() : strError + "; nothing was sent", m_clock());
}

std::size_t CBatchRun::Room(ExchangeId id) {
    auto it = m_ids.find(id);
    if (it == m_ids.end())
        it = m_ids.emplace(id, m_nQueuing).first;
    return it->second;
}

void CBatchRun::OnStarted(ExchangeId id) {
    const std::size_t n = Room(id);
    // The room's time runs from its first start, a second look at its new address included.
    if (!m_rooms[n].bTriedMoved)
        m_rooms[n].tStarted = m_clock();
    m_rooms[n].ePhase = EBatchPhase::Reading;
    if (m_pfnRoomChanged)
        m_pfnRoomChanged(n);
}

// The room is written down as under way before its first setting datagram
// leaves, so a run killed at any moment after never calls it not run.
void CBatchRun::OnSetStarting(ExchangeId id) {
    const std::size_t n = Room(id);
    m_rooms[n].ePhase = EBatchPhase::Setting;
    if (m_pfnRoomChanged)
        m_pfnRoomChanged(n);
}

void CBatchRun::OnSetStep(ExchangeId id, int nSent) {
    const std::size_t n = Room(id);
    if (nSent != 1 || m_rooms[n].ePhase == EBatchPhase::Setting)
        return;
    m_rooms[n].ePhase = EBatchPhase::Setting;
    if (m_pfnRoomChanged)
        m_pfnRoomChanged(n);
}

void CBatchRun::OnWriteDone(ExchangeId id, const SWriteResult& r) {
    const std::size_t n = Room(id);
    SBatchRoom& room = m_rooms[n];
    const std::optional<codec::Ip4> to = PlannedAddress(room.plan);
    if (to && m_pEngine && !room.bTriedMoved && r.eOutcome == EWriteOutcome::NotSent &&
        r.eStop == EWriteStop::NoAnswer) {
        // Written there it does not move again: the new address is its address.
        SRoomPlan moved = room.plan;
        moved.address = *to;
        room.bTriedMoved = true;
        m_ids.erase(id);
        m_nQueuing = n;
        const ExchangeId next = m_pEngine->StartWrite(
            m_nClient, MakeWriteRequest(moved, m_pHistory, room.notes, m_pfnSaveBackup), m_clock());
        m_ids[next] = n;
        return;
    }
    // Silent at both addresses, it is the room that did not answer.
    if (room.bTriedMoved && r.eStop != EWriteStop::NoAnswer)
        room.strMovedTo = codec::BytesToAddress(*to);
    room.eOutcome = r.eOutcome == EWriteOutcome::Confirmed ? EBatchOutcome::Ok : EBatchOutcome::Failed;
    room.dSeconds = double(m_clock() - room.tStarted) / 1000.0;
    room.ePhase = EBatchPhase::Done;
    room.result = r;
    ++m_nDone;
    if (m_pfnRoomEnded)
        m_pfnRoomEnded(n);
}

void CBatchRun::OnNotRun(ExchangeId id) {
    const std::size_t n = Room(id);
    m_rooms[n].eOutcome = EBatchOutcome::NotRun;
    m_rooms[n].ePhase = EBatchPhase::Done;
    ++m_nDone;
    if (m_pfnRoomEnded)
        m_pfnRoomEnded(n);
}

} // namespace session
