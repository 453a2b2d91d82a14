// velmora-cli scan RANGE [--inventory FILE]: query every address, paced,
// and list the controllers that answered.

#include "Commands.h"
#include "FileSystem.h"
#include "Inventory.h"
#include "Output.h"
#include "Runner.h"
#include "ScanJob.h"
#include "Utf8Path.h"
#include "codec/AddressRange.h"

#include <cstdio>
#include <iostream>
#include <map>

namespace cli {
namespace {

struct SScanArgs {
    std::string strRange, strInventory;
    int nRate = 200;
    SCommonOptions common;
};

std::string Model(const session::SReadResult& r, std::size_t p) {
    if (!r.received[p])
        return "?";
    return r.settings.projectors[p].strModel.empty() ? "(空)" : r.settings.projectors[p].strModel;
}

int RunScan(const SScanArgs& args) {
    std::vector<codec::Ip4> addresses;
    codec::SRangeError error;
    if (!codec::ParseAddressRange(args.strRange, addresses, error, 4096)) {
        std::fprintf(stderr, "velmora-cli: %s\n", RangeErrorText(error).c_str());
        return kExitInput;
    }
    // Refused before the scan, so a scan is not spent on a file that may not be written.
    if (!args.strInventory.empty() && !OutputAllowed(args.strInventory, args.common.strDb))
        return kExitInput;
    SCommonOptions common = args.common;
    common.inputs.push_back(args.strInventory);
    CRunner runner(common);
    if (const int nExit = runner.Open())
        return nExit;
    const std::size_t nAddresses = addresses.size();
    session::CScanJob job(std::move(addresses), args.nRate);
    session::SSessionTiming timing;
    timing.nMaxRunning = 4096;
    timing.dStartsPerSecond = args.nRate;
    job.Start(runner.Engine(job.Observer(), timing), session::kFirstClient, &CRunner::Now);
    runner.Run([&job] { job.Poll(); });
    const std::map<codec::Ip4, session::SReadResult>& answered = job.Found();
    if (args.common.bJson) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& [address, r] : answered)
            out.push_back({{"address", codec::BytesToAddress(address)},
                           {"server_ip", r.received[session::kPartNetwork]
                                             ? nlohmann::json(codec::BytesToAddress(r.settings.serverIp))
                                             : nlohmann::json(nullptr)},
                           {"projector1", Model(r, 0)},
                           {"projector2", Model(r, 1)},
                           {"answer_ms", r.nAnswerMs},
                           {"complete", r.Complete()}});
        std::cout << out.dump(2) << "\n";
    } else {
        std::vector<std::vector<std::string>> rows{
            {"address", "server_ip", "projector1", "projector2", "answer_ms"}};
        for (const auto& [address, r] : answered)
            rows.push_back(
                {codec::BytesToAddress(address),
                 r.received[session::kPartNetwork] ? codec::BytesToAddress(r.settings.serverIp) : "?",
                 Model(r, 0), Model(r, 1), std::to_string(r.nAnswerMs)});
        std::cout << Table(rows);
        std::cout << answered.size() << " of " << nAddresses << " addresses answered\n";
    }
    if (!args.strInventory.empty()) {
        const std::vector<session::FoundController> found(answered.begin(), answered.end());
        std::string strError;
        if (!base::WriteFileReplacing(PathFromUtf8(args.strInventory), session::InventoryCsv(found), true,
                                      strError)) {
            std::fprintf(stderr, "velmora-cli: %s\n", strError.c_str());
            return kExitEnvironment;
        }
        if (!args.common.bJson)
            std::cout << "inventory of " << found.size() << " controllers in " << args.strInventory << "\n";
    }
    return answered.empty() ? kExitFailed : kExitOk;
}

} // namespace

void AddScanCommand(CLI::App& app, int* pnExitCode) {
    auto args = std::make_shared<SScanArgs>();
    CLI::App* command =
        app.add_subcommand("scan", "Query every address of a range and list the controllers that answer.");
    command
        ->add_option(
            "RANGE", args->strRange,
            "a CIDR block such as 192.168.1.0/24, FIRST-LAST, or a list of these separated by commas "
            "(at most 4096 addresses)")
        ->required();
    command->add_option("--rate", args->nRate, "queries a second (default 200)")->check(CLI::Range(1, 1000));
    command->add_option("--inventory", args->strInventory,
                        "also write the controllers found as a batch plan (CSV: room,address,server_ip,mask,"
                        "gateway,lock_type,lock_time,projector1,projector2; a part that did not come stays "
                        "empty)");
    AddCommonOptions(*command, args->common);
    command->footer(
        "A scan is a success (0) when some controller answered, a failure (1) when none did.\n\n" +
        ExitStatusTable());
    command->callback([args, pnExitCode] { *pnExitCode = RunScan(*args); });
}

} // namespace cli
