#include "tools/zarn-expand/EntryName.h"

#include <array>
#include <cstddef>
#include <cstdio>
#include <utility>

namespace zarn {

namespace {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) {
            return false;
        }
    }
    return true;
}

// Windows opens the device for these names whatever extension follows ("nul.txt" is NUL).
bool IsDeviceName(std::string_view segment) {
    const std::string_view stem = segment.substr(0, segment.find('.'));
    static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : kPlain) {
        if (EqualsIgnoringCase(stem, device)) {
            return true;
        }
    }
    return stem.size() == 4 &&
           (EqualsIgnoringCase(stem.substr(0, 3), "COM") || EqualsIgnoringCase(stem.substr(0, 3), "LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

const char* SegmentRefusal(std::string_view segment) {
    if (segment.empty()) {
        return "it has an empty path segment";
    }
    if (segment == "." || segment == "..") {
        return "it has a \".\" or \"..\" path segment";
    }
    if (segment.back() == '.' || segment.back() == ' ') {
        return "a path segment ends in a dot or a space";
    }
    if (IsDeviceName(segment)) {
        return "a path segment is a device name";
    }
    return nullptr;
}

} // namespace

EntryPath CheckEntryName(std::string_view name) {
    EntryPath result;
    if (name.empty()) {
        result.refusal = "the name is empty";
        return result;
    }
    if (name.front() == '\\' || name.front() == '/') {
        result.refusal = "the name is absolute";
        return result;
    }
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            result.refusal = "the name holds a control character";
            return result;
        }
        if (c == ':') {
            result.refusal = "the name holds a drive or stream colon";
            return result;
        }
        if (std::string_view("<>\"|?*").find(c) != std::string_view::npos) {
            result.refusal = "the name holds one of <>\"|?*";
            return result;
        }
    }
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = name.find_first_of("\\/", start);
        const std::string_view segment = name.substr(start, end == std::string_view::npos ? end : end - start);
        if (const char* refusal = SegmentRefusal(segment)) {
            result.refusal = refusal;
            return result;
        }
        segments.emplace_back(segment);
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    result.segments = std::move(segments);
    return result;
}

std::string PrintableEntryName(std::string_view name) {
    std::string shown;
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace zarn
