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
constexpr const char* kUnchanged = "资料库没有改动。";

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

std::string FailureText(sqlite3* pDb, int nResult) {
    if (IsBusy(nResult))
        return std::string("data.mdb正被其他程序使用，请关闭该程序后再导入。") + kUnchanged;
    if (IsReadOnly(nResult))
        return std::string("data.mdb是只读的，不能写入。") + kUnchanged;
    return "写入data.mdb失败：" + std::string(pDb ? sqlite3_errmsg(pDb) : sqlite3_errstr(nResult)) + "。" +
           kUnchanged;
}

bool EndsWithMdb(const std::string& strPath) {
    if (strPath.size() < 4)
        return false;
    return base::SameIgnoringCase(std::string_view(strPath).substr(strPath.size() - 4), ".mdb");
}

// Why an export may not write strCsvPath; "" when it may.
std::string ExportRefusal(const std::string& strLibraryPath, const std::string& strCsvPath) {
    const std::string strStart = "不能导出到" + strCsvPath + "：";
    switch (base::COutputRule(base::PathFromUtf8(strLibraryPath)).Check(base::PathFromUtf8(strCsvPath))) {
    case base::EOutputRefusal::LibraryInUse:
    case base::EOutputRefusal::Input:
        return strStart + "这是正在使用的代码库，导出会把它覆盖。请另选一个CSV文件名。";
    case base::EOutputRefusal::Database:
        return strStart + "这是一个数据库文件，导出会把它覆盖。请另选一个CSV文件名。";
    case base::EOutputRefusal::Folder:
        return strStart + "这是一个文件夹。请另选一个CSV文件名。";
    case base::EOutputRefusal::None:
        break;
    }
    if (EndsWithMdb(strCsvPath))
        return strStart + "以.mdb结尾的文件名留给代码库。请另选一个CSV文件名。";
    return std::string();
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
        result.strMessage = "没有需要写入的型号。";
        return result;
    }

    // The owner's write bit plays the part of the read-only attribute.
    result.eFailure = EWriteFailure::LibraryUnusable;
    std::error_code error;
    const std::filesystem::file_status status =
        std::filesystem::status(base::PathFromUtf8(strLibraryPath), error);
    if (error || !std::filesystem::exists(status)) {
        result.strMessage = "找不到" + strLibraryPath + "：" + (error ? error.message() : "") + "。";
        return result;
    }
    if ((status.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none) {
        result.strMessage = std::string("data.mdb是只读的，不能写入。") + kUnchanged;
        return result;
    }
    sqlite3* pRaw = nullptr;
    int nResult = sqlite3_open_v2(strLibraryPath.c_str(), &pRaw, SQLITE_OPEN_READWRITE, nullptr);
    DbPtr pDb(pRaw);
    if (nResult != SQLITE_OK) {
        result.strMessage = FailureText(pDb.get(), nResult);
        return result;
    }
    if (sqlite3_db_readonly(pDb.get(), "main") == 1) {
        result.strMessage = std::string("data.mdb是只读的，不能写入。") + kUnchanged;
        return result;
    }
    sqlite3_busy_timeout(pDb.get(), options.nBusyTimeoutMs);
    // Take the write lock before the first row, so a library locked elsewhere
    // is refused at once instead of half-way.
    nResult = sqlite3_exec(pDb.get(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (nResult != SQLITE_OK) {
        result.strMessage = FailureText(pDb.get(), nResult);
        return result;
    }
    result.eFailure = EWriteFailure::None;

    // The engine's text is taken before the rollback replaces it.
    auto Fail = [&](int nCode, const std::string& strMessage) {
        const std::string strText = strMessage.empty() ? FailureText(pDb.get(), nCode) : strMessage;
        sqlite3_exec(pDb.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        result = SWriteResult();
        result.eFailure = strMessage.empty() ? FailureKind(nCode) : EWriteFailure::Failed;
        result.strMessage = strText;
        return result;
    };

    // With the write lock held nobody else can change the library any more;
    // it must still be the one the preview compared the rows with.
    const std::string strChanged = std::string("预览之后data.mdb已被改动，请重新导入。") + kUnchanged;
    std::uint64_t nFingerprint = 0;
    if (!ReadLibrary(pDb.get(), nFingerprint))
        return Fail(sqlite3_errcode(pDb.get()), "");
    if (nFingerprint != preview.LibraryFingerprint())
        return Fail(SQLITE_OK, strChanged);

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
        return Fail(nResult, "");

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
            return Fail(nResult, "");
        sqlite3_reset(pStatement);
        if (sqlite3_changes(pDb.get()) == 0)
            return Fail(SQLITE_OK, strChanged);
        ++(eClass == ERowClass::New ? result.nInserted : result.nUpdated);
        if (options.progress && ++nDone % kProgressEvery == 0 && !options.progress(nDone, nToWrite))
            return Fail(SQLITE_OK, std::string("导入已取消。") + kUnchanged);
    }
    pInsert.reset();
    pUpdate.reset();
    nResult = sqlite3_exec(pDb.get(), "COMMIT", nullptr, nullptr, nullptr);
    if (nResult != SQLITE_OK)
        return Fail(nResult, "");
    if (options.progress)
        options.progress(nToWrite, nToWrite);
    result.bOk = true;
    result.strMessage = "导入完成：新增" + std::to_string(result.nInserted) + "个型号，更新" +
                        std::to_string(result.nUpdated) + "个型号。";
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
    const std::string strRefusal = ExportRefusal(strLibraryPath, strCsvPath);
    if (!strRefusal.empty()) {
        result.eFailure = EWriteFailure::Refused;
        result.strMessage = strRefusal;
        return result;
    }
    std::string strError;
    DbPtr pDb(OpenLibraryForReading(strLibraryPath, strError));
    if (!pDb) {
        result.eFailure = EWriteFailure::LibraryUnusable;
        result.strMessage = strError;
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
        result.strMessage = "读取data.mdb失败：" + std::string(sqlite3_errmsg(pDb.get())) + "。";
        return result;
    }

    std::FILE* pFile = base::OpenFile(partial, "wb");
    if (!pFile) {
        result.strMessage = "无法写入" + strCsvPath + "：" + base::LastErrorText() + "。";
        return result;
    }
    auto Abandon = [&](const std::string& strMessage) {
        std::fclose(pFile);
        base::RemoveFile(partial);
        result = SWriteResult();
        result.eFailure = EWriteFailure::Failed;
        result.strMessage = strMessage;
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
                return Abandon("写入" + strCsvPath + "失败：" + base::LastErrorText() + "。");
            strOut.clear();
        }
        if (progress && nRows % kProgressEvery == 0 && !progress(nRows, std::max(nTotal, nRows)))
            return Abandon("导出已取消。");
    }
    if (nResult != SQLITE_DONE)
        return Abandon("读取data.mdb失败：" + std::string(sqlite3_errmsg(pDb.get())) + "。");
    if (std::fwrite(strOut.data(), 1, strOut.size(), pFile) != strOut.size() || std::fflush(pFile) != 0)
        return Abandon("写入" + strCsvPath + "失败：" + base::LastErrorText() + "。");
    if (std::fclose(pFile) != 0) {
        base::RemoveFile(partial);
        result.strMessage = "写入" + strCsvPath + "失败：" + base::LastErrorText() + "。";
        return result;
    }
    if (!base::MoveReplacing(partial, base::PathFromUtf8(strCsvPath), strError)) {
        result.strMessage = "无法写入" + strCsvPath + "：" + strError + "。";
        base::RemoveFile(partial);
        return result;
    }
    if (progress)
        progress(nRows, std::max<std::uint64_t>(nRows, 1));
    result.bOk = true;
    result.eFailure = EWriteFailure::None;
    result.nExported = static_cast<std::size_t>(nRows);
    result.strMessage = "导出完成：共" + std::to_string(nRows) + "个型号。";
    return result;
}

} // namespace library
