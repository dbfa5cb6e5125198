#include "platform/posix/PackageMetadata.h"

#include <cstdint>
#include <vector>

namespace zarn::platform {

namespace {

// Deeper nesting than any package note needs; the limit keeps hostile input from growing the stack of open
// containers without end.
constexpr size_t kMaxDepth = 256;

class JsonCursor {
public:
    explicit JsonCursor(std::string_view text) : m_text(text) {}

    void SkipSpace() {
        while (m_at < m_text.size() &&
               (m_text[m_at] == ' ' || m_text[m_at] == '\t' || m_text[m_at] == '\n' || m_text[m_at] == '\r')) {
            ++m_at;
        }
    }

    bool AtEnd() const { return m_at >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_at]; }

    bool Take(char c) {
        if (Peek() != c || AtEnd()) {
            return false;
        }
        ++m_at;
        return true;
    }

    // A string token; its decoded UTF-8 text goes to `out` when given.
    bool String(std::string* out) {
        if (!Take('"')) {
            return false;
        }
        while (!AtEnd()) {
            const unsigned char c = static_cast<unsigned char>(m_text[m_at++]);
            if (c == '"') {
                return true;
            }
            if (c < 0x20) {
                return false;
            }
            if (c != '\\') {
                Append(out, c);
                continue;
            }
            if (AtEnd()) {
                return false;
            }
            const char e = m_text[m_at++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                Append(out, static_cast<unsigned char>(e));
                break;
            case 'b':
                Append(out, '\b');
                break;
            case 'f':
                Append(out, '\f');
                break;
            case 'n':
                Append(out, '\n');
                break;
            case 'r':
                Append(out, '\r');
                break;
            case 't':
                Append(out, '\t');
                break;
            case 'u':
                if (!Unicode(out)) {
                    return false;
                }
                break;
            default:
                return false;
            }
        }
        return false;
    }

    // Any value, containers included, walked with an explicit stack of the open containers' closing brackets.
    bool SkipValue() {
        std::vector<char> open;
        for (;;) {
            SkipSpace();
            const char c = Peek();
            bool opened = false;
            if (c == '{' || c == '[') {
                if (open.size() >= kMaxDepth) {
                    return false;
                }
                ++m_at;
                open.push_back(c == '{' ? '}' : ']');
                SkipSpace();
                if (Take(open.back())) {
                    open.pop_back();
                } else if (open.back() == '}' && !MemberName(nullptr)) {
                    return false;
                } else {
                    opened = true;
                }
            } else if (!Scalar()) {
                return false;
            }
            if (opened) {
                continue;
            }
            bool another = false;
            while (!open.empty() && !another) {
                SkipSpace();
                if (Take(',')) {
                    if (open.back() == '}' && !MemberName(nullptr)) {
                        return false;
                    }
                    another = true;
                } else if (Take(open.back())) {
                    open.pop_back();
                } else {
                    return false;
                }
            }
            if (!another) {
                return true;
            }
        }
    }

    // `"name" :` of an object member.
    bool MemberName(std::string* name) {
        SkipSpace();
        if (!String(name)) {
            return false;
        }
        SkipSpace();
        return Take(':');
    }

private:
    static void Append(std::string* out, unsigned char c) {
        if (out != nullptr) {
            out->push_back(static_cast<char>(c));
        }
    }

    static void AppendUtf8(std::string* out, uint32_t cp) {
        if (cp < 0x80) {
            Append(out, static_cast<unsigned char>(cp));
        } else if (cp < 0x800) {
            Append(out, static_cast<unsigned char>(0xC0 | cp >> 6));
            Append(out, static_cast<unsigned char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            Append(out, static_cast<unsigned char>(0xE0 | cp >> 12));
            Append(out, static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3F)));
            Append(out, static_cast<unsigned char>(0x80 | (cp & 0x3F)));
        } else {
            Append(out, static_cast<unsigned char>(0xF0 | cp >> 18));
            Append(out, static_cast<unsigned char>(0x80 | (cp >> 12 & 0x3F)));
            Append(out, static_cast<unsigned char>(0x80 | (cp >> 6 & 0x3F)));
            Append(out, static_cast<unsigned char>(0x80 | (cp & 0x3F)));
        }
    }

    bool Hex4(uint32_t& value) {
        if (m_text.size() - m_at < 4) {
            return false;
        }
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = m_text[m_at++];
            value <<= 4;
            if (h >= '0' && h <= '9') {
                value |= static_cast<uint32_t>(h - '0');
            } else if (h >= 'a' && h <= 'f') {
                value |= static_cast<uint32_t>(h - 'a' + 10);
            } else if (h >= 'A' && h <= 'F') {
                value |= static_cast<uint32_t>(h - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }

    // After "\u": one code unit, or a surrogate pair; an unpaired surrogate becomes U+FFFD.
    bool Unicode(std::string* out) {
        uint32_t unit = 0;
        if (!Hex4(unit)) {
            return false;
        }
        if (unit >= 0xD800 && unit < 0xDC00 && m_text.substr(m_at, 2) == "\\u") {
            const size_t back = m_at;
            m_at += 2;
            uint32_t low = 0;
            if (!Hex4(low)) {
                return false;
            }
            if (low >= 0xDC00 && low < 0xE000) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                return true;
            }
            m_at = back;
        }
        AppendUtf8(out, unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
        return true;
    }

    bool Literal(std::string_view word) {
        if (m_text.substr(m_at, word.size()) != word) {
            return false;
        }
        m_at += word.size();
        return true;
    }

    bool Digits() {
        const size_t start = m_at;
        while (!AtEnd() && m_text[m_at] >= '0' && m_text[m_at] <= '9') {
            ++m_at;
        }
        return m_at > start;
    }

    bool Number() {
        Take('-');
        if (!Take('0') && !Digits()) {
            return false;
        }
        if (Take('.') && !Digits()) {
            return false;
        }
        if (Take('e') || Take('E')) {
            if (!Take('+')) {
                Take('-');
            }
            return Digits();
        }
        return true;
    }

    bool Scalar() {
        switch (Peek()) {
        case '"':
            return String(nullptr);
        case 't':
            return Literal("true");
        case 'f':
            return Literal("false");
        case 'n':
            return Literal("null");
        default:
            return Number();
        }
    }

    std::string_view m_text;
    size_t m_at = 0;
};

} // namespace

std::optional<PackageMetadata> PackageMetadata::Parse(std::string_view json) {
    JsonCursor cursor(json);
    PackageMetadata result;
    cursor.SkipSpace();
    if (!cursor.Take('{')) {
        return std::nullopt;
    }
    cursor.SkipSpace();
    if (!cursor.Take('}')) {
        do {
            std::string key;
            if (!cursor.MemberName(&key)) {
                return std::nullopt;
            }
            cursor.SkipSpace();
            const bool wanted = key == "name" || key == "version";
            if (wanted && cursor.Peek() == '"') {
                std::string value;
                if (!cursor.String(&value)) {
                    return std::nullopt;
                }
                if (key == "name") {
                    result.m_name = std::move(value);
                } else {
                    result.m_version = std::move(value);
                }
            } else {
                if (!cursor.SkipValue()) {
                    return std::nullopt;
                }
                // A later member of the same name that is no string replaces an earlier string value.
                if (key == "name") {
                    result.m_name.clear();
                } else if (key == "version") {
                    result.m_version.reset();
                }
            }
            cursor.SkipSpace();
        } while (cursor.Take(','));
        if (!cursor.Take('}')) {
            return std::nullopt;
        }
    }
    cursor.SkipSpace();
    if (!cursor.AtEnd()) {
        return std::nullopt;
    }
    return result;
}

} // namespace zarn::platform
