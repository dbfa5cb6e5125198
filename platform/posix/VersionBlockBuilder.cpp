#include "platform/posix/VersionBlockBuilder.h"

#include "platform/posix/ByteOrder.h"

namespace zarn::platform {

namespace {

constexpr size_t kMaxBlock = 0xFFFF;

void Pad4(std::vector<uint8_t>& out) {
    while (out.size() % 4 != 0) {
        out.push_back(0);
    }
}

void Append16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Append32(std::vector<uint8_t>& out, uint32_t v) {
    Append16(out, v & 0xFFFF);
    Append16(out, v >> 16);
}

// UTF-8 to UTF-16LE with a terminating zero; a byte that starts no valid sequence becomes U+FFFD.
std::vector<uint8_t> Utf16z(const std::string& text) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < text.size()) {
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char c = byte(i);
        uint32_t cp = 0xFFFD;
        size_t length = 1;
        size_t need = 0;
        uint32_t minimum = 0;
        if (c < 0x80) {
            cp = c;
        } else if (c >= 0xC2 && c <= 0xDF) {
            need = 1;
            cp = c & 0x1F;
            minimum = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2;
            cp = c & 0x0F;
            minimum = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3;
            cp = c & 0x07;
            minimum = 0x10000;
        }
        if (need != 0) {
            bool valid = text.size() - i > need;
            for (size_t k = 1; valid && k <= need; ++k) {
                valid = (byte(i + k) & 0xC0) == 0x80;
                cp = cp << 6 | (byte(i + k) & 0x3F);
            }
            if (valid && cp >= minimum && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
                length = need + 1;
            } else {
                cp = 0xFFFD;
            }
        }
        if (cp >= 0x10000) {
            Append16(out, 0xD800 + ((cp - 0x10000) >> 10));
            Append16(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            Append16(out, cp);
        }
        i += length;
    }
    Append16(out, 0);
    return out;
}

// One node: wLength, wValueLength, wType, key, padding, value, then each child on a 4-byte boundary.
std::vector<uint8_t> Node(const char* key, const std::vector<uint8_t>& value, uint32_t valueLength, uint32_t type,
                          const std::vector<std::vector<uint8_t>>& children) {
    std::vector<uint8_t> out(6, 0);
    const std::vector<uint8_t> k = Utf16z(key);
    out.insert(out.end(), k.begin(), k.end());
    Pad4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const auto& child : children) {
        Pad4(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    PutLe16(out, 0, static_cast<uint32_t>(out.size() & 0xFFFF));
    PutLe16(out, 2, valueLength & 0xFFFF);
    PutLe16(out, 4, type);
    return out;
}

std::vector<uint8_t> TextNode(const char* key, const std::string& text) {
    const std::vector<uint8_t> value = Utf16z(text);
    // For text values wValueLength counts UTF-16 units, the terminating zero included.
    return Node(key, value, static_cast<uint32_t>(value.size() / 2), 1, {});
}

} // namespace

std::vector<uint16_t> VersionBlockBuilder::FixedNumbers(const std::string& version) {
    std::vector<uint16_t> numbers;
    size_t i = 0;
    while (numbers.size() < 4 && i < version.size() && version[i] >= '0' && version[i] <= '9') {
        uint32_t n = 0;
        while (i < version.size() && version[i] >= '0' && version[i] <= '9') {
            n = n * 10 + static_cast<uint32_t>(version[i] - '0');
            if (n > 0xFFFF) {
                return std::vector<uint16_t>(4, 0);
            }
            ++i;
        }
        numbers.push_back(static_cast<uint16_t>(n));
        if (i + 1 >= version.size() || version[i] != '.') {
            break;
        }
        ++i;
    }
    numbers.resize(4, 0);
    return numbers;
}

std::vector<uint8_t> VersionBlockBuilder::Build(const std::string& version, const std::string& productName,
                                                uint32_t fileType) {
    // Every UTF-8 byte takes at most two bytes in UTF-16: texts this long can never fit, so they are refused
    // before any conversion.
    if (version.size() + productName.size() > kMaxBlock) {
        return {};
    }
    const std::vector<uint16_t> n = FixedNumbers(version);
    std::vector<uint8_t> fixed;
    Append32(fixed, 0xFEEF04BDu);
    Append32(fixed, 0x00010000u);
    for (int twice = 0; twice < 2; ++twice) { // file version, then product version
        Append32(fixed, static_cast<uint32_t>(n[0]) << 16 | n[1]);
        Append32(fixed, static_cast<uint32_t>(n[2]) << 16 | n[3]);
    }
    Append32(fixed, 0x3F); // flags mask
    Append32(fixed, 0);    // flags
    Append32(fixed, 0);    // VOS_UNKNOWN
    Append32(fixed, fileType);
    Append32(fixed, 0); // subtype
    Append32(fixed, 0); // date, high and low
    Append32(fixed, 0);

    std::vector<std::vector<uint8_t>> strings{TextNode("FileVersion", version)};
    if (!productName.empty()) {
        strings.push_back(TextNode("ProductName", productName));
    }
    for (const auto& s : strings) {
        if (s.size() > kMaxBlock) {
            return {};
        }
    }
    const std::vector<uint8_t> table = Node("040904B0", {}, 0, 1, strings);
    const std::vector<uint8_t> stringFileInfo = Node("StringFileInfo", {}, 0, 1, {table});
    std::vector<uint8_t> translation;
    Append16(translation, 0x0409);
    Append16(translation, 0x04B0);
    const std::vector<uint8_t> var = Node("Translation", translation, 4, 0, {});
    const std::vector<uint8_t> varFileInfo = Node("VarFileInfo", {}, 0, 1, {var});
    std::vector<uint8_t> block =
        Node("VS_VERSION_INFO", fixed, static_cast<uint32_t>(fixed.size()), 0, {stringFileInfo, varFileInfo});
    // Lengths are 16 bits wide: a block that outgrew them would be cut, so it is refused as a whole.
    if (block.size() > kMaxBlock || table.size() > kMaxBlock || stringFileInfo.size() > kMaxBlock) {
        return {};
    }
    return block;
}

} // namespace zarn::platform
