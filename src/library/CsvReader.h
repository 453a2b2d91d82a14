#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace library {

class CTextFile;

// One record of a CSV file.
struct SCsvRecord {
    std::vector<std::string> fields;
    std::uint64_t nLine = 0;    // the line the record starts on, counting from 1
    bool bUnterminated = false; // the file ended inside a quoted field
    bool bLineEnd = false;      // a line break ended the record (not the end of the file)

    // A line with nothing on it.
    bool IsBlank() const { return fields.size() == 1 && fields[0].empty() && !bUnterminated; }
    // A line whose every cell is empty or blanks, as a spreadsheet pads a
    // saved sheet with rows of only commas.
    bool IsPadding() const;
};

// Reads comma-separated records as RFC 4180 writes them: a field in double
// quotes may hold commas, line breaks and doubled quotes; records end with
// CRLF, LF or a lone CR. Spreadsheet leniencies are kept: a quote inside an
// unquoted field is an ordinary character, and text after a closing quote
// belongs to the field. The text arrives chunk by chunk, so a file of any
// size passes through a small buffer.
class CCsvReader {
public:
    explicit CCsvReader(CTextFile& source) : m_source(source) {}

    // The next record; false at the end of the text or on a read error.
    bool Next(SCsvRecord& record);

private:
    enum class EState { FieldStart, Unquoted, Quoted, QuoteInQuoted };

    bool Fill();

    CTextFile& m_source;
    std::string m_strChunk;
    std::string m_strField; // the field being read
    std::size_t m_nPos = 0;
    std::uint64_t m_nLine = 1;
    bool m_bSkipLf = false;   // a CR ended the last record; an LF right after it belongs to it
    bool m_bQuotedCr = false; // the last character inside quotes was a CR
    bool m_bEnd = false;
};

} // namespace library
