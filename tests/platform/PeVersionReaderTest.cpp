// The PE reader on a valid image and on images whose headers, sections or resource tree lie.
#include "platform/posix/PeVersionReader.h"

#include "platform/posix/ByteOrder.h"
#include "platform/posix/ByteSource.h"
#include "platform/posix/VersionBlock.h"
#include "tests/support/VersionedFile.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace zarn::platform {
namespace {

// Where the writer puts things: PE header at 0x40, optional header at 0x58, the one section header at 0x148,
// the resource section at file offset 0x200 (RVA 0x1000) with directories at 0x00, 0x18, 0x30, the data entry
// at 0x48 and the block at 0x58.
constexpr size_t kCoff = 0x44;
constexpr size_t kOptional = 0x58;
constexpr size_t kSection = 0x148;
constexpr size_t kRsrc = 0x200;

constexpr uint16_t kEnglishUs = 0x0409;

std::vector<uint8_t> Read(const std::vector<uint8_t>& bytes) {
    const ByteSource source(bytes.data(), bytes.size());
    return PeVersionReader(source).ReadVersionBlock(kEnglishUs);
}

void Set32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    PutLe32(bytes, at, v);
}

class PeImage : public ::testing::Test {
protected:
    void SetUp() override {
        m_pe = test::MakeVersionedPe("1.2.3.4");
        m_blockSize = Le16(m_pe.data() + kRsrc + 0x58);
        ASSERT_EQ(Le32(m_pe.data() + kRsrc + 0x4C), m_blockSize);
    }

    std::vector<uint8_t> m_pe;
    size_t m_blockSize = 0;
};

TEST_F(PeImage, FindsTheWholeBlockOfAValidImage) {
    const std::vector<uint8_t> block = Read(m_pe);
    ASSERT_EQ(block.size(), m_blockSize);
    EXPECT_EQ(0, std::memcmp(block.data(), m_pe.data() + kRsrc + 0x58, m_blockSize));
}

TEST_F(PeImage, Pe32LayoutIsReadToo) {
    // Turn the PE32+ image into PE32: shorter fixed fields, so the directories and the section table move up.
    std::vector<uint8_t> pe = m_pe;
    PutLe16(pe, kOptional, 0x10B);
    std::memmove(pe.data() + kOptional + 96, pe.data() + kOptional + 112, 16 * 8);
    Set32(pe, kOptional + 92, 16);
    PutLe16(pe, kCoff + 16, 224);
    std::memmove(pe.data() + kOptional + 224, pe.data() + kSection, 40);
    EXPECT_EQ(Read(pe).size(), m_blockSize);
    PutLe16(pe, kOptional, 0x107); // neither magic
    EXPECT_TRUE(Read(pe).empty());
}

TEST_F(PeImage, EveryTruncationBeforeTheBlockEndsHasNone) {
    const size_t end = kRsrc + 0x58 + m_blockSize;
    for (size_t length = 0; length < end; ++length) {
        const std::vector<uint8_t> prefix(m_pe.begin(), m_pe.begin() + static_cast<std::ptrdiff_t>(length));
        ASSERT_TRUE(Read(prefix).empty()) << "length " << length;
    }
    const std::vector<uint8_t> exact(m_pe.begin(), m_pe.begin() + static_cast<std::ptrdiff_t>(end));
    EXPECT_EQ(Read(exact).size(), m_blockSize);
}

TEST_F(PeImage, HeadersThatPointOutsideTheFile) {
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
        bool wide;
    };
    const Case cases[] = {
        {"PE header offset past the end", 0x3C, 0x10000, true},
        {"PE header offset at the top", 0x3C, 0xFFFFFFFF, true},
        {"PE signature", 0x42, 'X', false},
        {"optional header too short", kCoff + 16, 0x10, false},
        {"optional header past the end", kCoff + 16, 0xFFFF, false},
        {"all sections the file could not hold", kCoff + 2, 0xFFFF, false},
        {"no sections", kCoff + 2, 0, false},
        {"only two data directories", kOptional + 108, 2, true},
        {"no resource directory", kOptional + 112 + 16, 0, true},
        {"resource directory outside every section", kOptional + 112 + 16, 0x9000, true},
        {"section data past the end", kSection + 20, 0x7FFFFFF0, true},
        {"section data cut short", kSection + 16, 0x40, true},
        {"section at the top of the address space", kSection + 12, 0xFFFFFF00, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> pe = m_pe;
        if (c.wide) {
            Set32(pe, c.at, c.value);
        } else {
            PutLe16(pe, c.at, c.value);
        }
        EXPECT_TRUE(Read(pe).empty());
    }
}

TEST_F(PeImage, ResourceTreeThatLoopsEndsTheWalk) {
    std::vector<uint8_t> pe = m_pe;
    Set32(pe, kRsrc + 0x18 + 0x14, 0x80000000u); // name level points back at the root
    EXPECT_TRUE(Read(pe).empty());
    pe = m_pe;
    Set32(pe, kRsrc + 0x18 + 0x14, 0x80000018u); // name level points at itself
    EXPECT_TRUE(Read(pe).empty());
    pe = m_pe;
    Set32(pe, kRsrc + 0x14, 0x80000000u); // type level points at itself
    EXPECT_TRUE(Read(pe).empty());
    pe = m_pe;
    Set32(pe, kRsrc + 0x30 + 0x14, 0x80000018u); // language level is a directory, not data
    EXPECT_TRUE(Read(pe).empty());
    pe = m_pe;
    Set32(pe, kRsrc + 0x18 + 0x14, 0x18); // name level is data, not a directory
    EXPECT_TRUE(Read(pe).empty());
}

TEST_F(PeImage, ResourceTreeWithoutAVersionType) {
    std::vector<uint8_t> pe = m_pe;
    Set32(pe, kRsrc + 0x10, 3); // an icon, not RT_VERSION
    EXPECT_TRUE(Read(pe).empty());
    pe = m_pe;
    PutLe16(pe, kRsrc + 0x0C, 1); // the one entry counted as named: named entries are never numbered types
    PutLe16(pe, kRsrc + 0x0E, 0);
    EXPECT_TRUE(Read(pe).empty());
    pe = m_pe;
    PutLe16(pe, kRsrc + 0x0C, 0xFFFF); // more entries than the section holds
    PutLe16(pe, kRsrc + 0x0E, 0xFFFF);
    EXPECT_TRUE(Read(pe).empty());
    pe = m_pe;
    PutLe16(pe, kRsrc + 0x18 + 0x0E, 0); // an empty name level
    EXPECT_TRUE(Read(pe).empty());
}

TEST_F(PeImage, DataEntryAndBlockLengthsThatLie) {
    std::vector<uint8_t> pe = m_pe;
    Set32(pe, kRsrc + 0x4C, 0xFFFFFFFF); // huge declared size: the block's own length still bounds it
    EXPECT_EQ(Read(pe).size(), m_blockSize);

    pe = m_pe;
    PutLe16(pe, kRsrc + 0x58, 0xFFFF); // the block claims more than the data entry holds
    std::vector<uint8_t> block = Read(pe);
    ASSERT_EQ(block.size(), m_blockSize);
    EXPECT_EQ(Le16(block.data()), m_blockSize);

    pe = m_pe;
    Set32(pe, kRsrc + 0x4C, 100); // the data entry holds less than the block claims: cut, and said so
    block = Read(pe);
    ASSERT_EQ(block.size(), 100u);
    EXPECT_EQ(Le16(block.data()), 100u);

    const std::pair<const char*, std::pair<size_t, uint32_t>> broken[] = {
        {"data outside every section", {kRsrc + 0x48, 0x50000}},
        {"data running off the section", {kRsrc + 0x48, 0x1000 + 0x3F0}},
        {"data entry past the section", {kRsrc + 0x30 + 0x14, 0x7FFFFFF0}},
        {"too small for the root key", {kRsrc + 0x4C, 30}},
    };
    for (const auto& [what, change] : broken) {
        SCOPED_TRACE(what);
        pe = m_pe;
        Set32(pe, change.first, change.second);
        EXPECT_TRUE(Read(pe).empty());
    }

    pe = m_pe;
    pe[kRsrc + 0x58 + 6] = 'X'; // root key is not VS_VERSION_INFO
    EXPECT_TRUE(Read(pe).empty());
}

// The FileVersion text of the block the reader takes from a DLL that windres built; nullopt when it takes none.
std::optional<std::string> FileVersionOf(const std::string& dll, uint16_t userLanguage) {
    const ByteSource source(std::string(ZARN_VERSION_FILES) + "/" + dll);
    EXPECT_TRUE(source.IsOpen()) << dll;
    const std::vector<uint8_t> raw = PeVersionReader(source).ReadVersionBlock(userLanguage);
    if (raw.empty()) {
        return std::nullopt;
    }
    std::vector<uint8_t> stored(VersionBlock::BufferSize(raw));
    VersionBlock::Store(raw, stored.data());
    uint8_t* value = nullptr;
    unsigned length = 0;
    if (!VersionBlock::Query(stored.data(), "\\StringFileInfo\\040904B0\\FileVersion", &value, &length)) {
        return "(no FileVersion)";
    }
    return std::string(reinterpret_cast<const char*>(value));
}

TEST(PeVersionResources, TheLoaderPicksVersionInfoOneInTheLanguageItsRulesPrefer) {
    if (!ZARN_HAVE_MINGW) {
        GTEST_SKIP() << "mingw-w64 was not found when the tests were configured";
    }
    struct Case {
        const char* dll;
        uint16_t userLanguage;
        std::optional<std::string> fileVersion;
    };
    // Each resource's FileVersion names its id or language; see the .rc files beside the test.
    const Case cases[] = {
        {"languages.dll", 0x0407, "1.0 de-DE"}, // the user's language; the named and id 2 resources come first
        {"languages.dll", 0x040C, "1.0 fr-FR"},  {"languages.dll", 0x0409, "1.0 en-US"},
        {"languages.dll", 0x0410, "1.0 en-US"}, // no Italian: English (United States)
        {"languages.dll", 0x0807, "1.0 en-US"}, // de-CH is not de-DE
        {"neutral.dll", 0x0407, "1.0 neutral"}, // neutral before the user's own language
        {"neutral.dll", 0x0410, "1.0 neutral"},  {"no_english.dll", 0x040C, "1.0 fr-FR"},
        {"no_english.dll", 0x0410, "1.0 de-DE"}, // neither: the first in the directory (sorted by language)
        {"other_id.dll", 0x0409, std::nullopt},  // a version resource, but not VS_VERSION_INFO
        {"dotted.dll", 0x0407, "1.2.3.4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.dll) + " for language " + std::to_string(c.userLanguage));
        EXPECT_EQ(FileVersionOf(c.dll, c.userLanguage), c.fileVersion);
    }
}

TEST(ByteSource, FileReadsAreBoundedByTheFile) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("zarn-bytes-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    ASSERT_TRUE(test::WriteBytes((dir / "f").string(), {1, 2, 3, 4, 5}));
    const ByteSource file((dir / "f").string());
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), 5u);
    std::vector<uint8_t> out;
    EXPECT_TRUE(file.Read(1, 4, out));
    EXPECT_EQ(out, (std::vector<uint8_t>{2, 3, 4, 5}));
    EXPECT_FALSE(file.Read(1, 5, out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(file.Read(UINT64_MAX, 2, out));
    EXPECT_FALSE(file.Read(2, UINT64_MAX - 1, out));
    EXPECT_TRUE(file.Read(5, 0, out));

    EXPECT_FALSE(ByteSource((dir / "missing").string()).IsOpen());
    EXPECT_FALSE(ByteSource(dir.string()).IsOpen());
    std::filesystem::remove_all(dir);

    const std::vector<uint8_t> big(16, 0);
    const ByteSource memory(big.data(), big.size());
    EXPECT_FALSE(memory.Read(0, ByteSource::kMaxRead + 1, out));
    EXPECT_TRUE(memory.Contains(16, 0));
    EXPECT_FALSE(memory.Contains(17, 0));
}

} // namespace
} // namespace zarn::platform
