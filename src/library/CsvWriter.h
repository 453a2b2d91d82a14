#pragma once

#include <string>
#include <string_view>

namespace library {

// Appends one field as RFC 4180 writes it: in double quotes, with every
// quote doubled, when it holds a comma, a quote or a line break; as it is
// otherwise.
void AppendCsvField(std::string& strOut, std::string_view field);

} // namespace library
