// velmora-cli set ADDRESS --from FILE and/or field overrides: write one
// controller, backed up first and verified by reading it back.

#include "Commands.h"
#include "DiagnosisText.h"
#include "Interrupts.h"
#include "Output.h"
#include "RoomPlan.h"
#include "Runner.h"
#include "Utf8Path.h"

#include <cstdio>
#include <iostream>

namespace cli {
namespace {

struct SSetArgs {
    std::string strAddress, strFrom;
    bool bForce = false;
    SOverrideTexts overrides;
    SCommonOptions common;
};

class CWriteCollector : public session::ISessionObserver {
public:
    void OnWriteDone(session::ExchangeId, const session::SWriteResult& r) override { result = r; }
    session::SWriteResult result;
};

const char* OutcomeWord(session::EWriteOutcome e) {
    switch (e) {
    case session::EWriteOutcome::Confirmed:
        return "confirmed";
    case session::EWriteOutcome::Different:
        return "different";
    case session::EWriteOutcome::NoReadBack:
        return "no read-back";
    default:
        return "not sent";
    }
}

std::string BackupText(const SWriteNotes& notes) {
    return notes.backup.empty() ? std::string("none") : Utf8FromPath(notes.backup);
}

int RunSet(const SSetArgs& args) {
    const SOverrideTexts& o = args.overrides;
    const bool bAnyOverride = o.controllerIp || o.serverIp || o.mask || o.gateway || o.lockType ||
                              o.lockTime || o.oneKey || o.projector1 || o.projector2;
    if (args.strFrom.empty() && !bAnyOverride) {
        std::fprintf(stderr, "velmora-cli: nothing to set: give --from FILE and/or a field option\n");
        return kExitInput;
    }
    SCommonOptions common = args.common;
    common.inputs.push_back(args.strFrom);
    CRunner runner(common);
    if (const int nExit = runner.Open())
        return nExit;
    SRoomPlan plan;
    plan.bForce = args.bForce;
    session::SValueProblem problem;
    if (!PrepareRoom(args.strAddress, args.strFrom, args.overrides, plan, &problem)) {
        std::fprintf(stderr, "velmora-cli: %s; nothing was sent\n", PrepareErrorText(problem).c_str());
        return kExitInput;
    }
    return WriteRoom(runner, plan, args.strAddress);
}

} // namespace

int WriteRoom(CRunner& runner, const SRoomPlan& plan, const std::string& strAddress) {
    const SCommonOptions& common = runner.Options();
    InstallInterruptCounter();
    auto history = std::make_shared<session::CHistory>(DatabaseFolder(common.strDb));
    auto notes = std::make_shared<SWriteNotes>();
    CWriteCollector collector;
    session::SSessionTiming timing;
    timing.nReadAttempts = 2;
    session::CSessionEngine& engine = runner.Engine(collector, timing);
    const session::ExchangeId id = engine.StartWrite(MakeWriteRequest(plan, history, notes), CRunner::Now());
    int nInterrupts = 0;
    bool bStopped = false;
    bool bCancelled = false; // interrupted before the Set: nothing was sent
    runner.Run([&] {
        const int n = Interrupts();
        if (n == nInterrupts)
            return;
        if (nInterrupts == 0 && n == 1) {
            nInterrupts = n;
            if (engine.CancelNotStarted() > 0)
                bCancelled = true;
            else
                std::fprintf(stderr, "\ninterrupted: the Set under way finishes and is read back; Ctrl+C "
                                     "again to stop at once\n");
            return;
        }
        nInterrupts = n;
        // The second interrupt leaves the controller as far as the Set got.
        if (engine.SetStarted(id))
            bStopped = true;
        engine.CancelAll();
    });
    if (bStopped) {
        std::fprintf(stderr,
                     "velmora-cli: interrupted during the Set: %s may be half written; its backup is %s\n",
                     strAddress.c_str(), BackupText(*notes).c_str());
        return kExitInterrupted;
    }
    if (bCancelled) {
        std::fprintf(stderr, "velmora-cli: interrupted before the Set: nothing was sent to %s\n",
                     strAddress.c_str());
        return kExitFailed;
    }
    const session::SWriteResult& r = collector.result;
    if (notes->bAlreadySo) {
        std::cout << strAddress << ": already as the backup holds it; nothing was sent\n";
        return kExitOk;
    }
    if (!notes->notBackedUp.empty() && r.bSetStarted)
        std::fprintf(stderr, "velmora-cli: forced: not backed up, as the controller did not send it: %s\n",
                     notes->notBackedUp.size() == session::kReplyParts
                         ? "no reply came"
                         : MissingPartsText(notes->notBackedUp).c_str());
    if (common.bJson) {
        nlohmann::json out = {{"address", strAddress},
                              {"outcome", OutcomeWord(r.eOutcome)},
                              {"message", WriteMessage(r, *notes)},
                              {"history", Utf8FromPath(notes->backup)},
                              {"fields", FieldsJson(r.fields)}};
        std::cout << out.dump(2) << "\n";
    } else {
        if (!notes->backup.empty())
            std::cout << "backup: " << Utf8FromPath(notes->backup) << "\n";
        if (!r.fields.empty())
            std::cout << FieldTable(r.fields);
        std::cout << strAddress << ": " << OutcomeWord(r.eOutcome) << " (" << WriteMessage(r, *notes)
                  << ")\n";
    }
    if (nInterrupts > 0 && r.bSetStarted)
        std::fprintf(stderr,
                     "velmora-cli: interrupted: the Set finished; %s holds what the read-back above shows; "
                     "its backup is %s\n",
                     strAddress.c_str(), BackupText(*notes).c_str());
    if (r.eOutcome == session::EWriteOutcome::NoReadBack || r.eStop == session::EWriteStop::NoAnswer)
        std::fputs(DiagnoseHint(strAddress).c_str(), stderr);
    if (notes->bRefused)
        return kExitInput;
    return r.eOutcome == session::EWriteOutcome::Confirmed ? kExitOk : kExitFailed;
}

void AddOverrideOptions(CLI::App& command, SOverrideTexts& o) {
    command.add_option("--controller-ip", o.controllerIp, "the address the controller moves to");
    command.add_option("--server-ip", o.serverIp, "server address");
    command.add_option("--mask", o.mask, "subnet mask");
    command.add_option("--gateway", o.gateway, "gateway address");
    command.add_option("--lock-type", o.lockType, "electric lock: pulse or level");
    command.add_option("--lock-time", o.lockTime, "pulse length in seconds: 0.5 or 1 to 120");
    command.add_option("--one-key", o.oneKey, "one-key option: on or off");
    command.add_option("--projector1", o.projector1, "projector 1 model from the library in data.mdb");
    command.add_option("--projector2", o.projector2, "projector 2 model from the library in data.mdb");
}

void AddSetCommand(CLI::App& app, int* pnExitCode) {
    auto args = std::make_shared<SSetArgs>();
    CLI::App* command = app.add_subcommand(
        "set", "Write a controller from a snapshot and/or field options, then read it back and compare.");
    command->add_option("ADDRESS", args->strAddress, "the controller's present address")->required();
    command->add_option("--from", args->strFrom, "snapshot file (from get --out) with the settings to write");
    command->add_flag("--force", args->bForce,
                      "write even when the controller's read is incomplete: the parts that came are backed "
                      "up, the missing ones must come from --from or be given whole by the field options");
    AddOverrideOptions(*command, args->overrides);
    AddCommonOptions(*command, args->common);
    command->footer(
        "Before anything is sent the controller is read and what it holds is saved as\n"
        "history/ADDRESS/TIME.json beside data.mdb (the last 20 are kept); when that fails nothing is\n"
        "sent. Fields not given keep the snapshot's values, or without --from the controller's own.\n"
        "A snapshot taken from another address does not move the controller unless --controller-ip\n"
        "is given. Ctrl+C lets a Set under way finish and be read back; a second Ctrl+C stops at\n"
        "once.\n\n" +
        ExitStatusTable());
    command->callback([args, pnExitCode] { *pnExitCode = RunSet(*args); });
}

} // namespace cli
