// Builds a version block laid out as Windows stores it (VS_VERSIONINFO with VS_FIXEDFILEINFO, one string
// table 040904B0, VarFileInfo\Translation 0409/04B0) from a version text, for files that carry no such block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarn::platform {

class VersionBlockBuilder {
public:
    // The block with FileVersion `version` and, when not empty, ProductName `productName` (both UTF-8; invalid
    // sequences become U+FFFD). The fixed numbers come from the leading "a.b.c.d" of the version when it parses,
    // else they are 0. `fileType` is the VFT_ value. Empty when the block would exceed 64 KiB. Any thread.
    static std::vector<uint8_t> Build(const std::string& version, const std::string& productName, uint32_t fileType);

    // Up to four leading dot-separated decimal numbers of `version` ("2.40-1" gives 2, 40, 0, 0); all 0 when the
    // text does not start with a number of at most 65535.
    static std::vector<uint16_t> FixedNumbers(const std::string& version);
};

} // namespace zarn::platform
