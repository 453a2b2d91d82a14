#pragma once

#include "FileSystem.h"

#include <cstdint>
#include <string>
#include <utility>

struct sqlite3;

namespace library {

// Why reading a source, reading the library or writing it did not happen.
// The library reports the code and the values a sentence needs; each face
// words it in its own language.
enum class ELibraryError : std::uint8_t {
    None,
    // Reading a CSV file.
    Cancelled,          // the installer stopped the preview
    SourceIsFolder,     // strPath
    CannotOpenSource,   // strPath, system
    Utf16,              // the file is UTF-16, which is not read
    NoGb18030,          // the system cannot convert GB18030
    ReadFailed,         // system
    CutInCharacter,     // the file ends inside a GB18030 character
    UnknownEncoding,    // nNumber: the first byte that is no character (from 1)
    EmptyFile,          // no header
    HeaderUnterminated, // the header ends inside quotes
    RepeatedColumn,     // strDetail: the column's name as the header has it
    MissingColumns,     // strDetail: the missing columns' export names, joined with "、"
    // Reading a data.mdb (the library or another one).
    NotLibrary,            // strPath: no SQLite file with DATA and htset
    LibraryColumnsMissing, // strPath; strDetail: DATA's missing columns, joined with "、"
    LibraryNotFound,       // strPath; strDetail: the folder it was looked for in
    CannotOpenLibrary,     // strPath, system
    CannotReadLibrary,     // strPath, system
    LookupFailed,          // a lookup in the library failed after the rows were read
    LibraryUnreadable,     // the library's rows could not be read; system
    SourceReadFailed,      // strPath, system: another data.mdb's rows could not be read
    // Writing the library.
    LibraryGone,     // strPath, system: data.mdb is no longer there
    LibraryReadOnly, // nothing was changed
    LibraryBusy,     // another program holds data.mdb; nothing was changed
    WriteFailed,     // system; nothing was changed
    LibraryChanged,  // data.mdb changed after the preview; nothing was changed
    ImportCancelled, // nothing was changed
    // Exporting.
    ExportOverLibrary,  // strPath: the target is the library in use
    ExportOverDatabase, // strPath: the target is a database
    ExportOverFolder,   // strPath: the target is a folder
    ExportMdbName,      // strPath: names ending in .mdb are the libraries'
    ExportReadFailed,   // system: the library's rows could not be read
    CannotWriteCsv,     // strPath, system
    CsvWriteFailed,     // strPath, system
    ExportCancelled,
};

// The last code, for walking every code.
constexpr ELibraryError kLastLibraryError = ELibraryError::ExportCancelled;

struct SLibraryError {
    SLibraryError() = default;
    SLibraryError(ELibraryError eCodeIn, std::string strPathIn = {}, std::string strDetailIn = {},
                  std::uint64_t nNumberIn = 0, base::SFileError systemIn = {})
        : eCode(eCodeIn), strPath(std::move(strPathIn)), strDetail(std::move(strDetailIn)),
          nNumber(nNumberIn), system(std::move(systemIn)) {}

    ELibraryError eCode = ELibraryError::None;
    std::string strPath;       // the file the failure is about
    std::string strDetail;     // a column, the columns missing, a folder
    std::uint64_t nNumber = 0; // a byte's place
    // Why the system or the database engine refused, where it did; its
    // strSystem is the system's or the engine's own (English) text.
    base::SFileError system;

    bool Failed() const { return eCode != ELibraryError::None; }
};

// The kind of an SQLite result code (its primary code decides) and the
// engine's text for it on the connection (the code's own text without one).
base::SFileError EngineError(sqlite3* pDb, int nResult);

} // namespace library
