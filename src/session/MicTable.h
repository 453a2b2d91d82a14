#pragma once

// The htset table as the Set and a read see it: twenty rows placed by their
// htnum ("0" is microphone 1 … "19" microphone 20), never by the order in
// which the store returns them.

#include "ControllerSettings.h"

#include <array>
#include <string>

namespace session {

struct SMicTableLoad {
    std::array<SMicEntry, codec::kMicEntries> rows; // a missing row reads as all "-1"
    bool bEmpty = false;                            // the table held no row at all
    std::string strError;                           // the database's text when the read failed
};

// Reads htset through the shared connection. Rows whose htnum is not "0" to
// "19" are skipped; a NULL cell reads as "-1".
SMicTableLoad LoadMicTable();

// Stores a controller's twenty entries, row by row; every row is attempted.
// Returns the text of the first database error, "" when all went in.
std::string StoreMicTable(const std::array<SMicEntry, codec::kMicEntries>& rows);

// The microphone index of an htnum text, -1 when it names none of the twenty.
int MicRowOf(const std::string& strHtnum);

} // namespace session
