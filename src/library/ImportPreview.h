#pragma once

#include "LibraryLookup.h"
#include "ModelRules.h"
#include "TextFile.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace library {

// What importing a row would do to the library.
enum class ERowClass : std::uint8_t {
    New,       // the model is not in the library
    Identical, // the library holds the model with the same settings and codes
    Conflict,  // the library holds the model with other settings or codes
    Invalid,   // the row is refused; Reason() says why
};

// For a conflicting row: keep the library's codes, or take the imported ones.
enum class EChoice : std::uint8_t { Keep, Take };

// Why a row is refused apart from the record rules.
enum class ERowProblem : std::uint8_t {
    None,
    Rule,
    TooFewFields,
    TooManyFields,
    Unterminated,
    Repeated,
    NullCell,
    NoLineEnd, // the file ends inside the row: it may have been cut short
    NotUtf8,   // a cell is not valid UTF-8 text
};

struct SPreviewCounts {
    std::size_t nNew = 0, nIdentical = 0, nConflict = 0, nInvalid = 0;
};

// The preview of an import: every row of a CSV file, or of the DATA table of
// another data.mdb, checked with the rules of a saved model and compared with
// the library. Nothing is written here; ApplyImport writes what the preview
// and the installer's choices decide.
//
// The source is read as a stream; the rows are kept in one text buffer with
// the places of their fields, since a file can hold a million models.
class CImportPreview {
public:
    CImportPreview() = default;
    CImportPreview(const CImportPreview&) = delete;
    CImportPreview& operator=(const CImportPreview&) = delete;

    // Reads strSource (a CSV file, or a data.mdb recognised by its content)
    // and classifies its rows against the library in strLibraryPath. On
    // failure returns false and Error() says why; the preview is then empty.
    // A CSV file is read in the forced encoding when one is given, else in
    // the one its mark names or its text suggests (see CTextFile).
    bool Load(const std::string& strSource, const std::string& strLibraryPath, ProgressFn progress = {},
              std::optional<EEncoding> forcedEncoding = {});

    const SLibraryError& Error() const { return m_error; }
    // The file or data.mdb the last Load read.
    const std::string& Source() const { return m_strSource; }
    // The failure was the library's (missing, not a library, unreadable),
    // not the source's.
    bool LibraryFailed() const { return m_bLibraryFailed; }
    bool FromDatabase() const { return m_bFromDatabase; }
    // The encoding a CSV file was read in.
    EEncoding Encoding() const { return m_eEncoding; }

    std::size_t RowCount() const { return m_rows.size(); }
    ERowClass Class(std::size_t nRow) const { return m_rows[nRow].eClass; }
    // The CSV line the row starts on (the header is line 1), or the row's
    // number in a data.mdb's table, counting from 1.
    std::uint64_t Line(std::size_t nRow) const { return m_rows[nRow].nLine; }
    std::string_view Field(std::size_t nRow, int nColumn) const;
    SModelRecord Record(std::size_t nRow) const;
    // The library's record for a conflicting row, read again from the
    // library: a preview of a million conflicts keeps none of them.
    SModelRecord Existing(std::size_t nRow) const;
    // Why an invalid row is refused (None for any other row), with its
    // values: the rule, the field counts, the earlier line, the column.
    ERowProblem Problem(std::size_t nRow) const { return m_rows[nRow].eProblem; }
    ERuleFailure RuleFailure(std::size_t nRow) const { return m_rows[nRow].eRule; }
    // TooFewFields, TooManyFields: the fields the row has; Repeated: the
    // line (or row) that holds the model first; NullCell, NotUtf8: the
    // column (0 to 6, in export order).
    std::uint64_t ProblemDetail(std::size_t nRow) const { return m_rows[nRow].nDetail; }
    // TooFewFields, TooManyFields: the fields the header has.
    std::uint32_t ExpectedFields(std::size_t nRow) const { return m_rows[nRow].nExpected; }

    EChoice Choice(std::size_t nRow) const { return m_rows[nRow].eChoice; }
    // Choices apply to conflicting rows only; others ignore them.
    void SetChoice(std::size_t nRow, EChoice eChoice);
    void SetChoiceForAll(EChoice eChoice);

    SPreviewCounts Counts() const { return m_counts; }
    // The library's DATA table as the preview saw it (see ReadLibrary).
    std::uint64_t LibraryFingerprint() const { return m_nLibraryFingerprint; }

private:
    struct SRow {
        std::uint64_t nLine = 0;
        std::uint64_t nStart = 0; // first byte of the row's fields in m_text
        std::array<std::uint32_t, 7> lengths{};
        std::uint64_t nDetail = 0;   // field counts, the earlier line of a repeated model, a NULL column
        std::uint32_t nExpected = 0; // fields expected for a miscount
        ERowClass eClass = ERowClass::Invalid;
        EChoice eChoice = EChoice::Keep;
        ERuleFailure eRule = ERuleFailure::None;
        ERowProblem eProblem = ERowProblem::None;
    };

    static constexpr std::uint32_t kNoRow = 0xFFFFFFFF;

    void Reset();
    bool LoadLibrary(const std::string& strLibraryPath);
    bool LoadCsv(const std::string& strSource, const ProgressFn& progress, std::optional<EEncoding> forced);
    bool LoadDatabase(const std::string& strSource, const ProgressFn& progress);
    // Stores a row and classifies it.
    void AddRow(std::uint64_t nLine, const SModelRecord& record);
    void AddInvalidRow(std::uint64_t nLine, const SModelRecord& record, ERowProblem eProblem,
                       std::uint64_t nDetail, std::uint32_t nExpected);
    SRow& Store(std::uint64_t nLine, const SModelRecord& record);
    // Enters an accepted row under its model; the row that holds the model
    // already, or kNoRow when it is the first.
    std::uint32_t Accept(std::uint32_t nRow);

    std::string m_text;
    std::vector<SRow> m_rows;
    // The accepted rows by model: an open-addressing table of row numbers
    // (kNoRow for a free slot), at most half full, four bytes a slot.
    std::vector<std::uint32_t> m_accepted;
    std::size_t m_nAccepted = 0;
    CLibraryLookup m_library;
    std::string m_strLibraryPath;
    SModelRecord m_found; // the library's row for the row being classified
    SPreviewCounts m_counts;
    SLibraryError m_error;
    std::string m_strSource;
    EEncoding m_eEncoding = EEncoding::Utf8;
    bool m_bFromDatabase = false;
    bool m_bLibraryFailed = false;
    std::uint64_t m_nLibraryFingerprint = 0;
};

} // namespace library
