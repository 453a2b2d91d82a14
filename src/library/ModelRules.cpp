#include "ModelRules.h"
#include "AsciiText.h"

#include <algorithm>

namespace library {

namespace {

struct SCodeRule {
    std::string_view code;
    ERuleFailure empty, odd, tooLong;
};

// Hex codes are the same in either letter case.
bool SameHex(std::string_view a, std::string_view b) {
    return base::SameIgnoringCase(a, b);
}
} // namespace

bool SModelRecord::SameCodes(const SModelRecord& other) const {
    return baud == other.baud && parity == other.parity && SameHex(vga, other.vga) &&
           SameHex(video, other.video) && SameHex(powerOn, other.powerOn) &&
           SameHex(powerOff, other.powerOff);
}

int CodePageBytes(std::string_view text) {
    int nBytes = 0;
    for (unsigned char c : text) {
        if (c < 0x80)
            nBytes += 1;
        else if (c >= 0xF0)
            nBytes += 4; // a character beyond the basic plane
        else if (c >= 0xC0)
            nBytes += 2; // the lead byte of any other character
    }
    return nBytes;
}

bool IsHexText(std::string_view text) {
    if (text.empty())
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return base::HexDigit(c) >= 0; });
}

bool IsKnownBaud(std::string_view baud) {
    return std::find(kBaudRates.begin(), kBaudRates.end(), baud) != kBaudRates.end();
}

bool IsKnownParity(std::string_view parity) {
    return std::find(kParities.begin(), kParities.end(), parity) != kParities.end();
}

ERuleFailure CheckCodes(std::string_view vga, std::string_view video, std::string_view powerOn,
                        std::string_view powerOff) {
    const std::array<SCodeRule, 4> rules{{
        {vga, ERuleFailure::VgaEmpty, ERuleFailure::VgaOdd, ERuleFailure::VgaTooLong},
        {video, ERuleFailure::VideoEmpty, ERuleFailure::VideoOdd, ERuleFailure::VideoTooLong},
        {powerOn, ERuleFailure::PowerOnEmpty, ERuleFailure::PowerOnOdd, ERuleFailure::PowerOnTooLong},
        {powerOff, ERuleFailure::PowerOffEmpty, ERuleFailure::PowerOffOdd, ERuleFailure::PowerOffTooLong},
    }};
    for (const SCodeRule& rule : rules) {
        const int nBytes = CodePageBytes(rule.code);
        if (nBytes == 0)
            return rule.empty;
        if (nBytes % 2 != 0)
            return rule.odd;
        if (nBytes > kMaxCodeDigits)
            return rule.tooLong;
    }
    for (std::string_view code : {vga, video, powerOff, powerOn})
        if (!IsHexText(code))
            return ERuleFailure::NotHex;
    return ERuleFailure::None;
}

ERuleFailure CheckRecord(const SModelRecord& record) {
    if (record.model.empty())
        return ERuleFailure::ModelEmpty;
    if (record.baud.empty())
        return ERuleFailure::BaudEmpty;
    if (!IsKnownBaud(record.baud))
        return ERuleFailure::BaudUnknown;
    if (record.parity.empty())
        return ERuleFailure::ParityEmpty;
    if (!IsKnownParity(record.parity))
        return ERuleFailure::ParityUnknown;
    return CheckCodes(record.vga, record.video, record.powerOn, record.powerOff);
}

} // namespace library
