#include "CodeLibrary.h"
#include "AsciiText.h"
#include "Database.h"
#include "Statements.h"

#include <algorithm>
#include <array>
#include <memory>

namespace library {

namespace {

// The columns of DATA, in SModelRecord's order.
constexpr std::array<const char*, 7> kFieldNames{"投影机型号", "波特率",   "校验",     "VGA",
                                                 "VIDEO",      "POWER ON", "POWER OFF"};

// The record's fields in the columns' order.
std::array<std::string*, 7> Columns(SModelRecord& record) {
    return {&record.model, &record.baud,    &record.parity,  &record.vga,
            &record.video, &record.powerOn, &record.powerOff};
}

} // namespace

SListRead ReadModelList(const std::function<void()>& started, const ListCellFn& cell) {
    SListRead read;
    try {
        const std::unique_ptr<CRecordWalker> pRecords =
            CDatabase::OpenRead(stmt::SelectLibrarySorted(), CursorType::Keyset);
        read.bOpened = true;
        started();
        if (pRecords->IsEmpty())
            read.eNotice = ECodeNotice::LibraryEmpty;
        for (int nRow = 0; !pRecords->AtEnd(); ++nRow, pRecords->MoveNext())
            for (int nColumn = 0; nColumn < static_cast<int>(kFieldNames.size()); ++nColumn)
                cell(nRow, nColumn, pRecords->Field(kFieldNames[static_cast<std::size_t>(nColumn)]));
    } catch (const CDatabaseError& error) {
        read.error = error;
    }
    return read;
}

SModelRead ReadModel(std::string_view model, SModelRecord& record) {
    SModelRead read;
    try {
        const std::unique_ptr<CRecordWalker> pRecords =
            CDatabase::OpenRead(stmt::SelectModel(model), CursorType::Keyset);
        if (pRecords->IsEmpty())
            read.eNotice = ECodeNotice::NoSuchModel;
        const std::array<std::string*, 7> columns = Columns(record);
        for (; !pRecords->AtEnd(); pRecords->MoveNext())
            for (std::size_t i = 0; i < columns.size(); ++i)
                *columns[i] = pRecords->Field(kFieldNames[i]);
    } catch (const CDatabaseError& error) {
        read.error = error;
    }
    return read;
}

SSearchResult SearchModels(std::string_view keyword) {
    SSearchResult result;
    if (keyword.empty()) {
        result.eNotice = ECodeNotice::KeywordEmpty;
        return result;
    }
    const std::string strUpper = base::AsciiUpper(keyword);
    result.strKeyword = base::AsciiLower(strUpper);
    try {
        const std::unique_ptr<CRecordWalker> pRecords =
            CDatabase::OpenRead(stmt::SearchModels(strUpper, result.strKeyword), CursorType::Keyset);
        if (pRecords->IsEmpty())
            result.eNotice = ECodeNotice::NoSuchModel;
        for (; !pRecords->AtEnd(); pRecords->MoveNext()) {
            result.models.push_back(pRecords->Field(kFieldNames[0]));
            result.strLastFound = result.models.back();
        }
    } catch (const CDatabaseError& error) {
        result.error = error;
    }
    // The found models are listed without regard to the case of ASCII
    // letters, so "abc" and "ABD" sit together; the statement's order
    // usually is that order already.
    auto less = [](const std::string& a, const std::string& b) { return base::LessIgnoringCase(a, b); };
    if (!std::is_sorted(result.models.begin(), result.models.end(), less))
        std::stable_sort(result.models.begin(), result.models.end(), less);
    return result;
}

ERuleFailure CheckNewModel(const SModelRecord& record) {
    if (record.model.empty())
        return ERuleFailure::ModelEmpty;
    if (record.baud.empty())
        return ERuleFailure::BaudEmpty;
    if (record.parity.empty())
        return ERuleFailure::ParityEmpty;
    return CheckCodes(record.vga, record.video, record.powerOn, record.powerOff);
}

SSaveResult SaveModel(const SModelRecord& record) {
    SSaveResult result;
    result.eRule = CheckNewModel(record);
    if (result.eRule != ERuleFailure::None)
        return result;
    try {
        const std::unique_ptr<CRecordWalker> pRecords =
            CDatabase::OpenRead(stmt::SelectLibrary(), CursorType::Keyset);
        if (pRecords->IsEmpty())
            result.eNotice = ECodeNotice::LibraryEmpty;
        for (; !pRecords->AtEnd(); pRecords->MoveNext()) {
            if (pRecords->Field(kFieldNames[0]) == record.model) {
                result.eOutcome = ESaveOutcome::Duplicate;
                return result;
            }
        }
    } catch (const CDatabaseError& error) {
        // The check could not finish; the insert still goes ahead.
        result.checkError = error;
    }
    try {
        CDatabase::ExecuteWrite(stmt::InsertModel(record.model, record.baud, record.parity, record.vga,
                                                  record.video, record.powerOn, record.powerOff));
    } catch (const CDatabaseError& error) {
        result.eOutcome = ESaveOutcome::NotInserted;
        result.insertError = error;
        return result;
    }
    result.eOutcome = ESaveOutcome::Saved;
    return result;
}

std::optional<CDatabaseError> DeleteModel(std::string_view model) {
    try {
        CDatabase::ExecuteWrite(stmt::DeleteModel(model));
    } catch (const CDatabaseError& error) {
        return error;
    }
    return std::nullopt;
}

ERuleFailure CheckHandOver(const SModelRecord& record) {
    if (record.model.empty())
        return ERuleFailure::ModelEmpty;
    const ERuleFailure eCodes = CheckCodes(record.vga, record.video, record.powerOn, record.powerOff);
    if (eCodes != ERuleFailure::None)
        return eCodes;
    return CheckRecord(record);
}

std::string AsciiToHex(std::string_view text) {
    std::string raw;
    raw.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == 'r' || next == 'n' || next == '\\') {
                raw += next == 'r' ? '\r' : next == 'n' ? '\n' : '\\';
                ++i;
                continue;
            }
            if (next == 'x' && i + 3 < text.size() && base::HexDigit(text[i + 2]) >= 0 &&
                base::HexDigit(text[i + 3]) >= 0) {
                raw += static_cast<char>(base::HexDigit(text[i + 2]) * 16 + base::HexDigit(text[i + 3]));
                i += 3;
                continue;
            }
        }
        raw += c;
    }
    return base::HexText(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size(), true);
}

} // namespace library
