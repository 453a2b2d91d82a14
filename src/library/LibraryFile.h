#pragma once

#include "LibraryError.h"
#include "ModelRules.h"

#include <cstdint>
#include <functional>
#include <string>

struct sqlite3;

// Opening data.mdb files for the library's import, merge and export.
namespace library {

// The export's header, which is also the column order of every record.
constexpr const char* kExportHeader = "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF";

// The seven columns of DATA in export order, as a select list.
constexpr const char* kDataColumns =
    "\"投影机型号\",\"波特率\",\"校验\",VGA,VIDEO,\"POWER ON\",\"POWER OFF\"";

// Whether two paths name one file (through another name, a link or a hard
// link); false when either does not exist.
bool IsSameFile(const std::string& strPathA, const std::string& strPathB);

// Whether the file starts as an SQLite database does.
bool LooksLikeDatabase(const std::string& strPath);

// Opens a Velmora data.mdb for reading: an SQLite file holding the tables
// DATA (with its seven columns) and htset. Returns nullptr and says why
// otherwise.
sqlite3* OpenLibraryForReading(const std::string& strPath, SLibraryError& error);

// Walks every DATA row in storage order, handing each to the callback (NULL
// cells read as ""), and sums the rows up in a fingerprint: the same rows in
// the same places give the same number, and any insert, delete or change of
// a cell gives another. False on a database error.
bool ReadLibrary(sqlite3* pDb, std::uint64_t& nFingerprint,
                 const std::function<void(SModelRecord&&)>& onRecord = {});

} // namespace library
