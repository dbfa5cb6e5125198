#include "download/ResumeDecision.h"

#include "text/AsciiText.h"

#include <string_view>

namespace zarn {

namespace {

// A run of decimal digits at the start of `text`, taken off it; none for no digits or a number past 64 bits.
std::optional<std::uint64_t> TakeNumber(std::string_view& text) {
    std::uint64_t value = 0;
    std::size_t used = 0;
    for (; used < text.size() && text[used] >= '0' && text[used] <= '9'; ++used) {
        const auto digit = static_cast<std::uint64_t>(text[used] - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    if (used == 0) {
        return std::nullopt;
    }
    text.remove_prefix(used);
    return value;
}

struct Range {
    std::optional<std::uint64_t> first; // none for "*"
    std::uint64_t total = 0;
};

std::optional<Range> Parse(const std::string& contentRange) {
    std::string_view text = TrimWhiteSpace(contentRange);
    if (!StartsWithIgnoreCaseAscii(text, "bytes ")) {
        return std::nullopt;
    }
    text = TrimWhiteSpace(text.substr(6));
    Range range;
    if (!text.empty() && text.front() == '*') {
        text.remove_prefix(1);
    } else {
        range.first = TakeNumber(text);
        if (!range.first || text.empty() || text.front() != '-') {
            return std::nullopt;
        }
        text.remove_prefix(1);
        const std::optional<std::uint64_t> last = TakeNumber(text);
        if (!last || *last < *range.first) {
            return std::nullopt;
        }
    }
    if (text.empty() || text.front() != '/') {
        return std::nullopt;
    }
    text.remove_prefix(1);
    const std::optional<std::uint64_t> total = TakeNumber(text);
    if (!total || !text.empty()) {
        return std::nullopt;
    }
    range.total = *total;
    return range;
}

} // namespace

std::string ResumeDecision::Validator(const std::string& etag, const std::string& lastModified) {
    const std::string_view tag = TrimWhiteSpace(etag);
    if (!tag.empty()) {
        return tag.size() >= 2 && tag.front() == '"' && tag.back() == '"' ? std::string(tag) : std::string();
    }
    return std::string(TrimWhiteSpace(lastModified));
}

bool ResumeDecision::Continues(const std::string& contentRange, std::uint64_t start, std::uint64_t total) {
    const std::optional<Range> range = Parse(contentRange);
    return range && range->first == start && range->total == total;
}

std::optional<std::uint64_t> ResumeDecision::Total(const std::string& contentRange) {
    const std::optional<Range> range = Parse(contentRange);
    return range ? std::optional<std::uint64_t>(range->total) : std::nullopt;
}

} // namespace zarn
