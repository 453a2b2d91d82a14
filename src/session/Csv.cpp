#include "Csv.h"

#include "CsvReader.h"
#include "CsvWriter.h"
#include "TextFile.h"

namespace session {

bool ReadCsvFile(const std::string& strPath, std::vector<std::vector<std::string>>& rows,
                 library::SLibraryError& error, std::size_t& nUnterminatedLine,
                 std::vector<std::size_t>* pLines) {
    rows.clear();
    nUnterminatedLine = 0;
    if (pLines)
        pLines->clear();
    library::CTextFile file;
    if (!file.Open(strPath)) {
        error = file.Error();
        return false;
    }
    library::CCsvReader reader(file);
    library::SCsvRecord record;
    while (reader.Next(record)) {
        if (record.bUnterminated) {
            nUnterminatedLine = static_cast<std::size_t>(record.nLine);
            return false;
        }
        if (record.IsBlank())
            continue;
        if (pLines)
            pLines->push_back(static_cast<std::size_t>(record.nLine));
        rows.push_back(std::move(record.fields));
    }
    if (file.Error().Failed()) {
        error = file.Error();
        return false;
    }
    return true;
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += ',';
        library::AppendCsvField(line, fields[i]);
    }
    return line + "\n";
}

} // namespace session
