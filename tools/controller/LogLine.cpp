#include "LogLine.h"

#include "codec/Layout.h"

namespace controller {

std::string FormatLogLine(std::int64_t milliseconds, std::string_view direction, std::string_view peer,
                          const std::uint8_t* data, std::size_t length, std::string_view note) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string line = std::to_string(milliseconds);
    line += ' ';
    line += direction;
    line += ' ';
    line += peer;
    line += " kind=";
    line += length >= codec::kHeaderLength ? std::to_string(data[codec::kKindOffset]) : std::string("-");
    line += " len=";
    line += std::to_string(length);
    if (!note.empty()) {
        line += " [";
        line += note;
        line += ']';
    }
    line += ' ';
    for (std::size_t i = 0; i < length; ++i) {
        line += kDigits[data[i] >> 4];
        line += kDigits[data[i] & 15];
    }
    return line;
}

} // namespace controller
