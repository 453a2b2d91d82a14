#pragma once

// The plan and results files: comma-separated, as spreadsheets write them,
// read and written by the same CSV code as the projector library's files
// (UTF-8 with or without a byte-order mark, or GB18030; quoted fields;
// LF or CRLF).

#include "LibraryError.h"

#include <string>
#include <vector>

namespace session {

// Every non-blank record of the file, and with pLines the line each starts
// on; false when the file cannot be read (error: the reader's reason) or a
// quoted field is not closed (nUnterminatedLine: its line).
bool ReadCsvFile(const std::string& strPath, std::vector<std::vector<std::string>>& rows,
                 library::SLibraryError& error, std::size_t& nUnterminatedLine,
                 std::vector<std::size_t>* pLines = nullptr);
// One line (with its LF), each field quoted when it needs to be.
std::string CsvLine(const std::vector<std::string>& fields);

} // namespace session
