#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace codec {

// An IPv4 address as it travels in a datagram: first octet first.
using Ip4 = std::array<std::uint8_t, 4>;

// Converts address text the way the classic dotted-decimal conversion does:
// one to four parts separated by dots, each decimal, octal (leading 0) or
// hexadecimal (leading 0x); the last part fills the remaining bytes ("a.b"
// puts b in the low 24 bits). Trailing white space and whatever follows it is
// ignored. Text that is not an address gives FF FF FF FF.
Ip4 AddressToBytes(std::string_view text);

// "a.b.c.d" in decimal.
std::string BytesToAddress(const Ip4& address);

} // namespace codec
