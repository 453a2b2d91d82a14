#include "codec/Numbers.h"

#include <algorithm>
#include <climits>

namespace codec {

long long LeadingInteger(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r')))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    long long value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        if (value < INT_MAX)
            value = value * 10 + (text[pos] - '0');
    }
    value = std::min<long long>(value, INT_MAX);
    return negative ? -value : value;
}


} // namespace codec
