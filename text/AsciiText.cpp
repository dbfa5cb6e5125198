#include "text/AsciiText.h"

#include <limits>

namespace zarn {

std::string_view TrimWhiteSpace(std::string_view text) {
    const size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

std::int32_t ParseLeadingInt32(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && kWhiteSpace.find(text[i]) != std::string_view::npos) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate the magnitude in 64 bits and stop growing once it is past the 32-bit range: a listed
    // version of 99999999999 stays the largest possible rather than wrapping to some smaller number.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (magnitude <= limit) {
            magnitude = magnitude * 10 + (text[i] - '0');
        }
    }
    if (negative) {
        return magnitude >= limit ? std::numeric_limits<std::int32_t>::min() : static_cast<std::int32_t>(-magnitude);
    }
    return magnitude >= limit ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(magnitude);
}

std::string ToLowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

bool EqualsIgnoreCaseAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ToLowerAscii(a) == ToLowerAscii(b);
}

bool StartsWithIgnoreCaseAscii(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsIgnoreCaseAscii(text.substr(0, prefix.size()), prefix);
}

} // namespace zarn
