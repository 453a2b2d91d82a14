#include "Gb18030Decoder.h"

#include <cerrno>
#include <iconv.h>

namespace library {

CGb18030Decoder::CGb18030Decoder() {
    iconv_t converter = iconv_open("UTF-8", "GB18030");
    if (converter != reinterpret_cast<iconv_t>(-1))
        m_pConverter = converter;
}

CGb18030Decoder::~CGb18030Decoder() {
    if (m_pConverter)
        iconv_close(static_cast<iconv_t>(m_pConverter));
}

bool CGb18030Decoder::Decode(std::string& strIn, std::string& strOut, std::size_t& nBadOffset) {
    // A GB18030 character never takes more than twice its bytes in UTF-8.
    const std::size_t nStart = strOut.size();
    strOut.resize(nStart + strIn.size() * 2 + 16);
    char* pIn = strIn.data();
    std::size_t nIn = strIn.size();
    char* pOut = strOut.data() + nStart;
    std::size_t nOut = strOut.size() - nStart;
    const bool bFailed =
        iconv(static_cast<iconv_t>(m_pConverter), &pIn, &nIn, &pOut, &nOut) == static_cast<std::size_t>(-1) &&
        errno != EINVAL;
    strOut.resize(strOut.size() - nOut);
    nBadOffset = strIn.size() - nIn;
    strIn.erase(0, strIn.size() - nIn);
    return !bFailed;
}

} // namespace library
