#pragma once

// Files and rows for the library tests: bytes written exactly as given, and
// the DATA rows of a data.mdb read straight from the file.
#include "Utf8Path.h"

#include <sqlite3.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testfiles {

using Row = std::array<std::string, 7>;

inline void Write(const std::filesystem::path& path, const std::string& strBytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(strBytes.data(), static_cast<std::streamsize>(strBytes.size()));
}

inline std::string Read(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Every DATA row, sorted by model, then by the codes.
inline std::vector<Row> Rows(const std::filesystem::path& db) {
    std::vector<Row> rows;
    sqlite3* pDb = nullptr;
    sqlite3_open_v2(Utf8FromPath(db).c_str(), &pDb, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* pStatement = nullptr;
    sqlite3_prepare_v2(
        pDb,
        "SELECT \"投影机型号\",\"波特率\",\"校验\",VGA,VIDEO,\"POWER ON\",\"POWER OFF\" FROM DATA "
        "ORDER BY 1,2,3,4,5,6,7",
        -1, &pStatement, nullptr);
    while (pStatement && sqlite3_step(pStatement) == SQLITE_ROW) {
        Row row;
        for (int i = 0; i < 7; ++i) {
            const unsigned char* pText = sqlite3_column_text(pStatement, i);
            row[static_cast<std::size_t>(i)] =
                pText ? std::string(reinterpret_cast<const char*>(pText),
                                    static_cast<std::size_t>(sqlite3_column_bytes(pStatement, i)))
                      : "<NULL>";
        }
        rows.push_back(row);
    }
    sqlite3_finalize(pStatement);
    sqlite3_close(pDb);
    return rows;
}

} // namespace testfiles
