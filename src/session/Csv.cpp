#include "Csv.h"

#include "CsvReader.h"
#include "CsvWriter.h"
#include "TextFile.h"

namespace session {

namespace {

// The reader's failure for a reason string of the plan file's error.
std::string ReadError(const std::string& strPath, const library::SLibraryError& error) {
    if (!error.system.strSystem.empty())
        return "cannot read " + strPath + ": " + error.system.strSystem;
    return "cannot read " + strPath + " as UTF-8 or GB18030 text";
}

} // namespace

bool ReadCsvFile(const std::string& strPath, std::vector<std::vector<std::string>>& rows, std::string& error,
                 std::vector<std::size_t>* pLines) {
    rows.clear();
    if (pLines)
        pLines->clear();
    library::CTextFile file;
    if (!file.Open(strPath)) {
        error = ReadError(strPath, file.Error());
        return false;
    }
    library::CCsvReader reader(file);
    library::SCsvRecord record;
    while (reader.Next(record)) {
        if (record.bUnterminated) {
            error = "line " + std::to_string(record.nLine) + ": a quoted field is not closed";
            return false;
        }
        if (record.IsBlank())
            continue;
        if (pLines)
            pLines->push_back(static_cast<std::size_t>(record.nLine));
        rows.push_back(std::move(record.fields));
    }
    if (file.Error().Failed()) {
        error = ReadError(strPath, file.Error());
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
