#include "LogLine.h"

#include "AsciiText.h"

#include "codec/Layout.h"

namespace controller {

std::string FormatLogLine(std::int64_t milliseconds, std::string_view direction, std::string_view peer,
                          const std::uint8_t* data, std::size_t length, std::string_view note) {
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
    line += base::HexText(data, length, true);
    return line;
}

} // namespace controller
