#pragma once

// The plan and results files: comma-separated, as spreadsheets write them,
// read and written by the same CSV code as the projector library's files
// (UTF-8 with or without a byte-order mark, or GB18030; quoted fields;
// LF or CRLF).

#include <string>
#include <vector>

namespace session {

// Every non-blank record of the file, and with pLines the line each starts
// on; false with the reason (and the line) when the file cannot be read or a
// quoted field is not closed.
bool ReadCsvFile(const std::string& strPath, std::vector<std::vector<std::string>>& rows, std::string& error,
                 std::vector<std::size_t>* pLines = nullptr);
// One line (with its LF), each field quoted when it needs to be.
std::string CsvLine(const std::vector<std::string>& fields);

} // namespace session
