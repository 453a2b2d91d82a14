#include "BatchCheck.h"

#include "codec/Address.h"

namespace session {

void CBatchCheck::Start(CSessionEngine& engine, ClientId client, TimeMs now) {
    m_ids.assign(m_rooms.size(), {});
    for (std::size_t i = 0; i < m_rooms.size(); ++i) {
        const SBatchRoom& room = m_rooms[i];
        if (!room.bRun || !room.bPrepared)
            continue;
        ++m_nTotal;
        m_ids[i].first = engine.StartRead(client, room.plan.address, now);
        if (const auto to = PlannedAddress(room.plan)) {
            ++m_nTotal;
            m_ids[i].second = engine.StartRead(client, *to, now);
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
            check.bUnusable = true;
            continue;
        }
        auto read = [&](ExchangeId id) {
            const auto it = m_reads.find(id);
            return it == m_reads.end() ? SReadResult{} : it->second;
        };
        const SReadResult here = i < m_ids.size() ? read(m_ids[i].first) : SReadResult{};
        const SReadResult there = i < m_ids.size() && m_ids[i].second ? read(m_ids[i].second) : SReadResult{};
        // Silent where the plan says it is but answering where it is to go:
        // an earlier run of the plan moved it, and it is judged there.
        SRoomPlan plan = room.plan;
        if (!here.Any() && there.Any()) {
            plan.address = *PlannedAddress(room.plan);
            check.strAlreadyAt = codec::BytesToAddress(plan.address);
        }
        const SReadResult& present = check.strAlreadyAt.empty() ? here : there;
        if (!present.Complete()) {
            check.bNoReply = !present.Any();
            if (present.Any())
                check.missing = present.MissingParts();
        }
        const SControllerSettings planned = PlannedSettings(plan, present);
        check.issues = PlanIssues(plan, present, planned);
        check.bAddressTaken = check.strAlreadyAt.empty() && there.Any();
        if (present.Any())
            for (const SFieldResult& f : CompareFields(planned, present))
                if (!f.bEqual && f.strRead != kNotReceivedText)
                    check.changes.push_back(f);
    }
    return checks;
}

} // namespace session
