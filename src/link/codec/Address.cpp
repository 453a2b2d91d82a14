#include "codec/Address.h"
#include "AsciiText.h"

#include <cstddef>
#include <optional>

namespace codec {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c) {
    const int nValue = base::HexDigit(c);
    return nValue < 0 ? 99 : nValue;
}

// Reads one part starting at text[pos] (which must be a digit) with the base
// chosen by its prefix, like strtoul with base 0. Returns nothing when the
// value does not fit in 32 bits.
std::optional<std::uint32_t> ReadPart(std::string_view text, std::size_t& pos) {
    int base = 10;
    if (text[pos] == '0') {
        base = 8;
        if (pos + 2 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
            DigitValue(text[pos + 2]) < 16) {
            base = 16;
            pos += 2;
        }
    }
    std::uint64_t value = 0;
    while (pos < text.size() && DigitValue(text[pos]) < base) {
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(text[pos]));
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
        ++pos;
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::uint32_t> Parse(std::string_view text) {
    std::array<std::uint32_t, 3> leading{};
    std::size_t parts = 0;
    std::size_t pos = 0;
    std::uint32_t last = 0;
    for (;;) {
        if (pos >= text.size() || !IsDigit(text[pos]))
            return std::nullopt;
        auto part = ReadPart(text, pos);
        if (!part)
            return std::nullopt;
        last = *part;
        if (pos < text.size() && text[pos] == '.') {
            if (parts > 2 || last > 0xFF)
                return std::nullopt;
            leading[parts++] = last;
            ++pos;
        } else {
            break;
        }
    }
    if (pos < text.size() && !IsSpace(text[pos]))
        return std::nullopt;
    static constexpr std::array<std::uint32_t, 4> kLastMax{0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
    if (last > kLastMax[parts])
        return std::nullopt;
    std::uint32_t value = last;
    for (std::size_t i = 0; i < parts; ++i)
        value |= leading[i] << (24 - 8 * i);
    return value;
}

} // namespace

Ip4 AddressToBytes(std::string_view text) {
    // Text ending at an embedded NUL reads like the C string it would be.
    text = text.substr(0, text.find('\0'));
    const std::uint32_t value = Parse(text).value_or(0xFFFFFFFFu);
    return Ip4{static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
               static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

std::string BytesToAddress(const Ip4& address) {
    std::string text;
    for (std::size_t i = 0; i < address.size(); ++i) {
        if (i > 0)
            text += '.';
        text += std::to_string(address[i]);
    }
    return text;
}

} // namespace codec
