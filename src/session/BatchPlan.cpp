#include "BatchPlan.h"

#include "Csv.h"
#include "Utf8Path.h"
#include "codec/AddressRange.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace session {

const std::vector<std::string> kPlanColumns{"room",      "address", "snapshot",   "controller_ip",
                                            "server_ip", "mask",    "gateway",    "lock_type",
                                            "lock_time", "one_key", "projector1", "projector2"};

const std::vector<std::string> kResultColumns{"room",    "address",  "outcome", "differences",
                                              "seconds", "plan_row", "backup"};

const std::vector<std::string> kPlanColumnLabels{"房间",       "现地址",   "配置文件", "新中控IP",
                                                 "服务器IP",   "子网掩码", "网关IP",   "电控锁类型",
                                                 "电控锁时间", "一键通",   "投影机1",  "投影机2"};

namespace {

// The file's records, or why they could not be read.
bool ReadCsv(const std::string& strPath, std::vector<std::vector<std::string>>& rows,
             std::vector<std::size_t>& lines, SPlanFileError& error) {
    std::size_t nUnterminated = 0;
    library::SLibraryError read;
    if (ReadCsvFile(strPath, rows, read, nUnterminated, &lines))
        return true;
    if (nUnterminated)
        error = {EPlanFileError::Unterminated, std::to_string(nUnterminated), {}};
    else
        error = {EPlanFileError::Unreadable, {}, read};
    return false;
}

std::string Trimmed(const std::string& text) {
    const auto nFirst = text.find_first_not_of(" \t");
    if (nFirst == std::string::npos)
        return {};
    return text.substr(nFirst, text.find_last_not_of(" \t") - nFirst + 1);
}

bool IsEmptyCell(const std::string& text) {
    return text.find_first_not_of(" \t") == std::string::npos;
}

// The plan column a header cell names, "" when none.
std::string ColumnOf(const std::string& strName) {
    for (std::size_t i = 0; i < kPlanColumns.size(); ++i)
        if (strName == kPlanColumns[i] || strName == kPlanColumnLabels[i])
            return kPlanColumns[i];
    return {};
}

// The earlier line that ran this row: the one at the row's own place first,
// then the first other one not yet taken; lines.size() for none.
std::size_t MatchLine(const std::string& strRowText, std::size_t nRow, const EarlierResults& lines,
                      std::vector<bool>& used) {
    auto sameRow = [&](std::size_t i) {
        return !used[i] && lines[i].size() >= kResultColumns.size() && lines[i][5] == strRowText;
    };
    if (nRow < lines.size() && sameRow(nRow))
        return nRow;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (sameRow(i))
            return i;
    return lines.size();
}

} // namespace

bool PlanFromRows(const std::vector<std::vector<std::string>>& rows, SPlanTable& out, SPlanFileError& error,
                  const std::vector<std::size_t>* pLines) {
    if (rows.empty()) {
        error = {EPlanFileError::Empty, {}, {}};
        return false;
    }
    const std::vector<std::string>& header = rows[0];
    // Each header cell's column, or "" for an unnamed one that no row fills.
    std::vector<std::string> columns;
    std::set<std::string> seen;
    for (std::size_t c = 0; c < header.size(); ++c) {
        const std::string strName = Trimmed(header[c]);
        if (strName.empty()) {
            for (std::size_t r = 1; r < rows.size(); ++r)
                if (c < rows[r].size() && !IsEmptyCell(rows[r][c])) {
                    error = {EPlanFileError::UnnamedColumn, std::to_string(c + 1), {}};
                    return false;
                }
            columns.emplace_back();
            continue;
        }
        const std::string strColumn = ColumnOf(strName);
        if (strColumn.empty()) {
            error = {EPlanFileError::UnknownColumn, strName, {}};
            return false;
        }
        if (!seen.insert(strColumn).second) {
            error = {EPlanFileError::DuplicateColumn, strName, {}};
            return false;
        }
        columns.push_back(strColumn);
    }
    if (!seen.count("address")) {
        error = {EPlanFileError::NoAddressColumn, {}, {}};
        return false;
    }
    SPlanTable plan;
    plan.bHasRoom = seen.count("room") != 0;
    plan.nColumns = header.size();
    for (std::size_t r = 1; r < rows.size(); ++r) {
        SPlanRow row;
        row.nLine = pLines && r < pLines->size() ? (*pLines)[r] : r + 1;
        std::vector<std::string> kept;
        for (std::size_t c = 0; c < header.size(); ++c) {
            if (columns[c].empty())
                continue;
            const std::string value = c < rows[r].size() ? rows[r][c] : std::string();
            row.cells[columns[c]] = value;
            kept.push_back(value);
        }
        for (std::size_t c = rows[r].size(); c > 0; --c)
            if (!IsEmptyCell(rows[r][c - 1])) {
                row.nCells = c;
                break;
            }
        // The row as it runs, without the padding: a sheet saved again with
        // other padding (or none) is still the same row.
        while (!kept.empty() && IsEmptyCell(kept.back()))
            kept.pop_back();
        row.strText = CsvLine(kept);
        row.strText.pop_back();
        plan.rows.push_back(std::move(row));
    }
    out = std::move(plan);
    return true;
}

bool ReadPlanFile(const std::string& strPath, SPlanTable& out, SPlanFileError& error) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::size_t> lines;
    if (!ReadCsv(strPath, rows, lines, error))
        return false;
    // Rows of only commas are padding, before the header as after it.
    std::vector<std::vector<std::string>> kept;
    std::vector<std::size_t> keptLines;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (std::all_of(rows[r].begin(), rows[r].end(), IsEmptyCell))
            continue;
        kept.push_back(std::move(rows[r]));
        keptLines.push_back(lines[r]);
    }
    return PlanFromRows(kept, out, error, &keptLines);
}

bool ReadResultsFile(const std::string& strPath, EarlierResults& earlier, SPlanFileError& error) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::size_t> lines;
    if (!ReadCsv(strPath, rows, lines, error))
        return false;
    std::vector<std::string> diagnosed = kResultColumns;
    diagnosed.push_back(kDiagnosisColumn);
    if (rows.empty() || (rows[0] != kResultColumns && rows[0] != diagnosed)) {
        error = {EPlanFileError::NotResults, {}, {}};
        return false;
    }
    for (std::size_t r = 1; r < rows.size(); ++r) {
        if (rows[r].size() != rows[0].size()) {
            error = {EPlanFileError::ShortResultLine, std::to_string(lines[r]), {}};
            return false;
        }
        earlier.push_back(rows[r]);
    }
    return true;
}

bool FailedWithoutReply(const SBatchRoom& room) {
    // Silent before anything was sent, or silent after its Set.
    return room.bRun && room.eOutcome == EBatchOutcome::Failed && room.result &&
           ((room.result->eOutcome == EWriteOutcome::NotSent && room.result->eStop == EWriteStop::NoAnswer) ||
            room.result->eOutcome == EWriteOutcome::NoReadBack);
}

const char* OutcomeWord(EBatchOutcome eOutcome) {
    switch (eOutcome) {
    case EBatchOutcome::Ok:
        return "ok";
    case EBatchOutcome::Failed:
        return "failed";
    case EBatchOutcome::NotRun:
        break;
    }
    return "not run";
}

std::vector<std::vector<std::string>> PlanRowsOf(const std::vector<PlanCells>& rows, const PlanCells& common,
                                                 const std::vector<std::size_t>& order) {
    std::vector<std::string> header{"room", "address", "controller_ip"};
    auto addColumn = [&header](const std::string& column) {
        if (std::find(header.begin(), header.end(), column) == header.end())
            header.push_back(column);
    };
    for (const PlanCells& row : rows)
        for (const auto& [column, value] : row)
            addColumn(column);
    for (const auto& [column, value] : common)
        addColumn(column);
    std::vector<std::vector<std::string>> out{header};
    for (const std::size_t nRow : order) {
        std::vector<std::string> line;
        for (const std::string& column : header) {
            const auto own = rows[nRow].find(column);
            std::string value = own == rows[nRow].end() ? std::string() : own->second;
            const auto shared = common.find(column);
            if (value.empty() && shared != common.end())
                value = shared->second;
            line.push_back(value);
        }
        out.push_back(std::move(line));
    }
    return out;
}

std::vector<SBatchRoom> RoomsFromPlan(const SPlanTable& plan, const std::filesystem::path& planFolder,
                                      const EarlierResults* pEarlier) {
    std::vector<SBatchRoom> rooms;
    // Earlier lines already taken by a row: two rows of one content each find their own.
    std::vector<bool> used(pEarlier ? pEarlier->size() : 0);
    for (std::size_t nRow = 0; nRow < plan.rows.size(); ++nRow) {
        const SPlanRow& planRow = plan.rows[nRow];
        auto cell = [&](const char* column) {
            const auto it = planRow.cells.find(column);
            return it == planRow.cells.end() ? std::string() : it->second;
        };
        SBatchRoom room;
        room.nLine = planRow.nLine;
        room.strRowText = planRow.strText;
        room.strAddress = cell("address");
        room.strRoom = plan.bHasRoom && !cell("room").empty() ? cell("room") : room.strAddress;
        room.bRun = true;
        if (pEarlier) {
            // A retry runs what failed or did not run, and what is new or
            // changed since; an ok row that is the same keeps its line.
            const std::vector<std::vector<std::string>>& lines = *pEarlier;
            const std::size_t nFound = MatchLine(room.strRowText, nRow, lines, used);
            if (nFound < lines.size()) {
                used[nFound] = true;
                if (lines[nFound][2] == "ok") {
                    room.bRun = false;
                    room.kept = lines[nFound];
                    room.eOutcome = EBatchOutcome::Ok;
                    room.ePhase = EBatchPhase::Done;
                }
            }
        }
        auto text = [&](const char* column) {
            const std::string value = cell(column);
            return value.empty() ? std::optional<std::string>() : value;
        };
        SOverrideTexts t{text("controller_ip"), text("server_ip"),  text("mask"),
                         text("gateway"),       text("lock_type"),  text("lock_time"),
                         text("one_key"),       text("projector1"), text("projector2")};
        room.strSnapshot = cell("snapshot");
        if (!room.strSnapshot.empty() && PathFromUtf8(room.strSnapshot).is_relative())
            room.strSnapshot = Utf8FromPath(planFolder / PathFromUtf8(room.strSnapshot));
        room.plan.strRoom = room.strRoom;
        if (plan.BeyondHeader(planRow)) {
            room.problem = {EValueProblem::TooManyCells,
                            {},
                            std::to_string(planRow.nCells),
                            std::to_string(plan.nColumns)};
            room.bPrepared = false;
        } else {
            room.bPrepared = PrepareRoom(room.strAddress, room.strSnapshot, t, room.plan, &room.problem);
        }
        if (!room.bPrepared && room.bRun) {
            room.eOutcome = EBatchOutcome::Failed;
            room.ePhase = EBatchPhase::Done;
        }
        rooms.push_back(std::move(room));
    }
    return rooms;
}

namespace {
std::string Seconds(double d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", d);
    return text;
}
} // namespace

void KeepOkLines(std::vector<SBatchRoom>& rooms, const EarlierResults& earlier) {
    std::vector<bool> used(earlier.size());
    for (std::size_t i = 0; i < rooms.size(); ++i) {
        const std::size_t nFound = MatchLine(rooms[i].strRowText, i, earlier, used);
        if (nFound == earlier.size())
            continue;
        used[nFound] = true;
        if (earlier[nFound][2] == "ok")
            rooms[i].okBefore = earlier[nFound];
    }
}

std::vector<std::string> ResultLine(const SBatchRoom& r, const DifferencesWordsFn& words) {
    if (!r.bRun && !r.kept.empty())
        return r.kept;
    // A room in the middle of its Set holds neither what it held nor what
    // was planned: it counts as failed until its read-back says otherwise.
    if (r.ePhase == EBatchPhase::Setting) {
        return {r.strRoom,
                r.strAddress,
                OutcomeWord(EBatchOutcome::Failed),
                words ? words(r) : std::string(),
                Seconds(r.dSeconds),
                r.strRowText,
                Utf8FromPath(r.notes->backup)};
    }
    if (r.eOutcome != EBatchOutcome::Ok && !r.okBefore.empty() && !(r.result && r.result->bSetStarted))
        return r.okBefore;
    return {
        r.strRoom,           r.strAddress, OutcomeWord(r.eOutcome),      words ? words(r) : r.strDifferences,
        Seconds(r.dSeconds), r.strRowText, Utf8FromPath(r.notes->backup)};
}

std::vector<std::string> FieldsToChange(const SWriteResult& r) {
    std::vector<std::string> fields;
    for (const SFieldResult& f : CompareFields(r.sent, r.present))
        if (!f.bEqual && f.strRead != kNotReceivedText)
            fields.push_back(f.strField);
    return fields;
}

std::vector<SPlanProblem> CheckAddresses(const std::vector<SBatchRoom>& rooms) {
    std::vector<SPlanProblem> problems;
    std::map<codec::Ip4, std::size_t> at, to;
    for (const SBatchRoom& r : rooms) {
        codec::Ip4 a{};
        if (!codec::ParseDottedQuad(r.strAddress, a))
            continue;
        const auto [it, bNew] = at.emplace(a, r.nLine);
        if (!bNew)
            problems.push_back({SPlanProblem::AddressTwice, r.nLine, it->second, r.strAddress});
    }
    for (const SBatchRoom& r : rooms) {
        if (!r.bPrepared)
            continue;
        const std::optional<codec::Ip4> planned = PlannedAddress(r.plan);
        if (!planned)
            continue;
        const std::string text = codec::BytesToAddress(*planned);
        const auto [it, bNew] = to.emplace(*planned, r.nLine);
        if (!bNew)
            problems.push_back({SPlanProblem::NewAddressTwice, r.nLine, it->second, text});
        const auto other = at.find(*planned);
        if (other != at.end() && other->second != r.nLine)
            problems.push_back({SPlanProblem::NewAddressIsOtherRow, r.nLine, other->second, text});
    }
    return problems;
}

} // namespace session
