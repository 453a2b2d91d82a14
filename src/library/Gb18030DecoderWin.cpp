// GB18030 on Windows: the system's code page 54936. Its converter takes whole
// characters only, so the character boundaries are found here first. A
// system without that code page (Wine has none) falls back to GBK, code page
// 936: every two-byte character reads the same, and a four-byte one is
// reported as undecodable with its place.
#include "Gb18030Decoder.h"

#include <windows.h>

namespace library {

namespace {

UINT CodePage() {
    static const UINT s_nCodePage = IsValidCodePage(54936) ? 54936 : IsValidCodePage(936) ? 936 : 0;
    return s_nCodePage;
}

// Length of the character starting at p (n bytes available): 1, 2 or 4; 0 when
// it is cut off by the end; -1 when the bytes are no character.
int CharacterLength(const unsigned char* p, std::size_t n) {
    if (p[0] < 0x80)
        return 1;
    if (p[0] == 0x80 || p[0] == 0xFF)
        return -1;
    if (n < 2)
        return 0;
    if ((p[1] >= 0x40 && p[1] <= 0x7E) || (p[1] >= 0x80 && p[1] <= 0xFE))
        return 2;
    if (p[1] < 0x30 || p[1] > 0x39)
        return -1;
    if (n < 3)
        return 0;
    if (p[2] < 0x81 || p[2] > 0xFE)
        return -1;
    if (n < 4)
        return 0;
    return p[3] >= 0x30 && p[3] <= 0x39 ? 4 : -1;
}

// Converts whole characters; false when the system refuses them.
bool Convert(const char* pIn, std::size_t nIn, std::string& strOut) {
    if (nIn == 0)
        return true;
    const int nWide =
        MultiByteToWideChar(CodePage(), MB_ERR_INVALID_CHARS, pIn, static_cast<int>(nIn), nullptr, 0);
    if (nWide <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(nWide), L'\0');
    MultiByteToWideChar(CodePage(), MB_ERR_INVALID_CHARS, pIn, static_cast<int>(nIn), wide.data(), nWide);
    const int nUtf8 = WideCharToMultiByte(CP_UTF8, 0, wide.data(), nWide, nullptr, 0, nullptr, nullptr);
    const std::size_t nStart = strOut.size();
    strOut.resize(nStart + static_cast<std::size_t>(nUtf8));
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), nWide, strOut.data() + nStart, nUtf8, nullptr, nullptr);
    return true;
}

} // namespace

CGb18030Decoder::CGb18030Decoder() {
    if (CodePage() != 0)
        m_pConverter = this; // nothing to hold: the code page is the converter
}

CGb18030Decoder::~CGb18030Decoder() = default;

bool CGb18030Decoder::Decode(std::string& strIn, std::string& strOut, std::size_t& nBadOffset) {
    const auto* p = reinterpret_cast<const unsigned char*>(strIn.data());
    std::size_t nWhole = 0;
    bool bBad = false;
    while (nWhole < strIn.size()) {
        const int nLength = CharacterLength(p + nWhole, strIn.size() - nWhole);
        if (nLength == 0)
            break;
        if (nLength < 0) {
            bBad = true;
            break;
        }
        nWhole += static_cast<std::size_t>(nLength);
    }
    if (!Convert(strIn.data(), nWhole, strOut)) {
        // The system knows no character for some sequence: find the first one.
        std::size_t nAt = 0;
        while (nAt < nWhole) {
            const auto nLength = static_cast<std::size_t>(CharacterLength(p + nAt, nWhole - nAt));
            std::string strPiece;
            if (!Convert(strIn.data() + nAt, nLength, strPiece))
                break;
            strOut += strPiece;
            nAt += nLength;
        }
        nBadOffset = nAt;
        strIn.erase(0, nAt);
        return false;
    }
    nBadOffset = nWhole;
    strIn.erase(0, nWhole);
    return !bBad;
}

} // namespace library
