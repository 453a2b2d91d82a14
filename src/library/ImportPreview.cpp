#include "ImportPreview.h"
#include "AsciiText.h"

#include "CsvReader.h"
#include "FileSystem.h"
#include "LibraryFile.h"
#include "Utf8Check.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace library {

namespace {

// The names a column may carry in the header: the export's English name or
// the DATA table's own.
constexpr std::array<std::array<const char*, 2>, 7> kHeaderNames{{
    {"model", "投影机型号"},
    {"baud", "波特率"},
    {"parity", "校验"},
    {"VGA", "VGA"},
    {"VIDEO", "VIDEO"},
    {"POWER ON", "POWER ON"},
    {"POWER OFF", "POWER OFF"},
}};

constexpr std::uint64_t kProgressEvery = 4096;
// Rows read before the rest are estimated from them.
constexpr std::size_t kSizingRows = 1024;

std::string Trimmed(std::string_view text) {
    const auto nFirst = text.find_first_not_of(" \t");
    if (nFirst == std::string_view::npos)
        return std::string();
    const auto nLast = text.find_last_not_of(" \t");
    return std::string(text.substr(nFirst, nLast - nFirst + 1));
}

bool SameName(std::string_view a, std::string_view b) {
    return base::SameIgnoringCase(a, b);
}

// Spreadsheets made from the shipped library write the parity in English.
std::string ParityOf(std::string parity) {
    if (SameName(parity, "none"))
        return "无";
    if (SameName(parity, "odd"))
        return "奇";
    if (SameName(parity, "even"))
        return "偶";
    return parity;
}

std::string* FieldOf(SModelRecord& record, int nColumn) {
    std::string* fields[] = {&record.model, &record.baud,    &record.parity,  &record.vga,
                             &record.video, &record.powerOn, &record.powerOff};
    return fields[nColumn];
}

const std::string& FieldOf(const SModelRecord& record, int nColumn) {
    return *FieldOf(const_cast<SModelRecord&>(record), nColumn);
}

std::string ColumnText(sqlite3_stmt* pStatement, int nColumn) {
    const unsigned char* pText = sqlite3_column_text(pStatement, nColumn);
    return pText ? std::string(reinterpret_cast<const char*>(pText),
                               static_cast<std::size_t>(sqlite3_column_bytes(pStatement, nColumn)))
                 : std::string();
}

} // namespace

std::uint32_t CImportPreview::Accept(std::uint32_t nRow) {
    if ((m_nAccepted + 1) * 2 > m_accepted.size()) {
        std::vector<std::uint32_t> old(std::max<std::size_t>(m_accepted.size() * 2, 1024), kNoRow);
        old.swap(m_accepted);
        m_nAccepted = 0;
        for (std::uint32_t nOld : old)
            if (nOld != kNoRow)
                Accept(nOld);
    }
    const std::size_t nMask = m_accepted.size() - 1;
    const std::string_view model = Field(nRow, 0);
    for (std::size_t i = std::hash<std::string_view>()(model) & nMask;; i = (i + 1) & nMask) {
        if (m_accepted[i] == kNoRow) {
            m_accepted[i] = nRow;
            ++m_nAccepted;
            return kNoRow;
        }
        if (Field(m_accepted[i], 0) == model)
            return m_accepted[i];
    }
}

void CImportPreview::Reset() {
    m_text.clear();
    m_rows.clear();
    m_library.Close();
    m_accepted.clear();
    m_accepted.shrink_to_fit();
    m_nAccepted = 0;
    m_counts = SPreviewCounts();
    m_error = SLibraryError();
    m_eEncoding = EEncoding::Utf8;
    m_bFromDatabase = false;
    m_bLibraryFailed = false;
    m_nLibraryFingerprint = 0;
}

bool CImportPreview::Load(const std::string& strSource, const std::string& strLibraryPath,
                          ProgressFn progress, std::optional<EEncoding> forcedEncoding) {
    Reset();
    m_strSource = strSource;
    if (!LoadLibrary(strLibraryPath)) {
        m_bLibraryFailed = true;
        return false;
    }
    bool bLoaded = false;
    if (LooksLikeDatabase(strSource)) {
        m_bFromDatabase = true;
        bLoaded = LoadDatabase(strSource, progress);
    } else {
        const auto nDot = strSource.find_last_of('.');
        const std::string strExtension = nDot == std::string::npos ? "" : strSource.substr(nDot + 1);
        std::FILE* pFile = base::OpenFile(base::PathFromUtf8(strSource), "rb");
        if (pFile)
            std::fclose(pFile);
        if (!pFile) {
            m_error = SLibraryError{ELibraryError::CannotOpenSource, strSource, {}, 0, base::LastFileError()};
        } else if (SameName(strExtension, "mdb") || SameName(strExtension, "db")) {
            m_error = SLibraryError{ELibraryError::NotLibrary, strSource};
        } else {
            bLoaded = LoadCsv(strSource, progress, forcedEncoding);
        }
    }
    // The library was needed for the comparison only.
    m_library.Close();
    if (bLoaded && m_library.Failed()) {
        m_error = SLibraryError{ELibraryError::LookupFailed, strLibraryPath};
        bLoaded = false;
    }
    m_accepted.clear();
    m_accepted.shrink_to_fit();
    if (!bLoaded) {
        const SLibraryError error = m_error;
        Reset();
        m_error = error;
    }
    return bLoaded;
}

bool CImportPreview::LoadLibrary(const std::string& strLibraryPath) {
    m_strLibraryPath = strLibraryPath;
    if (!m_library.Open(strLibraryPath, m_error))
        return false;
    m_nLibraryFingerprint = m_library.Fingerprint();
    return true;
}

CImportPreview::SRow& CImportPreview::Store(std::uint64_t nLine, const SModelRecord& record) {
    if (m_rows.size() >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("too many rows to import at once");
    SRow row;
    row.nLine = nLine;
    row.nStart = m_text.size();
    for (int i = 0; i < 7; ++i) {
        const std::string& strField = FieldOf(record, i);
        const std::size_t nLength =
            std::min<std::size_t>(strField.size(), std::numeric_limits<std::uint32_t>::max());
        row.lengths[static_cast<std::size_t>(i)] = static_cast<std::uint32_t>(nLength);
        m_text.append(strField, 0, nLength);
    }
    m_rows.push_back(row);
    return m_rows.back();
}

void CImportPreview::AddInvalidRow(std::uint64_t nLine, const SModelRecord& record, ERowProblem eProblem,
                                   std::uint64_t nDetail, std::uint32_t nExpected) {
    SRow& row = Store(nLine, record);
    row.eClass = ERowClass::Invalid;
    row.eProblem = eProblem;
    row.nDetail = nDetail;
    row.nExpected = nExpected;
    ++m_counts.nInvalid;
}

void CImportPreview::AddRow(std::uint64_t nLine, const SModelRecord& record) {
    // Text after a UTF-8 mark and the cells of another data.mdb arrive
    // unconverted; the library holds UTF-8 only.
    for (int i = 0; i < 7; ++i) {
        if (!IsValidUtf8(FieldOf(record, i))) {
            AddInvalidRow(nLine, record, ERowProblem::NotUtf8, static_cast<std::uint64_t>(i), 0);
            return;
        }
    }
    const ERuleFailure eRule = CheckRecord(record);
    if (eRule != ERuleFailure::None) {
        AddInvalidRow(nLine, record, ERowProblem::Rule, 0, 0);
        m_rows.back().eRule = eRule;
        return;
    }
    Store(nLine, record);
    const std::uint32_t nEarlier = Accept(static_cast<std::uint32_t>(m_rows.size() - 1));
    if (nEarlier != kNoRow) {
        // A model may come once: a second row for it would make two models
        // of one name, which the library never holds.
        SRow& row = m_rows.back();
        row.eClass = ERowClass::Invalid;
        row.eProblem = ERowProblem::Repeated;
        row.nDetail = m_rows[nEarlier].nLine;
        ++m_counts.nInvalid;
        return;
    }
    SRow& row = m_rows.back();
    if (!m_library.Find(record.model, m_found)) {
        row.eClass = ERowClass::New;
        ++m_counts.nNew;
    } else if (m_found.SameCodes(record)) {
        row.eClass = ERowClass::Identical;
        ++m_counts.nIdentical;
    } else {
        row.eClass = ERowClass::Conflict;
        ++m_counts.nConflict;
    }
}

bool CImportPreview::LoadCsv(const std::string& strSource, const ProgressFn& progress,
                             std::optional<EEncoding> forced) {
    CTextFile file;
    if (!file.Open(strSource, progress, forced)) {
        m_error = file.Error();
        return false;
    }
    m_eEncoding = file.Encoding();
    CCsvReader reader(file);
    SCsvRecord record;

    // The header: the first line that is not blank or padding.
    bool bHeader = false;
    while (reader.Next(record)) {
        if (!record.IsPadding()) {
            bHeader = true;
            break;
        }
    }
    if (file.Error().Failed()) {
        m_error = file.Error();
        return false;
    }
    if (!bHeader) {
        m_error = SLibraryError{ELibraryError::EmptyFile, strSource};
        return false;
    }
    if (record.bUnterminated) {
        m_error = SLibraryError{ELibraryError::HeaderUnterminated, strSource};
        return false;
    }
    std::array<int, 7> columns;
    columns.fill(-1);
    const std::size_t nFields = record.fields.size();
    for (std::size_t nField = 0; nField < nFields; ++nField) {
        const std::string strName = Trimmed(record.fields[nField]);
        for (std::size_t nColumn = 0; nColumn < kHeaderNames.size(); ++nColumn) {
            if (!SameName(strName, kHeaderNames[nColumn][0]) && strName != kHeaderNames[nColumn][1])
                continue;
            if (columns[nColumn] >= 0) {
                m_error = SLibraryError{ELibraryError::RepeatedColumn, strSource, strName};
                return false;
            }
            columns[nColumn] = static_cast<int>(nField);
        }
    }
    std::string strMissing;
    for (std::size_t nColumn = 0; nColumn < columns.size(); ++nColumn)
        if (columns[nColumn] < 0)
            strMissing += (strMissing.empty() ? "" : "、") + std::string(kHeaderNames[nColumn][0]);
    if (!strMissing.empty()) {
        m_error = SLibraryError{ELibraryError::MissingColumns, strSource, strMissing};
        return false;
    }

    const auto nExpected = static_cast<std::uint32_t>(nFields);
    // The text buffer holds at most what the file holds, apart from the growth
    // of GBK text turned into UTF-8.
    m_text.reserve(static_cast<std::size_t>(file.Size()));
    SModelRecord model;
    while (reader.Next(record)) {
        // Rows of only commas are a spreadsheet's padding, not models.
        if (record.IsPadding())
            continue;
        for (std::size_t nColumn = 0; nColumn < columns.size(); ++nColumn) {
            const auto nField = static_cast<std::size_t>(columns[nColumn]);
            std::string& strValue = *FieldOf(model, static_cast<int>(nColumn));
            if (nField < record.fields.size())
                strValue.assign(record.fields[nField]);
            else
                strValue.clear();
        }
        model.parity = ParityOf(std::move(model.parity));
        if (record.bUnterminated)
            AddInvalidRow(record.nLine, model, ERowProblem::Unterminated, 0, 0);
        else if (!record.bLineEnd)
            // The header ended with a line break, so a row without one is
            // where the file stops, perhaps in the middle of a code.
            AddInvalidRow(record.nLine, model, ERowProblem::NoLineEnd, 0, 0);
        else if (record.fields.size() < nFields)
            AddInvalidRow(record.nLine, model, ERowProblem::TooFewFields, record.fields.size(), nExpected);
        else if (record.fields.size() > nFields)
            AddInvalidRow(record.nLine, model, ERowProblem::TooManyFields, record.fields.size(), nExpected);
        else
            AddRow(record.nLine, model);
        // Once the rows' size is known, room for all of them is taken at once:
        // growing by doubling would copy the rows and briefly need three times
        // their memory.
        if (m_rows.size() == kSizingRows) {
            const std::uint64_t nPerRow = m_text.size() / kSizingRows + 8; // separators and line end
            const std::uint64_t nEstimate = file.Size() / nPerRow + file.Size() / nPerRow / 10 + 16;
            if (nEstimate > m_rows.size() && nEstimate < std::numeric_limits<std::uint32_t>::max()) {
                m_rows.reserve(static_cast<std::size_t>(nEstimate));
            }
        }
    }
    if (file.Error().Failed()) {
        m_error = file.Error();
        return false;
    }
    if (progress)
        progress(1, 1);
    return true;
}

bool CImportPreview::LoadDatabase(const std::string& strSource, const ProgressFn& progress) {
    sqlite3* pDb = OpenLibraryForReading(strSource, m_error);
    if (!pDb)
        return false;
    std::uint64_t nTotal = 0;
    sqlite3_stmt* pStatement = nullptr;
    if (sqlite3_prepare_v2(pDb, "SELECT count(*) FROM DATA", -1, &pStatement, nullptr) == SQLITE_OK &&
        sqlite3_step(pStatement) == SQLITE_ROW)
        nTotal = static_cast<std::uint64_t>(sqlite3_column_int64(pStatement, 0));
    sqlite3_finalize(pStatement);
    pStatement = nullptr;

    const std::string strSelect = std::string("SELECT ") + kDataColumns + " FROM DATA ORDER BY rowid";
    int nResult = sqlite3_prepare_v2(pDb, strSelect.c_str(), -1, &pStatement, nullptr);
    std::uint64_t nRow = 0;
    bool bCancelled = false;
    while (nResult == SQLITE_OK && (nResult = sqlite3_step(pStatement)) == SQLITE_ROW) {
        ++nRow;
        SModelRecord record;
        int nNull = -1;
        for (int i = 0; i < 7; ++i) {
            if (nNull < 0 && sqlite3_column_type(pStatement, i) == SQLITE_NULL)
                nNull = i;
            *FieldOf(record, i) = ColumnText(pStatement, i);
        }
        if (nNull >= 0)
            AddInvalidRow(nRow, record, ERowProblem::NullCell, static_cast<std::uint64_t>(nNull), 0);
        else
            AddRow(nRow, record);
        nResult = SQLITE_OK;
        if (progress && nRow % kProgressEvery == 0 && !progress(nRow, std::max(nTotal, nRow))) {
            bCancelled = true;
            break;
        }
    }
    const base::SFileError engine = EngineError(pDb, nResult);
    sqlite3_finalize(pStatement);
    sqlite3_close(pDb);
    if (bCancelled) {
        m_error = SLibraryError{ELibraryError::Cancelled, strSource};
        return false;
    }
    if (nResult != SQLITE_DONE) {
        m_error = SLibraryError{ELibraryError::SourceReadFailed, strSource, {}, 0, engine};
        return false;
    }
    if (progress)
        progress(1, 1);
    return true;
}

std::string_view CImportPreview::Field(std::size_t nRow, int nColumn) const {
    const SRow& row = m_rows[nRow];
    std::uint64_t nStart = row.nStart;
    for (int i = 0; i < nColumn; ++i)
        nStart += row.lengths[static_cast<std::size_t>(i)];
    return std::string_view(m_text).substr(nStart, row.lengths[static_cast<std::size_t>(nColumn)]);
}

SModelRecord CImportPreview::Record(std::size_t nRow) const {
    SModelRecord record;
    for (int i = 0; i < 7; ++i)
        *FieldOf(record, i) = std::string(Field(nRow, i));
    return record;
}

SModelRecord CImportPreview::Existing(std::size_t nRow) const {
    SModelRecord record;
    if (m_rows[nRow].eClass == ERowClass::Conflict &&
        !CLibraryLookup::Fetch(m_strLibraryPath, Field(nRow, 0), record))
        record = SModelRecord();
    return record;
}

void CImportPreview::SetChoice(std::size_t nRow, EChoice eChoice) {
    if (nRow < m_rows.size() && m_rows[nRow].eClass == ERowClass::Conflict)
        m_rows[nRow].eChoice = eChoice;
}

void CImportPreview::SetChoiceForAll(EChoice eChoice) {
    for (SRow& row : m_rows)
        if (row.eClass == ERowClass::Conflict)
            row.eChoice = eChoice;
}

} // namespace library
