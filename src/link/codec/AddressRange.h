#pragma once

#include "codec/Address.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace codec {

// A strict dotted quad "a.b.c.d" (four decimal parts of 0 to 255, nothing
// else); false for anything else, unlike the lenient classic conversion.
bool ParseDottedQuad(std::string_view text, Ip4& out);

// Why a set of addresses was refused; each program says it in its own words.
enum class ERangeProblem {
    None,
    TooMany,    // more than the most the caller takes
    NotCidr,    // a piece with "/" that is no a.b.c.d/n
    NotRange,   // a piece with "-" that is no FIRST-LAST, or one whose last is below its first
    NotAddress, // a piece that is no dotted quad
};
struct SRangeError {
    ERangeProblem eProblem = ERangeProblem::None;
    std::string strPiece;      // the piece refused ("" for TooMany)
    std::size_t nMaxCount = 0; // the most addresses taken
};

// A set of addresses written as one address, FIRST-LAST (inclusive), a CIDR
// block a.b.c.d/n (without its network and broadcast addresses when n is
// below 31), or several of these separated by commas. At most `maxCount`
// addresses; on failure `error` says why.
bool ParseAddressRange(std::string_view text, std::vector<Ip4>& out, SRangeError& error,
                       std::size_t maxCount = 4096);

} // namespace codec
