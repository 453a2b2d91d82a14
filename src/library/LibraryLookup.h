#pragma once

#include "LibraryError.h"
#include "ModelRules.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace library {

// Finds models in a library while an import is previewed. A library with an
// index on its model column (the shipped schema has one) is asked row by row
// through that index, so the preview holds none of its rows; one without is
// read into memory once, as a lookup by name would otherwise scan the table
// for every row.
class CLibraryLookup {
public:
    CLibraryLookup() = default;
    ~CLibraryLookup();
    CLibraryLookup(const CLibraryLookup&) = delete;
    CLibraryLookup& operator=(const CLibraryLookup&) = delete;

    // Opens the library and sums up its DATA table (see ReadLibrary). On
    // failure returns false and error says why.
    bool Open(const std::string& strPath, SLibraryError& error);
    void Close();
    std::uint64_t Fingerprint() const { return m_nFingerprint; }

    // The first row (in storage order) holding the model; false when there is
    // none or on a database error (then Failed() is true).
    bool Find(std::string_view model, SModelRecord& record);
    bool Failed() const { return m_bFailed; }

    // The first row holding the model in the library at strPath, read again
    // from the file; false when it is gone.
    static bool Fetch(const std::string& strPath, std::string_view model, SModelRecord& record);

private:
    sqlite3* m_pDb = nullptr;
    sqlite3_stmt* m_pFind = nullptr;
    std::unordered_map<std::string, SModelRecord> m_rows; // for a library without an index
    std::uint64_t m_nFingerprint = 0;
    bool m_bFailed = false;
};

} // namespace library
