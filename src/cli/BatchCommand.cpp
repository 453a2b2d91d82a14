// velmora-cli batch PLAN.csv: write many rooms in parallel, each backed up,
// written and read back on its own, with a results file.

#include "Commands.h"
#include "Csv.h"
#include "FileSystem.h"
#include "Interrupts.h"
#include "Output.h"
#include "RoomPlan.h"
#include "Runner.h"
#include "codec/AddressRange.h"

#include <cstdio>
#include <iostream>
#include <map>
#include <set>

namespace cli {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kColumns{"room",      "address", "snapshot",   "controller_ip",
                                        "server_ip", "mask",    "gateway",    "lock_type",
                                        "lock_time", "one_key", "projector1", "projector2"};

const std::vector<std::string> kResultColumns{"room",    "address",  "outcome", "differences",
                                              "seconds", "plan_row", "backup"};

struct SBatchArgs {
    std::string strPlan, strResults, strRetry;
    int nParallel = 16;
    bool bCheck = false;
    SCommonOptions common;
};

struct SRoom {
    std::string strRoom, strAddress;
    std::string strKey;     // how a later retry finds this row: its room, or its address
    std::string strRowText; // the row as written in the plan
    std::size_t nLine = 0;  // line of the plan (the header is line 1)
    std::string strOutcome = "not run";
    std::string strDifferences;
    double dSeconds = 0;
    bool bRun = false;      // part of this run
    bool bPrepared = false; // its row was usable
    SRoomPlan plan;
    std::shared_ptr<SWriteNotes> notes = std::make_shared<SWriteNotes>();
    std::vector<std::string> kept; // a row left out of a retry keeps its earlier line
    session::TimeMs tStarted = 0;
};

struct SPlanRow {
    std::size_t nLine = 0;
    std::map<std::string, std::string> cells;
    std::string strText;
};

// The plan's rows by column name; false with the reason for a bad header.
bool ReadPlan(const std::string& strPath, std::vector<SPlanRow>& out, bool& bHasRoom, std::string& error) {
    std::vector<std::vector<std::string>> rows;
    if (!ReadCsvFile(strPath, rows, error)) {
        error = strPath + ": " + error;
        return false;
    }
    if (rows.empty()) {
        error = strPath + ": the plan is empty";
        return false;
    }
    const std::vector<std::string>& header = rows[0];
    std::set<std::string> seen;
    for (const std::string& name : header) {
        if (std::find(kColumns.begin(), kColumns.end(), name) == kColumns.end()) {
            error = strPath + ": unknown column \"" + name + "\"";
            return false;
        }
        if (!seen.insert(name).second) {
            error = strPath + ": column \"" + name + "\" appears twice";
            return false;
        }
    }
    if (!seen.count("address")) {
        error = strPath + ": the plan needs an \"address\" column";
        return false;
    }
    bHasRoom = seen.count("room") != 0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        SPlanRow row;
        row.nLine = r + 1;
        for (std::size_t c = 0; c < header.size(); ++c)
            row.cells[header[c]] = c < rows[r].size() ? rows[r][c] : std::string();
        row.strText = CsvLine(rows[r]);
        row.strText.pop_back();
        out.push_back(std::move(row));
    }
    return true;
}

// An earlier results file: its lines by key (room, or address without a room column).
bool ReadRetry(const std::string& strPath, std::map<std::string, std::vector<std::string>>& earlier,
               std::string& error) {
    std::vector<std::vector<std::string>> rows;
    if (!ReadCsvFile(strPath, rows, error)) {
        error = strPath + ": " + error;
        return false;
    }
    if (rows.empty() || rows[0] != kResultColumns) {
        error = strPath + ": not a results file (header " + CsvLine(kResultColumns) + ")";
        error.pop_back();
        return false;
    }
    for (std::size_t r = 1; r < rows.size(); ++r) {
        if (rows[r].size() != kResultColumns.size()) {
            error = strPath + ": line " + std::to_string(r + 1) + " does not have " +
                    std::to_string(kResultColumns.size()) + " fields";
            return false;
        }
        earlier[rows[r][0]] = rows[r];
    }
    return true;
}

std::string Reason(const session::SWriteResult& r) {
    switch (r.eOutcome) {
    case session::EWriteOutcome::Confirmed:
        return {};
    case session::EWriteOutcome::Different:
        return session::DifferentFields(r.fields);
    case session::EWriteOutcome::NoReadBack:
        return "no reply after the Set";
    default:
        return r.strMessage == "该中控无信息返回！" ? "no reply" : r.strMessage;
    }
}

std::string Seconds(double d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", d);
    return text;
}

// The results file: created (and so found writable) before the first
// datagram, and replaced whole as each room ends, so it is a complete CSV at
// every moment. It starts with a byte-order mark, as the library export
// does, so a spreadsheet reads Chinese room names as UTF-8.
class CResultsFile {
public:
    CResultsFile(fs::path path, const std::vector<SRoom>& rooms) : m_path(std::move(path)), m_rooms(rooms) {}

    bool Write() {
        std::string text = "\xEF\xBB\xBF" + CsvLine(kResultColumns);
        for (const SRoom& r : m_rooms)
            text += CsvLine(r.bRun || r.kept.empty() ? Line(r) : r.kept);
        if (!base::WriteFileReplacing(m_path, text, false, m_strError))
            return Failed();
        m_strError.clear();
        return true;
    }

    static std::vector<std::string> Line(const SRoom& r) {
        return {r.strRoom,
                r.strAddress,
                r.strOutcome,
                r.strDifferences,
                Seconds(r.dSeconds),
                r.strRowText,
                Utf8FromPath(r.notes->backup)};
    }

    bool Ok() const { return m_strError.empty(); }
    const std::string& Error() const { return m_strError; }
    const fs::path& Path() const { return m_path; }

private:
    bool Failed() {
        if (!m_bTold)
            std::fprintf(stderr, "\nvelmora-cli: %s\n", m_strError.c_str());
        m_bTold = true;
        return false;
    }

    fs::path m_path;
    const std::vector<SRoom>& m_rooms;
    std::string m_strError;
    bool m_bTold = false;
};

class CBatchObserver : public session::ISessionObserver {
public:
    CBatchObserver(std::vector<SRoom>& rooms, CResultsFile& results) : m_rooms(rooms), m_results(results) {}
    void OnStarted(session::ExchangeId id) override { Room(id).tStarted = CRunner::Now(); }
    void OnWriteDone(session::ExchangeId id, const session::SWriteResult& r) override {
        SRoom& room = Room(id);
        room.strOutcome = r.eOutcome == session::EWriteOutcome::Confirmed ? "ok" : "failed";
        room.strDifferences = Reason(r);
        room.dSeconds = double(CRunner::Now() - room.tStarted) / 1000.0;
        ++nDone;
        m_results.Write();
    }
    void OnNotRun(session::ExchangeId id) override {
        Room(id).strOutcome = "not run";
        ++nDone;
        m_results.Write();
    }
    std::map<session::ExchangeId, std::size_t> rooms;
    std::size_t nDone = 0;
    // The room being queued: a write may start inside StartWrite, before its id is known.
    std::size_t nQueuing = 0;

private:
    SRoom& Room(session::ExchangeId id) {
        auto it = rooms.find(id);
        if (it == rooms.end())
            it = rooms.emplace(id, nQueuing).first;
        return m_rooms[it->second];
    }
    std::vector<SRoom>& m_rooms;
    CResultsFile& m_results;
};

void DrawProgress(std::size_t nDone, std::size_t nTotal, const std::vector<SRoom>& rooms) {
    std::size_t nOk = 0, nFailed = 0;
    for (const SRoom& r : rooms) {
        if (r.bRun && r.strOutcome == "ok")
            ++nOk;
        else if (r.bRun && r.strOutcome == "failed")
            ++nFailed;
    }
    const std::size_t nWidth = 30;
    const std::size_t nFilled = nTotal ? nDone * nWidth / nTotal : nWidth;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu rooms  ok %zu  failed %zu ", std::string(nFilled, '#').c_str(),
                 std::string(nWidth - nFilled, '.').c_str(), nDone, nTotal, nOk, nFailed);
    std::fflush(stderr);
}

// The plan as a whole, before anything is sent: no address twice, no new
// controller_ip twice, no room moving onto another row's address. Each
// problem names its line.
std::vector<std::string> CheckAddresses(const std::vector<SRoom>& rooms) {
    std::vector<std::string> problems;
    std::map<codec::Ip4, std::size_t> at, to;
    for (const SRoom& r : rooms) {
        codec::Ip4 a{};
        if (!codec::ParseDottedQuad(r.strAddress, a))
            continue;
        const auto [it, bNew] = at.emplace(a, r.nLine);
        if (!bNew)
            problems.push_back("line " + std::to_string(r.nLine) + ": address " + r.strAddress +
                               " is also on line " + std::to_string(it->second));
    }
    for (const SRoom& r : rooms) {
        if (!r.bPrepared)
            continue;
        const std::optional<codec::Ip4> planned = PlannedAddress(r.plan);
        if (!planned)
            continue;
        const std::string text = codec::BytesToAddress(*planned);
        const auto [it, bNew] = to.emplace(*planned, r.nLine);
        if (!bNew)
            problems.push_back("line " + std::to_string(r.nLine) + ": controller_ip " + text +
                               " is also planned on line " + std::to_string(it->second));
        const auto other = at.find(*planned);
        if (other != at.end() && other->second != r.nLine)
            problems.push_back("line " + std::to_string(r.nLine) + ": controller_ip " + text +
                               " is the address of line " + std::to_string(other->second));
    }
    return problems;
}

// Reads of --check: each room's present settings, and what answers at the
// address it is to move to.
class CCheckObserver : public session::ISessionObserver {
public:
    void OnReadDone(session::ExchangeId id, const session::SReadResult& r) override { reads[id] = r; }
    std::map<session::ExchangeId, session::SReadResult> reads;
};

int RunCheck(CRunner& runner, std::vector<SRoom>& rooms, const std::vector<std::string>& planProblems) {
    CCheckObserver observer;
    session::SSessionTiming timing;
    timing.nReadAttempts = 2;
    session::CSessionEngine& engine = runner.Engine(observer, timing);
    std::vector<std::pair<session::ExchangeId, session::ExchangeId>> ids(rooms.size());
    const session::TimeMs tStart = CRunner::Now();
    for (std::size_t i = 0; i < rooms.size(); ++i) {
        if (!rooms[i].bRun || !rooms[i].bPrepared)
            continue;
        ids[i].first = engine.StartRead(rooms[i].plan.address, tStart);
        if (const auto to = PlannedAddress(rooms[i].plan))
            ids[i].second = engine.StartRead(*to, tStart);
    }
    runner.Run();
    const bool bJson = runner.Options().bJson;
    nlohmann::json json = nlohmann::json::array();
    bool bAllWritable = true;
    for (const std::string& p : planProblems)
        if (!bJson)
            std::cout << "plan: " << p << "\n";
    for (std::size_t i = 0; i < rooms.size(); ++i) {
        SRoom& room = rooms[i];
        if (!room.bRun)
            continue;
        std::vector<std::string> problems;
        std::vector<session::SFieldResult> changes;
        const std::string strLine = "line " + std::to_string(room.nLine) + ": ";
        for (const std::string& p : planProblems)
            if (p.rfind(strLine, 0) == 0)
                problems.push_back(p.substr(strLine.size()));
        if (!room.bPrepared) {
            problems.push_back(room.strDifferences);
        } else {
            const session::SReadResult& present = observer.reads[ids[i].first];
            if (!present.Complete())
                problems.push_back(present.Any() ? present.MissingText() : "no reply");
            const session::SControllerSettings planned = PlannedSettings(room.plan, present);
            for (const std::string& p : PlanProblems(room.plan, present, planned))
                problems.push_back(p);
            if (ids[i].second && observer.reads[ids[i].second].Any())
                problems.push_back(session::kAddressTaken);
            if (present.Any())
                for (const session::SFieldResult& f : session::CompareFields(planned, present))
                    if (!f.bEqual && f.strRead != "(未收到)")
                        changes.push_back(f);
        }
        bAllWritable = bAllWritable && problems.empty();
        if (bJson) {
            nlohmann::json c = nlohmann::json::array();
            for (const auto& f : changes)
                c.push_back({{"field", f.strField}, {"now", f.strRead}, {"planned", f.strSent}});
            json.push_back({{"room", room.strRoom},
                            {"address", room.strAddress},
                            {"changes", c},
                            {"problems", problems},
                            {"writable", problems.empty()}});
            continue;
        }
        std::cout << room.strRoom << " (" << room.strAddress
                  << "): " << (problems.empty() ? "can be written" : "cannot be written") << "\n";
        for (const auto& f : changes)
            std::cout << "  " << f.strField << ": " << f.strRead << " → " << f.strSent << "\n";
        if (changes.empty() && problems.empty())
            std::cout << "  (no change)\n";
        for (const auto& p : problems)
            std::cout << "  problem: " << p << "\n";
    }
    if (bJson)
        std::cout << json.dump(2) << "\n";
    if (!planProblems.empty())
        return kExitInput;
    return bAllWritable ? kExitOk : kExitFailed;
}

int RunBatch(const SBatchArgs& args) {
    InstallInterruptCounter();
    std::vector<SPlanRow> planRows;
    bool bHasRoom = false;
    std::string error;
    if (!ReadPlan(args.strPlan, planRows, bHasRoom, error)) {
        std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
        return kExitInput;
    }
    std::map<std::string, std::vector<std::string>> earlier;
    if (!args.strRetry.empty() && !ReadRetry(args.strRetry, earlier, error)) {
        std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
        return kExitInput;
    }
    const fs::path planFolder = fs::absolute(PathFromUtf8(args.strPlan)).parent_path();
    const fs::path resultsPath =
        args.strResults.empty() ? planFolder / "results.csv" : PathFromUtf8(args.strResults);
    // An output never replaces an input.
    if (!args.bCheck && base::SameFile(resultsPath, PathFromUtf8(args.strPlan))) {
        std::fprintf(stderr, "velmora-cli: the results file %s is the plan itself\n",
                     Utf8FromPath(resultsPath).c_str());
        return kExitInput;
    }

    CRunner runner(args.common);
    if (const int nExit = runner.Open())
        return nExit;

    std::vector<SRoom> rooms;
    for (SPlanRow& planRow : planRows) {
        auto& row = planRow.cells;
        SRoom room;
        room.nLine = planRow.nLine;
        room.strRowText = planRow.strText;
        room.strAddress = row["address"];
        room.strRoom = bHasRoom && !row["room"].empty() ? row["room"] : room.strAddress;
        room.strKey = bHasRoom ? room.strRoom : room.strAddress;
        room.bRun = true;
        if (!args.strRetry.empty()) {
            // A retry runs what failed or did not run, and what is new or
            // changed since; an ok row that is the same keeps its line.
            const auto it = earlier.find(room.strKey);
            if (it != earlier.end() && it->second[2] == "ok" && it->second[5] == room.strRowText) {
                room.bRun = false;
                room.kept = it->second;
                room.strOutcome = "ok";
            }
        }
        auto text = [&](const char* column) {
            auto it = row.find(column);
            return it == row.end() || it->second.empty() ? std::optional<std::string>() : it->second;
        };
        SOverrideTexts t{text("controller_ip"), text("server_ip"),  text("mask"),
                         text("gateway"),       text("lock_type"),  text("lock_time"),
                         text("one_key"),       text("projector1"), text("projector2")};
        std::string snapshot = text("snapshot").value_or("");
        if (!snapshot.empty() && PathFromUtf8(snapshot).is_relative())
            snapshot = Utf8FromPath(planFolder / PathFromUtf8(snapshot));
        if (!args.bCheck && !snapshot.empty() && base::SameFile(resultsPath, PathFromUtf8(snapshot))) {
            std::fprintf(stderr, "velmora-cli: the results file %s is a snapshot of the plan\n",
                         Utf8FromPath(resultsPath).c_str());
            return kExitInput;
        }
        room.plan.strRoom = room.strRoom;
        std::string why;
        room.bPrepared = PrepareRoom(room.strAddress, snapshot, t, room.plan, why);
        if (!room.bPrepared && room.bRun) {
            room.strOutcome = "failed";
            room.strDifferences = why;
        }
        rooms.push_back(std::move(room));
    }

    const std::vector<std::string> planProblems = CheckAddresses(rooms);
    if (args.bCheck)
        return RunCheck(runner, rooms, planProblems);
    if (!planProblems.empty()) {
        for (const std::string& p : planProblems)
            std::fprintf(stderr, "velmora-cli: %s: %s\n", args.strPlan.c_str(), p.c_str());
        std::fprintf(stderr, "velmora-cli: the plan puts two rooms on one address; nothing was sent\n");
        return kExitInput;
    }

    CResultsFile results(resultsPath, rooms);
    if (!results.Write())
        return kExitEnvironment;

    auto history = std::make_shared<session::CHistory>(DatabaseFolder(args.common.strDb));
    CBatchObserver observer(rooms, results);
    session::SSessionTiming timing;
    timing.nMaxRunning = args.nParallel;
    timing.nReadAttempts = 2;
    session::CSessionEngine& engine = runner.Engine(observer, timing);
    std::size_t nTotal = 0;
    const session::TimeMs tStart = CRunner::Now();
    for (std::size_t i = 0; i < rooms.size(); ++i) {
        if (!rooms[i].bRun)
            continue;
        ++nTotal;
        if (!rooms[i].bPrepared) {
            ++observer.nDone;
            continue;
        }
        observer.nQueuing = i;
        const auto id = engine.StartWrite(MakeWriteRequest(rooms[i].plan, history, rooms[i].notes), tStart);
        observer.rooms[id] = i;
    }

    const bool bProgress = ErrorIsTerminal() && !args.common.bJson;
    int nInterruptsSeen = 0;
    session::TimeMs tDrawn = 0;
    runner.Run([&] {
        const int n = Interrupts();
        if (n > nInterruptsSeen) {
            if (nInterruptsSeen == 0) {
                engine.CancelNotStarted();
                std::fprintf(stderr, "\ninterrupted: the rooms being written finish their Set; Ctrl+C again "
                                     "to stop at once\n");
            } else {
                // The second interrupt leaves the rooms under way unconfirmed.
                for (auto& [id, index] : observer.rooms)
                    if (rooms[index].strOutcome == "not run" && engine.SetStarted(id)) {
                        rooms[index].strOutcome = "failed";
                        rooms[index].strDifferences = "interrupted during the Set";
                    }
                engine.CancelAll();
            }
            nInterruptsSeen = n;
        }
        if (bProgress && CRunner::Now() - tDrawn >= 200) {
            DrawProgress(observer.nDone, nTotal, rooms);
            tDrawn = CRunner::Now();
        }
    });
    if (bProgress) {
        DrawProgress(observer.nDone, nTotal, rooms);
        std::fputc('\n', stderr);
    }

    const bool bWritten = results.Write();
    std::size_t nOk = 0, nFailed = 0, nNotRun = 0;
    std::vector<std::vector<std::string>> table{
        {"room", "address", "outcome", "differences", "seconds", "backup"}};
    nlohmann::json json = nlohmann::json::array();
    for (const SRoom& r : rooms) {
        if (!r.bRun)
            continue;
        (r.strOutcome == "ok" ? nOk : r.strOutcome == "failed" ? nFailed : nNotRun)++;
        table.push_back({r.strRoom, r.strAddress, r.strOutcome, r.strDifferences, Seconds(r.dSeconds),
                         Utf8FromPath(r.notes->backup)});
        json.push_back({{"room", r.strRoom},
                        {"address", r.strAddress},
                        {"outcome", r.strOutcome},
                        {"differences", r.strDifferences},
                        {"seconds", r.dSeconds},
                        {"backup", Utf8FromPath(r.notes->backup)}});
    }
    if (args.common.bJson) {
        std::cout << json.dump(2) << "\n";
    } else {
        std::cout << Table(table);
        std::cout << nOk << " ok, " << nFailed << " failed, " << nNotRun << " not run; results "
                  << (bWritten ? "in " + Utf8FromPath(resultsPath) : "NOT written: " + results.Error())
                  << "\n";
    }
    if (!bWritten)
        return kExitEnvironment;
    return nOk == nTotal ? kExitOk : kExitFailed;
}

} // namespace

void AddBatchCommand(CLI::App& app, int* pnExitCode) {
    auto args = std::make_shared<SBatchArgs>();
    CLI::App* command = app.add_subcommand("batch", "Write many rooms in parallel from a plan (CSV).");
    command
        ->add_option("PLAN", args->strPlan,
                     "CSV with a header row naming the columns room, address, snapshot, controller_ip, "
                     "server_ip, mask, gateway, lock_type, lock_time, one_key, projector1, projector2 (only "
                     "address is required; any subset in any order); one row per room")
        ->required()
        ->check(CLI::ExistingFile);
    command->add_option("--parallel", args->nParallel, "rooms written at the same time (default 16)")
        ->check(CLI::Range(1, 1024));
    command->add_option("--results", args->strResults,
                        "results CSV (room,address,outcome,differences,seconds,plan_row,backup), written as "
                        "each room ends; default results.csv beside the plan");
    command->add_option("--retry-failed", args->strRetry,
                        "run the rows that failed or did not run in this earlier results file, and the rows "
                        "that are new or changed since (matched by room, or by address without a room "
                        "column); the others keep their earlier lines");
    command->add_flag("--check", args->bCheck,
                      "read every room and print what would change (now → planned) and every problem, "
                      "sending no setting; exit 0 only when every room could be written");
    AddCommonOptions(*command, args->common);
    command->footer(
        "Each room is read and backed up (history/ADDRESS/TIME.json beside data.mdb), written and read\n"
        "back on its own; a row with a bad address, snapshot or model fails alone. Ctrl+C lets the\n"
        "rooms whose Set has started finish it and reports the rest as not run. Before anything is\n"
        "sent the plan is refused (exit 2) when it names an address twice, a new controller_ip twice,\n"
        "or a controller_ip that is another row's address; a room whose new address answers is not\n"
        "written. A progress bar is drawn on a terminal. Exit 0 only when every row of the plan is ok.\n\n" +
        ExitStatusTable());
    command->callback([args, pnExitCode] { *pnExitCode = RunBatch(*args); });
}

} // namespace cli
