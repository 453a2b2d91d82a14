#pragma once

#include "DatabaseError.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The cursor a read asks for. The store walks every result forward only, so
// the kind is kept for the callers' sake and does not change the walk.
enum class CursorType { Keyset = 1, Dynamic = 2 };

// One read in progress: the rows of a SELECT on the shared connection, handed
// over one at a time. The statement is finished when the walker goes away, on
// every path, so a read never holds a lock that would make a later write fail.
class CRecordWalker {
public:
    CRecordWalker(sqlite3* pConnection, const std::string& strStatement);
    ~CRecordWalker();
    CRecordWalker(const CRecordWalker&) = delete;
    CRecordWalker& operator=(const CRecordWalker&) = delete;

    // True right after the open exactly when the result has no rows.
    bool IsEmpty() const { return m_bEmpty; }
    bool AtEnd() const { return m_bAtEnd; }
    void MoveNext();
    // The named column of the current row as text (names compare without
    // regard to letter case). A NULL cell has no text: it raises an error.
    std::string Field(const std::string& strColumn) const;
    // Same, with NULL read as the given text instead of an error.
    std::string FieldOr(const std::string& strColumn, const std::string& strWhenNull) const;

private:
    int ColumnIndex(const std::string& strColumn) const;
    void Step();

    sqlite3* m_pConnection;
    sqlite3_stmt* m_pStatement = nullptr;
    bool m_bEmpty = false;
    bool m_bAtEnd = false;
    std::vector<std::string> m_columnNames;
};

// The data.mdb store: one shared connection for every read, and a connection
// of its own for every write.
class CDatabase {
public:
    // Opens the shared connection on the file, read-write and never creating
    // it. The file must be an SQLite database with the tables DATA and htset;
    // missing microphone rows "0" to "19" are put back. Throws CDatabaseError.
    static void OpenShared(const std::string& strPath = "data.mdb");
    static void CloseShared();
    static bool IsOpen();
    static const std::string& Path();
    // The folder that holds the open file: the write history is kept there.
    static std::filesystem::path Folder();

    // Starts a read on the shared connection. Throws CDatabaseError.
    static std::unique_ptr<CRecordWalker> OpenRead(const std::string& strStatement,
                                                   CursorType cursor = CursorType::Keyset);
    // Runs one INSERT, DELETE or UPDATE on a connection of its own; a statement
    // that matches no row counts as done. Throws CDatabaseError.
    static void ExecuteWrite(const std::string& strStatement);
    // Whether data.mdb can be written where it lies, clearing the owner's
    // write-protection bit on the way when the medium allows it.
    static bool CheckWritableMedium();
};

// The text the user sees for a database error.
std::string DatabaseErrorText(long nCode, const std::string& strText);

// True when the path of a data.mdb names no file at all; strFolder then gets
// the folder it was looked for in (absolute, UTF-8), so every face can say
// that the file is missing and where, rather than the engine's "unable to
// open database file".
bool DatabaseMissing(const std::string& strPath, std::string& strFolder);

// Where every message of the Qt-free layers goes: the program installs its
// message box, tests a recorder. Without a sink messages go to stderr.
using MessageSink = std::function<void(const std::string&)>;
void SetMessageSink(MessageSink sink);
void ShowMessage(const std::string& strText);

// Shows the text of a database error in the program's message box.
void ReportDatabaseError(const CDatabaseError& error);
