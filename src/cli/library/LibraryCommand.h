#pragma once

namespace CLI {
class App;
}

namespace cli {

// Adds "library export FILE.csv [--db PATH]" and "library import FILE [--db
// PATH] --on-conflict keep|take [--encoding utf-8|gb18030] [--dry-run]" to
// the command line. FILE of an import is a CSV file or another data.mdb; the
// library is data.mdb in the working folder unless --db names another. The
// chosen subcommand stores its exit status in *pnExitCode: 0 when it did its
// work (or, with --dry-run, its preview), 1 when it ran but failed or wrote
// nothing, 2 when the input file or the export's target cannot be used, 3
// when data.mdb cannot be used.
void AddLibraryCommand(CLI::App& app, int* pnExitCode);

} // namespace cli
