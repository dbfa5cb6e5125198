// The ELF package-note reader on both classes and byte orders, on notes in sections and in segments, and on
// files whose headers, sections or notes lie.
#include "platform/posix/ElfPackageReader.h"

#include "platform/posix/ByteSource.h"
#include "tests/support/VersionedFile.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace zarn::platform {
namespace {

const std::string kJson = R"({"type":"deb","name":"pkg","version":"3.4.5.6"})";

std::optional<std::string> Read(const std::vector<uint8_t>& bytes) {
    const ByteSource source(bytes.data(), bytes.size());
    return ElfPackageReader(source).ReadPackageJson();
}

// Assembles small ELF files: the header, one blob of notes, and a section table and/or a program header table
// that point at it.
struct ElfFile {
    bool is64 = true;
    bool bigEndian = false;
    bool withSection = true;
    bool withSegment = false;
    std::string sectionName = ".note.package";
    uint32_t sectionType = 7;
    uint64_t alignment = 4;

    std::vector<uint8_t> bytes;

    void Put(size_t at, uint64_t v, size_t width) {
        for (size_t i = 0; i < width; ++i) {
            const size_t shift = bigEndian ? (width - 1 - i) * 8 : i * 8;
            bytes[at + i] = static_cast<uint8_t>(v >> shift);
        }
    }
    void PutWord(size_t at, uint64_t v) { Put(at, v, is64 ? 8 : 4); }

    static void Align(std::vector<uint8_t>& out, size_t alignment) {
        while (out.size() % alignment != 0) {
            out.push_back(0);
        }
    }

    std::vector<uint8_t> Note(const std::string& owner, uint32_t type, const std::string& desc) {
        std::vector<uint8_t> saved = std::move(bytes);
        bytes.assign(12, 0);
        Put(0, owner.size() + 1, 4);
        Put(4, desc.size() + 1, 4);
        Put(8, type, 4);
        std::vector<uint8_t> note = std::move(bytes);
        bytes = std::move(saved);
        note.insert(note.end(), owner.begin(), owner.end());
        note.push_back(0);
        Align(note, alignment);
        note.insert(note.end(), desc.begin(), desc.end());
        note.push_back(0);
        Align(note, alignment);
        return note;
    }

    std::vector<uint8_t> Build(const std::vector<uint8_t>& notes) {
        const size_t header = is64 ? 64 : 52;
        const size_t phent = is64 ? 56 : 32;
        const size_t shent = is64 ? 64 : 40;
        bytes.assign(header, 0);
        const size_t notesAt = bytes.size();
        bytes.insert(bytes.end(), notes.begin(), notes.end());
        const std::string names = std::string(1, '\0') + sectionName + '\0' + ".shstrtab" + '\0';
        const size_t namesAt = bytes.size();
        bytes.insert(bytes.end(), names.begin(), names.end());
        Align(bytes, 8);
        const size_t phoff = bytes.size();
        if (withSegment) {
            bytes.resize(bytes.size() + phent, 0);
        }
        const size_t shoff = bytes.size();
        if (withSection) {
            bytes.resize(bytes.size() + 3 * shent, 0);
        }

        bytes[0] = 0x7F;
        bytes[1] = 'E';
        bytes[2] = 'L';
        bytes[3] = 'F';
        bytes[4] = is64 ? 2 : 1;
        bytes[5] = bigEndian ? 2 : 1;
        bytes[6] = 1;
        Put(16, 3, 2);
        Put(20, 1, 4);
        const size_t s = is64 ? 0 : 12; // fields after e_entry sit 12 bytes earlier in ELF32
        if (withSegment) {
            PutWord(is64 ? 32 : 28, phoff);
            Put(54 - s, phent, 2);
            Put(56 - s, 1, 2);
            Put(phoff, 4, 4); // PT_NOTE
            if (is64) {
                Put(phoff + 8, notesAt, 8);
                Put(phoff + 32, notes.size(), 8);
                Put(phoff + 48, alignment, 8);
            } else {
                Put(phoff + 4, notesAt, 4);
                Put(phoff + 16, notes.size(), 4);
                Put(phoff + 28, alignment, 4);
            }
        }
        if (withSection) {
            PutWord(is64 ? 40 : 32, shoff);
            Put(58 - s, shent, 2);
            Put(60 - s, 3, 2);
            Put(62 - s, 2, 2);
            Section(shoff + shent, 1, sectionType, notesAt, notes.size(), alignment);
            Section(shoff + 2 * shent, 2 + sectionName.size(), 3, namesAt, names.size(), 1);
        }
        return bytes;
    }

    void Section(size_t at, uint32_t name, uint32_t type, uint64_t offset, uint64_t size, uint64_t align) {
        Put(at, name, 4);
        Put(at + 4, type, 4);
        PutWord(at + (is64 ? 24 : 16), offset);
        PutWord(at + (is64 ? 32 : 20), size);
        PutWord(at + (is64 ? 48 : 32), align);
    }

    std::vector<uint8_t> WithPackageNote() { return Build(Note("FDO", 0xCAFE1A7E, kJson)); }
};

TEST(ElfPackageReader, EveryClassAndByteOrderInSectionsAndSegments) {
    for (const bool is64 : {true, false}) {
        for (const bool bigEndian : {false, true}) {
            for (const bool inSection : {true, false}) {
                SCOPED_TRACE(std::string(is64 ? "ELF64" : "ELF32") + (bigEndian ? " BE" : " LE") +
                             (inSection ? " section" : " segment"));
                ElfFile elf;
                elf.is64 = is64;
                elf.bigEndian = bigEndian;
                elf.withSection = inSection;
                elf.withSegment = !inSection;
                EXPECT_EQ(Read(elf.WithPackageNote()), kJson);
            }
        }
    }
}

TEST(ElfPackageReader, EightByteAlignedNotes) {
    ElfFile elf;
    elf.alignment = 8;
    elf.withSection = false;
    elf.withSegment = true;
    // A 6-byte owner ends at 18: its descriptor starts at 24 with 8-byte padding but at 20 with 4-byte padding,
    // so only the right padding finds the next note.
    std::vector<uint8_t> notes = elf.Note("GNU-x", 1, "abc");
    const std::vector<uint8_t> package = elf.Note("FDO", 0xCAFE1A7E, kJson);
    notes.insert(notes.end(), package.begin(), package.end());
    EXPECT_EQ(Read(elf.Build(notes)), kJson);
}

TEST(ElfPackageReader, OtherNotesAreSkipped) {
    ElfFile elf;
    std::vector<uint8_t> notes = elf.Note("GNU", 3, "build-id-bytes");
    for (const auto& other :
         {elf.Note("GNU", 0xCAFE1A7E, "{}"), elf.Note("FDO", 1, "{}"), elf.Note("FDO", 0xCAFE1A7E, kJson)}) {
        notes.insert(notes.end(), other.begin(), other.end());
    }
    EXPECT_EQ(Read(elf.Build(notes)), kJson);
    EXPECT_EQ(Read(elf.Build(elf.Note("FDOX", 0xCAFE1A7E, kJson))), std::nullopt);
}

TEST(ElfPackageReader, SectionMustBeANoteOfThatName) {
    ElfFile elf;
    elf.sectionName = ".note.other";
    EXPECT_EQ(Read(elf.WithPackageNote()), std::nullopt);
    ElfFile progbits;
    progbits.sectionType = 1;
    EXPECT_EQ(Read(progbits.WithPackageNote()), std::nullopt);
    // A segment still finds it when the section does not.
    progbits.withSegment = true;
    EXPECT_EQ(Read(progbits.WithPackageNote()), kJson);
}

TEST(ElfPackageReader, HeadersThatLie) {
    ElfFile elf;
    const std::vector<uint8_t> good = elf.WithPackageNote();
    ASSERT_EQ(Read(good), kJson);
    const size_t shoff = static_cast<size_t>(good[40] | good[41] << 8);
    struct Case {
        const char* what;
        size_t at;
        uint64_t value;
        size_t width;
    };
    const Case cases[] = {
        {"class", 4, 3, 1},
        {"byte order", 5, 0, 1},
        {"version", 6, 2, 1},
        {"section table past the end", 40, 0x100000, 8},
        {"section table at the top", 40, UINT64_MAX - 8, 8},
        {"section entries too small", 58, 16, 2},
        {"more sections than the file holds", 60, 0xFEFF, 2},
        {"name table index out of range", 62, 7, 2},
        {"note section past the end", shoff + 64 + 24, 0x100000, 8},
        {"note section size past the end", shoff + 64 + 32, UINT64_MAX, 8},
        {"name table past the end", shoff + 128 + 24, UINT64_MAX / 2, 8},
        {"section name offset past the name table", shoff + 64, 0x1000, 4},
        {"note owner size past the section", 64, 0x7FFFFFFF, 4},
        {"note descriptor size past the section", 68, 0xFFFFFFFF, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = good;
        for (size_t i = 0; i < c.width; ++i) {
            bytes[c.at + i] = static_cast<uint8_t>(c.value >> (8 * i));
        }
        EXPECT_EQ(Read(bytes), std::nullopt);
    }
    for (size_t length = 0; length < good.size(); length += 7) {
        const std::vector<uint8_t> prefix(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        ASSERT_EQ(Read(prefix), std::nullopt) << "length " << length;
    }
}

TEST(ElfPackageReader, SectionCountAndNameIndexKeptInSectionZero) {
    ElfFile elf;
    std::vector<uint8_t> bytes = elf.WithPackageNote();
    const size_t shoff = static_cast<size_t>(bytes[40] | bytes[41] << 8);
    // e_shnum 0 and e_shstrndx SHN_XINDEX: the real values sit in section 0's sh_size and sh_link.
    bytes[60] = 0;
    bytes[62] = 0xFF;
    bytes[63] = 0xFF;
    bytes[shoff + 32] = 3;
    bytes[shoff + 40] = 2;
    EXPECT_EQ(Read(bytes), kJson);
    bytes[shoff + 40] = 9;
    EXPECT_EQ(Read(bytes), std::nullopt);
    bytes[shoff + 40] = 2;
    bytes[shoff + 39] = 0x10; // a count of 2^60 sections
    EXPECT_EQ(Read(bytes), std::nullopt);
}

TEST(ElfPackageReader, TrailingZerosOfTheDescriptorAreDropped) {
    ElfFile elf;
    EXPECT_EQ(Read(elf.Build(elf.Note("FDO", 0xCAFE1A7E, kJson + std::string(5, '\0')))), kJson);
}

TEST(ElfPackageReader, WriterAndLinkerOutput) {
    EXPECT_EQ(Read(test::MakeVersionedElf("1.2", "x")), R"({"type":"deb","name":"x","version":"1.2"})");
    const ByteSource linked(std::string(ZARN_VERSION_FILES) + "/versioned.so");
    ASSERT_TRUE(linked.IsOpen());
    ElfPackageReader reader(linked);
    EXPECT_EQ(reader.ReadPackageJson(), R"({"type":"deb","name":"quillorna-sample","version":"2.5.1.7"})");
    EXPECT_EQ(reader.FileType(), 3u);
    const ByteSource plain(std::string(ZARN_VERSION_FILES) + "/plain.so");
    ASSERT_TRUE(plain.IsOpen());
    EXPECT_EQ(ElfPackageReader(plain).ReadPackageJson(), std::nullopt);
}

} // namespace
} // namespace zarn::platform
