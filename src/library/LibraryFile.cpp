#include "LibraryFile.h"

#include "Database.h"

#include "FileSystem.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <iterator>

namespace library {

namespace {

bool HasTable(sqlite3* pDb, const char* pszTable, int& nResult) {
    sqlite3_stmt* pStatement = nullptr;
    nResult =
        sqlite3_prepare_v2(pDb, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE",
                           -1, &pStatement, nullptr);
    if (nResult != SQLITE_OK)
        return false;
    sqlite3_bind_text(pStatement, 1, pszTable, -1, SQLITE_STATIC);
    nResult = sqlite3_step(pStatement);
    sqlite3_finalize(pStatement);
    const bool bFound = nResult == SQLITE_ROW;
    if (nResult == SQLITE_ROW || nResult == SQLITE_DONE)
        nResult = SQLITE_OK;
    return bFound;
}

// The columns of DATA that the table lacks, joined with "、"; false on a
// database error.
bool MissingColumns(sqlite3* pDb, std::string& strMissing, int& nResult) {
    static const char* const kNames[] = {"投影机型号", "波特率",   "校验",     "VGA",
                                         "VIDEO",      "POWER ON", "POWER OFF"};
    bool found[std::size(kNames)] = {};
    sqlite3_stmt* pStatement = nullptr;
    nResult = sqlite3_prepare_v2(pDb, "SELECT name FROM pragma_table_info('DATA')", -1, &pStatement, nullptr);
    while (nResult == SQLITE_OK && (nResult = sqlite3_step(pStatement)) == SQLITE_ROW) {
        const auto* pszName = reinterpret_cast<const char*>(sqlite3_column_text(pStatement, 0));
        for (std::size_t i = 0; i < std::size(kNames); ++i)
            if (pszName && sqlite3_stricmp(kNames[i], pszName) == 0)
                found[i] = true;
        nResult = SQLITE_OK;
    }
    sqlite3_finalize(pStatement);
    if (nResult != SQLITE_DONE)
        return false;
    nResult = SQLITE_OK;
    strMissing.clear();
    for (std::size_t i = 0; i < std::size(kNames); ++i)
        if (!found[i])
            strMissing += (strMissing.empty() ? "" : "、") + std::string(kNames[i]);
    return true;
}

} // namespace

bool IsSameFile(const std::string& strPathA, const std::string& strPathB) {
    return base::SameFile(base::PathFromUtf8(strPathA), base::PathFromUtf8(strPathB));
}

bool LooksLikeDatabase(const std::string& strPath) {
    std::FILE* pFile = base::OpenFile(base::PathFromUtf8(strPath), "rb");
    if (!pFile)
        return false;
    char szMagic[16] = {};
    const std::size_t n = std::fread(szMagic, 1, sizeof szMagic, pFile);
    std::fclose(pFile);
    return n == sizeof szMagic && std::memcmp(szMagic, "SQLite format 3", 16) == 0;
}

base::SFileError EngineError(sqlite3* pDb, int nResult) {
    base::SFileError error{base::EFileError::Other, pDb ? sqlite3_errmsg(pDb) : sqlite3_errstr(nResult)};
    switch (nResult & 0xFF) {
    case SQLITE_CANTOPEN:
    case SQLITE_NOTFOUND:
        error.eKind = base::EFileError::NotFound;
        break;
    case SQLITE_PERM:
    case SQLITE_AUTH:
        error.eKind = base::EFileError::AccessDenied;
        break;
    case SQLITE_READONLY:
        error.eKind = base::EFileError::ReadOnly;
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        error.eKind = base::EFileError::InUse;
        break;
    case SQLITE_FULL:
        error.eKind = base::EFileError::DiskFull;
        break;
    case SQLITE_NOTADB:
        error.eKind = base::EFileError::NotADatabase;
        break;
    case SQLITE_CORRUPT:
        error.eKind = base::EFileError::Damaged;
        break;
    default:
        break;
    }
    return error;
}

sqlite3* OpenLibraryForReading(const std::string& strPath, SLibraryError& error) {
    error = SLibraryError();
    error.strPath = strPath;
    // Opened for writing where the file allows it, although nothing is
    // written: only a connection that may write can roll back the journal an
    // import killed half-way leaves behind, and until that happens no
    // connection can read the file. A file that cannot be written to is read
    // as it is.
    std::string strFolder;
    if (DatabaseMissing(strPath, strFolder)) {
        error.eCode = ELibraryError::LibraryNotFound;
        error.strDetail = strFolder;
        return nullptr;
    }
    sqlite3* pDb = nullptr;
    int nResult = sqlite3_open_v2(strPath.c_str(), &pDb, SQLITE_OPEN_READWRITE, nullptr);
    if (nResult != SQLITE_OK) {
        sqlite3_close(pDb);
        pDb = nullptr;
        nResult = sqlite3_open_v2(strPath.c_str(), &pDb, SQLITE_OPEN_READONLY, nullptr);
    }
    if (nResult != SQLITE_OK) {
        error.eCode = ELibraryError::CannotOpenLibrary;
        error.system = EngineError(pDb, nResult);
        sqlite3_close(pDb);
        return nullptr;
    }
    sqlite3_busy_timeout(pDb, 2000);
    const bool bData = HasTable(pDb, "DATA", nResult);
    const bool bMic = nResult == SQLITE_OK && HasTable(pDb, "htset", nResult);
    if (nResult == SQLITE_NOTADB || (nResult == SQLITE_OK && (!bData || !bMic))) {
        error.eCode = ELibraryError::NotLibrary;
        sqlite3_close(pDb);
        return nullptr;
    }
    if (nResult != SQLITE_OK) {
        error.eCode = ELibraryError::CannotReadLibrary;
        error.system = EngineError(pDb, nResult);
        sqlite3_close(pDb);
        return nullptr;
    }
    // The seven columns must all be there under their names. They are looked
    // up by name in the table's description: a query naming them would take
    // a double-quoted name that is no column for a string and pass.
    std::string strMissing;
    if (!MissingColumns(pDb, strMissing, nResult)) {
        error.eCode = ELibraryError::CannotReadLibrary;
        error.system = EngineError(pDb, nResult);
        sqlite3_close(pDb);
        return nullptr;
    }
    if (!strMissing.empty()) {
        error.eCode = ELibraryError::LibraryColumnsMissing;
        error.strDetail = strMissing;
        sqlite3_close(pDb);
        return nullptr;
    }
    error = SLibraryError();
    return pDb;
}

bool ReadLibrary(sqlite3* pDb, std::uint64_t& nFingerprint,
                 const std::function<void(SModelRecord&&)>& onRecord) {
    // FNV-1a over the row ids and the cells, each cell closed by a byte that
    // tells NULL from text.
    std::uint64_t nHash = 14695981039346656037ULL;
    auto Mix = [&nHash](const void* p, std::size_t n) {
        const auto* pBytes = static_cast<const unsigned char*>(p);
        for (std::size_t i = 0; i < n; ++i) {
            nHash ^= pBytes[i];
            nHash *= 1099511628211ULL;
        }
    };
    sqlite3_stmt* pStatement = nullptr;
    const std::string strSelect = std::string("SELECT rowid,") + kDataColumns + " FROM DATA ORDER BY rowid";
    int nResult = sqlite3_prepare_v2(pDb, strSelect.c_str(), -1, &pStatement, nullptr);
    while (nResult == SQLITE_OK && (nResult = sqlite3_step(pStatement)) == SQLITE_ROW) {
        const sqlite3_int64 nRowId = sqlite3_column_int64(pStatement, 0);
        Mix(&nRowId, sizeof nRowId);
        SModelRecord record;
        std::string* fields[] = {&record.model, &record.baud,    &record.parity,  &record.vga,
                                 &record.video, &record.powerOn, &record.powerOff};
        for (int i = 0; i < 7; ++i) {
            const unsigned char* pText = sqlite3_column_text(pStatement, i + 1);
            const auto nBytes = static_cast<std::size_t>(sqlite3_column_bytes(pStatement, i + 1));
            if (pText)
                fields[i]->assign(reinterpret_cast<const char*>(pText), nBytes);
            Mix(fields[i]->data(), fields[i]->size());
            const unsigned char cEnd = pText ? 0 : 1;
            Mix(&cEnd, 1);
        }
        if (onRecord)
            onRecord(std::move(record));
        nResult = SQLITE_OK;
    }
    sqlite3_finalize(pStatement);
    nFingerprint = nHash;
    return nResult == SQLITE_DONE;
}

} // namespace library
