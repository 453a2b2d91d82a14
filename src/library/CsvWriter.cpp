#include "CsvWriter.h"

namespace library {

void AppendCsvField(std::string& strOut, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        strOut += field;
        return;
    }
    strOut += '"';
    for (char c : field) {
        if (c == '"')
            strOut += '"';
        strOut += c;
    }
    strOut += '"';
}

} // namespace library
