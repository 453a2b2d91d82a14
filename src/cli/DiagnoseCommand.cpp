// velmora-cli diagnose ADDRESS [--json]: why a controller does not answer.

#include "Commands.h"
#include "DiagnosisText.h"
#include "LogFile.h"
#include "LoggedProbes.h"
#include "SystemProbes.h"
#include "codec/AddressRange.h"

#include <cstdio>
#include <iostream>

namespace cli {
namespace {

struct SDiagnoseArgs {
    std::string strAddress;
    bool bJson = false;
    int nLocalPort = 1550;
    int nPeerPort = 1550;
    int nWaitMs = 3000;
    int nEchoMs = 1000;
    std::string strLog;
    std::string strDb = CDataLocation::Find().strPath; // only what the log may not replace
};

int RunDiagnose(const SDiagnoseArgs& args) {
    codec::Ip4 address{};
    if (!codec::ParseDottedQuad(args.strAddress, address)) {
        std::fprintf(stderr, "velmora-cli: \"%s\" is not an IPv4 address a.b.c.d\n", args.strAddress.c_str());
        return kExitInput;
    }
    net::SSystemProbeOptions options;
    options.nLocalPort = static_cast<std::uint16_t>(args.nLocalPort);
    options.nPeerPort = static_cast<std::uint16_t>(args.nPeerPort);
    options.strProgram = "velmora-cli";
    options.echoTimeout = std::chrono::milliseconds(args.nEchoMs);
    CLogFile log;
    if (const int nExit = log.Open(args.strLog, args.strDb, {}))
        return nExit;
    net::CSystemProbes system(options);
    session::CLoggedProbes logged(system, log.Log());
    net::IDiagnosisProbes& probes = log.IsOpen() ? static_cast<net::IDiagnosisProbes&>(logged) : system;
    const session::SDiagnosis diagnosis = session::Diagnose(address, probes, {args.nWaitMs});
    log.Flush();
    if (args.bJson)
        std::cout << DiagnosisJson(diagnosis).dump(2) << "\n";
    else
        std::cout << DiagnosisReport(diagnosis);
    return diagnosis.eConclusion == session::EConclusion::Ok ? kExitOk : kExitFailed;
}

} // namespace

void AddDiagnoseCommand(CLI::App& app, int* pnExitCode) {
    auto args = std::make_shared<SDiagnoseArgs>();
    CLI::App* command = app.add_subcommand("diagnose", "Find out why a controller does not answer.");
    command->add_option("ADDRESS", args->strAddress, "the controller's address")->required();
    command->add_flag("--json", args->bJson, "print JSON for scripts instead of a report");
    command->add_option("--log", args->strLog,
                        "write every datagram sent and received to this file, one line each");
    command->add_option("--db", args->strDb)->group("");
    command->add_option("--local-port", args->nLocalPort)->check(CLI::Range(0, 65535))->group("");
    command->add_option("--peer-port", args->nPeerPort)->check(CLI::Range(1, 65535))->group("");
    command->add_option("--wait-ms", args->nWaitMs)->check(CLI::Range(1, 60000))->group("");
    command->add_option("--echo-ms", args->nEchoMs)->check(CLI::Range(1, 60000))->group("");
    command->footer(
        "Checks, in order: address, interfaces, port, query, echo, neighbour, firewall (Windows "
        "only).\nThe conclusion is one of ok, partial, wrong-subnet, port-in-use, no-device, "
        "not-a-controller,\nfiltered, other-address, bad-address. Exit status 0 for ok, 1 for any "
        "other conclusion,\n2 for a usage error.");
    command->callback([args, pnExitCode] { *pnExitCode = RunDiagnose(*args); });
}

} // namespace cli
