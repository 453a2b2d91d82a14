#include "LibraryWriter.h"
#include "AsciiText.h"

#include "CsvWriter.h"
#include "FileSystem.h"
#include "ImportPreview.h"
#include "LibraryFile.h"
#include "OutputRule.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace library {

namespace {

constexpr std::size_t kProgressEvery = 4096;

struct SCloseDb {
    void operator()(sqlite3* pDb) const { sqlite3_close_v2(pDb); }
};
struct SFinalize {
    void operator()(sqlite3_stmt* pStatement) const { sqlite3_finalize(pStatement); }
};
using DbPtr = std::unique_ptr<sqlite3, SCloseDb>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, SFinalize>;

bool IsBusy(int nResult) {
    return (nResult & 0xFF) == SQLITE_BUSY || (nResult & 0xFF) == SQLITE_LOCKED;
}

bool IsReadOnly(int nResult) {
    return (nResult & 0xFF) == SQLITE_READONLY || (nResult & 0xFF) == SQLITE_CANTOPEN ||
           (nResult & 0xFF) == SQLITE_PERM;
}

EWriteFailure FailureKind(int nResult) {
    return IsBusy(nResult) || IsReadOnly(nResult) ? EWriteFailure::LibraryUnusable : EWriteFailure::Failed;
}

SLibraryError WriteError(const std::string& strLibraryPath, sqlite3* pDb, int nResult) {
    const ELibraryError eCode = IsBusy(nResult)       ? ELibraryError::LibraryBusy
                                : IsReadOnly(nResult) ? ELibraryError::LibraryReadOnly
                                                      : ELibraryError::WriteFailed;
    return SLibraryError{eCode, strLibraryPath, {}, 0, EngineError(pDb, nResult)};
}

bool EndsWithMdb(const std::string& strPath) {
    if (strPath.size() < 4)
        return false;
    return base::SameIgnoringCase(std::string_view(strPath).substr(strPath.size() - 4), ".mdb");
}

// Why an export may not write strCsvPath; None when it may.
ELibraryError ExportRefusal(const std::string& strLibraryPath, const std::string& strCsvPath) {
    switch (base::COutputRule(base::PathFromUtf8(strLibraryPath)).Check(base::PathFromUtf8(strCsvPath))) {
    case base::EOutputRefusal::LibraryInUse:
    case base::EOutputRefusal::Input:
        return ELibraryError::ExportOverLibrary;
    case base::EOutputRefusal::Database:
        return ELibraryError::ExportOverDatabase;
    case base::EOutputRefusal::Folder:
        return ELibraryError::ExportOverFolder;
    case base::EOutputRefusal::None:
        break;
    }
    return EndsWithMdb(strCsvPath) ? ELibraryError::ExportMdbName : ELibraryError::None;
}

void Bind(sqlite3_stmt* pStatement, int nIndex, std::string_view text) {
    sqlite3_bind_text(pStatement, nIndex, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

} // namespace

SWriteResult ApplyImport(const CImportPreview& preview, const std::string& strLibraryPath,
                         const SApplyOptions& options) {
    SWriteResult result;
    std::size_t nToWrite = 0;
    for (std::size_t i = 0; i < preview.RowCount(); ++i) {
        const ERowClass eClass = preview.Class(i);
        if (eClass == ERowClass::New || (eClass == ERowClass::Conflict && preview.Choice(i) == EChoice::Take))
            ++nToWrite;
    }
    if (nToWrite == 0) {
        result.bOk = true;
        return result;
    }

    // The owner's write bit plays the part of the read-only attribute.
    result.eFailure = EWriteFailure::LibraryUnusable;
    std::error_code error;
    const std::filesystem::file_status status =
        std::filesystem::status(base::PathFromUtf8(strLibraryPath), error);
    if (error || !std::filesystem::exists(status)) {
        result.error = SLibraryError{ELibraryError::LibraryGone,
                                     strLibraryPath,
                                     {},
                                     0,
                                     {base::EFileError::NotFound, error ? error.message() : ""}};
        return result;
    }
    if ((status.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none) {
        result.error = SLibraryError{ELibraryError::LibraryReadOnly, strLibraryPath};
        return result;
    }
    sqlite3* pRaw = nullptr;
    int nResult = sqlite3_open_v2(strLibraryPath.c_str(), &pRaw, SQLITE_OPEN_READWRITE, nullptr);
    DbPtr pDb(pRaw);
    if (nResult != SQLITE_OK) {
        result.error = WriteError(strLibraryPath, pDb.get(), nResult);
        return result;
    }
    if (sqlite3_db_readonly(pDb.get(), "main") == 1) {
        result.error = SLibraryError{ELibraryError::LibraryReadOnly, strLibraryPath};
        return result;
    }
    sqlite3_busy_timeout(pDb.get(), options.nBusyTimeoutMs);
    // Take the write lock before the first row, so a library locked elsewhere
    // is refused at once instead of half-way.
    nResult = sqlite3_exec(pDb.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (nResult != SQLITE_OK) {
        result.error = WriteError(strLibraryPath, pDb.get(), nResult);
        return result;
    }
    result.eFailure = EWriteFailure::None;

    // The engine's text is taken before the rollback replaces it.
    // eCode None: the engine's failure nCode decides.
    auto Fail = [&](int nCode, ELibraryError eCode) {
        const SLibraryError error = eCode == ELibraryError::None
                                        ? WriteError(strLibraryPath, pDb.get(), nCode)
                                        : SLibraryError{eCode, strLibraryPath};
        sqlite3_exec(pDb.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        result = SWriteResult();
        result.eFailure = eCode == ELibraryError::None ? FailureKind(nCode) : EWriteFailure::Failed;
        result.error = error;
        return result;
    };

    // With the write lock held nobody else can change the library any more;
    // it must still be the one the preview compared the rows with.
    std::uint64_t nFingerprint = 0;
    if (!ReadLibrary(pDb.get(), nFingerprint))
        return Fail(sqlite3_errcode(pDb.get()), ELibraryError::None);
    if (nFingerprint != preview.LibraryFingerprint())
        return Fail(SQLITE_OK, ELibraryError::LibraryChanged);

    const std::string strInsert =
        "INSERT INTO DATA (" + std::string(kDataColumns) + ") VALUES (?1,?2,?3,?4,?5,?6,?7)";
    const std::string strUpdate = "UPDATE DATA SET \"波特率\"=?2,\"校验\"=?3,VGA=?4,VIDEO=?5,\"POWER ON\"=?6,"
                                  "\"POWER OFF\"=?7 WHERE \"投影机型号\"=?1";
    sqlite3_stmt* pInsertRaw = nullptr;
    sqlite3_stmt* pUpdateRaw = nullptr;
    nResult = sqlite3_prepare_v2(pDb.get(), strInsert.c_str(), -1, &pInsertRaw, nullptr);
    StatementPtr pInsert(pInsertRaw);
    if (nResult == SQLITE_OK)
        nResult = sqlite3_prepare_v2(pDb.get(), strUpdate.c_str(), -1, &pUpdateRaw, nullptr);
    StatementPtr pUpdate(pUpdateRaw);
    if (nResult != SQLITE_OK)
        return Fail(nResult, ELibraryError::None);

    std::size_t nDone = 0;
    for (std::size_t i = 0; i < preview.RowCount(); ++i) {
        const ERowClass eClass = preview.Class(i);
        sqlite3_stmt* pStatement = nullptr;
        if (eClass == ERowClass::New)
            pStatement = pInsert.get();
        else if (eClass == ERowClass::Conflict && preview.Choice(i) == EChoice::Take)
            pStatement = pUpdate.get();
        else
            continue;
        for (int nColumn = 0; nColumn < 7; ++nColumn)
            Bind(pStatement, nColumn + 1, preview.Field(i, nColumn));
        nResult = sqlite3_step(pStatement);
        if (nResult != SQLITE_DONE)
            return Fail(nResult, ELibraryError::None);
        sqlite3_reset(pStatement);
        if (sqlite3_changes(pDb.get()) == 0)
            return Fail(SQLITE_OK, ELibraryError::LibraryChanged);
        ++(eClass == ERowClass::New ? result.nInserted : result.nUpdated);
        if (options.progress && ++nDone % kProgressEvery == 0 && !options.progress(nDone, nToWrite))
            return Fail(SQLITE_OK, ELibraryError::ImportCancelled);
    }
    pInsert.reset();
    pUpdate.reset();
    nResult = sqlite3_exec(pDb.get(), "COMMIT", nullptr, nullptr, nullptr);
    if (nResult != SQLITE_OK)
        return Fail(nResult, ELibraryError::None);
    if (options.progress)
        options.progress(nToWrite, nToWrite);
    result.bOk = true;
    return result;
}

SWriteResult ExportLibrary(const std::string& strLibraryPath, const std::string& strCsvPath,
                           ProgressFn progress) {
    SWriteResult result;
    // Written beside the target and renamed over it at the end, so a failed
    // export never leaves half a file under the chosen name. One an earlier
    // export left when it was killed goes first, whatever this run does.
    const std::string strPartial = strCsvPath + ".part";
    const std::filesystem::path partial = base::PathFromUtf8(strPartial);
    base::RemoveFile(partial);
    const ELibraryError eRefusal = ExportRefusal(strLibraryPath, strCsvPath);
    if (eRefusal != ELibraryError::None) {
        result.eFailure = EWriteFailure::Refused;
        result.error = SLibraryError{eRefusal, strCsvPath};
        return result;
    }
    DbPtr pDb(OpenLibraryForReading(strLibraryPath, result.error));
    if (!pDb) {
        result.eFailure = EWriteFailure::LibraryUnusable;
        return result;
    }
    result.eFailure = EWriteFailure::Failed;
    std::uint64_t nTotal = 0;
    sqlite3_stmt* pRaw = nullptr;
    if (sqlite3_prepare_v2(pDb.get(), "SELECT count(*) FROM DATA", -1, &pRaw, nullptr) == SQLITE_OK &&
        sqlite3_step(pRaw) == SQLITE_ROW)
        nTotal = static_cast<std::uint64_t>(sqlite3_column_int64(pRaw, 0));
    sqlite3_finalize(pRaw);
    pRaw = nullptr;

    const std::string strSelect =
        std::string("SELECT ") + kDataColumns + " FROM DATA ORDER BY \"投影机型号\", rowid";
    int nResult = sqlite3_prepare_v2(pDb.get(), strSelect.c_str(), -1, &pRaw, nullptr);
    StatementPtr pSelect(pRaw);
    if (nResult != SQLITE_OK) {
        result.error = SLibraryError{
            ELibraryError::ExportReadFailed, strLibraryPath, {}, 0, EngineError(pDb.get(), nResult)};
        return result;
    }

    std::FILE* pFile = base::OpenFile(partial, "wb");
    if (!pFile) {
        result.error = SLibraryError{ELibraryError::CannotWriteCsv, strCsvPath, {}, 0, base::LastFileError()};
        return result;
    }
    // The system's reason is taken before closing the file can replace it.
    auto Abandon = [&](ELibraryError eCode, const base::SFileError& system) {
        std::fclose(pFile);
        base::RemoveFile(partial);
        result = SWriteResult();
        result.eFailure = EWriteFailure::Failed;
        result.error = SLibraryError{
            eCode, eCode == ELibraryError::ExportReadFailed ? strLibraryPath : strCsvPath, {}, 0, system};
        return result;
    };

    std::string strOut = "\xEF\xBB\xBF";
    strOut += kExportHeader;
    strOut += "\r\n";
    std::uint64_t nRows = 0;
    while ((nResult = sqlite3_step(pSelect.get())) == SQLITE_ROW) {
        for (int nColumn = 0; nColumn < 7; ++nColumn) {
            if (nColumn)
                strOut += ',';
            const unsigned char* pText = sqlite3_column_text(pSelect.get(), nColumn);
            const int nBytes = sqlite3_column_bytes(pSelect.get(), nColumn);
            if (pText)
                AppendCsvField(strOut, std::string_view(reinterpret_cast<const char*>(pText),
                                                        static_cast<std::size_t>(nBytes)));
        }
        strOut += "\r\n";
        ++nRows;
        if (strOut.size() >= (1 << 16)) {
            if (std::fwrite(strOut.data(), 1, strOut.size(), pFile) != strOut.size())
                return Abandon(ELibraryError::CsvWriteFailed, base::LastFileError());
            strOut.clear();
        }
        if (progress && nRows % kProgressEvery == 0 && !progress(nRows, std::max(nTotal, nRows)))
            return Abandon(ELibraryError::ExportCancelled, {});
    }
    if (nResult != SQLITE_DONE)
        return Abandon(ELibraryError::ExportReadFailed, EngineError(pDb.get(), nResult));
    if (std::fwrite(strOut.data(), 1, strOut.size(), pFile) != strOut.size() || std::fflush(pFile) != 0)
        return Abandon(ELibraryError::CsvWriteFailed, base::LastFileError());
    if (std::fclose(pFile) != 0) {
        result.error = SLibraryError{ELibraryError::CsvWriteFailed, strCsvPath, {}, 0, base::LastFileError()};
        base::RemoveFile(partial);
        return result;
    }
    if (std::string strError; !base::MoveReplacing(partial, base::PathFromUtf8(strCsvPath), strError)) {
        result.error = SLibraryError{ELibraryError::CannotWriteCsv, strCsvPath, {}, 0, base::LastFileError()};
        base::RemoveFile(partial);
        return result;
    }
    if (progress)
        progress(nRows, std::max<std::uint64_t>(nRows, 1));
    result.bOk = true;
    result.eFailure = EWriteFailure::None;
    result.nExported = static_cast<std::size_t>(nRows);
    return result;
}

} // namespace library
