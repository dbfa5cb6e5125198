// The version block as GetFileVersionInfoA hands it out: the raw VS_VERSIONINFO followed by an area of the same
// size into which VerQueryValueA converts string values to single-byte text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zarn::platform {

class VersionBlock {
public:
    // Bytes a caller's buffer needs for the raw block `raw` (its first word is its length). Any thread.
    static size_t BufferSize(const std::vector<uint8_t>& raw);
    // Copies `raw` into `buffer` (at least BufferSize bytes) and clears the conversion area. Any thread.
    static void Store(const std::vector<uint8_t>& raw, uint8_t* buffer);
    // Finds `path` in a stored block as VerQueryValueA does: "\\" gives the fixed file information, a path under
    // "\\StringFileInfo" gives the string converted into the block's own conversion area with `length` counting
    // characters and the terminator, any other node its raw value with `length` in bytes. Names match without
    // regard to case. False when the path names no node; every step stays inside the block's declared length.
    // Any thread, as long as no other thread queries the same block.
    static bool Query(const uint8_t* block, const char* path, uint8_t** value, unsigned* length);
};

} // namespace zarn::platform
