// Finds the package-metadata note (owner "FDO", type 0xcafe1a7e) of an ELF file: in its .note.package
// section, or failing that in a PT_NOTE segment.
#pragma once

#include "platform/posix/ByteSource.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zarn::platform {

class ElfPackageReader {
public:
    // Reads ELF32 and ELF64 files of either byte order from `source`. Any thread.
    explicit ElfPackageReader(const ByteSource& source);

    // The note's descriptor (JSON text, trailing zeros removed); nullopt when the file is no ELF file, has no
    // such note, or a header, section or note on the way is inconsistent.
    std::optional<std::string> ReadPackageJson();
    // e_type of the header read by ReadPackageJson (2 executable, 3 shared object); 0 before.
    uint16_t FileType() const { return m_fileType; }

private:
    struct Range {
        uint64_t offset;
        uint64_t size;
        uint64_t alignment;
    };

    bool ReadHeader();
    uint16_t U16(const uint8_t* p) const;
    uint32_t U32(const uint8_t* p) const;
    uint64_t Word(const uint8_t* p) const;
    std::optional<std::string> FindInSections();
    std::optional<std::string> FindInSegments();
    std::optional<std::string> FindNote(const Range& range) const;

    const ByteSource& m_source;
    bool m_is64 = false;
    bool m_bigEndian = false;
    uint16_t m_fileType = 0;
    uint64_t m_sectionOffset = 0;
    uint64_t m_sectionCount = 0;
    uint32_t m_sectionSize = 0;
    uint32_t m_namesIndex = 0;
    uint64_t m_segmentOffset = 0;
    uint32_t m_segmentCount = 0;
    uint32_t m_segmentSize = 0;
};

} // namespace zarn::platform
