#include "Csv.h"

namespace cli {

bool ParseCsv(const std::string& text, std::vector<std::vector<std::string>>& rows, std::string& error) {
    rows.clear();
    std::vector<std::string> row;
    std::string field;
    bool bQuoted = false, bAny = false;
    std::size_t nLine = 1;
    auto endRow = [&] {
        row.push_back(std::move(field));
        field.clear();
        // A line with nothing on it is not a row.
        if (row.size() > 1 || !row[0].empty() || bAny)
            rows.push_back(std::move(row));
        row.clear();
        bAny = false;
    };
    std::size_t i = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0; // a spreadsheet's byte-order mark
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (bQuoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                bQuoted = false;
            } else {
                if (c == '\n')
                    ++nLine;
                field += c;
            }
            continue;
        }
        if (c == '"') {
            bQuoted = true;
            bAny = true;
        } else if (c == ',') {
            row.push_back(std::move(field));
            field.clear();
        } else if (c == '\n') {
            endRow();
            ++nLine;
        } else if (c != '\r') {
            field += c;
        }
    }
    if (bQuoted) {
        error = "line " + std::to_string(nLine) + ": a quoted field is not closed";
        return false;
    }
    if (!field.empty() || !row.empty() || bAny)
        endRow();
    return true;
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += ',';
        const std::string& f = fields[i];
        if (f.find_first_of(",\"\r\n") == std::string::npos) {
            line += f;
            continue;
        }
        line += '"';
        for (char c : f) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += '"';
    }
    return line + "\n";
}

} // namespace cli
