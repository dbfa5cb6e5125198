#include "app/SettingsCarryOver.h"

#include "components/LauncherSettings.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "text/Utf8.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

namespace zarn {

namespace {

// Far above any settings file the launcher ever wrote (a path and four documents).
constexpr std::uint64_t kFileSizeCap = 1u << 20;

int DigitValue(char c, int base) {
    int value = base;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

// Reads up to `maxDigits` digits of `base` at `at`, advancing it; the number read (0 when there is none).
unsigned ReadNumber(std::string_view text, std::size_t& at, int base, int maxDigits) {
    unsigned value = 0;
    for (int n = 0; n < maxDigits && at < text.size() && DigitValue(text[at], base) >= 0; ++n, ++at) {
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(text[at], base));
    }
    return value;
}

// A section name or key as Qt writes them: characters other than letters, digits, '_', '-' and '.' as "%XX" (a
// Latin-1 character) or "%UXXXX" (a UTF-16 unit), and the group separator '/' as '\'.
std::string UnescapedKey(std::string_view text) {
    std::string key;
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '\\') {
            key += '/';
            ++i;
        } else if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'U') {
            i += 2;
            AppendUtf8(key, ReadNumber(text, i, 16, 4));
        } else if (text[i] == '%') {
            ++i;
            AppendUtf8(key, ReadNumber(text, i, 16, 2));
        } else {
            key += text[i++];
        }
    }
    return key;
}

// A value as Qt writes a text: double quotes around a part that has ',', ';', '=' or spaces at its ends, C escapes
// (with "\x" for a control character). nullopt for what is no single text: a list (an unquoted ','), a typed value
// ("@ByteArray(...)", "@Variant(...)"), an invalid one ("@Invalid()").
std::optional<std::string> UnescapedText(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    std::string value;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i++];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            return std::nullopt;
        } else if (c != '\\' || i == text.size()) {
            value += c;
        } else {
            const char e = text[i++];
            switch (e) {
            case 'a':
                value += '\a';
                break;
            case 'b':
                value += '\b';
                break;
            case 'f':
                value += '\f';
                break;
            case 'n':
                value += '\n';
                break;
            case 'r':
                value += '\r';
                break;
            case 't':
                value += '\t';
                break;
            case 'v':
                value += '\v';
                break;
            case 'x':
                AppendUtf8(value, ReadNumber(text, i, 16, 4));
                break;
            default:
                if (e >= '0' && e <= '7') {
                    --i;
                    AppendUtf8(value, ReadNumber(text, i, 8, 3));
                } else {
                    value += e; // '"', '\'', '?', '\\'
                }
            }
        }
    }
    if (value.starts_with("@@")) {
        return value.substr(1);
    }
    if (value.starts_with('@')) {
        return std::nullopt;
    }
    return value;
}

// The file's texts by their full key ("caFile", "Recent File List/File1"); the keys of the section [General] have
// no group, as Qt writes them.
std::map<std::string, std::string> ReadIniTexts(std::string_view contents) {
    std::map<std::string, std::string> texts;
    std::string group;
    while (!contents.empty()) {
        const std::size_t end = contents.find('\n');
        std::string_view line = contents.substr(0, end);
        contents.remove_prefix(end == std::string_view::npos ? contents.size() : end + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            const std::string_view name = line.substr(1, line.find(']') - 1);
            group = name == "General" ? std::string() : UnescapedKey(name) + '/';
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        std::string_view key = line.substr(0, equals);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) {
            key.remove_suffix(1);
        }
        if (std::optional<std::string> text = UnescapedText(line.substr(equals + 1))) {
            texts[group + UnescapedKey(key)] = std::move(*text);
        }
    }
    return texts;
}

} // namespace

std::string FormerSettingsFile() {
    const std::string config = platform::UserConfigDirectory();
    if (config.empty()) {
        return {};
    }
    const char sep = platform::PathSeparator();
    return config + sep + "Ostrevant" + sep + "zarn.conf";
}

int CarryOverSettingsFile(const std::string& path, int maxRecentFiles) {
    if (path.empty() || !platform::FileExists(path)) {
        return 1;
    }
    const std::optional<std::string> contents = platform::ReadWholeFile(path, kFileSizeCap);
    if (!contents) {
        return 0;
    }
    const std::map<std::string, std::string> texts = ReadIniTexts(*contents);
    if (const auto caFile = texts.find("caFile");
        caFile != texts.end() && !LauncherSettings::StoreCaFile(caFile->second)) {
        return 0;
    }
    std::vector<std::string> recent;
    for (int i = 1; i <= maxRecentFiles; ++i) {
        const auto file = texts.find("Recent File List/File" + std::to_string(i));
        if (file != texts.end() && !file->second.empty()) {
            recent.push_back(file->second);
        }
    }
    if (!recent.empty() && !LauncherSettings::StoreRecentFiles(recent, maxRecentFiles)) {
        return 0;
    }
    return platform::ReplaceFile(path, path + kCarriedOverSuffix) == 0 ? 1 : 0;
}

} // namespace zarn
