// velmora-cli restore ADDRESS --from FILE | --latest: write a backup back
// (the controller's address setting included) and verify it by reading back.

#include "Commands.h"
#include "History.h"
#include "Utf8Path.h"
#include "Words.h"
#include "codec/AddressRange.h"

#include <cstdio>

namespace cli {
namespace {

struct SRestoreArgs {
    std::string strAddress, strFrom;
    std::optional<std::string> controllerIp;
    bool bLatest = false;
    bool bForce = false;
    SCommonOptions common;
};

class CAnswerCollector : public session::ISessionObserver {
public:
    void OnReadDone(session::ExchangeId, const session::SReadResult& r) override { bAnswered = r.Any(); }
    bool bAnswered = false;
};

// Of the addresses a backed-up controller may have now (before or after the
// write the backup was taken for), the first that answers; the first when
// none does, so the write reports the silence.
codec::Ip4 AnsweringAddress(CRunner& runner, const std::vector<codec::Ip4>& candidates) {
    if (candidates.size() < 2)
        return candidates.front();
    for (const codec::Ip4& address : candidates) {
        CAnswerCollector collector;
        session::CSessionEngine& engine = runner.Engine(collector, {});
        engine.StartRead(address, CRunner::Now());
        runner.Run();
        if (collector.bAnswered)
            return address;
    }
    return candidates.front();
}

int RunRestore(const SRestoreArgs& args) {
    if (args.strFrom.empty() == !args.bLatest) {
        std::fprintf(stderr, "velmora-cli: give either --from FILE or --latest\n");
        return kExitInput;
    }
    codec::Ip4 address{};
    if (!codec::ParseDottedQuad(args.strAddress, address)) {
        std::fprintf(stderr, "velmora-cli: \"%s\" is not an IPv4 address a.b.c.d\n", args.strAddress.c_str());
        return kExitInput;
    }
    const session::CHistory history(DatabaseFolder(args.common.strDb));
    std::optional<session::SBackupEntry> entry;
    std::string strFile = args.strFrom;
    if (args.bLatest) {
        // The newest backup by the time it records, passing over those a
        // restore took, so a second restore leaves the room as the first did.
        entry = history.Latest(address);
        if (!entry) {
            std::fprintf(stderr, "velmora-cli: no backup of %s in %s\n", args.strAddress.c_str(),
                         Utf8FromPath(history.Folder(address)).c_str());
            return kExitInput;
        }
        strFile = Utf8FromPath(entry->path);
    } else {
        entry = history.Find(PathFromUtf8(strFile));
    }
    SRoomPlan plan;
    plan.bForce = args.bForce;
    plan.bRestore = true;
    session::SOverrideTexts overrides;
    overrides.controllerIp = args.controllerIp;
    session::SValueProblem problem;
    if (!PrepareRoom(args.strAddress, strFile, overrides, plan, &problem)) {
        std::fprintf(stderr, "velmora-cli: %s; nothing was sent\n", PrepareErrorText(problem).c_str());
        return kExitInput;
    }
    // The room's own backup: the controller may answer at its address before
    // or after the write the backup was taken for.
    std::vector<codec::Ip4> candidates{address};
    bool bOwn = plan.snapshot->read.settings.initialIp == address;
    if (entry && (entry->addressBefore == address || entry->addressAfter == address)) {
        bOwn = true;
        for (const codec::Ip4& other : {entry->addressBefore, entry->addressAfter})
            if (other != address)
                candidates.push_back(other);
    }
    SCommonOptions common = args.common;
    common.inputs.push_back(strFile);
    CRunner runner(common);
    if (const int nExit = runner.Open())
        return nExit;
    plan.address = AnsweringAddress(runner, candidates);
    // A room's own backup puts back the address it had; another room's keeps
    // this room's address unless --controller-ip says otherwise.
    if (bOwn && !args.controllerIp)
        plan.overrides.controllerIp = plan.snapshot->read.settings.controllerIp;
    const std::string strAt = codec::BytesToAddress(plan.address);
    if (plan.address != address)
        std::printf("%s answers at %s now\n", args.strAddress.c_str(), strAt.c_str());
    std::printf("restoring %s from %s\n", strAt.c_str(), strFile.c_str());
    return WriteRoom(runner, plan, strAt);
}

} // namespace

void AddRestoreCommand(CLI::App& app, int* pnExitCode) {
    auto args = std::make_shared<SRestoreArgs>();
    CLI::App* command = app.add_subcommand(
        "restore", "Write a backup (a snapshot) back to a controller and verify it by reading it back.");
    command->add_option("ADDRESS", args->strAddress, "the controller's address, before or after the write")
        ->required();
    auto* from = command->add_option("--from", args->strFrom, "the snapshot or history file to write back");
    auto* latest = command->add_flag("--latest", args->bLatest,
                                     "the newest backup of ADDRESS kept in history beside data.mdb (not one "
                                     "taken before a restore)");
    from->excludes(latest);
    command->add_option("--controller-ip", args->controllerIp,
                        "the address the controller moves to (by default a room's own backup puts its "
                        "address back and another room's keeps this room's)");
    command->add_flag("--force", args->bForce,
                      "write even when the controller's read is incomplete (what did not come cannot be "
                      "backed up first)");
    AddCommonOptions(*command, args->common);
    command->footer(
        "What the controller holds is backed up first, as for set, marked as taken before a restore, so\n"
        "--latest passes over it. A room's own backup puts back its controller_ip too, so a controller\n"
        "that was moved goes back to its address; the room is written at the address it answers at now.\n"
        "A room that already holds the backup is left alone (exit 0).\n\n" +
        ExitStatusTable());
    command->callback([args, pnExitCode] { *pnExitCode = RunRestore(*args); });
}

} // namespace cli
