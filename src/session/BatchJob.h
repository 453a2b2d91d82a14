#pragma once

// One batch run from its plan to its results file, the same for every face:
// the plan's rooms (a retry's from an earlier run), the address check of
// the plan, the files the results may not replace, the results file
// created before the first datagram and rewritten as rooms move on, and
// the counts of the whole plan. The face gathers the plan, asks the person
// what only a person decides, drives the engine with the job's observer
// and words what the job returns; the job returns codes and values only.

#include "BatchCheck.h"
#include "BatchPlan.h"
#include "BatchResults.h"
#include "BatchRun.h"
#include "History.h"
#include "SessionEngine.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace session {

// Where a run stands over the whole plan. A retry's rooms that ended ok
// before (nKept) count as ended and ok.
struct SBatchCounts {
    std::size_t nRooms = 0;
    std::size_t nEnded = 0;
    std::size_t nOk = 0, nFailed = 0, nNotRun = 0; // of the ended rooms
    std::size_t nKept = 0;
    // The time the rooms not yet ended will take at the pace of the rooms
    // this run has ended; none before the first of them or after the last.
    std::optional<double> dSecondsLeft;
};

class CBatchJob {
public:
    using ClockFn = std::function<TimeMs()>;
    using RoomFn = CBatchRun::RoomFn;
    enum class EPrepare { Ready, NothingToRetry };
    enum class EWrite { Written, Failed, FailedAgain }; // FailedAgain: a failure already told

    // The job works on `rooms`, which the face shows.
    CBatchJob(std::vector<SBatchRoom>& rooms, ClockFn clock) : m_rooms(rooms), m_clock(std::move(clock)) {}

    // The plan's rooms; a relative snapshot path is taken from planFolder.
    // With pEarlier (an earlier results file) only the rows that did not
    // end ok there, and the new or changed ones, are run.
    void Prepare(const SPlanTable& plan, const std::filesystem::path& planFolder,
                 const EarlierResults* pEarlier = nullptr);
    // A retry of the rooms of the last run: the rows that did not end ok
    // in it, and the new or changed ones, run; a room left alone keeps what
    // its last run read back. Nothing to run leaves the rooms as they are.
    EPrepare PrepareRetry(const SPlanTable& plan, const std::filesystem::path& planFolder);
    // The plan's problems as a whole (two rooms on one address, ...): with
    // any, nothing may be sent.
    const std::vector<SPlanProblem>& PlanProblems() const { return m_planProblems; }
    // The files the run reads and its results may not replace: the plan
    // (when it has a file) and every snapshot a room names.
    std::vector<std::string> Inputs(const std::string& strPlan) const;
    // Whether the file is absent or every line of it is a room of this plan
    // (an earlier run of it); else it holds another plan's results.
    bool ResultsOfThisPlan(const std::filesystem::path& path) const;

    // A new check of the prepared rooms: each is read and its new address
    // queried, nothing is sent. The face gives it to the engine as an
    // observer and starts it; it lives until the next check.
    CBatchCheck& NewCheck() {
        m_pCheck = std::make_unique<CBatchCheck>(m_rooms);
        return *m_pCheck;
    }
    // What the last check found, once the engine is idle (one entry per room).
    std::vector<SRoomCheck> CheckResults() const {
        return m_pCheck ? m_pCheck->Results(m_planProblems) : std::vector<SRoomCheck>(m_rooms.size());
    }

    // Creates the results file before anything is sent, keeping the ok
    // lines of the file it replaces for the rooms it sends nothing to; false
    // with ResultsError() when it cannot be written. words: the face's text
    // of the differences column (default: the command line's).
    bool CreateResults(const std::filesystem::path& path, DifferencesWordsFn words = {});
    bool HasResults() const { return m_pResults != nullptr; }
    // From now on the results file has the diagnosis column.
    void AddDiagnosisColumn();
    // The observer the face gives the engine, once the results exist.
    ISessionObserver& Observer() { return *m_pRun; }
    // Queues the rooms' writes as `client` of the engine, backups into `history`.
    void Start(CSessionEngine& engine, ClientId client, std::shared_ptr<CHistory> history);
    // Rooms whose Set has not started end as not run; Sets under way finish.
    void Stop();
    bool Stopped() const { return m_bStopped; }
    // Everything ends at once: a room in its Set fails with strWhyFailed.
    void StopNow(const std::string& strWhyFailed);

    // Told as a room moves on or ends (the face shows it).
    RoomFn m_pfnRoomChanged;
    // The results file no longer says what the rooms are: a room ended, or
    // its Set is starting (its line must say so before the first setting
    // datagram leaves). The face writes at once or soon after, not later
    // than the end of the engine's turn.
    std::function<void()> m_pfnResultsDue;
    // Set before CreateResults to save backups elsewhere (worker threads);
    // each room's Set waits until BackupSaved.
    SaveBackupFn m_pfnSaveBackup;
    void BackupSaved(ExchangeId id, const std::string& strError, const std::filesystem::path& saved);

    // Writes every room's line (bFinal: on disk before this returns, and the
    // run is over: rooms a stop left behind count by their outcome). Only
    // the first failure is Failed, so a face tells it once.
    EWrite WriteResults(bool bFinal = false);
    // Whether any write of this run failed, and the file layer's reason of the last.
    bool ResultsFailed() const { return m_bResultsFailed; }
    std::string ResultsError() const { return m_pResults ? m_pResults->Error() : m_strCreateError; }
    base::SFileError ResultsCause() const { return m_pResults ? m_pResults->Cause() : m_createCause; }

    SBatchCounts Counts() const;

private:
    void RoomChanged(std::size_t nRoom, bool bEnded);

    std::vector<SBatchRoom>& m_rooms;
    ClockFn m_clock;
    std::vector<SPlanProblem> m_planProblems;
    std::unique_ptr<CBatchResults> m_pResults;
    std::string m_strCreateError; // why the last results file could not be created
    base::SFileError m_createCause;
    std::unique_ptr<CBatchRun> m_pRun;
    std::unique_ptr<CBatchCheck> m_pCheck;
    TimeMs m_tStart = 0;
    std::size_t m_nEndedAtStart = 0;
    bool m_bResultsFailed = false;
    bool m_bStopped = false;
    bool m_bOver = false;
};

} // namespace session
