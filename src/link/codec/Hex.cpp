#include "codec/Hex.h"
#include "AsciiText.h"

#include "codec/Numbers.h"

namespace codec {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::uint8_t HexPairToByte(const char* piece) {
    int pos = 0;
    while (pos < 2 && IsSpace(piece[pos]))
        ++pos;
    bool negative = false;
    if (pos < 2 && (piece[pos] == '+' || piece[pos] == '-')) {
        negative = piece[pos] == '-';
        ++pos;
    }
    // A "0x" prefix cannot be followed by a digit within two characters, so the
    // '0' alone is the number, as strtoul reads it.
    unsigned value = 0;
    for (; pos < 2 && base::HexDigit(piece[pos]) >= 0; ++pos)
        value = value * 16 + static_cast<unsigned>(base::HexDigit(piece[pos]));
    if (negative)
        value = 0u - value;
    return static_cast<std::uint8_t>(value & 0xFFu);
}

} // namespace codec
