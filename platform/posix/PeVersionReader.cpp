#include "platform/posix/PeVersionReader.h"

#include "platform/posix/ByteOrder.h"

#include <algorithm>
#include <array>

namespace zarn::platform {

namespace {

constexpr uint16_t kRtVersion = 16;
constexpr uint16_t kVsVersionInfo = 1;
constexpr uint16_t kLanguageNeutral = 0x0000;
constexpr uint16_t kEnglishUs = 0x0409;
constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr uint32_t kBlockHeader = 6;
// "VS_VERSION_INFO" with its terminating zero, in UTF-16.
constexpr uint32_t kRootKeyBytes = 32;

bool HasRootKey(const std::vector<uint8_t>& block) {
    static constexpr char kKey[] = "VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof kKey; ++i) {
        if (Le16(block.data() + kBlockHeader + 2 * i) != static_cast<uint8_t>(kKey[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

PeVersionReader::PeVersionReader(const ByteSource& source) : m_source(source) {}

bool PeVersionReader::ReadHeaders() {
    std::vector<uint8_t> bytes;
    if (!m_source.Read(0, 64, bytes) || bytes[0] != 'M' || bytes[1] != 'Z') {
        return false;
    }
    const uint64_t peOffset = Le32(bytes.data() + 0x3C);
    if (!m_source.Read(peOffset, 24, bytes) || bytes[0] != 'P' || bytes[1] != 'E' || bytes[2] != 0 || bytes[3] != 0) {
        return false;
    }
    const uint16_t sectionCount = Le16(bytes.data() + 6);
    const uint16_t optionalSize = Le16(bytes.data() + 20);
    if (!m_source.Read(peOffset + 24, optionalSize, bytes) || optionalSize < 2) {
        return false;
    }
    // The data directories follow the fixed fields, which are longer in PE32+ (64-bit image base and stacks).
    const uint16_t magic = Le16(bytes.data());
    size_t directories = 0;
    if (magic == 0x10B) {
        directories = 96;
    } else if (magic == 0x20B) {
        directories = 112;
    } else {
        return false;
    }
    if (optionalSize < directories + 3 * 8 || Le32(bytes.data() + directories - 4) <= 2) {
        return false;
    }
    m_resourceRva = Le32(bytes.data() + directories + 2 * 8);
    if (m_resourceRva == 0) {
        return false;
    }

    if (!m_source.Read(peOffset + 24 + optionalSize, uint64_t{sectionCount} * 40, bytes)) {
        return false;
    }
    m_sections.clear();
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint8_t* s = bytes.data() + size_t{i} * 40;
        m_sections.push_back({Le32(s + 12), Le32(s + 8), Le32(s + 16), Le32(s + 20)});
    }
    return true;
}

bool PeVersionReader::MapRva(uint32_t rva, uint32_t length, uint64_t& offset) const {
    for (const Section& s : m_sections) {
        const uint32_t span = s.virtualSize != 0 ? s.virtualSize : s.rawSize;
        if (rva < s.virtualAddress || rva - s.virtualAddress >= span) {
            continue;
        }
        // Only bytes the section really stores in the file count; the rest of its memory image is zeros that
        // no resource structure may live in.
        const uint64_t delta = rva - s.virtualAddress;
        if (delta + length > s.rawSize) {
            return false;
        }
        offset = uint64_t{s.rawOffset} + delta;
        return m_source.Contains(offset, length);
    }
    return false;
}

bool PeVersionReader::ReadRva(uint32_t rva, uint32_t length, std::vector<uint8_t>& out) const {
    uint64_t offset = 0;
    if (!MapRva(rva, length, offset)) {
        out.clear();
        return false;
    }
    return m_source.Read(offset, length, out);
}

bool PeVersionReader::ReadEntries(uint32_t directory, std::vector<uint8_t>& entries, uint32_t& named) const {
    const uint64_t rva = uint64_t{m_resourceRva} + directory;
    std::vector<uint8_t> bytes;
    if (rva > 0xFFFFFFFFu || !ReadRva(static_cast<uint32_t>(rva), 16, bytes)) {
        return false;
    }
    named = Le16(bytes.data() + 12);
    const uint32_t count = named + Le16(bytes.data() + 14);
    return count != 0 && rva + 16 <= 0xFFFFFFFFu && ReadRva(static_cast<uint32_t>(rva + 16), count * 8, entries);
}

bool PeVersionReader::FindId(const std::vector<uint8_t>& entries, uint32_t named, uint16_t id, uint32_t& target) {
    // Named entries come first, then the entries identified by number.
    for (size_t at = size_t{named} * 8; at + 8 <= entries.size(); at += 8) {
        if (Le32(entries.data() + at) == id) {
            target = Le32(entries.data() + at + 4);
            return true;
        }
    }
    return false;
}

void PeVersionReader::PickLanguage(const std::vector<uint8_t>& entries, uint32_t named, uint16_t userLanguage,
                                   uint32_t& target) {
    // The loader's order for a lookup without a language: neutral, the user's, English (United States), and
    // failing all of them the first language the directory holds.
    for (const uint16_t language : {kLanguageNeutral, userLanguage, kEnglishUs}) {
        if (FindId(entries, named, language, target)) {
            return;
        }
    }
    target = Le32(entries.data() + 4);
}

std::vector<uint8_t> PeVersionReader::ReadVersionBlock(uint16_t userLanguage) {
    if (!ReadHeaders()) {
        return {};
    }
    // The tree has three levels: type, name, language. A subdirectory that points back at the root or at its
    // own parent would make the walk go round; the levels are counted, and each one must be a new directory.
    std::array<uint32_t, 3> path{0, 0, 0};
    uint32_t entry = 0;
    for (size_t level = 0; level < 3; ++level) {
        std::vector<uint8_t> entries;
        uint32_t named = 0;
        if (!ReadEntries(path[level], entries, named)) {
            return {};
        }
        if (level == 2) {
            PickLanguage(entries, named, userLanguage, entry);
        } else if (!FindId(entries, named, level == 0 ? kRtVersion : kVsVersionInfo, entry)) {
            // GetFileVersionInfo asks for VS_VERSION_INFO only: a version resource of another id is not read.
            return {};
        }
        const bool isDirectory = (entry & kSubdirectory) != 0;
        if (level == 2) {
            if (isDirectory) {
                return {};
            }
            break;
        }
        if (!isDirectory) {
            return {};
        }
        const uint32_t next = entry & ~kSubdirectory;
        if (std::find(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(level) + 1, next) !=
            path.begin() + static_cast<std::ptrdiff_t>(level) + 1) {
            return {};
        }
        path[level + 1] = next;
    }

    std::vector<uint8_t> bytes;
    const uint64_t dataEntry = uint64_t{m_resourceRva} + entry;
    if (dataEntry > 0xFFFFFFFFu || !ReadRva(static_cast<uint32_t>(dataEntry), 16, bytes)) {
        return {};
    }
    const uint32_t dataRva = Le32(bytes.data());
    const uint32_t dataSize = Le32(bytes.data() + 4);
    if (dataSize < kBlockHeader + kRootKeyBytes || !ReadRva(dataRva, 2, bytes)) {
        return {};
    }
    // wLength is 16 bits wide, so the block never exceeds 64 KiB whatever size the data entry claims.
    const uint32_t length = std::min<uint32_t>(Le16(bytes.data()), dataSize);
    if (length < kBlockHeader + kRootKeyBytes || !ReadRva(dataRva, length, bytes) || !HasRootKey(bytes)) {
        return {};
    }
    PutLe16(bytes, 0, length);
    return bytes;
}

} // namespace zarn::platform
