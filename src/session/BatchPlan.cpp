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

bool PlanFromRows(const std::vector<std::vector<std::string>>& rows, SPlanTable& out, SPlanFileError& error) {
    if (rows.empty()) {
        error = {EPlanFileError::Empty, {}};
        return false;
    }
    const std::vector<std::string>& header = rows[0];
    std::set<std::string> seen;
    for (const std::string& name : header) {
        if (std::find(kPlanColumns.begin(), kPlanColumns.end(), name) == kPlanColumns.end()) {
            error = {EPlanFileError::UnknownColumn, name};
            return false;
        }
        if (!seen.insert(name).second) {
            error = {EPlanFileError::DuplicateColumn, name};
            return false;
        }
    }
    if (!seen.count("address")) {
        error = {EPlanFileError::NoAddressColumn, {}};
        return false;
    }
    SPlanTable plan;
    plan.bHasRoom = seen.count("room") != 0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        SPlanRow row;
        row.nLine = r + 1;
        for (std::size_t c = 0; c < header.size(); ++c)
            row.cells[header[c]] = c < rows[r].size() ? rows[r][c] : std::string();
        row.strText = CsvLine(rows[r]);
        row.strText.pop_back();
        plan.rows.push_back(std::move(row));
    }
    out = std::move(plan);
    return true;
}

bool ReadPlanFile(const std::string& strPath, SPlanTable& out, SPlanFileError& error) {
    std::vector<std::vector<std::string>> rows;
    std::string strWhy;
    if (!ReadCsvFile(strPath, rows, strWhy)) {
        error = {EPlanFileError::Unreadable, strWhy};
        return false;
    }
    return PlanFromRows(rows, out, error);
}

bool ReadResultsFile(const std::string& strPath, EarlierResults& earlier, SPlanFileError& error) {
    std::vector<std::vector<std::string>> rows;
    std::string strWhy;
    if (!ReadCsvFile(strPath, rows, strWhy)) {
        error = {EPlanFileError::Unreadable, strWhy};
        return false;
    }
    if (rows.empty() || rows[0] != kResultColumns) {
        error = {EPlanFileError::NotResults, {}};
        return false;
    }
    for (std::size_t r = 1; r < rows.size(); ++r) {
        if (rows[r].size() != kResultColumns.size()) {
            error = {EPlanFileError::ShortResultLine, std::to_string(r + 1)};
            return false;
        }
        earlier[rows[r][0]] = rows[r];
    }
    return true;
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

std::vector<SBatchRoom> RoomsFromPlan(const SPlanTable& plan, const std::filesystem::path& planFolder,
                                      const EarlierResults* pEarlier) {
    std::vector<SBatchRoom> rooms;
    for (const SPlanRow& planRow : plan.rows) {
        auto cell = [&](const char* column) {
            const auto it = planRow.cells.find(column);
            return it == planRow.cells.end() ? std::string() : it->second;
        };
        SBatchRoom room;
        room.nLine = planRow.nLine;
        room.strRowText = planRow.strText;
        room.strAddress = cell("address");
        room.strRoom = plan.bHasRoom && !cell("room").empty() ? cell("room") : room.strAddress;
        room.strKey = plan.bHasRoom ? room.strRoom : room.strAddress;
        room.bRun = true;
        if (pEarlier) {
            // A retry runs what failed or did not run, and what is new or
            // changed since; an ok row that is the same keeps its line.
            const auto it = pEarlier->find(room.strKey);
            if (it != pEarlier->end() && it->second[2] == "ok" && it->second[5] == room.strRowText) {
                room.bRun = false;
                room.kept = it->second;
                room.eOutcome = EBatchOutcome::Ok;
                room.ePhase = EBatchPhase::Done;
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
        std::string why;
        room.bPrepared = PrepareRoom(room.strAddress, room.strSnapshot, t, room.plan, why, &room.problem);
        if (!room.bPrepared && room.bRun) {
            room.eOutcome = EBatchOutcome::Failed;
            room.ePhase = EBatchPhase::Done;
            room.strDifferences = why;
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

std::vector<std::string> ResultLine(const SBatchRoom& r) {
    if (!r.bRun && !r.kept.empty())
        return r.kept;
    return {r.strRoom,           r.strAddress, OutcomeWord(r.eOutcome),      r.strDifferences,
            Seconds(r.dSeconds), r.strRowText, Utf8FromPath(r.notes->backup)};
}

std::string DifferencesText(const SWriteResult& r) {
    switch (r.eOutcome) {
    case EWriteOutcome::Confirmed:
        return {};
    case EWriteOutcome::Different:
        return DifferentFields(r.fields);
    case EWriteOutcome::NoReadBack:
        return "no reply after the Set";
    case EWriteOutcome::NotSent:
        break;
    }
    switch (r.eStop) {
    case EWriteStop::NoAnswer:
        return "no reply";
    case EWriteStop::ReadIncomplete:
        // The words earlier results files carried, which their readers know.
        return r.present.MissingText() + "，未发送设置";
    case EWriteStop::AddressTaken:
        return kAddressTakenText;
    case EWriteStop::AddressInUse:
        return "address in use by another exchange";
    case EWriteStop::Refused:
        return r.strRefusal;
    case EWriteStop::None:
        break;
    }
    return "not sent";
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
