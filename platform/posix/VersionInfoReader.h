// The raw version block of a file: a PE file's own version resource, or one built from an ELF file's
// package note.
#pragma once

#include "platform/posix/ByteSource.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zarn::platform {

class VersionInfoReader {
public:
    // The raw VS_VERSIONINFO of the bytes in `source`; empty when they carry no version information. Any thread.
    static std::vector<uint8_t> Read(const ByteSource& source);
    // The same for the file at `path`; empty also when it is missing, unreadable or no regular file.
    static std::vector<uint8_t> ReadFile(const std::string& path);
};

} // namespace zarn::platform
