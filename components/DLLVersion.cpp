#include "components/DLLVersion.h"

#include "platform/VersionInfo.h"
#include "text/AsciiText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zarn {

namespace {

// The next field of `text` at or after `pos`, where runs of `separator` count as one and leading ones are
// skipped; advances `pos` past the field. False when no field is left.
bool NextField(std::string_view text, char separator, size_t& pos, std::string_view& field) {
    while (pos < text.size() && text[pos] == separator) {
        ++pos;
    }
    if (pos >= text.size()) {
        return false;
    }
    const size_t end = std::min(text.find(separator, pos), text.size());
    field = text.substr(pos, end - pos);
    pos = end;
    return true;
}

int ParseSeparated(std::string_view text, char separator, std::int32_t& major, std::int32_t& minor,
                   std::int32_t& third) {
    size_t pos = 0;
    std::string_view field;
    if (!NextField(text, separator, pos, field)) {
        return 0;
    }
    major = ParseLeadingInt32(field);
    if (!NextField(text, separator, pos, field)) {
        return 0;
    }
    minor = ParseLeadingInt32(field);
    if (!NextField(text, separator, pos, field)) {
        return 0;
    }
    third = ParseLeadingInt32(field);
    return 1;
}

// The text as the comma parse sees it after a dotted parse that split it in place: everything up to the "."
// that ended the first dotted field. Version texts such as "1, 2, 0, 5" parse by commas only because of this.
std::string_view UpToFirstDottedField(std::string_view text) {
    const size_t start = text.find_first_not_of('.');
    if (start == std::string_view::npos) {
        return text;
    }
    const size_t end = text.find('.', start);
    return end == std::string_view::npos ? text : text.substr(0, end);
}

} // namespace

CDLLVersion::CDLLVersion() = default;

CDLLVersion::~CDLLVersion() = default;

int CDLLVersion::Init(const std::string& path) {
    m_major = 0;
    m_minor = 0;
    m_third = 0;
    m_valid = ReadVersion(path, m_major, m_minor, m_third);
    return m_valid;
}

int CDLLVersion::ReadVersion(const std::string& path, std::int32_t& major, std::int32_t& minor, std::int32_t& third) {
    const std::optional<std::vector<char>> block = ReadVersionBlock(path);
    if (!block) {
        return 0;
    }
    const std::optional<std::string> text = FileVersionFromBlock(*block);
    m_versionText = text.value_or(std::string());
    if (!text) {
        return 0;
    }
    const int result = ParseDotted(*text, major, minor, third);
    if (result == 1) {
        return 1;
    }
    return ParseCommaSeparated(UpToFirstDottedField(*text), major, minor, third);
}

std::optional<std::string> CDLLVersion::GetFileVersionText(const std::string& path) {
    const std::optional<std::vector<char>> block = ReadVersionBlock(path);
    if (!block) {
        return std::nullopt;
    }
    return FileVersionFromBlock(*block);
}

int CDLLVersion::ParseDotted(std::string_view text, std::int32_t& major, std::int32_t& minor, std::int32_t& third) {
    return ParseSeparated(text, '.', major, minor, third);
}

int CDLLVersion::ParseCommaSeparated(std::string_view text, std::int32_t& major, std::int32_t& minor,
                                     std::int32_t& third) {
    return ParseSeparated(text, ',', major, minor, third);
}

std::optional<std::vector<char>> CDLLVersion::ReadVersionBlock(const std::string& path) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<char> block(static_cast<size_t>(size) + 1);
    if (!GetFileVersionInfoA(path.c_str(), handle, size, block.data())) {
        return std::nullopt;
    }
    return block;
}

std::optional<std::string> CDLLVersion::FileVersionFromBlock(const std::vector<char>& block) {
    LPVOID value = nullptr;
    UINT length = 0;
    WORD language = 0;
    WORD codePage = 0x04B0;
    if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length) && value != nullptr &&
        length == 4) {
        // Exactly one translation: language and code page, two 16-bit words.
        WORD pair[2];
        std::memcpy(pair, value, sizeof pair);
        language = pair[0];
        codePage = pair[1];
    } else {
        language = GetUserDefaultLangID();
    }
    char query[64];
    const int written = std::snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\FileVersion",
                                      static_cast<unsigned>(language), static_cast<unsigned>(codePage));
    if (written <= 0 || static_cast<size_t>(written) >= sizeof query) {
        return std::nullopt;
    }
    value = nullptr;
    length = 0;
    if (!VerQueryValueA(block.data(), query, &value, &length) || value == nullptr) {
        return std::nullopt;
    }
    // The length counts the terminating zero; stop at the first zero in any case, and never past the length.
    const char* text = static_cast<const char*>(value);
    return std::string(text, std::find(text, text + length, '\0'));
}

} // namespace zarn
