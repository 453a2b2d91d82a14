#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace codec {

// One projector model's serial settings and control codes, as the library
// stores them (parity "无", "奇" or "偶", UTF-8; codes as hex text).
struct ProjectorCodes {
    std::string baud, parity, video, vga, powerOn, powerOff;
};

// The baud pair of a baud text read as its leading decimal number; "" when
// the number is not one of the supported rates.
std::string BaudPair(std::string_view baudText);
// "00", "01" or "02" for "无", "奇", "偶"; "" for any other text.
std::string ParityPair(std::string_view parityText);

// Room for code bytes in one 52-byte block.
constexpr std::size_t kMaxCodeBytes = 48;
constexpr std::size_t kBlockBytes = 52;

enum class BundleStatus { Ok, CodeTooLong };

struct BundleResult {
    BundleStatus status = BundleStatus::Ok;
    std::string bundle;
    int tooLongBlock = -1; // 0 VIDEO, 1 VGA, 2 POWER ON, 3 POWER OFF
};

// Builds the four blocks (VIDEO, VGA, POWER ON, POWER OFF): baud pair,
// command number, length pair "%02x" of k + 1, the code as typed, parity pair,
// "FF" fill up to 52 bytes. k is the code's length in bytes halved. A code of
// more than 48 bytes does not fit its block and is refused.
BundleResult BuildCodeBundle(const ProjectorCodes& codes);

} // namespace codec
