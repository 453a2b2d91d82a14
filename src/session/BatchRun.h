#pragma once

// A batch run: the rooms of a plan written in parallel over one engine,
// each read and backed up first, written and read back on its own. The
// run is the engine's observer: its owner makes the engine with it, starts
// it, then drives the engine (datagrams in, Advance at its deadlines) and
// is told as each room moves on or ends.

#include "BatchPlan.h"
#include "History.h"
#include "SessionEngine.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace session {

class CBatchRun : public ISessionObserver {
public:
    using ClockFn = std::function<TimeMs()>;
    // Told with the room's index when it starts, starts its Set, or ends.
    using RoomFn = std::function<void(std::size_t nRoom)>;

    CBatchRun(std::vector<SBatchRoom>& rooms, ClockFn clock) : m_rooms(rooms), m_clock(std::move(clock)) {}

    // Queues a write for every room of the run (bRun) whose row was usable;
    // the others count as done at once. Backups go into `history`. A room
    // that is to move and does not answer where it is, is looked for at its
    // new address: answering there, it was moved by an earlier run of the
    // plan and is read, backed up and written there.
    // The rooms' exchanges belong to `client` of the engine.
    void Start(CSessionEngine& engine, std::shared_ptr<CHistory> history) {
        Start(engine, kFirstClient, std::move(history));
    }
    void Start(CSessionEngine& engine, ClientId client, std::shared_ptr<CHistory> history);
    // Rooms whose Set has not started end as not run; Sets under way finish.
    std::size_t Stop();
    // Everything ends at once: a room in the middle of its Set is failed
    // (its settings are unknown), the others not run.
    void StopNow(const std::string& strWhyFailed);

    std::size_t Total() const { return m_nTotal; }
    std::size_t Done() const { return m_nDone; }
    bool Finished() const { return m_nDone >= m_nTotal; }

    RoomFn m_pfnRoomChanged; // a room started reading or its Set
    RoomFn m_pfnRoomEnded;   // a room ended (its outcome is final)
    // Set before Start to save the rooms' backups elsewhere (side by side
    // on worker threads) instead of one after another inside the engine's
    // call; each room's Set still waits until BackupSaved says it is on disk.
    SaveBackupFn m_pfnSaveBackup;

    // A backup handed to m_pfnSaveBackup is on disk (strError empty) or
    // failed (its room ends with nothing sent). Nothing happens for a write
    // ended meanwhile.
    void BackupSaved(ExchangeId id, const std::string& strError, const std::filesystem::path& saved);

    void OnStarted(ExchangeId id) override;
    void OnSetStarting(ExchangeId id) override;
    void OnSetStep(ExchangeId id, int nSent) override;
    void OnWriteDone(ExchangeId id, const SWriteResult& r) override;
    void OnNotRun(ExchangeId id) override;

private:
    std::size_t Room(ExchangeId id);

    std::vector<SBatchRoom>& m_rooms;
    ClockFn m_clock;
    CSessionEngine* m_pEngine = nullptr;
    ClientId m_nClient = kFirstClient;
    std::shared_ptr<CHistory> m_pHistory;
    std::map<ExchangeId, std::size_t> m_ids;
    std::size_t m_nTotal = 0, m_nDone = 0;
    // The room being queued: a write may start inside StartWrite, before its id is known.
    std::size_t m_nQueuing = 0;
};

} // namespace session
