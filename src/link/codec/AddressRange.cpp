#include "codec/AddressRange.h"

#include <cstdint>

namespace codec {
namespace {

std::uint32_t ToNumber(const Ip4& a) {
    return (std::uint32_t(a[0]) << 24) | (std::uint32_t(a[1]) << 16) | (std::uint32_t(a[2]) << 8) | a[3];
}

Ip4 FromNumber(std::uint32_t n) {
    return {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
            static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
}

bool AddSpan(std::uint32_t first, std::uint32_t last, std::vector<Ip4>& out, std::size_t maxCount,
             SRangeError& error) {
    if (std::uint64_t(last) - first + 1 + out.size() > maxCount) {
        error = {ERangeProblem::TooMany, std::string(), maxCount};
        return false;
    }
    for (std::uint64_t n = first; n <= last; ++n)
        out.push_back(FromNumber(static_cast<std::uint32_t>(n)));
    return true;
}

bool ParsePiece(std::string_view piece, std::vector<Ip4>& out, SRangeError& error, std::size_t maxCount) {
    Ip4 a{}, b{};
    if (const auto slash = piece.find('/'); slash != std::string_view::npos) {
        const std::string_view bits = piece.substr(slash + 1);
        if (!ParseDottedQuad(piece.substr(0, slash), a) || bits.empty() || bits.size() > 2 ||
            bits.find_first_not_of("0123456789") != std::string_view::npos ||
            std::stoi(std::string(bits)) > 32) {
            error = {ERangeProblem::NotCidr, std::string(piece), maxCount};
            return false;
        }
        const int n = std::stoi(std::string(bits));
        const std::uint32_t mask = n == 0 ? 0 : ~std::uint32_t(0) << (32 - n);
        std::uint32_t first = ToNumber(a) & mask;
        std::uint32_t last = first | ~mask;
        if (n < 31) {
            ++first;
            --last;
        }
        return AddSpan(first, last, out, maxCount, error);
    }
    if (const auto dash = piece.find('-'); dash != std::string_view::npos) {
        if (!ParseDottedQuad(piece.substr(0, dash), a) || !ParseDottedQuad(piece.substr(dash + 1), b) ||
            ToNumber(b) < ToNumber(a)) {
            error = {ERangeProblem::NotRange, std::string(piece), maxCount};
            return false;
        }
        return AddSpan(ToNumber(a), ToNumber(b), out, maxCount, error);
    }
    if (!ParseDottedQuad(piece, a)) {
        error = {ERangeProblem::NotAddress, std::string(piece), maxCount};
        return false;
    }
    return AddSpan(ToNumber(a), ToNumber(a), out, maxCount, error);
}

} // namespace

bool ParseDottedQuad(std::string_view text, Ip4& out) {
    Ip4 a{};
    std::size_t part = 0, digits = 0;
    unsigned value = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || part > 3 || value > 255)
                return false;
            a[part++] = static_cast<std::uint8_t>(value);
            value = 0;
            digits = 0;
            continue;
        }
        if (text[i] < '0' || text[i] > '9' || ++digits > 3)
            return false;
        value = value * 10 + unsigned(text[i] - '0');
    }
    if (part != 4)
        return false;
    out = a;
    return true;
}

bool ParseAddressRange(std::string_view text, std::vector<Ip4>& out, SRangeError& error,
                       std::size_t maxCount) {
    std::vector<Ip4> all;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string_view piece =
            text.substr(start, comma == std::string_view::npos ? comma : comma - start);
        if (!ParsePiece(piece, all, error, maxCount))
            return false;
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    out = std::move(all);
    return true;
}

} // namespace codec
