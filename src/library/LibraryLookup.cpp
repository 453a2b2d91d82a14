#include "LibraryLookup.h"

#include "LibraryFile.h"

#include <sqlite3.h>

namespace library {

namespace {

// Whether an index of DATA starts with the model column, so that a lookup by
// model is a search and not a scan.
bool HasModelIndex(sqlite3* pDb) {
    sqlite3_stmt* pStatement = nullptr;
    const char* pszQuery = "SELECT 1 FROM pragma_index_list('DATA') AS l, pragma_index_info(l.name) AS i "
                           "WHERE i.seqno = 0 AND i.name = '投影机型号' COLLATE NOCASE";
    bool bFound = false;
    if (sqlite3_prepare_v2(pDb, pszQuery, -1, &pStatement, nullptr) == SQLITE_OK)
        bFound = sqlite3_step(pStatement) == SQLITE_ROW;
    sqlite3_finalize(pStatement);
    return bFound;
}

// The first row holding a model, in storage order as a whole read meets it.
std::string FindStatement() {
    return std::string("SELECT ") + kDataColumns +
           " FROM DATA WHERE \"投影机型号\"=?1 ORDER BY rowid LIMIT 1";
}

// The seven columns from nFirst on, NULL read as "".
void ReadRecord(sqlite3_stmt* pStatement, int nFirst, SModelRecord& record) {
    std::string* fields[] = {&record.model, &record.baud,    &record.parity,  &record.vga,
                             &record.video, &record.powerOn, &record.powerOff};
    for (int i = 0; i < 7; ++i) {
        const unsigned char* pText = sqlite3_column_text(pStatement, nFirst + i);
        if (pText)
            fields[i]->assign(reinterpret_cast<const char*>(pText),
                              static_cast<std::size_t>(sqlite3_column_bytes(pStatement, nFirst + i)));
        else
            fields[i]->clear();
    }
}

} // namespace

CLibraryLookup::~CLibraryLookup() {
    Close();
}

void CLibraryLookup::Close() {
    sqlite3_finalize(m_pFind);
    m_pFind = nullptr;
    if (m_pDb && !sqlite3_get_autocommit(m_pDb))
        sqlite3_exec(m_pDb, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(m_pDb);
    m_pDb = nullptr;
    m_rows.clear();
}

bool CLibraryLookup::Open(const std::string& strPath, SLibraryError& error) {
    Close();
    m_bFailed = false;
    m_pDb = OpenLibraryForReading(strPath, error);
    if (!m_pDb)
        return false;
    const bool bIndexed = HasModelIndex(m_pDb);
    // One read transaction for the sum and every lookup: they all see the
    // same library, and a lookup does not take and drop the file's lock each
    // time, which would cost more than the lookup itself.
    sqlite3_exec(m_pDb, "BEGIN", nullptr, nullptr, nullptr);
    const bool bOk = ReadLibrary(m_pDb, m_nFingerprint, [this, bIndexed](SModelRecord&& record) {
        if (bIndexed)
            return;
        std::string strModel = record.model;
        m_rows.try_emplace(std::move(strModel), std::move(record));
    });
    if (bOk && bIndexed) {
        if (sqlite3_prepare_v2(m_pDb, FindStatement().c_str(), -1, &m_pFind, nullptr) == SQLITE_OK)
            return true;
    } else if (bOk) {
        return true;
    }
    error = SLibraryError{
        ELibraryError::LibraryUnreadable, strPath, {}, 0, EngineError(m_pDb, sqlite3_errcode(m_pDb))};
    Close();
    return false;
}

bool CLibraryLookup::Find(std::string_view model, SModelRecord& record) {
    if (!m_pFind) {
        const auto found = m_rows.find(std::string(model));
        if (found == m_rows.end())
            return false;
        record = found->second;
        return true;
    }
    sqlite3_bind_text(m_pFind, 1, model.data(), static_cast<int>(model.size()), SQLITE_STATIC);
    const int nResult = sqlite3_step(m_pFind);
    const bool bFound = nResult == SQLITE_ROW;
    if (bFound)
        ReadRecord(m_pFind, 0, record);
    else if (nResult != SQLITE_DONE) {
        m_bFailed = true;
    }
    sqlite3_reset(m_pFind);
    return bFound;
}

bool CLibraryLookup::Fetch(const std::string& strPath, std::string_view model, SModelRecord& record) {
    SLibraryError error;
    sqlite3* pDb = OpenLibraryForReading(strPath, error);
    if (!pDb)
        return false;
    sqlite3_stmt* pStatement = nullptr;
    bool bFound = false;
    if (sqlite3_prepare_v2(pDb, FindStatement().c_str(), -1, &pStatement, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(pStatement, 1, model.data(), static_cast<int>(model.size()), SQLITE_STATIC);
        bFound = sqlite3_step(pStatement) == SQLITE_ROW;
        if (bFound)
            ReadRecord(pStatement, 0, record);
    }
    sqlite3_finalize(pStatement);
    sqlite3_close(pDb);
    return bFound;
}

} // namespace library
