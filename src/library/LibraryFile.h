#pragma once

#include <string>

struct sqlite3;

// Opening data.mdb files for the library's import, merge and export.
namespace library {

// The export's header, which is also the column order of every record.
constexpr const char* kExportHeader = "model,baud,parity,VGA,VIDEO,POWER ON,POWER OFF";

// The seven columns of DATA in export order, as a select list.
constexpr const char* kDataColumns =
    "\"投影机型号\",\"波特率\",\"校验\",VGA,VIDEO,\"POWER ON\",\"POWER OFF\"";

// Whether the file starts as an SQLite database does.
bool LooksLikeDatabase(const std::string& strPath);

// Opens a Velmora data.mdb for reading: an SQLite file holding the tables
// DATA (with its seven columns) and htset. Returns nullptr and a message the
// installer can act on otherwise.
sqlite3* OpenLibraryForReading(const std::string& strPath, std::string& strError);

} // namespace library
