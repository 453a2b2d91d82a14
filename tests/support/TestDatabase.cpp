#include "TestDatabase.h"

#include "Database.h"
#include "TempFolder.h"
#include "Utf8Path.h"

#include <sqlite3.h>

#include <cstdlib>
#include <stdexcept>

#ifndef VELMORA_DATA_MDB
#error "VELMORA_DATA_MDB must name the shipped data.mdb"
#endif

namespace fs = std::filesystem;

fs::path CTestDatabase::ShippedFile() {
    return fs::path(VELMORA_DATA_MDB);
}

CTestDatabase::CTestDatabase(bool bEmpty, bool bOpen) {
    m_folder = MakeTempFolder("velmora-test-");
    fs::copy_file(ShippedFile(), File());
    if (bEmpty)
        Exec("DELETE FROM DATA; DELETE FROM htset;");
    m_previous = fs::current_path();
    fs::current_path(m_folder);
    if (bOpen)
        CDatabase::OpenShared("data.mdb");
}

CTestDatabase::~CTestDatabase() {
    CDatabase::CloseShared();
    std::error_code error;
    fs::current_path(m_previous, error);
    fs::permissions(File(), fs::perms::owner_all, fs::perm_options::add, error);
    fs::remove_all(m_folder, error);
}

void CTestDatabase::Exec(const std::string& strSql) const {
    sqlite3* pDb = nullptr;
    if (sqlite3_open_v2(Utf8FromPath(File()).c_str(), &pDb, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(pDb);
        throw std::runtime_error("cannot open the test database");
    }
    char* pszError = nullptr;
    int nResult = sqlite3_exec(pDb, strSql.c_str(), nullptr, nullptr, &pszError);
    std::string strError = pszError ? pszError : "";
    sqlite3_free(pszError);
    sqlite3_close(pDb);
    if (nResult != SQLITE_OK)
        throw std::runtime_error("test SQL failed: " + strError);
}

std::string CTestDatabase::Scalar(const std::string& strSql) const {
    sqlite3* pDb = nullptr;
    sqlite3_open_v2(Utf8FromPath(File()).c_str(), &pDb, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* pStatement = nullptr;
    std::string strResult;
    if (sqlite3_prepare_v2(pDb, strSql.c_str(), -1, &pStatement, nullptr) == SQLITE_OK &&
        sqlite3_step(pStatement) == SQLITE_ROW) {
        if (sqlite3_column_type(pStatement, 0) == SQLITE_NULL)
            strResult = "<NULL>";
        else
            strResult = reinterpret_cast<const char*>(sqlite3_column_text(pStatement, 0));
    }
    sqlite3_finalize(pStatement);
    sqlite3_close(pDb);
    return strResult;
}
