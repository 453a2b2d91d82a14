#pragma once

#include <array>
#include <string>
#include <string_view>

// The rules a projector model must meet before it goes into the library:
// the same checks whether the installer saves a model in the code dialog or
// brings models in from a shared file. Texts are UTF-8.
namespace library {

// The seven values of one DATA row, in the order of the export columns.
struct SModelRecord {
    std::string model, baud, parity, vga, video, powerOn, powerOff;

    bool operator==(const SModelRecord&) const = default;
    // Same serial settings and codes, the model aside; hex codes compare
    // without regard to letter case.
    bool SameCodes(const SModelRecord& other) const;
};

// Why a record is refused, in the order the checks run.
enum class ERuleFailure {
    None,
    ModelEmpty,
    BaudEmpty,
    BaudUnknown,
    ParityEmpty,
    ParityUnknown,
    VgaEmpty,
    VgaOdd,
    VgaTooLong,
    VideoEmpty,
    VideoOdd,
    VideoTooLong,
    PowerOnEmpty,
    PowerOnOdd,
    PowerOnTooLong,
    PowerOffEmpty,
    PowerOffOdd,
    PowerOffTooLong,
    NotHex,
};

// The baud rates and parities an installer can choose from.
constexpr std::array<const char*, 7> kBaudRates{"2400", "4800", "9600", "19200", "38400", "57600", "115200"};
constexpr std::array<const char*, 3> kParities{"无", "奇", "偶"};

// Digits a code may hold: a bundle block has room for 48 code bytes.
constexpr int kMaxCodeDigits = 96;

// Length of a UTF-8 text in bytes as the installer's code page stores it:
// one for an ASCII character, two for a character of the basic plane, four
// beyond it.
int CodePageBytes(std::string_view text);
// Non-empty and nothing but 0-9, A-F, a-f.
bool IsHexText(std::string_view text);
bool IsKnownBaud(std::string_view baud);
bool IsKnownParity(std::string_view parity);

// The checks of the four codes: per code (VGA, VIDEO, POWER ON, POWER OFF)
// empty, odd length, too long; then every code is hexadecimal.
ERuleFailure CheckCodes(std::string_view vga, std::string_view video, std::string_view powerOn,
                        std::string_view powerOff);
// Every check of a record: model, baud rate, parity, then the codes.
ERuleFailure CheckRecord(const SModelRecord& record);

} // namespace library
