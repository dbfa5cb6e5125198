// Finds the version resource (RT_VERSION) of a PE file, as Windows' loader lays the resource tree out.
#pragma once

#include "platform/posix/ByteSource.h"

#include <cstdint>
#include <vector>

namespace zarn::platform {

class CPeVersionReader {
public:
    // Reads PE32 and PE32+ headers of `source`. Any thread.
    explicit CPeVersionReader(const CByteSource& source);

    // The raw VS_VERSIONINFO block of the first name and first language under RT_VERSION, cut to its declared
    // length; empty when the file is no PE file, has no such resource, or any structure on the way is inconsistent.
    std::vector<uint8_t> ReadVersionBlock();

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
    bool FirstEntry(uint32_t directory, bool wantId, uint16_t id, uint32_t& target) const;

    const CByteSource& m_source;
    std::vector<Section> m_sections;
    uint32_t m_resourceRva = 0;
};

} // namespace zarn::platform
