// velmora-cli: reads, writes, finds and configures controllers from a
// terminal or a script, over the same engine and data.mdb as the window.

#include "Commands.h"
#include "Console.h"
#include "LibraryCommand.h"

#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
    base::PrepareConsole();
    std::vector<std::string> arguments = base::Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& str : arguments)
        pointers.push_back(str.data());
    CLI::App app("Reads and writes classroom controllers (model 4720) over UDP port 1550.", "velmora-cli");
    app.require_subcommand(1);
    app.footer(cli::ExitStatusTable());
    int nExitCode = 0;
    cli::AddGetCommand(app, &nExitCode);
    cli::AddSetCommand(app, &nExitCode);
    cli::AddScanCommand(app, &nExitCode);
    cli::AddBatchCommand(app, &nExitCode);
    cli::AddRestoreCommand(app, &nExitCode);
    cli::AddDiagnoseCommand(app, &nExitCode);
    cli::AddLibraryCommand(app, &nExitCode);
    try {
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::ParseError& e) {
        const int nParseExit = app.exit(e);
        // A usage error is bad input; --help is a success.
        return nParseExit == 0 ? 0 : 2;
    }
    return nExitCode;
}
