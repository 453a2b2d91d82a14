#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace library {

// Checks UTF-8 piece by piece, across piece boundaries: the state carries how
// many continuation bytes are still owed and what range the next one must lie
// in (so overlong forms and surrogates are refused). Along the way it counts
// the characters a Chinese text would not hold (see IsForeignToChineseText),
// which tells a UTF-8 file from GBK bytes that merely happen to form UTF-8.
class CUtf8Check {
public:
    // False once a byte breaks UTF-8; the check stays failed.
    bool Feed(const unsigned char* p, std::size_t n);
    // Valid so far and no character cut off at the end.
    bool Complete() const { return m_bValid && m_nOwed == 0; }
    bool Valid() const { return m_bValid; }
    std::uint64_t ForeignCount() const { return m_nForeign; }

private:
    void Expect(int nOwed, unsigned char nLow, unsigned char nHigh, char32_t nBits);

    std::uint64_t m_nForeign = 0;
    char32_t m_nCode = 0; // the bits of the character being read
    int m_nOwed = 0;
    unsigned char m_nLow = 0x80, m_nHigh = 0xBF;
    bool m_bValid = true;
};

// Whether the whole text is valid UTF-8.
bool IsValidUtf8(std::string_view text);

// A non-ASCII character that Chinese text does not use: a Latin, Greek or
// Cyrillic letter, a private-use character and the like. CJK ideographs,
// CJK and full-width punctuation and the symbols GBK shares with Latin text
// (°, ×, “”, …, №, ①) are not foreign.
bool IsForeignToChineseText(char32_t nCode);

} // namespace library
