#pragma once

// Comma-separated files as spreadsheets write them: a field may be quoted,
// a quote inside is doubled, lines end with LF or CRLF.

#include <string>
#include <vector>

namespace cli {

// False with the line of the fault when a quoted field is not closed.
bool ParseCsv(const std::string& text, std::vector<std::vector<std::string>>& rows, std::string& error);
// One line (with its LF), each field quoted when it needs to be.
std::string CsvLine(const std::vector<std::string>& fields);

} // namespace cli
