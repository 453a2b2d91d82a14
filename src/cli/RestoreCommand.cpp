// velmora-cli restore ADDRESS --from FILE | --latest: write a backup back
// (the controller's address setting included) and verify it by reading back.

#include "Commands.h"
#include "History.h"
#include "Utf8Path.h"
#include "codec/AddressRange.h"

#include <cstdio>

namespace cli {
namespace {

struct SRestoreArgs {
    std::string strAddress, strFrom;
    bool bLatest = false;
    bool bForce = false;
    SCommonOptions common;
};

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
    std::string strFile = args.strFrom;
    if (args.bLatest) {
        const session::CHistory history(DatabaseFolder(args.common.strDb));
        const auto files = history.List(address);
        if (files.empty()) {
            std::fprintf(stderr, "velmora-cli: no backup of %s in %s\n", args.strAddress.c_str(),
                         Utf8FromPath(history.Folder(address)).c_str());
            return kExitInput;
        }
        strFile = Utf8FromPath(files.back());
    }
    CRunner runner(args.common);
    if (const int nExit = runner.Open())
        return nExit;
    SRoomPlan plan;
    plan.bForce = args.bForce;
    std::string error;
    if (!PrepareRoom(args.strAddress, strFile, {}, plan, error)) {
        std::fprintf(stderr, "velmora-cli: %s; nothing was sent\n", error.c_str());
        return kExitInput;
    }
    // A backup puts back the address the controller had too.
    plan.overrides.controllerIp = plan.snapshot->read.settings.controllerIp;
    std::printf("restoring %s from %s\n", args.strAddress.c_str(), strFile.c_str());
    return WriteRoom(runner, plan, args.strAddress);
}

} // namespace

void AddRestoreCommand(CLI::App& app, int* pnExitCode) {
    auto args = std::make_shared<SRestoreArgs>();
    CLI::App* command = app.add_subcommand(
        "restore", "Write a backup (a snapshot) back to a controller and verify it by reading it back.");
    command->add_option("ADDRESS", args->strAddress, "the controller's present address")->required();
    auto* from = command->add_option("--from", args->strFrom, "the snapshot or history file to write back");
    auto* latest = command->add_flag("--latest", args->bLatest,
                                     "the newest backup of ADDRESS in history/ADDRESS beside data.mdb");
    from->excludes(latest);
    command->add_flag("--force", args->bForce,
                      "write even when the controller's read is incomplete (what did not come cannot be "
                      "backed up first)");
    AddCommonOptions(*command, args->common);
    command->footer("What the controller holds is backed up first, as for set. The backup's controller_ip\n"
                    "is written too, so a controller that was moved goes back to its address.\n\n" +
                    ExitStatusTable());
    command->callback([args, pnExitCode] { *pnExitCode = RunRestore(*args); });
}

} // namespace cli
