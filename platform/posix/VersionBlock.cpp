#include "platform/posix/VersionBlock.h"

#include "platform/posix/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace zarn::platform {

namespace {

constexpr size_t kHeader = 6;
constexpr uint16_t kTextType = 1;

size_t Align4(size_t v) {
    return (v + 3) & ~size_t{3};
}

struct Node {
    size_t keyStart;
    size_t keyEnd; // offset of the key's terminating zero
    size_t valueStart;
    size_t valueBytes;
    size_t valueLength; // wValueLength as declared
    size_t end;
    bool valueFits; // the declared value length lies inside the node
};

// The node at `at`, which must end by `limit`; false when its header, key or length do not fit.
bool ParseNode(const uint8_t* block, size_t at, size_t limit, Node& node) {
    if (at > limit || limit - at < kHeader) {
        return false;
    }
    const size_t length = Le16(block + at);
    if (length < kHeader || length > limit - at) {
        return false;
    }
    node.end = at + length;
    node.keyStart = at + kHeader;
    size_t k = node.keyStart;
    while (k + 2 <= node.end && Le16(block + k) != 0) {
        k += 2;
    }
    if (k + 2 > node.end) {
        return false;
    }
    node.keyEnd = k;
    node.valueStart = Align4(k + 2);
    node.valueLength = Le16(block + at + 2);
    const size_t room = node.valueStart <= node.end ? node.end - node.valueStart : 0;
    // valueFits speaks of the value handed out as raw bytes, whatever the node's type says.
    node.valueFits = node.valueLength <= room;
    if (Le16(block + at + 4) == kTextType) {
        // Text lengths count UTF-16 units; some resource compilers wrote bytes instead, so the value is also
        // bounded by the node and, when read, by its terminating zero.
        node.valueBytes = std::min(node.valueLength * 2, room);
    } else {
        node.valueBytes = node.valueFits ? node.valueLength : room;
    }
    return true;
}

bool KeyEquals(const uint8_t* block, const Node& node, std::string_view name) {
    if ((node.keyEnd - node.keyStart) / 2 != name.size()) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        const uint16_t unit = Le16(block + node.keyStart + 2 * i);
        auto fold = [](uint32_t c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
        if (unit > 0xFF || fold(unit) != fold(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

bool FindChild(const uint8_t* block, const Node& parent, std::string_view name, Node& child) {
    size_t at = Align4(parent.valueStart + parent.valueBytes);
    while (at < parent.end && ParseNode(block, at, parent.end, child)) {
        if (KeyEquals(block, child, name)) {
            return true;
        }
        at = Align4(child.end);
    }
    return false;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

size_t VersionBlock::BufferSize(const std::vector<uint8_t>& raw) {
    return 2 * Align4(raw.size());
}

void VersionBlock::Store(const std::vector<uint8_t>& raw, uint8_t* buffer) {
    std::memset(buffer, 0, BufferSize(raw));
    std::memcpy(buffer, raw.data(), raw.size());
}

bool VersionBlock::Query(const uint8_t* block, const char* path, uint8_t** value, unsigned* length) {
    if (block == nullptr || path == nullptr || value == nullptr || length == nullptr) {
        return false;
    }
    const size_t declared = Le16(block);
    Node node{};
    if (!ParseNode(block, 0, declared, node)) {
        return false;
    }
    std::string_view rest(path);
    bool first = true;
    bool text = false;
    while (!rest.empty()) {
        const size_t cut = rest.find('\\');
        const std::string_view name = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (name.empty()) {
            continue;
        }
        if (first) {
            text = SameName(name, "StringFileInfo");
            first = false;
        }
        Node child{};
        if (!FindChild(block, node, name, child)) {
            return false;
        }
        node = child;
    }
    if (first) {
        // The root's value is the fixed file information; a block without one has nothing to give for "\".
        if (node.valueLength == 0 || !node.valueFits) {
            return false;
        }
        *value = const_cast<uint8_t*>(block) + node.valueStart;
        *length = static_cast<unsigned>(node.valueLength);
        return true;
    }
    if (!text) {
        if (!node.valueFits) {
            return false;
        }
        *value = const_cast<uint8_t*>(block) + node.valueStart;
        *length = static_cast<unsigned>(node.valueLength);
        return true;
    }
    // Each UTF-16 value at offset o lands at o/2 of the conversion area: values never overlap in the block, so
    // their conversions never overlap either, and earlier answers stay valid.
    uint8_t* out = const_cast<uint8_t*>(block) + Align4(declared) + node.valueStart / 2;
    size_t units = 0;
    while (units < node.valueBytes / 2) {
        const uint16_t unit = Le16(block + node.valueStart + 2 * units);
        if (unit == 0) {
            break;
        }
        out[units] = unit > 0xFF ? '?' : static_cast<uint8_t>(unit);
        ++units;
    }
    out[units] = 0;
    *value = out;
    *length = node.valueLength == 0 ? 0 : static_cast<unsigned>(units + 1);
    return true;
}

} // namespace zarn::platform
