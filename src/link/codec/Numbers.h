#pragma once

#include <string_view>

namespace codec {

// The leading decimal integer of a text, the way atoi reads it (blanks
// skipped, optional sign, digits up to the first other character; 0 when the
// text does not start with one), saturating at the int range instead of
// overflowing, so a huge number never turns into a small one.
long long LeadingInteger(std::string_view text);

// The value of one hexadecimal digit, -1 for any other character.

} // namespace codec
