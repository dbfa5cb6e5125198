// Finds the version resource (RT_VERSION) of a PE file, as Windows' loader lays the resource tree out.
#pragma once

#include "platform/posix/ByteSource.h"

#include <cstdint>
#include <vector>

namespace zarn::platform {

class PeVersionReader {
public:
    // Reads PE32 and PE32+ headers of `source`. Any thread.
    explicit PeVersionReader(const ByteSource& source);

    // The raw VS_VERSIONINFO block of the resource Windows' GetFileVersionInfo reads: RT_VERSION id 1, in the
    // neutral language, else `userLanguage`, else English (United States) 0x0409, else the first language there
    // is; cut to its declared length. Empty when the file is no PE file, has no such resource, or any structure on
    // the way is inconsistent. Any thread.
    std::vector<uint8_t> ReadVersionBlock(uint16_t userLanguage);

private:
    struct Section {
        uint32_t virtualAddress;
        uint32_t virtualSize;
        uint32_t rawSize;
        uint32_t rawOffset;
    };

    bool ReadHeaders();
    bool MapRva(uint32_t rva, uint32_t length, uint64_t& offset) const;
    bool ReadRva(uint32_t rva, uint32_t length, std::vector<uint8_t>& out) const;
    // The 8-byte entries of the resource directory at `directory` (from the resource root) and how many of them
    // are named; false when the directory is empty or does not fit.
    bool ReadEntries(uint32_t directory, std::vector<uint8_t>& entries, uint32_t& named) const;
    static bool FindId(const std::vector<uint8_t>& entries, uint32_t named, uint16_t id, uint32_t& target);
    static void PickLanguage(const std::vector<uint8_t>& entries, uint32_t named, uint16_t userLanguage,
                             uint32_t& target);

    const ByteSource& m_source;
    std::vector<Section> m_sections;
    uint32_t m_resourceRva = 0;
};

} // namespace zarn::platform
