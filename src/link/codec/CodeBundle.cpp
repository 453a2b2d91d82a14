#include "codec/CodeBundle.h"

#include "codec/Numbers.h"

#include <array>
#include <cstdio>
#include <utility>

namespace codec {
namespace {} // namespace

std::string BaudPair(std::string_view baudText) {
    static constexpr std::array<std::pair<long long, const char*>, 7> kBauds{{
        {2400, "CF"},
        {4800, "E8"},
        {9600, "F4"},
        {19200, "FA"},
        {38400, "FD"},
        {57600, "D0"},
        {115200, "FF"},
    }};
    const long long baud = LeadingInteger(baudText);
    for (const auto& [rate, pair] : kBauds) {
        if (rate == baud)
            return pair;
    }
    return {};
}

std::string ParityPair(std::string_view parityText) {
    if (parityText == "无")
        return "00";
    if (parityText == "偶")
        return "02";
    if (parityText == "奇")
        return "01";
    return {};
}

BundleResult BuildCodeBundle(const ProjectorCodes& codes) {
    const std::array<const std::string*, 4> blocks{&codes.video, &codes.vga, &codes.powerOn, &codes.powerOff};
    BundleResult result;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        if (blocks[b]->size() / 2 > kMaxCodeBytes) {
            result.status = BundleStatus::CodeTooLong;
            result.tooLongBlock = static_cast<int>(b);
            return result;
        }
    }
    const std::string baud = BaudPair(codes.baud);
    const std::string parity = ParityPair(codes.parity);
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const std::string& code = *blocks[b];
        const std::size_t k = code.size() / 2;
        char length[8];
        std::snprintf(length, sizeof length, "%02x", static_cast<unsigned>(k + 1));
        result.bundle += baud;
        result.bundle += '0';
        result.bundle += static_cast<char>('1' + b);
        result.bundle += length;
        result.bundle += code;
        result.bundle += parity;
        for (std::size_t fill = k; fill < kMaxCodeBytes; ++fill)
            result.bundle += "FF";
    }
    return result;
}

} // namespace codec
