#include "LibraryCommand.h"

#include "DataLocation.h"

#include "ImportPreview.h"
#include "LibraryWriter.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <memory>
#include <string>

namespace cli {

namespace {

struct SLibraryOptions {
    std::string strFile;
    std::string strDb = CDataLocation::Find().strPath;
    std::string strOnConflict;
    bool bDryRun = false;
};

int RunExport(const SLibraryOptions& options) {
    const library::SWriteResult result = library::ExportLibrary(options.strDb, options.strFile);
    (result.bOk ? std::cout : std::cerr) << result.strMessage << '\n';
    return result.bOk ? 0 : 1;
}

int RunImport(const SLibraryOptions& options) {
    library::CImportPreview preview;
    if (!preview.Load(options.strFile, options.strDb)) {
        std::cerr << preview.Error() << '\n';
        return 1;
    }
    const bool bTake = options.strOnConflict == "take";
    preview.SetChoiceForAll(bTake ? library::EChoice::Take : library::EChoice::Keep);

    const library::SPreviewCounts counts = preview.Counts();
    std::cout << "new: " << counts.nNew << '\n'
              << "identical: " << counts.nIdentical << '\n'
              << "conflicting: " << counts.nConflict << '\n'
              << "invalid: " << counts.nInvalid << '\n';
    const char* pszWhere = preview.FromDatabase() ? "row " : "line ";
    for (std::size_t i = 0; i < preview.RowCount(); ++i) {
        if (preview.Class(i) == library::ERowClass::Invalid)
            std::cout << pszWhere << preview.Line(i) << ": invalid: " << preview.Reason(i) << '\n';
        else if (preview.Class(i) == library::ERowClass::Conflict)
            std::cout << pszWhere << preview.Line(i) << ": conflicting: " << preview.Field(i, 0)
                      << (bTake ? " (imported codes taken)" : " (library's codes kept)") << '\n';
    }
    if (options.bDryRun) {
        std::cout << "dry run: nothing written\n";
        return 0;
    }
    const library::SWriteResult result = library::ApplyImport(preview, options.strDb);
    if (!result.bOk) {
        std::cerr << result.strMessage << '\n';
        return 1;
    }
    std::cout << "written: " << result.nInserted << " new, " << result.nUpdated << " updated\n";
    return 0;
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
    pImport->add_flag("--dry-run", options->bDryRun, "show the preview, write nothing");
    pImport->callback([options, pnExitCode] { *pnExitCode = RunImport(*options); });
}

} // namespace cli
