#pragma once

// Helpers for writing expected datagrams by hand: hex text with optional
// blanks, placed at fixed offsets of a zero-filled buffer.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace testbytes {

inline std::vector<std::uint8_t> Hex(std::string_view text) {
    std::vector<std::uint8_t> out;
    int high = -1;
    for (char c : text) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else if (c == ' ')
            continue;
        else
            throw std::invalid_argument("bad hex in test data");
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    if (high >= 0)
        throw std::invalid_argument("odd hex in test data");
    return out;
}

inline void Place(std::vector<std::uint8_t>& buffer, std::size_t offset, std::string_view hex) {
    const auto bytes = Hex(hex);
    if (offset + bytes.size() > buffer.size())
        throw std::out_of_range("test data past the buffer");
    for (std::size_t i = 0; i < bytes.size(); ++i)
        buffer[offset + i] = bytes[i];
}

inline void Fill(std::vector<std::uint8_t>& buffer, std::size_t from, std::size_t to, std::uint8_t value) {
    for (std::size_t i = from; i < to; ++i)
        buffer.at(i) = value;
}

inline std::string Repeat(std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

} // namespace testbytes
