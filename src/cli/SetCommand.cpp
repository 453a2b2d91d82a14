// velmora-cli set ADDRESS --from FILE and/or field overrides: write one
// controller, backed up first and verified by reading it back.

#include "Commands.h"
#include "Output.h"
#include "RoomPlan.h"
#include "Runner.h"

#include <cstdio>
#include <iostream>

namespace cli {
namespace {

struct SSetArgs {
    std::string strAddress, strFrom;
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

int RunSet(const SSetArgs& args) {
    const SOverrideTexts& o = args.overrides;
    const bool bAnyOverride = o.controllerIp || o.serverIp || o.mask || o.gateway || o.lockType ||
                              o.lockTime || o.oneKey || o.projector1 || o.projector2;
    if (args.strFrom.empty() && !bAnyOverride) {
        std::fprintf(stderr, "velmora-cli: nothing to set: give --from FILE and/or a field option\n");
        return kExitInput;
    }
    CRunner runner(args.common);
    if (const int nExit = runner.Open())
        return nExit;
    SRoomPlan plan;
    std::string error;
    if (!PrepareRoom(args.strAddress, args.strFrom, args.overrides, plan, error)) {
        std::fprintf(stderr, "velmora-cli: %s; nothing was sent\n", error.c_str());
        return kExitInput;
    }
    auto history = std::make_shared<session::CHistory>(DatabaseFolder(args.common.strDb));
    auto saved = std::make_shared<std::filesystem::path>();
    CWriteCollector collector;
    session::SSessionTiming timing;
    timing.nReadAttempts = 2;
    session::CSessionEngine& engine = runner.Engine(collector, timing);
    engine.StartWrite(MakeWriteRequest(plan, history, saved), CRunner::Now());
    runner.Run();
    const session::SWriteResult& r = collector.result;
    if (args.common.bJson) {
        nlohmann::json out = {{"address", args.strAddress},
                              {"outcome", OutcomeWord(r.eOutcome)},
                              {"message", r.strMessage},
                              {"history", saved->string()},
                              {"fields", FieldsJson(r.fields)}};
        std::cout << out.dump(2) << "\n";
    } else {
        if (!saved->empty())
            std::cout << "backup: " << saved->string() << "\n";
        if (!r.fields.empty())
            std::cout << FieldTable(r.fields);
        std::cout << args.strAddress << ": " << OutcomeWord(r.eOutcome) << " (" << r.strMessage << ")\n";
    }
    return r.eOutcome == session::EWriteOutcome::Confirmed ? kExitOk : kExitFailed;
}

} // namespace

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
    AddOverrideOptions(*command, args->overrides);
    AddCommonOptions(*command, args->common);
    command->footer(
        "Before anything is sent the controller is read and what it holds is saved as\n"
        "history/ADDRESS/TIME.json beside data.mdb (the last 20 are kept); when that fails nothing is\n"
        "sent. Fields not given keep the snapshot's values, or without --from the controller's own.\n"
        "A snapshot taken from another address does not move the controller unless --controller-ip\n"
        "is given. Exit status: 0 when every field read back as sent, 1 otherwise, 2 for bad input\n"
        "(nothing sent), 3 when data.mdb or UDP port 1550 cannot be used.");
    command->callback([args, pnExitCode] { *pnExitCode = RunSet(*args); });
}

} // namespace cli
