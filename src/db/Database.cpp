#include "Database.h"
#include "AsciiText.h"

#include "Utf8Path.h"

#include <sqlite3.h>

#include <cstdio>

namespace {

sqlite3* g_pShared = nullptr;
std::string g_strPath = "data.mdb";
MessageSink g_messageSink;

// Lets a write wait briefly for a lock held elsewhere instead of failing.
constexpr int kBusyTimeoutMs = 2000;

[[noreturn]] void Raise(sqlite3* pConnection, int nCode) {
    std::string strText = pConnection ? sqlite3_errmsg(pConnection) : sqlite3_errstr(nCode);
    throw CDatabaseError(nCode, strText);
}

sqlite3* OpenConnection(const std::string& strPath) {
    sqlite3* pConnection = nullptr;
    int nResult = sqlite3_open_v2(strPath.c_str(), &pConnection, SQLITE_OPEN_READWRITE, nullptr);
    if (nResult != SQLITE_OK) {
        std::string strText = pConnection ? sqlite3_errmsg(pConnection) : sqlite3_errstr(nResult);
        sqlite3_close(pConnection);
        throw CDatabaseError(nResult, strText);
    }
    sqlite3_busy_timeout(pConnection, kBusyTimeoutMs);
    return pConnection;
}

bool HasTable(sqlite3* pConnection, const char* pszTable) {
    sqlite3_stmt* pStatement = nullptr;
    int nResult = sqlite3_prepare_v2(
        pConnection, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=? COLLATE NOCASE", -1,
        &pStatement, nullptr);
    if (nResult != SQLITE_OK)
        Raise(pConnection, nResult);
    sqlite3_bind_text(pStatement, 1, pszTable, -1, SQLITE_STATIC);
    nResult = sqlite3_step(pStatement);
    sqlite3_finalize(pStatement);
    if (nResult != SQLITE_ROW && nResult != SQLITE_DONE)
        Raise(pConnection, nResult);
    return nResult == SQLITE_ROW;
}

// Every later save of the microphone table only updates rows "0" to "19"; a
// missing row would lose its save without a word, so it is put back here.
// Only a file that lacks rows is written to: a library on a read-only medium
// still opens for reading (saves are then refused by the medium check).
void RepairMicRows(sqlite3* pConnection) {
    sqlite3_stmt* pStatement = nullptr;
    int nResult = sqlite3_prepare_v2(pConnection, "SELECT 1 FROM htset WHERE htnum = ?1 LIMIT 1", -1,
                                     &pStatement, nullptr);
    if (nResult != SQLITE_OK)
        Raise(pConnection, nResult);
    std::vector<std::string> missing;
    for (int i = 0; i < 20; ++i) {
        std::string strRow = std::to_string(i);
        sqlite3_bind_text(pStatement, 1, strRow.c_str(), -1, SQLITE_TRANSIENT);
        nResult = sqlite3_step(pStatement);
        sqlite3_reset(pStatement);
        if (nResult == SQLITE_DONE)
            missing.push_back(strRow);
        else if (nResult != SQLITE_ROW) {
            sqlite3_finalize(pStatement);
            Raise(pConnection, nResult);
        }
    }
    sqlite3_finalize(pStatement);
    if (missing.empty())
        return;
    std::string strSql = "INSERT INTO htset (htnum, tdnum, qjnum, bitnum, tyjnum) VALUES ";
    for (std::size_t i = 0; i < missing.size(); ++i)
        strSql += (i ? ",('" : "('") + missing[i] + "','-1','-1','-1','-1')";
    nResult = sqlite3_exec(pConnection, strSql.c_str(), nullptr, nullptr, nullptr);
    if (nResult != SQLITE_OK && (nResult & 0xFF) != SQLITE_READONLY)
        Raise(pConnection, nResult);
}

// Names of columns compare without regard to letter case (ASCII letters).
bool SameName(const std::string& strLeft, const std::string& strRight) {
    return base::SameIgnoringCase(strLeft, strRight);
}

} // namespace

CRecordWalker::CRecordWalker(sqlite3* pConnection, const std::string& strStatement)
    : m_pConnection(pConnection) {
    if (!m_pConnection)
        throw CDatabaseError(SQLITE_MISUSE, "The database connection is not open.");
    int nResult = sqlite3_prepare_v2(m_pConnection, strStatement.c_str(),
                                     static_cast<int>(strStatement.size()), &m_pStatement, nullptr);
    if (nResult != SQLITE_OK) {
        sqlite3_finalize(m_pStatement);
        m_pStatement = nullptr;
        Raise(m_pConnection, nResult);
    }
    int nColumns = sqlite3_column_count(m_pStatement);
    m_columnNames.reserve(static_cast<std::size_t>(nColumns));
    for (int i = 0; i < nColumns; ++i) {
        const char* pszName = sqlite3_column_name(m_pStatement, i);
        m_columnNames.emplace_back(pszName ? pszName : "");
    }
    try {
        Step();
    } catch (...) {
        sqlite3_finalize(m_pStatement);
        throw;
    }
    m_bEmpty = m_bAtEnd;
}

CRecordWalker::~CRecordWalker() {
    sqlite3_finalize(m_pStatement);
}

void CRecordWalker::Step() {
    int nResult = sqlite3_step(m_pStatement);
    if (nResult == SQLITE_ROW)
        return;
    m_bAtEnd = true;
    if (nResult != SQLITE_DONE)
        Raise(m_pConnection, nResult);
    // Done: release the read lock now rather than when the walker goes away.
    sqlite3_reset(m_pStatement);
}

void CRecordWalker::MoveNext() {
    if (!m_bAtEnd)
        Step();
}

int CRecordWalker::ColumnIndex(const std::string& strColumn) const {
    for (std::size_t i = 0; i < m_columnNames.size(); ++i)
        if (SameName(m_columnNames[i], strColumn))
            return static_cast<int>(i);
    throw CDatabaseError(SQLITE_ERROR, "Item cannot be found in the collection: " + strColumn);
}

std::string CRecordWalker::FieldOr(const std::string& strColumn, const std::string& strWhenNull) const {
    if (m_bAtEnd)
        throw CDatabaseError(SQLITE_MISUSE,
                             "Either BOF or EOF is True, or the current record has been deleted.");
    int nIndex = ColumnIndex(strColumn);
    if (sqlite3_column_type(m_pStatement, nIndex) == SQLITE_NULL)
        return strWhenNull;
    const unsigned char* pText = sqlite3_column_text(m_pStatement, nIndex);
    int nBytes = sqlite3_column_bytes(m_pStatement, nIndex);
    return pText ? std::string(reinterpret_cast<const char*>(pText), static_cast<std::size_t>(nBytes))
                 : std::string();
}

std::string CRecordWalker::Field(const std::string& strColumn) const {
    if (!m_bAtEnd && sqlite3_column_type(m_pStatement, ColumnIndex(strColumn)) == SQLITE_NULL)
        throw CDatabaseError(SQLITE_MISMATCH,
                             "The value of column " + strColumn + " is empty (NULL) and has no text.");
    return FieldOr(strColumn, std::string());
}

void CDatabase::OpenShared(const std::string& strPath) {
    CloseShared();
    sqlite3* pConnection = OpenConnection(strPath);
    try {
        // Also proves the file is a database at all: a foreign file fails here.
        if (!HasTable(pConnection, "DATA") || !HasTable(pConnection, "htset"))
            throw CDatabaseError(SQLITE_NOTFOUND, "The tables DATA and htset are not in " + strPath + ".");
        RepairMicRows(pConnection);
    } catch (...) {
        sqlite3_close(pConnection);
        throw;
    }
    g_pShared = pConnection;
    g_strPath = strPath;
}

void CDatabase::CloseShared() {
    if (g_pShared) {
        sqlite3_close_v2(g_pShared);
        g_pShared = nullptr;
    }
}

bool CDatabase::IsOpen() {
    return g_pShared != nullptr;
}

const std::string& CDatabase::Path() {
    return g_strPath;
}

std::filesystem::path CDatabase::Folder() {
    std::error_code error;
    return std::filesystem::absolute(PathFromUtf8(g_strPath), error).parent_path();
}

std::unique_ptr<CRecordWalker> CDatabase::OpenRead(const std::string& strStatement, CursorType) {
    return std::make_unique<CRecordWalker>(g_pShared, strStatement);
}

void CDatabase::ExecuteWrite(const std::string& strStatement) {
    sqlite3* pConnection = OpenConnection(g_strPath);
    char* pszError = nullptr;
    int nResult = sqlite3_exec(pConnection, strStatement.c_str(), nullptr, nullptr, &pszError);
    if (nResult != SQLITE_OK) {
        std::string strText = pszError ? pszError : sqlite3_errstr(nResult);
        sqlite3_free(pszError);
        sqlite3_close(pConnection);
        throw CDatabaseError(nResult, strText);
    }
    sqlite3_close(pConnection);
}

std::string DatabaseErrorText(long nCode, const std::string& strText) {
    std::string strResult = strText;
    while (!strResult.empty() && (strResult.back() == '\n' || strResult.back() == '\r'))
        strResult.pop_back();
    if (!strResult.empty())
        return strResult;
    char szBuffer[64];
    unsigned long nUnsigned = static_cast<unsigned long>(nCode) & 0xFFFFFFFFUL;
    unsigned long nLow = (nUnsigned - 0x200UL) & 0xFFFFUL;
    if (nUnsigned >= 0x80040200UL && nUnsigned <= 0x8004FFFFUL && nLow != 0)
        std::snprintf(szBuffer, sizeof szBuffer, "IDispatch error #%d", static_cast<int>(nLow));
    else
        std::snprintf(szBuffer, sizeof szBuffer, "Unknown error 0x%0lX", nUnsigned);
    return szBuffer;
}

bool DatabaseMissing(const std::string& strPath, std::string& strFolder) {
    std::error_code error;
    const std::filesystem::path path = PathFromUtf8(strPath);
    if (std::filesystem::exists(path, error) || error)
        return false;
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    strFolder = Utf8FromPath(error ? path.parent_path() : full.parent_path());
    return true;
}

void SetMessageSink(MessageSink sink) {
    g_messageSink = std::move(sink);
}

void ShowMessage(const std::string& strText) {
    if (g_messageSink)
        g_messageSink(strText);
    else
        std::fprintf(stderr, "%s\n", strText.c_str());
}

void ReportDatabaseError(const CDatabaseError& error) {
    ShowMessage(DatabaseErrorText(error.Code(), error.Text()));
}
