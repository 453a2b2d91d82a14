// velmora-cli batch PLAN.csv: write many rooms in parallel, each backed up,
// written and read back on its own, with a results file.

#include "Commands.h"
#include "Csv.h"
#include "Output.h"
#include "RoomPlan.h"
#include "Runner.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>

namespace cli {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kColumns{"room",      "address", "snapshot",   "controller_ip",
                                        "server_ip", "mask",    "gateway",    "lock_type",
                                        "lock_time", "one_key", "projector1", "projector2"};

struct SBatchArgs {
    std::string strPlan, strResults, strRetry;
    int nParallel = 16;
    SCommonOptions common;
};

struct SRoom {
    std::string strRoom, strAddress;
    std::string strOutcome = "not run";
    std::string strDifferences;
    double dSeconds = 0;
    bool bRun = false;      // part of this run
    bool bPrepared = false; // its row was usable
    SRoomPlan plan;
    session::TimeMs tStarted = 0;
};

// The plan's rows by column name; false with the reason for a bad header.
bool ReadPlan(const fs::path& path, std::vector<std::map<std::string, std::string>>& out,
              std::string& error) {
    std::vector<std::vector<std::string>> rows;
    if (!ReadCsvFile(path.string(), rows, error)) {
        error = path.string() + ": " + error;
        return false;
    }
    if (rows.empty()) {
        error = path.string() + ": the plan is empty";
        return false;
    }
    const std::vector<std::string>& header = rows[0];
    std::set<std::string> seen;
    for (const std::string& name : header) {
        if (std::find(kColumns.begin(), kColumns.end(), name) == kColumns.end()) {
            error = path.string() + ": unknown column \"" + name + "\"";
            return false;
        }
        if (!seen.insert(name).second) {
            error = path.string() + ": column \"" + name + "\" appears twice";
            return false;
        }
    }
    if (!seen.count("address")) {
        error = path.string() + ": the plan needs an \"address\" column";
        return false;
    }
    for (std::size_t r = 1; r < rows.size(); ++r) {
        std::map<std::string, std::string> row;
        for (std::size_t c = 0; c < header.size(); ++c)
            row[header[c]] = c < rows[r].size() ? rows[r][c] : std::string();
        out.push_back(std::move(row));
    }
    return true;
}

// Rooms of an earlier results file that did not end "ok", by room and address.
bool ReadRetry(const fs::path& path, std::set<std::pair<std::string, std::string>>& failed,
               std::map<std::pair<std::string, std::string>, std::vector<std::string>>& earlier,
               std::string& error) {
    std::vector<std::vector<std::string>> rows;
    if (!ReadCsvFile(path.string(), rows, error)) {
        error = path.string() + ": " + error;
        return false;
    }
    if (rows.empty() ||
        rows[0] != std::vector<std::string>{"room", "address", "outcome", "differences", "seconds"}) {
        error = path.string() + ": not a results file (header room,address,outcome,differences,seconds)";
        return false;
    }
    for (std::size_t r = 1; r < rows.size(); ++r) {
        if (rows[r].size() != 5) {
            error = path.string() + ": line " + std::to_string(r + 1) + " does not have five fields";
            return false;
        }
        const auto key = std::make_pair(rows[r][0], rows[r][1]);
        earlier[key] = rows[r];
        if (rows[r][2] != "ok")
            failed.insert(key);
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

class CBatchObserver : public session::ISessionObserver {
public:
    CBatchObserver(std::vector<SRoom>& rooms) : m_rooms(rooms) {}
    void OnStarted(session::ExchangeId id) override { Room(id).tStarted = CRunner::Now(); }
    void OnWriteDone(session::ExchangeId id, const session::SWriteResult& r) override {
        SRoom& room = Room(id);
        room.strOutcome = r.eOutcome == session::EWriteOutcome::Confirmed ? "ok" : "failed";
        room.strDifferences = Reason(r);
        room.dSeconds = double(CRunner::Now() - room.tStarted) / 1000.0;
        ++nDone;
    }
    void OnNotRun(session::ExchangeId id) override {
        Room(id).strOutcome = "not run";
        ++nDone;
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

bool WriteResults(const fs::path& path, const std::vector<SRoom>& rooms,
                  const std::map<std::pair<std::string, std::string>, std::vector<std::string>>& earlier,
                  std::string& error) {
    std::string text = CsvLine({"room", "address", "outcome", "differences", "seconds"});
    for (const SRoom& r : rooms) {
        if (!r.bRun) {
            // A room left out of a retry keeps its earlier line.
            auto it = earlier.find({r.strRoom, r.strAddress});
            if (it != earlier.end()) {
                text += CsvLine(it->second);
                continue;
            }
        }
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", r.dSeconds);
        text += CsvLine({r.strRoom, r.strAddress, r.strOutcome, r.strDifferences, seconds});
    }
    const fs::path temp = path.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            error = "cannot write " + temp.string();
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        error = "cannot write " + path.string() + ": " + ec.message();
        return false;
    }
    return true;
}

int RunBatch(const SBatchArgs& args) {
    InstallInterruptCounter();
    std::vector<std::map<std::string, std::string>> planRows;
    std::string error;
    if (!ReadPlan(args.strPlan, planRows, error)) {
        std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
        return kExitInput;
    }
    std::set<std::pair<std::string, std::string>> retry;
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> earlier;
    if (!args.strRetry.empty() && !ReadRetry(args.strRetry, retry, earlier, error)) {
        std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
        return kExitInput;
    }
    const fs::path planFolder = fs::absolute(args.strPlan).parent_path();
    const fs::path resultsPath =
        args.strResults.empty() ? planFolder / "results.csv" : fs::path(args.strResults);

    CRunner runner(args.common);
    if (const int nExit = runner.Open())
        return nExit;

    std::vector<SRoom> rooms;
    for (std::size_t i = 0; i < planRows.size(); ++i) {
        auto& row = planRows[i];
        SRoom room;
        room.strAddress = row["address"];
        room.strRoom = row.count("room") && !row["room"].empty() ? row["room"] : room.strAddress;
        room.bRun = args.strRetry.empty() || retry.count({room.strRoom, room.strAddress});
        if (room.bRun) {
            auto text = [&](const char* column) {
                auto it = row.find(column);
                return it == row.end() || it->second.empty() ? std::optional<std::string>() : it->second;
            };
            SOverrideTexts t{text("controller_ip"), text("server_ip"),  text("mask"),
                             text("gateway"),       text("lock_type"),  text("lock_time"),
                             text("one_key"),       text("projector1"), text("projector2")};
            std::string snapshot = text("snapshot").value_or("");
            if (!snapshot.empty() && fs::path(snapshot).is_relative())
                snapshot = (planFolder / snapshot).string();
            room.plan.strRoom = room.strRoom;
            std::string why;
            room.bPrepared = PrepareRoom(room.strAddress, snapshot, t, room.plan, why);
            if (!room.bPrepared) {
                room.strOutcome = "failed";
                room.strDifferences = why;
            }
        }
        rooms.push_back(std::move(room));
    }

    auto history = std::make_shared<session::CHistory>(DatabaseFolder(args.common.strDb));
    CBatchObserver observer(rooms);
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
        const auto id =
            engine.StartWrite(MakeWriteRequest(rooms[i].plan, history, std::make_shared<fs::path>()), tStart);
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

    if (!WriteResults(resultsPath, rooms, earlier, error)) {
        std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
        return kExitEnvironment;
    }
    std::size_t nOk = 0, nFailed = 0, nNotRun = 0;
    std::vector<std::vector<std::string>> table{{"room", "address", "outcome", "differences", "seconds"}};
    nlohmann::json json = nlohmann::json::array();
    for (const SRoom& r : rooms) {
        if (!r.bRun)
            continue;
        (r.strOutcome == "ok" ? nOk : r.strOutcome == "failed" ? nFailed : nNotRun)++;
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", r.dSeconds);
        table.push_back({r.strRoom, r.strAddress, r.strOutcome, r.strDifferences, seconds});
        json.push_back({{"room", r.strRoom},
                        {"address", r.strAddress},
                        {"outcome", r.strOutcome},
                        {"differences", r.strDifferences},
                        {"seconds", r.dSeconds}});
    }
    if (args.common.bJson) {
        std::cout << json.dump(2) << "\n";
    } else {
        std::cout << Table(table);
        std::cout << nOk << " ok, " << nFailed << " failed, " << nNotRun << " not run; results in "
                  << resultsPath.string() << "\n";
    }
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
                        "results CSV (room,address,outcome,differences,seconds); default results.csv beside "
                        "the plan");
    command->add_option("--retry-failed", args->strRetry,
                        "run only the rooms that failed (or were not run) in this earlier results file; the "
                        "others keep their earlier lines");
    AddCommonOptions(*command, args->common);
    command->footer(
        "Each room is read and backed up (history/ADDRESS/TIME.json beside data.mdb), written and read\n"
        "back on its own; a row with a bad address, snapshot or model fails alone. Ctrl+C lets the\n"
        "rooms whose Set has started finish it and reports the rest as not run; the results file is\n"
        "written whole either way. A progress bar is drawn on a terminal. Exit status: 0 when every\n"
        "room is ok, 1 otherwise, 2 for a bad plan, 3 when data.mdb or UDP port 1550 cannot be used.");
    command->callback([args, pnExitCode] { *pnExitCode = RunBatch(*args); });
}

} // namespace cli
