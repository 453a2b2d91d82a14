#pragma once

// A fresh copy of the shipped data.mdb in a temporary working folder, opened
// as the shared connection, for one test. The process's working directory is
// moved there (the program finds data.mdb in its working directory) and moved
// back when the copy goes away.
#include <filesystem>
#include <string>

class CTestDatabase {
public:
    // Copies the shipped file (or makes an empty-tabled one when bEmpty).
    explicit CTestDatabase(bool bEmpty = false, bool bOpen = true);
    ~CTestDatabase();
    CTestDatabase(const CTestDatabase&) = delete;
    CTestDatabase& operator=(const CTestDatabase&) = delete;

    const std::filesystem::path& Folder() const { return m_folder; }
    std::filesystem::path File() const { return m_folder / "data.mdb"; }
    // Runs SQL directly on the file, outside the program's own connections.
    void Exec(const std::string& strSql) const;
    // The first column of the first row of a query, "" when none, "<NULL>" for NULL.
    std::string Scalar(const std::string& strSql) const;

    static std::filesystem::path ShippedFile();

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_previous;
};
