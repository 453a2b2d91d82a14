#pragma once

#include <cstdint>

namespace codec {

// Reads the two characters piece[0] and piece[1] as an unsigned hexadecimal
// number the way strtoul with base 16 reads them (leading blanks and a sign
// accepted, reading stops at the first character that is not a hex digit, no
// digit gives 0) and returns the low eight bits. Only those two characters are
// read; no terminating NUL is needed.
std::uint8_t HexPairToByte(const char* piece);

} // namespace codec
