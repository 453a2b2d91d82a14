#pragma once

// The check of a batch before anything is sent: every room is read, and
// the address it is to move to is queried, so each room shows what would
// change (now → planned) and every reason it could not be written. No
// setting datagram goes out.

#include "BatchPlan.h"
#include "SessionEngine.h"

#include <map>
#include <string>
#include <vector>

namespace session {

// What the check found for one room.
struct SRoomCheck {
    std::vector<SPlanProblem> planProblems; // those of this room's line
    bool bUnusable = false;                 // the row itself was refused (the room's problem says why)
    bool bNoReply = false;                  // the controller did not answer
    std::vector<EReplyPart> missing;        // the parts of its settings that did not come, when some did
    std::vector<SSettingIssue> issues;      // rules the planned settings break
    bool bAddressTaken = false;             // another controller answers at the new address
    std::string strAlreadyAt;               // silent where it is, it answers at its new address: that address
    std::vector<SFieldResult> changes;      // fields that would change: read = now, sent = planned

    bool Writable() const {
        return planProblems.empty() && !bUnusable && !bNoReply && missing.empty() && issues.empty() &&
               !bAddressTaken;
    }
};

class CBatchCheck : public ISessionObserver {
public:
    explicit CBatchCheck(const std::vector<SBatchRoom>& rooms) : m_rooms(rooms) {}

    // Queues the reads of every room of the run whose row was usable.
    void Start(CSessionEngine& engine, TimeMs now) { Start(engine, kFirstClient, now); }
    // The reads belong to `client` of the engine.
    void Start(CSessionEngine& engine, ClientId client, TimeMs now);
    std::size_t Total() const { return m_nTotal; }
    std::size_t Done() const { return m_nDone; }
    bool Finished() const { return m_nDone >= m_nTotal; }

    // One entry per room (rooms not in the run get an empty one), once the
    // engine is idle.
    std::vector<SRoomCheck> Results(const std::vector<SPlanProblem>& planProblems) const;

    void OnReadDone(ExchangeId id, const SReadResult& r) override;
    void OnNotRun(ExchangeId id) override;

private:
    const std::vector<SBatchRoom>& m_rooms;
    std::vector<std::pair<ExchangeId, ExchangeId>> m_ids; // per room: its read, the read of its new address
    std::map<ExchangeId, SReadResult> m_reads;
    std::size_t m_nTotal = 0, m_nDone = 0;
};

} // namespace session
