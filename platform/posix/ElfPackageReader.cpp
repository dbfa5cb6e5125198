#include "platform/posix/ElfPackageReader.h"

#include "platform/posix/ByteOrder.h"

#include <cstring>
#include <vector>

namespace zarn::platform {

namespace {

constexpr uint32_t kNoteType = 0xCAFE1A7Eu;
constexpr uint32_t kShtNote = 7;
constexpr uint32_t kPtNote = 4;
constexpr uint16_t kShnXindex = 0xFFFF;
constexpr char kSectionName[] = ".note.package";

uint64_t AlignUp(uint64_t v, uint64_t alignment) {
    return (v + alignment - 1) / alignment * alignment;
}

} // namespace

ElfPackageReader::ElfPackageReader(const ByteSource& source) : m_source(source) {}

uint16_t ElfPackageReader::U16(const uint8_t* p) const {
    return m_bigEndian ? Be16(p) : Le16(p);
}
uint32_t ElfPackageReader::U32(const uint8_t* p) const {
    return m_bigEndian ? Be32(p) : Le32(p);
}
uint64_t ElfPackageReader::Word(const uint8_t* p) const {
    if (m_is64) {
        return m_bigEndian ? Be64(p) : Le64(p);
    }
    return U32(p);
}

bool ElfPackageReader::ReadHeader() {
    std::vector<uint8_t> h;
    if (!m_source.Read(0, 16, h) ||
        std::memcmp(h.data(),
                    "\x7F"
                    "ELF",
                    4) != 0 ||
        h[6] != 1) {
        return false;
    }
    if ((h[4] != 1 && h[4] != 2) || (h[5] != 1 && h[5] != 2)) {
        return false;
    }
    m_is64 = h[4] == 2;
    m_bigEndian = h[5] == 2;
    if (!m_source.Read(0, m_is64 ? 64 : 52, h)) {
        return false;
    }
    const uint8_t* p = h.data();
    m_fileType = U16(p + 16);
    // The 32-bit header has 4-byte addresses, so everything after e_entry sits 12 bytes earlier.
    const size_t shift = m_is64 ? 0 : 12;
    m_segmentOffset = Word(p + (m_is64 ? 32 : 28));
    m_sectionOffset = Word(p + (m_is64 ? 40 : 32));
    m_segmentSize = U16(p + 54 - shift);
    m_segmentCount = U16(p + 56 - shift);
    m_sectionSize = U16(p + 58 - shift);
    m_sectionCount = U16(p + 60 - shift);
    m_namesIndex = U16(p + 62 - shift);
    return true;
}

std::optional<std::string> ElfPackageReader::ReadPackageJson() {
    if (!ReadHeader()) {
        return std::nullopt;
    }
    if (auto json = FindInSections()) {
        return json;
    }
    return FindInSegments();
}

std::optional<std::string> ElfPackageReader::FindInSections() {
    const uint32_t minimum = m_is64 ? 64 : 40;
    if (m_sectionOffset == 0 || m_sectionSize < minimum) {
        return std::nullopt;
    }
    std::vector<uint8_t> first;
    if (!m_source.Read(m_sectionOffset, minimum, first)) {
        return std::nullopt;
    }
    // Files with 0xff00 sections or more keep the real count and name-table index in section 0.
    if (m_sectionCount == 0) {
        m_sectionCount = Word(first.data() + (m_is64 ? 32 : 20));
    }
    if (m_namesIndex == kShnXindex) {
        m_namesIndex = U32(first.data() + (m_is64 ? 40 : 24));
    }
    std::vector<uint8_t> table;
    if (m_sectionCount > ByteSource::kMaxRead / m_sectionSize || m_namesIndex >= m_sectionCount ||
        !m_source.Read(m_sectionOffset, m_sectionCount * m_sectionSize, table)) {
        return std::nullopt;
    }
    auto field = [&](uint64_t index, size_t at64, size_t at32) {
        const uint8_t* s = table.data() + index * m_sectionSize;
        return m_is64 ? Word(s + at64) : uint64_t{U32(s + at32)};
    };
    const uint64_t namesOffset = field(m_namesIndex, 24, 16);
    const uint64_t namesSize = field(m_namesIndex, 32, 20);
    std::vector<uint8_t> names;
    if (!m_source.Read(namesOffset, namesSize, names)) {
        return std::nullopt;
    }
    for (uint64_t i = 0; i < m_sectionCount; ++i) {
        const uint8_t* s = table.data() + i * m_sectionSize;
        const uint32_t nameAt = U32(s);
        if (U32(s + 4) != kShtNote || nameAt >= names.size() || names.size() - nameAt < sizeof kSectionName ||
            std::memcmp(names.data() + nameAt, kSectionName, sizeof kSectionName) != 0) {
            continue;
        }
        if (auto json = FindNote({field(i, 24, 16), field(i, 32, 20), field(i, 48, 32)})) {
            return json;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ElfPackageReader::FindInSegments() {
    const uint32_t minimum = m_is64 ? 56 : 32;
    std::vector<uint8_t> table;
    if (m_segmentOffset == 0 || m_segmentSize < minimum ||
        !m_source.Read(m_segmentOffset, uint64_t{m_segmentCount} * m_segmentSize, table)) {
        return std::nullopt;
    }
    for (uint32_t i = 0; i < m_segmentCount; ++i) {
        const uint8_t* s = table.data() + size_t{i} * m_segmentSize;
        if (U32(s) != kPtNote) {
            continue;
        }
        const Range range =
            m_is64 ? Range{Word(s + 8), Word(s + 32), Word(s + 48)} : Range{U32(s + 4), U32(s + 16), U32(s + 28)};
        if (auto json = FindNote(range)) {
            return json;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ElfPackageReader::FindNote(const Range& range) const {
    std::vector<uint8_t> notes;
    if (!m_source.Read(range.offset, range.size, notes)) {
        return std::nullopt;
    }
    // Notes are padded to 4 bytes, except in segments and sections that declare an 8-byte alignment.
    const uint64_t alignment = range.alignment == 8 ? 8 : 4;
    uint64_t at = 0;
    while (notes.size() - at >= 12) {
        const uint64_t nameSize = U32(notes.data() + at);
        const uint64_t descSize = U32(notes.data() + at + 4);
        const uint32_t type = U32(notes.data() + at + 8);
        const uint64_t name = at + 12;
        const uint64_t desc = AlignUp(name + nameSize, alignment);
        if (desc > notes.size() || descSize > notes.size() - desc) {
            return std::nullopt;
        }
        if (type == kNoteType && nameSize == 4 && std::memcmp(notes.data() + name, "FDO", 4) == 0) {
            std::string json(reinterpret_cast<const char*>(notes.data() + desc), static_cast<size_t>(descSize));
            while (!json.empty() && json.back() == '\0') {
                json.pop_back();
            }
            return json;
        }
        const uint64_t next = AlignUp(desc + descSize, alignment);
        if (next >= notes.size()) {
            break;
        }
        at = next;
    }
    return std::nullopt;
}

} // namespace zarn::platform
