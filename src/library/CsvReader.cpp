#include "CsvReader.h"

#include "TextFile.h"

namespace library {

bool SCsvRecord::IsPadding() const {
    if (bUnterminated)
        return false;
    for (const std::string& strField : fields)
        if (strField.find_first_not_of(" \t") != std::string::npos)
            return false;
    return true;
}

bool CCsvReader::Fill() {
    m_nPos = 0;
    while (!m_bEnd) {
        if (!m_source.Read(m_strChunk)) {
            m_strChunk.clear();
            m_bEnd = true;
            return false;
        }
        if (!m_strChunk.empty())
            return true;
    }
    return false;
}

bool CCsvReader::Next(SCsvRecord& record) {
    // The record's strings are reused from one record to the next, so a long
    // file is read without an allocation per field.
    std::size_t nFields = 0;
    auto EndField = [&] {
        if (nFields == record.fields.size())
            record.fields.emplace_back();
        record.fields[nFields++].swap(m_strField);
        m_strField.clear();
    };
    record.bUnterminated = false;
    record.bLineEnd = false;
    record.nLine = m_nLine;
    m_strField.clear();
    EState eState = EState::FieldStart;
    bool bAny = false; // the record has at least one character
    for (;;) {
        if (m_nPos >= m_strChunk.size() && !Fill())
            break;
        const char* p = m_strChunk.data();
        const std::size_t n = m_strChunk.size();
        while (m_nPos < n) {
            // Runs of ordinary characters are copied at once.
            if (eState == EState::Unquoted || eState == EState::Quoted) {
                const char cStop = eState == EState::Quoted ? '"' : ',';
                std::size_t i = m_nPos;
                while (i < n && p[i] != cStop && p[i] != '\n' && p[i] != '\r')
                    ++i;
                m_strField.append(p + m_nPos, i - m_nPos);
                m_nPos = i;
                if (i == n)
                    break;
            }
            const char c = p[m_nPos++];
            if (m_bSkipLf) {
                m_bSkipLf = false;
                if (c == '\n')
                    continue;
            }
            if (!bAny)
                record.nLine = m_nLine;
            bAny = true;
            switch (eState) {
            case EState::Quoted:
                if (c == '"') {
                    eState = EState::QuoteInQuoted;
                } else {
                    // A CRLF inside a field is one line break, even across chunks.
                    if (c == '\r' || (c == '\n' && !m_bQuotedCr))
                        ++m_nLine;
                    m_bQuotedCr = c == '\r';
                    m_strField += c;
                }
                continue;
            case EState::QuoteInQuoted:
                if (c == '"') {
                    m_strField += '"';
                    m_bQuotedCr = false;
                    eState = EState::Quoted;
                    continue;
                }
                break; // the closing quote: the character ends the field or follows it
            case EState::FieldStart:
                if (c == '"') {
                    m_bQuotedCr = false;
                    eState = EState::Quoted;
                    continue;
                }
                break;
            case EState::Unquoted:
                break;
            }
            if (c == ',') {
                EndField();
                eState = EState::FieldStart;
            } else if (c == '\n' || c == '\r') {
                ++m_nLine;
                m_bSkipLf = c == '\r';
                EndField();
                record.fields.resize(nFields);
                record.bLineEnd = true;
                return true;
            } else {
                m_strField += c;
                eState = EState::Unquoted;
            }
        }
    }
    if (!bAny)
        return false;
    record.bUnterminated = eState == EState::Quoted;
    EndField();
    record.fields.resize(nFields);
    return true;
}

} // namespace library
