#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace controller {

// One log line (without the line break): timestamp in milliseconds since the
// epoch, "recv" or "send", peer "a.b.c.d:port", kind (byte 13, "-" without a
// header), length, a note, and the bytes in hex.
std::string FormatLogLine(std::int64_t milliseconds, std::string_view direction, std::string_view peer,
                          const std::uint8_t* data, std::size_t length, std::string_view note);

} // namespace controller
