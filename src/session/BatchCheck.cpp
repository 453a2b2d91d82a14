#include "BatchCheck.h"

namespace session {

void CBatchCheck::Start(CSessionEngine& engine, TimeMs now) {
    m_ids.assign(m_rooms.size(), {});
    for (std::size_t i = 0; i < m_rooms.size(); ++i) {
        const SBatchRoom& room = m_rooms[i];
        if (!room.bRun || !room.bPrepared)
            continue;
        ++m_nTotal;
        m_ids[i].first = engine.StartRead(room.plan.address, now);
        if (const auto to = PlannedAddress(room.plan)) {
            ++m_nTotal;
            m_ids[i].second = engine.StartRead(*to, now);
        }
    }
}

void CBatchCheck::OnReadDone(ExchangeId id, const SReadResult& r) {
    m_reads[id] = r;
    ++m_nDone;
}

void CBatchCheck::OnNotRun(ExchangeId) {
    ++m_nDone;
}

std::vector<SRoomCheck> CBatchCheck::Results(const std::vector<SPlanProblem>& planProblems) const {
    std::vector<SRoomCheck> checks(m_rooms.size());
    for (std::size_t i = 0; i < m_rooms.size(); ++i) {
        const SBatchRoom& room = m_rooms[i];
        if (!room.bRun)
            continue;
        SRoomCheck& check = checks[i];
        for (const SPlanProblem& p : planProblems)
            if (p.nLine == room.nLine)
                check.planProblems.push_back(p);
        if (!room.bPrepared) {
            check.strUnusable = room.strDifferences;
            continue;
        }
        auto read = [&](ExchangeId id) {
            const auto it = m_reads.find(id);
            return it == m_reads.end() ? SReadResult{} : it->second;
        };
        const SReadResult present = i < m_ids.size() ? read(m_ids[i].first) : SReadResult{};
        if (!present.Complete()) {
            check.bNoReply = !present.Any();
            if (present.Any())
                check.strMissing = present.MissingText();
        }
        const SControllerSettings planned = PlannedSettings(room.plan, present);
        check.issues = PlanIssues(room.plan, present, planned);
        check.bAddressTaken = i < m_ids.size() && m_ids[i].second && read(m_ids[i].second).Any();
        if (present.Any())
            for (const SFieldResult& f : CompareFields(planned, present))
                if (!f.bEqual && f.strRead != "(未收到)")
                    check.changes.push_back(f);
    }
    return checks;
}

} // namespace session
