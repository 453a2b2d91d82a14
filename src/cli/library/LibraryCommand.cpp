#include "LibraryCommand.h"

#include "DataLocation.h"

#include "ImportPreview.h"
#include "LibraryWriter.h"
#include "Words.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace cli {

namespace {

struct SLibraryOptions {
    std::string strFile;
    std::string strDb = CDataLocation::Find().strPath;
    std::string strOnConflict;
    std::string strEncoding;
    bool bDryRun = false;
};

// The exit statuses of velmora-cli.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;   // the work ran and failed, or wrote nothing
constexpr int kExitBadInput = 2; // an input file or argument that cannot be used
constexpr int kExitDatabase = 3; // data.mdb cannot be used

int ExitOf(library::EWriteFailure eFailure) {
    switch (eFailure) {
    case library::EWriteFailure::None:
        return kExitOk;
    case library::EWriteFailure::Refused:
        return kExitBadInput;
    case library::EWriteFailure::LibraryUnusable:
        return kExitDatabase;
    case library::EWriteFailure::Failed:
        break;
    }
    return kExitFailed;
}

std::string Rows(std::size_t n, const char* pszWhat) {
    return std::to_string(n) + " " + pszWhat + (n == 1 ? " row" : " rows");
}

int RunExport(const SLibraryOptions& options) {
    const library::SWriteResult result = library::ExportLibrary(options.strDb, options.strFile);
    if (!result.bOk) {
        std::cerr << LibraryErrorText(result.error) << '\n';
        return ExitOf(result.eFailure);
    }
    std::cout << "exported " << result.nExported << (result.nExported == 1 ? " model" : " models") << " to "
              << options.strFile << '\n';
    return kExitOk;
}

int RunImport(const SLibraryOptions& options) {
    std::optional<library::EEncoding> forced;
    if (options.strEncoding == "utf-8")
        forced = library::EEncoding::Utf8;
    else if (options.strEncoding == "gb18030")
        forced = library::EEncoding::Gb18030;
    library::CImportPreview preview;
    if (!preview.Load(options.strFile, options.strDb, {}, forced)) {
        std::cerr << LibraryErrorText(preview.Error()) << '\n';
        return preview.LibraryFailed() ? kExitDatabase : kExitBadInput;
    }
    const bool bTake = options.strOnConflict == "take";
    preview.SetChoiceForAll(bTake ? library::EChoice::Take : library::EChoice::Keep);

    const library::SPreviewCounts counts = preview.Counts();
    if (!preview.FromDatabase())
        std::cout << "encoding: " << (preview.Encoding() == library::EEncoding::Utf8 ? "UTF-8" : "GB18030")
                  << '\n';
    std::cout << "new: " << counts.nNew << '\n'
              << "identical: " << counts.nIdentical << '\n'
              << "conflicting: " << counts.nConflict << '\n'
              << "invalid: " << counts.nInvalid << '\n';
    const char* pszWhere = preview.FromDatabase() ? "row " : "line ";
    for (std::size_t i = 0; i < preview.RowCount(); ++i) {
        if (preview.Class(i) == library::ERowClass::Invalid)
            std::cout << pszWhere << preview.Line(i) << ": invalid: " << RowReasonText(preview, i) << '\n';
        else if (preview.Class(i) == library::ERowClass::Conflict)
            std::cout << pszWhere << preview.Line(i) << ": conflicting: " << preview.Field(i, 0)
                      << (bTake ? " (imported codes taken)" : " (library's codes kept)") << '\n';
    }
    if (options.bDryRun) {
        std::cout << "dry run: nothing written\n";
        return kExitOk;
    }
    const library::SWriteResult result = library::ApplyImport(preview, options.strDb);
    if (!result.bOk) {
        std::cerr << LibraryErrorText(result.error) << '\n';
        return ExitOf(result.eFailure);
    }
    // Every row of the file is accounted for: written, already there, kept
    // as the library has it, or refused.
    std::cout << "written: " << result.nInserted << " new, " << result.nUpdated << " updated, "
              << Rows(counts.nIdentical, "identical") << " already there, "
              << (bTake ? std::string() : Rows(counts.nConflict, "conflicting") + " kept as in the library, ")
              << Rows(counts.nInvalid, "invalid") << " not imported\n";
    return result.nInserted + result.nUpdated > 0 ? kExitOk : kExitFailed;
}

} // namespace

void AddLibraryCommand(CLI::App& app, int* pnExitCode) {
    auto options = std::make_shared<SLibraryOptions>();
    CLI::App* pLibrary = app.add_subcommand("library", "Export, import and merge the projector code library");
    pLibrary->require_subcommand(1);

    CLI::App* pExport = pLibrary->add_subcommand("export", "Write every model of the library to a CSV file");
    pExport->add_option("FILE", options->strFile, "the CSV file to write")->required();
    pExport->add_option("--db", options->strDb, "the library (default: the window's data.mdb)");
    pExport->callback([options, pnExitCode] { *pnExitCode = RunExport(*options); });

    CLI::App* pImport =
        pLibrary->add_subcommand("import", "Bring models in from a CSV file or another installer's data.mdb");
    pImport->add_option("FILE", options->strFile, "a CSV file or another data.mdb")->required();
    pImport->add_option("--db", options->strDb, "the library (default: the window's data.mdb)");
    pImport
        ->add_option("--on-conflict", options->strOnConflict,
                     "for a model the library holds with other codes: keep the library's, or take the file's")
        ->required()
        ->check(CLI::IsMember({"keep", "take"}));
    pImport
        ->add_option("--encoding", options->strEncoding,
                     "read a CSV file as UTF-8 or as GB18030 (GBK) instead of guessing")
        ->check(CLI::IsMember({"utf-8", "gb18030"}));
    pImport->add_flag("--dry-run", options->bDryRun, "show the preview, write nothing");
    pImport->callback([options, pnExitCode] { *pnExitCode = RunImport(*options); });
}

} // namespace cli
