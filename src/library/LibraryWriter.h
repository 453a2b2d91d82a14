#pragma once

#include "LibraryError.h"
#include "TextFile.h"

#include <cstddef>
#include <string>

// Writing the library: an import decided by a preview, and the export of
// every model to a CSV file.
namespace library {

class CImportPreview;

struct SApplyOptions {
    // How long to wait for a lock another program holds on data.mdb.
    int nBusyTimeoutMs = 2000;
    ProgressFn progress;
};

// Why a write did not happen, for a caller that answers differently.
enum class EWriteFailure {
    None,
    Refused,         // the target may not be written (it is the library or another database)
    LibraryUnusable, // data.mdb is missing, not a library, read-only or locked
    Failed,          // the work started and went wrong; nothing was changed
};

struct SWriteResult {
    bool bOk = false;
    EWriteFailure eFailure = EWriteFailure::None;
    SLibraryError error; // what went wrong
    std::size_t nInserted = 0;
    std::size_t nUpdated = 0;
    std::size_t nExported = 0;
};

// Writes the new rows of the preview and the conflicting rows whose choice
// is Take into the DATA table of the library, in one transaction: all of
// them, or, on any failure, none. The library's htset is never touched.
// A library that changed since the preview (a new model already there, a
// taken model gone) is left as it is and the import must be previewed again.
SWriteResult ApplyImport(const CImportPreview& preview, const std::string& strLibraryPath,
                         const SApplyOptions& options = {});

// Writes every DATA row to a UTF-8 CSV file (with a byte-order mark, so
// spreadsheet programs read its Chinese text right), sorted by model: the
// header model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF, then one record a
// row, fields quoted where RFC 4180 needs it, CRLF line ends. The file
// appears complete or not at all. The target is refused when it is the
// library itself (under any name or link), any SQLite database, or a name
// ending in .mdb, so an export can never replace a library.

SWriteResult ExportLibrary(const std::string& strLibraryPath, const std::string& strCsvPath,
                           ProgressFn progress = {});

} // namespace library
