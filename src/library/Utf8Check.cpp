#include "Utf8Check.h"

#include <cstring>

namespace library {

bool CUtf8Check::Feed(const unsigned char* p, std::size_t n) {
    if (!m_bValid)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        // Plain ASCII, the bulk of a library, is passed eight bytes at a time.
        while (m_nOwed == 0 && i + 8 <= n) {
            std::uint64_t nWord;
            std::memcpy(&nWord, p + i, sizeof nWord);
            if (nWord & 0x8080808080808080ULL)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        const unsigned char c = p[i];
        if (m_nOwed == 0) {
            if (c < 0x80)
                continue;
            if (c >= 0xC2 && c <= 0xDF) {
                Expect(1, 0x80, 0xBF, c & 0x1F);
            } else if (c == 0xE0) {
                Expect(2, 0xA0, 0xBF, c & 0x0F);
            } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
                Expect(2, 0x80, 0xBF, c & 0x0F);
            } else if (c == 0xED) {
                Expect(2, 0x80, 0x9F, c & 0x0F);
            } else if (c == 0xF0) {
                Expect(3, 0x90, 0xBF, c & 0x07);
            } else if (c >= 0xF1 && c <= 0xF3) {
                Expect(3, 0x80, 0xBF, c & 0x07);
            } else if (c == 0xF4) {
                Expect(3, 0x80, 0x8F, c & 0x07);
            } else {
                m_bValid = false;
                return false;
            }
        } else {
            if (c < m_nLow || c > m_nHigh) {
                m_bValid = false;
                return false;
            }
            m_nCode = (m_nCode << 6) | (c & 0x3F);
            m_nLow = 0x80;
            m_nHigh = 0xBF;
            if (--m_nOwed == 0 && IsForeignToChineseText(m_nCode))
                ++m_nForeign;
        }
    }
    return true;
}

void CUtf8Check::Expect(int nOwed, unsigned char nLow, unsigned char nHigh, char32_t nBits) {
    m_nOwed = nOwed;
    m_nLow = nLow;
    m_nHigh = nHigh;
    m_nCode = nBits;
}

bool IsValidUtf8(std::string_view text) {
    CUtf8Check check;
    check.Feed(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    return check.Complete();
}

bool IsForeignToChineseText(char32_t n) {
    if (n < 0x80)
        return false;
    // Symbols of the Latin-1 block that GBK holds too: ¤ § ¨ ° ± · × ÷.
    if (n == 0xA4 || n == 0xA7 || n == 0xA8 || n == 0xB0 || n == 0xB1 || n == 0xB7 || n == 0xD7 || n == 0xF7)
        return false;
    const struct {
        char32_t nFirst, nLast;
    } kChinese[] = {
        {0x2000, 0x206F},   // general punctuation: “” ‘’ … — ‰
        {0x2100, 0x23FF},   // letter-like symbols, number forms, arrows, mathematical operators
        {0x2460, 0x27BF},   // enclosed numbers, box drawing, shapes, miscellaneous symbols
        {0x2E80, 0x2FDF},   // CJK radicals
        {0x3000, 0x303F},   // CJK symbols and punctuation
        {0x3040, 0x30FF},   // kana (GBK holds them)
        {0x3100, 0x312F},   // bopomofo
        {0x3200, 0x33FF},   // enclosed CJK letters, CJK compatibility
        {0x3400, 0x4DBF},   // CJK ideographs, extension A
        {0x4E00, 0x9FFF},   // CJK unified ideographs
        {0xF900, 0xFAFF},   // CJK compatibility ideographs
        {0xFE30, 0xFE4F},   // CJK compatibility forms
        {0xFF00, 0xFFEF},   // full-width forms
        {0x20000, 0x3FFFF}, // CJK ideographs, extensions B and later
    };
    for (const auto& range : kChinese)
        if (n >= range.nFirst && n <= range.nLast)
            return false;
    return true;
}

} // namespace library
