// velmora-cli get ADDRESS [--out FILE]: read one controller.

#include "Commands.h"
#include "DiagnosisText.h"
#include "FileSystem.h"
#include "Output.h"
#include "Runner.h"
#include "Snapshot.h"
#include "Utf8Path.h"
#include "codec/AddressRange.h"

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace cli {
namespace {

namespace fs = std::filesystem;

bool OutputWritable(const fs::path& path, std::string& error) {
    const fs::path probe = base::TemporaryBeside(path);
    std::FILE* pFile = base::OpenFile(probe, "wb");
    if (pFile == nullptr) {
        error = "cannot write " + Utf8FromPath(path) + ": " + base::LastErrorText();
        return false;
    }
    std::fclose(pFile);
    base::RemoveFile(probe);
    return true;
}

struct SGetArgs {
    std::string strAddress, strOut;
    SCommonOptions common;
};

class CReadCollector : public session::ISessionObserver {
public:
    void OnReadDone(session::ExchangeId, const session::SReadResult& r) override { result = r; }
    session::SReadResult result;
};

int RunGet(const SGetArgs& args) {
    codec::Ip4 address{};
    if (!codec::ParseDottedQuad(args.strAddress, address)) {
        std::fprintf(stderr, "velmora-cli: \"%s\" is not an IPv4 address a.b.c.d\n", args.strAddress.c_str());
        return kExitInput;
    }
    if (!args.strOut.empty()) {
        // The file is tried before the controller is read, so a read is not
        // spent on a snapshot that cannot be kept.
        if (!OutputAllowed(args.strOut, args.common.strDb))
            return kExitInput;
        std::string error;
        if (!OutputWritable(PathFromUtf8(args.strOut), error)) {
            std::fprintf(stderr, "velmora-cli: %s; nothing was read\n", error.c_str());
            return kExitEnvironment;
        }
    }
    SCommonOptions common = args.common;
    // The snapshot it saves is no place for the log either.
    common.inputs.push_back(args.strOut);
    CRunner runner(common);
    if (const int nExit = runner.Open())
        return nExit;
    CReadCollector collector;
    session::CSessionEngine& engine = runner.Engine(collector, {});
    engine.StartRead(address, CRunner::Now());
    runner.Run();
    session::SSnapshot snapshot;
    snapshot.read = collector.result;
    snapshot.read.settings.initialIp = address;
    snapshot.strTime = session::UtcNowText();
    snapshot.strProgram = session::ProgramVersion();
    if (!snapshot.read.Any()) {
        std::fprintf(stderr, "velmora-cli: %s did not answer (该中控无信息返回！)\n",
                     args.strAddress.c_str());
        std::fputs(DiagnoseHint(args.strAddress).c_str(), stderr);
        return kExitFailed;
    }
    if (args.common.bJson)
        std::cout << session::FormatSnapshot(snapshot);
    else
        std::cout << SettingsTable(snapshot.read);
    if (!args.strOut.empty()) {
        std::string error;
        if (!session::SaveSnapshot(PathFromUtf8(args.strOut), snapshot, error)) {
            std::fprintf(stderr, "velmora-cli: %s\n", error.c_str());
            return kExitEnvironment;
        }
        if (!args.common.bJson)
            std::cout << "saved " << args.strOut << "\n";
    }
    if (!snapshot.read.Complete()) {
        std::fprintf(stderr, "velmora-cli: %s answered only in part: %s\n", args.strAddress.c_str(),
                     MissingPartsText(snapshot.read.MissingParts()).c_str());
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace

void AddGetCommand(CLI::App& app, int* pnExitCode) {
    auto args = std::make_shared<SGetArgs>();
    CLI::App* command = app.add_subcommand("get", "Read a controller and print its settings.");
    command->add_option("ADDRESS", args->strAddress, "the controller's present address")->required();
    command->add_option("--out", args->strOut, "also write the settings to this snapshot file (JSON)");
    AddCommonOptions(*command, args->common);
    command->footer("A read is a success (0) when all four replies came; a controller that answered in "
                    "part\nor not at all is a failure (1).\n\n" +
                    ExitStatusTable());
    command->callback([args, pnExitCode] { *pnExitCode = RunGet(*args); });
}

} // namespace cli
