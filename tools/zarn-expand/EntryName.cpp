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

// The digit of COM1 to COM9 and LPT1 to LPT9 (and 0, which newer Windows reserves too), or a superscript one,
// two or three, which Windows also takes for a device: the bytes of "¹", "²" and "³" in UTF-8, and the one byte
// each of them is in the Windows code pages (1252 and others) that a name without the cabinet's UTF-8 flag is
// read in. Where a code page gives those bytes another letter, refusing the name costs nothing.
bool IsDeviceDigit(std::string_view digit) {
    if (digit.size() == 1) {
        const auto byte = static_cast<unsigned char>(digit[0]);
        return (byte >= '0' && byte <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
    }
    return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

// Windows opens the device for these names whatever extension follows ("nul.txt" is NUL), and it drops the
// spaces that end the part before the extension ("CON .txt" is CON too).
bool IsDeviceName(std::string_view segment) {
    std::string_view stem = segment.substr(0, segment.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.remove_suffix(1);
    }
    static constexpr std::array<std::string_view, 7> kPlain = {"CON",    "PRN",     "AUX",   "NUL",
                                                               "CONIN$", "CONOUT$", "CLOCK$"};
    for (std::string_view device : kPlain) {
        if (EqualsIgnoringCase(stem, device)) {
            return true;
        }
    }
    return stem.size() >= 4 &&
           (EqualsIgnoringCase(stem.substr(0, 3), "COM") || EqualsIgnoringCase(stem.substr(0, 3), "LPT")) &&
           IsDeviceDigit(stem.substr(3));
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
