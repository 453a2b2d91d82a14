// velmora-cli batch PLAN.csv: write many rooms in parallel, each backed up,
// written and read back on its own, with a results file.

#include "BatchCheck.h"
#include "BatchJob.h"
#include "Commands.h"
#include "Csv.h"
#include "Diagnosis.h"
#include "FileSystem.h"
#include "Interrupts.h"
#include "LoggedProbes.h"
#include "Output.h"
#include "Runner.h"
#include "SystemProbes.h"
#include "Words.h"
#include "codec/AddressRange.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

namespace cli {
namespace {

namespace fs = std::filesystem;
using session::SBatchRoom;

struct SBatchArgs {
    std::string strPlan, strResults, strRetry;
    int nParallel = 16;
    bool bCheck = false;
    bool bDiagnose = false;
    SCommonOptions common;
};

std::string Seconds(double d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", d);
    return text;
}

// The rooms of this run: a retry's rooms kept from before are left out.
void DrawProgress(const session::SBatchCounts& c) {
    const std::size_t nDone = c.nEnded - c.nKept, nTotal = c.nRooms - c.nKept;
    const std::size_t nOk = c.nOk - c.nKept, nFailed = c.nFailed;
    const std::size_t nWidth = 30;
    const std::size_t nFilled = nTotal ? nDone * nWidth / nTotal : nWidth;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu rooms  ok %zu  failed %zu ", std::string(nFilled, '#').c_str(),
                 std::string(nWidth - nFilled, '.').c_str(), nDone, nTotal, nOk, nFailed);
    std::fflush(stderr);
}

int RunCheck(CRunner& runner, session::CBatchJob& job, std::vector<SBatchRoom>& rooms) {
    const std::vector<session::SPlanProblem>& planProblems = job.PlanProblems();
    session::CBatchCheck& check = job.NewCheck();
    session::SSessionTiming timing;
    timing.nReadAttempts = 2;
    session::CSessionEngine& engine = runner.Engine(check, timing);
    check.Start(engine, CRunner::Now());
    // It sends no setting, so an interrupt ends it at once.
    bool bInterrupted = false;
    runner.Run([&] {
        if (Interrupts() > 0 && !bInterrupted) {
            bInterrupted = true;
            engine.CancelAll();
        }
    });
    if (bInterrupted) {
        std::fprintf(stderr, "\ninterrupted: the check was stopped; nothing was sent\n");
        return kExitInterrupted;
    }
    const bool bJson = runner.Options().bJson;
    nlohmann::json json = nlohmann::json::array();
    bool bAllWritable = true;
    for (const session::SPlanProblem& p : planProblems)
        if (!bJson)
            std::cout << "plan: " << PlanProblemText(p) << "\n";
    const std::vector<session::SRoomCheck> checks = job.CheckResults();
    for (std::size_t i = 0; i < rooms.size(); ++i) {
        SBatchRoom& room = rooms[i];
        if (!room.bRun)
            continue;
        const session::SRoomCheck& c = checks[i];
        std::vector<std::string> problems;
        const std::string strLine = "line " + std::to_string(room.nLine) + ": ";
        for (const session::SPlanProblem& p : c.planProblems)
            problems.push_back(PlanProblemText(p).substr(strLine.size()));
        if (!room.bPrepared) {
            problems.push_back(PrepareErrorText(room.problem));
        } else {
            if (c.bNoReply)
                problems.push_back("no reply");
            else if (!c.missing.empty())
                problems.push_back(MissingPartsText(c.missing));
            for (const session::SSettingIssue& issue : c.issues)
                problems.push_back(SettingIssueText(issue));
            if (c.bAddressTaken)
                problems.push_back(kAddressTakenText);
        }
        bAllWritable = bAllWritable && problems.empty();
        if (bJson) {
            nlohmann::json changes = nlohmann::json::array();
            for (const auto& f : c.changes)
                changes.push_back({{"field", f.strField}, {"now", f.strRead}, {"planned", f.strSent}});
            json.push_back({{"room", room.strRoom},
                            {"address", room.strAddress},
                            {"changes", changes},
                            {"problems", problems},
                            {"already_at", c.strAlreadyAt},
                            {"writable", problems.empty()}});
            continue;
        }
        std::cout << room.strRoom << " (" << room.strAddress
                  << "): " << (problems.empty() ? "can be written" : "cannot be written") << "\n";
        if (!c.strAlreadyAt.empty())
            std::cout << "  already at " << c.strAlreadyAt << "\n";
        for (const auto& f : c.changes)
            std::cout << "  " << f.strField << ": " << f.strRead << " → " << f.strSent << "\n";
        if (c.changes.empty() && problems.empty())
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

// Diagnoses each room that failed with no reply, one after the other, on a
// socket of the diagnosis' own (the run's is closed by then), and keeps
// each conclusion code in its room. Returns how many were diagnosed.
std::size_t DiagnoseSilentRooms(CRunner& runner, std::vector<SBatchRoom>& rooms, bool bProgress) {
    const SCommonOptions& common = runner.Options();
    const std::size_t nSilent = std::count_if(rooms.begin(), rooms.end(), session::FailedWithoutReply);
    if (nSilent == 0)
        return 0;
    runner.CloseSocket();
    // The waits follow the run's tick: a read waits three ticks for its replies.
    session::SDiagnosisTiming timing;
    timing.nQueryWaitMs = 3 * common.nTickMs;
    std::size_t nDone = 0;
    for (SBatchRoom& room : rooms) {
        if (!session::FailedWithoutReply(room) || Interrupts() > 0)
            continue;
        if (bProgress)
            std::fprintf(stderr, "\rdiagnosing %zu/%zu rooms that did not answer ", nDone + 1, nSilent);
        codec::Ip4 address{};
        if (!codec::ParseDottedQuad(room.strAddress, address))
            continue;
        net::SSystemProbeOptions options;
        options.nLocalPort = static_cast<std::uint16_t>(common.nLocalPort);
        options.nPeerPort = static_cast<std::uint16_t>(common.nPeerPort);
        options.strProgram = "velmora-cli";
        options.echoTimeout = std::chrono::milliseconds(common.nTickMs);
        net::CSystemProbes system(options);
        session::CLoggedProbes logged(system, runner.LogFile().Log());
        net::IDiagnosisProbes& probes =
            runner.LogFile().IsOpen() ? static_cast<net::IDiagnosisProbes&>(logged) : system;
        room.strDiagnosis = session::ConclusionCode(session::Diagnose(address, probes, timing).eConclusion);
        runner.LogFile().Flush();
        ++nDone;
    }
    if (bProgress)
        std::fputc('\n', stderr);
    return nDone;
}

int RunBatch(const SBatchArgs& args) {
    InstallInterruptCounter();
    session::SPlanTable plan;
    session::SPlanFileError fileError;
    if (!session::ReadPlanFile(args.strPlan, plan, fileError)) {
        std::fprintf(stderr, "velmora-cli: %s\n", FileErrorText(args.strPlan, fileError).c_str());
        return kExitInput;
    }
    session::EarlierResults earlier;
    if (!args.strRetry.empty() && !session::ReadResultsFile(args.strRetry, earlier, fileError)) {
        std::fprintf(stderr, "velmora-cli: %s\n", FileErrorText(args.strRetry, fileError).c_str());
        return kExitInput;
    }
    const fs::path planFolder = fs::absolute(PathFromUtf8(args.strPlan)).parent_path();
    const fs::path resultsPath =
        args.strResults.empty() ? planFolder / "results.csv" : PathFromUtf8(args.strResults);

    // The log is opened once the rooms name their snapshots, which it must not replace.
    SCommonOptions common = args.common;
    common.strLog.clear();
    CRunner runner(common);
    if (const int nExit = runner.Open())
        return nExit;

    std::vector<SBatchRoom> rooms;
    session::CBatchJob job(rooms, &CRunner::Now);
    job.Prepare(plan, planFolder, args.strRetry.empty() ? nullptr : &earlier);
    if (!args.bCheck) {
        // The results never replace the library, a database, the plan or a
        // snapshot it names. The earlier results of --retry-failed may be
        // replaced: they are read whole first and their lines carried over.
        if (!OutputAllowed(Utf8FromPath(resultsPath), args.common.strDb, job.Inputs(args.strPlan)))
            return kExitInput;
    }

    {
        std::vector<std::string> inputs{args.strPlan, args.strRetry, Utf8FromPath(resultsPath)};
        for (const SBatchRoom& room : rooms)
            inputs.push_back(room.strSnapshot);
        if (const int nExit = runner.LogFile().Open(args.common.strLog, args.common.strDb, inputs))
            return nExit;
    }

    const std::vector<session::SPlanProblem>& planProblems = job.PlanProblems();
    if (args.bCheck)
        return RunCheck(runner, job, rooms);
    if (!planProblems.empty()) {
        for (const session::SPlanProblem& p : planProblems)
            std::fprintf(stderr, "velmora-cli: %s: %s\n", args.strPlan.c_str(), PlanProblemText(p).c_str());
        std::fprintf(stderr, "velmora-cli: the plan puts two rooms on one address; nothing was sent\n");
        return kExitInput;
    }

    if (!job.CreateResults(resultsPath, &ResultsDifferences)) {
        std::fprintf(stderr, "\nvelmora-cli: %s\n", job.ResultsError().c_str());
        return kExitEnvironment;
    }
    // The results file is written at once whenever it falls behind; one
    // that cannot be replaced is said once, and the run goes on.
    job.m_pfnResultsDue = [&job] {
        if (job.WriteResults() == session::CBatchJob::EWrite::Failed)
            std::fprintf(stderr, "\nvelmora-cli: %s\n", job.ResultsError().c_str());
    };

    auto history = std::make_shared<session::CHistory>(DatabaseFolder(args.common.strDb));
    session::SSessionTiming timing;
    timing.nMaxRunning = args.nParallel;
    timing.nReadAttempts = 2;
    session::CSessionEngine& engine = runner.Engine(job.Observer(), timing);
    job.Start(engine, session::kFirstClient, history);

    const bool bProgress = ErrorIsTerminal() && !args.common.bJson;
    int nInterruptsSeen = 0;
    session::TimeMs tDrawn = 0;
    runner.Run([&] {
        const int n = Interrupts();
        if (n > nInterruptsSeen) {
            if (nInterruptsSeen == 0) {
                job.Stop();
                std::fprintf(stderr, "\ninterrupted: the rooms being written finish their Set; Ctrl+C again "
                                     "to stop at once\n");
            } else {
                // The second interrupt leaves the rooms under way unconfirmed.
                job.StopNow("interrupted during the Set");
            }
            nInterruptsSeen = n;
        }
        if (bProgress && CRunner::Now() - tDrawn >= 200) {
            DrawProgress(job.Counts());
            tDrawn = CRunner::Now();
        }
    });
    if (bProgress) {
        DrawProgress(job.Counts());
        std::fputc('\n', stderr);
    }

    if (args.bDiagnose && nInterruptsSeen == 0) {
        job.AddDiagnosisColumn();
        DiagnoseSilentRooms(runner, rooms, bProgress);
    }
    const bool bWritten = job.WriteResults(true) == session::CBatchJob::EWrite::Written;
    ReadyToEnd();
    const session::SBatchCounts counts = job.Counts();
    std::vector<std::vector<std::string>> table{
        {"room", "address", "outcome", "differences", "seconds", "backup"}};
    if (args.bDiagnose)
        table[0].push_back("diagnosis");
    nlohmann::json json = nlohmann::json::array();
    for (const SBatchRoom& r : rooms) {
        if (!r.bRun)
            continue;
        const std::string strOutcome = session::OutcomeWord(r.eOutcome);
        table.push_back({r.strRoom, r.strAddress, strOutcome, ResultsDifferences(r), Seconds(r.dSeconds),
                         Utf8FromPath(r.notes->backup)});
        json.push_back({{"room", r.strRoom},
                        {"address", r.strAddress},
                        {"outcome", strOutcome},
                        {"differences", ResultsDifferences(r)},
                        {"seconds", r.dSeconds},
                        {"backup", Utf8FromPath(r.notes->backup)}});
        if (args.bDiagnose) {
            table.back().push_back(r.strDiagnosis);
            json.back()["diagnosis"] = r.strDiagnosis;
        }
    }
    if (args.common.bJson) {
        std::cout << json.dump(2) << "\n";
    } else {
        std::cout << Table(table);
        std::cout << counts.nOk - counts.nKept << " ok, " << counts.nFailed << " failed, " << counts.nNotRun
                  << " not run; results "
                  << (bWritten ? "in " + Utf8FromPath(resultsPath) : "NOT written: " + job.ResultsError())
                  << "\n";
    }
    if (!bWritten)
        return kExitEnvironment;
    // Every row of the plan, a retry's kept ones included.
    return counts.nOk == counts.nRooms ? kExitOk : kExitFailed;
}

} // namespace

void AddBatchCommand(CLI::App& app, int* pnExitCode) {
    auto args = std::make_shared<SBatchArgs>();
    CLI::App* command = app.add_subcommand("batch", "Write many rooms in parallel from a plan (CSV).");
    command
        ->add_option(
            "PLAN", args->strPlan,
            "CSV with a header row naming the columns room, address, snapshot, controller_ip, "
            "server_ip, mask, gateway, lock_type, lock_time, one_key, projector1, projector2 (or the "
            "window's names; only address is required; any subset in any order); one row per room")
        ->required()
        ->check(ExistingFileUtf8());
    command->add_option("--parallel", args->nParallel, "rooms written at the same time (default 16)")
        ->check(CLI::Range(1, 1024));
    command->add_option(
        "--results", args->strResults,
        "results CSV (room,address,outcome,differences,seconds,plan_row,backup, and diagnosis "
        "with --diagnose), written as each room ends; default results.csv beside the plan");
    command->add_option("--retry-failed", args->strRetry,
                        "run the rows that failed or did not run in this earlier results file, and the rows "
                        "that are new or changed since (matched by room, or by address without a room "
                        "column); the others keep their earlier lines");
    command->add_flag("--diagnose", args->bDiagnose,
                      "after the run, diagnose each room that failed with no reply (as velmora-cli diagnose "
                      "does) and write its conclusion code in a last results column, diagnosis");
    command->add_flag("--check", args->bCheck,
                      "read every room and print what would change (now → planned) and every problem, "
                      "sending no setting; exit 0 only when every room could be written");
    AddCommonOptions(*command, args->common);
    command->footer(
        "Each room is read and backed up (history/ADDRESS/TIME.json beside data.mdb), written and read\n"
        "back on its own; a row with a bad address, snapshot or model fails alone. Ctrl+C (or a closed\n"
        "terminal) lets the rooms whose Set has started finish it and reports the rest as not run; a\n"
        "room's line reads \"Set under way\" from its first setting datagram until it ends. --check\n"
        "stops at once on Ctrl+C (exit 130). Before anything is\n"
        "sent the plan is refused (exit 2) when it names an address twice, a new controller_ip twice,\n"
        "or a controller_ip that is another row's address; a room whose new address answers is not\n"
        "written, unless it answers there only: then an earlier run moved it, and it is written there.\n"
        "Rows of only commas and unnamed empty columns are padding. A progress bar is drawn on a\n"
        "terminal. Exit 0 only when every row of the plan is ok.\n\n" +
        ExitStatusTable());
    command->callback([args, pnExitCode] { *pnExitCode = RunBatch(*args); });
}

} // namespace cli
