#include "CsvReader.h"

#include "TextFile.h"

namespace library {

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
    record.fields.clear();
    record.bUnterminated = false;
    record.nLine = m_nLine;
    std::string strField;
    EState eState = EState::FieldStart;
    bool bAny = false; // the record has at least one character
    for (;;) {
        if (m_nPos >= m_strChunk.size() && !Fill())
            break;
        const char* p = m_strChunk.data();
        const std::size_t n = m_strChunk.size();
        while (m_nPos < n) {
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
                    strField += c;
                }
                continue;
            case EState::QuoteInQuoted:
                if (c == '"') {
                    strField += '"';
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
                record.fields.push_back(std::move(strField));
                strField.clear();
                eState = EState::FieldStart;
            } else if (c == '\n' || c == '\r') {
                ++m_nLine;
                m_bSkipLf = c == '\r';
                record.fields.push_back(std::move(strField));
                return true;
            } else {
                strField += c;
                eState = EState::Unquoted;
            }
        }
    }
    if (!bAny)
        return false;
    record.bUnterminated = eState == EState::Quoted;
    record.fields.push_back(std::move(strField));
    return true;
}

} // namespace library
