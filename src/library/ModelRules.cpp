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

const char* RuleMessage(ERuleFailure failure) {
    switch (failure) {
    case ERuleFailure::None:
        return "";
    case ERuleFailure::ModelEmpty:
        return "投影机型号不能为空，请输入！";
    case ERuleFailure::BaudEmpty:
        return "波特率不能为空，请选择！";
    case ERuleFailure::BaudUnknown:
        return "波特率只能是2400、4800、9600、19200、38400、57600或115200！";
    case ERuleFailure::ParityEmpty:
        return "校验类型不能为空，请选择！";
    case ERuleFailure::ParityUnknown:
        return "校验类型只能是无、奇或偶！";
    case ERuleFailure::VgaEmpty:
        return "VGA不能为空，请输入偶数位数据！";
    case ERuleFailure::VgaOdd:
        return "VGA输入不正确，请检查VGA位数！";
    case ERuleFailure::VgaTooLong:
        return "VGA不能超过96位，请检查VGA位数！";
    case ERuleFailure::VideoEmpty:
        return "VIDEO不能为空，请输入偶数位数据！";
    case ERuleFailure::VideoOdd:
        return "VIDEO输入不正确，请检查VIDEO位数！";
    case ERuleFailure::VideoTooLong:
        return "VIDEO不能超过96位，请检查VIDEO位数！";
    case ERuleFailure::PowerOnEmpty:
        return "POWER ON不能为空，请输入偶数位数据！";
    case ERuleFailure::PowerOnOdd:
        return "POWER ON输入不正确，请检查POWER ON位数！";
    case ERuleFailure::PowerOnTooLong:
        return "POWER ON不能超过96位，请检查POWER ON位数！";
    case ERuleFailure::PowerOffEmpty:
        return "POWER OFF不能为空，请输入偶数位数据！";
    case ERuleFailure::PowerOffOdd:
        return "POWER OFF输入不正确，请检查POWER OFF位数！";
    case ERuleFailure::PowerOffTooLong:
        return "POWER OFF不能超过96位，请检查POWER OFF位数！";
    case ERuleFailure::NotHex:
        return "请确保VIDEO/VGA/POWER ON/POWER OFF中都是16进制数，否则请点击ASCII码转16进制按钮！";
    }
    return "";
}

} // namespace library
