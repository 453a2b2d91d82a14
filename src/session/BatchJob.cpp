#include "BatchJob.h"

#include "FileSystem.h"
#include "Utf8Path.h"

#include <algorithm>
#include <set>

namespace session {

void CBatchJob::Prepare(const SPlanTable& plan, const std::filesystem::path& planFolder,
                        const EarlierResults* pEarlier) {
    m_rooms = RoomsFromPlan(plan, planFolder, pEarlier);
    m_planProblems = CheckAddresses(m_rooms);
}

CBatchJob::EPrepare CBatchJob::PrepareRetry(const SPlanTable& plan, const std::filesystem::path& planFolder) {
    EarlierResults earlier;
    for (const SBatchRoom& room : m_rooms)
        earlier.push_back(ResultLine(room));
    std::vector<SBatchRoom> rooms = RoomsFromPlan(plan, planFolder, &earlier);
    if (std::none_of(rooms.begin(), rooms.end(), [](const SBatchRoom& r) { return r.bRun; }))
        return EPrepare::NothingToRetry;
    // A room the retry leaves alone keeps what its last run read back, for its per-field result.
    for (std::size_t i = 0; i < rooms.size() && i < m_rooms.size(); ++i)
        if (!rooms[i].bRun && m_rooms[i].result) {
            rooms[i].result = m_rooms[i].result;
            rooms[i].dSeconds = m_rooms[i].dSeconds;
        }
    m_rooms = std::move(rooms);
    m_planProblems = CheckAddresses(m_rooms);
    return EPrepare::Ready;
}

std::vector<std::string> CBatchJob::Inputs(const std::string& strPlan) const {
    std::vector<std::string> inputs{strPlan};
    for (const SBatchRoom& room : m_rooms)
        if (!room.strSnapshot.empty())
            inputs.push_back(room.strSnapshot);
    return inputs;
}

bool CBatchJob::ResultsOfThisPlan(const std::filesystem::path& path) const {
    if (!base::IsExistingFile(path))
        return true;
    EarlierResults earlier;
    SPlanFileError error;
    if (!ReadResultsFile(Utf8FromPath(path), earlier, error))
        return false;
    // A line names its plan row by the row's own text (column plan_row).
    std::set<std::string> rows;
    for (const SBatchRoom& room : m_rooms)
        rows.insert(room.strRowText);
    return std::all_of(earlier.begin(), earlier.end(), [&rows](const std::vector<std::string>& line) {
        return line.size() > 5 && rows.count(line[5]) > 0;
    });
}

bool CBatchJob::CreateResults(const std::filesystem::path& path, DifferencesWordsFn words) {
    // The results file this run replaces keeps the ok lines of rooms it sends nothing to.
    EarlierResults previous;
    SPlanFileError ignored;
    if (ReadResultsFile(Utf8FromPath(path), previous, ignored))
        KeepOkLines(m_rooms, previous);
    m_pResults = std::make_unique<CBatchResults>(path, m_rooms, std::move(words));
    if (!m_pResults->Write()) {
        m_strCreateError = m_pResults->Error();
        m_createCause = m_pResults->Cause();
        m_pResults.reset();
        return false;
    }
    m_bResultsFailed = false;
    m_bStopped = false;
    m_bOver = false;
    m_pRun = std::make_unique<CBatchRun>(m_rooms, m_clock);
    m_pRun->m_pfnRoomChanged = [this](std::size_t nRoom) { RoomChanged(nRoom, false); };
    m_pRun->m_pfnRoomEnded = [this](std::size_t nRoom) { RoomChanged(nRoom, true); };
    m_pRun->m_pfnSaveBackup = m_pfnSaveBackup;
    return true;
}

void CBatchJob::AddDiagnosisColumn() {
    if (m_pResults)
        m_pResults->AddDiagnosisColumn();
}

void CBatchJob::RoomChanged(std::size_t nRoom, bool bEnded) {
    if (m_pfnRoomChanged)
        m_pfnRoomChanged(nRoom);
    // From its first setting datagram a room's line says its Set is under
    // way, so a run killed then never calls it not run.
    if ((bEnded || m_rooms[nRoom].ePhase == EBatchPhase::Setting) && m_pfnResultsDue)
        m_pfnResultsDue();
}

void CBatchJob::Start(CSessionEngine& engine, ClientId client, std::shared_ptr<CHistory> history) {
    m_tStart = m_clock();
    m_nEndedAtStart =
        static_cast<std::size_t>(std::count_if(m_rooms.begin(), m_rooms.end(), [](const auto& r) {
            return !r.bRun || r.ePhase == EBatchPhase::Done;
        }));
    m_pRun->Start(engine, client, std::move(history));
}

void CBatchJob::Stop() {
    if (!m_pRun || m_bStopped)
        return;
    m_bStopped = true;
    m_pRun->Stop();
}

void CBatchJob::StopNow(const std::string& strWhyFailed) {
    if (m_pRun)
        m_pRun->StopNow(strWhyFailed);
}

void CBatchJob::BackupSaved(ExchangeId id, const std::string& strError, const std::filesystem::path& saved) {
    if (m_pRun)
        m_pRun->BackupSaved(id, strError, saved);
}

CBatchJob::EWrite CBatchJob::WriteResults(bool bFinal) {
    if (!m_pResults)
        return EWrite::Written;
    m_bOver = m_bOver || bFinal;
    if (m_pResults->Write(bFinal))
        return EWrite::Written;
    const bool bFirst = !m_bResultsFailed;
    m_bResultsFailed = true;
    return bFirst ? EWrite::Failed : EWrite::FailedAgain;
}

SBatchCounts CBatchJob::Counts() const {
    SBatchCounts c;
    c.nRooms = m_rooms.size();
    for (const SBatchRoom& r : m_rooms) {
        c.nKept += !r.bRun;
        if (!m_bOver && r.ePhase != EBatchPhase::Done && r.bRun)
            continue;
        ++c.nEnded;
        (r.eOutcome == EBatchOutcome::Ok       ? c.nOk
         : r.eOutcome == EBatchOutcome::Failed ? c.nFailed
                                               : c.nNotRun)++;
    }
    const std::size_t nEndedNow = c.nEnded - std::min(c.nEnded, m_nEndedAtStart);
    const std::size_t nLeft = c.nRooms - c.nEnded;
    if (nEndedNow > 0 && nLeft > 0)
        c.dSecondsLeft = static_cast<double>(m_clock() - m_tStart) / 1000.0 / static_cast<double>(nEndedNow) *
                         static_cast<double>(nLeft);
    return c;
}

} // namespace session
