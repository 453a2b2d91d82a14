#pragma once

#include <cstddef>
#include <string>

namespace library {

// Turns GB18030 text (a superset of GBK) into UTF-8, piece by piece. The
// platform's converter does the work; this is the one place that names it.
class CGb18030Decoder {
public:
    CGb18030Decoder();
    ~CGb18030Decoder();
    CGb18030Decoder(const CGb18030Decoder&) = delete;
    CGb18030Decoder& operator=(const CGb18030Decoder&) = delete;

    // False when the platform cannot convert GB18030 at all.
    bool IsReady() const { return m_pConverter != nullptr; }

    // Converts the whole characters at the start of strIn, appending their
    // UTF-8 to strOut and removing them from strIn; a character cut off at
    // the end of strIn stays there for the next piece. False on a byte
    // sequence that is no character; nBadOffset is then its place in strIn.
    bool Decode(std::string& strIn, std::string& strOut, std::size_t& nBadOffset);

private:
    void* m_pConverter = nullptr;
};

} // namespace library
