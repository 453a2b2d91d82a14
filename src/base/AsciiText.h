#pragma once

// Letter case and hex digits of ASCII only, as the wire format, the library
// and the database's column names use them: bytes outside A-Z and a-z keep
// their case (a Chinese model name is never changed), whatever the locale.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace base {

constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = AsciiLower(c);
    return out;
}

inline std::string AsciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = AsciiUpper(c);
    return out;
}

// Equal but for the case of ASCII letters (hex codes, column names).
constexpr bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

// Before `b` in the order of ASCII letters without regard to case, then
// byte for byte (so "abc" and "ABD" sit together).
inline bool LessIgnoringCase(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto cb = static_cast<unsigned char>(AsciiLower(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

// The value of a hex digit of either case; -1 for any other character.
constexpr int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Bytes as hex pairs, no separator.
inline std::string HexText(const std::uint8_t* pData, std::size_t nLength, bool bUpper = false) {
    const char* pszDigits = bUpper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    out.reserve(nLength * 2);
    for (std::size_t i = 0; i < nLength; ++i) {
        out += pszDigits[pData[i] >> 4];
        out += pszDigits[pData[i] & 0x0F];
    }
    return out;
}

} // namespace base
