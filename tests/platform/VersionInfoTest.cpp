// The version-information functions on real files: DLLs from resource scripts, ELF objects linked with package
// notes, files made by the test writers, and files that carry no version information at all.
#include "platform/VersionInfo.h"

#include "tests/support/VersionedFile.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;

const std::string kFiles = ZARN_VERSION_FILES;

std::vector<char> LoadBlock(const std::string& path) {
    DWORD handle = 77;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    if (size == 0) {
        return {};
    }
    std::vector<char> block(size);
    EXPECT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    return block;
}

std::optional<std::string> QueryText(std::vector<char>& block, const char* path) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), path, &value, &length)) {
        return std::nullopt;
    }
    const char* text = static_cast<const char*>(value);
    // The answer lies inside the caller's block and its length counts the terminator.
    EXPECT_GE(text, block.data());
    EXPECT_LE(text + length, block.data() + block.size());
    EXPECT_EQ(length, std::strlen(text) + 1);
    return std::string(text);
}

std::vector<WORD> Translations(std::vector<char>& block) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length)) {
        return {};
    }
    std::vector<WORD> words(length / 2);
    std::memcpy(words.data(), value, words.size() * 2);
    return words;
}

std::vector<DWORD> FixedInfo(std::vector<char>& block) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\", &value, &length)) {
        return {};
    }
    EXPECT_EQ(length, 52u);
    std::vector<DWORD> dwords(length / 4);
    std::memcpy(dwords.data(), value, dwords.size() * 4);
    return dwords;
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("zarn-version-" + std::to_string(std::random_device{}()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    fs::path m_dir;
};

class RealPeFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ZARN_HAVE_MINGW) {
            GTEST_SKIP() << "mingw-w64 was not found when the tests were configured";
        }
    }
};

TEST_F(RealPeFiles, DottedFileVersionWithItsFixedNumbersAndTranslation) {
    std::vector<char> block = LoadBlock(kFiles + "/dotted.dll");
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(Translations(block), (std::vector<WORD>{0x0409, 0x04B0}));
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersion"), "1.2.3.4");
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\CompanyName"), "Ostrevant");
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\ProductName"), "Quillorna sample");
    const std::vector<DWORD> fixed = FixedInfo(block);
    ASSERT_EQ(fixed.size(), 13u);
    EXPECT_EQ(fixed[0], 0xFEEF04BDu);
    EXPECT_EQ(fixed[2], 0x00010002u);
    EXPECT_EQ(fixed[3], 0x00030004u);
    EXPECT_EQ(fixed[9], 2u); // VFT_DLL
}

TEST_F(RealPeFiles, NamesMatchInAnyCaseAndWithoutTheLeadingSeparator) {
    std::vector<char> block = LoadBlock(kFiles + "/dotted.dll");
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(QueryText(block, "\\stringfileinfo\\040904b0\\FILEVERSION"), "1.2.3.4");
    EXPECT_EQ(QueryText(block, "StringFileInfo\\040904B0\\FileVersion"), "1.2.3.4");
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\\\040904B0\\FileVersion\\"), "1.2.3.4");
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersio"), std::nullopt);
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersionX"), std::nullopt);
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040704B0\\FileVersion"), std::nullopt);
    EXPECT_EQ(Translations(block).size(), 2u);
}

TEST_F(RealPeFiles, CommaFileVersionComesBackAsWritten) {
    std::vector<char> block = LoadBlock(kFiles + "/comma.dll");
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersion"), "1, 2, 0, 5");
    const std::vector<DWORD> fixed = FixedInfo(block);
    ASSERT_EQ(fixed.size(), 13u);
    EXPECT_EQ(fixed[2], 0x00010002u);
    EXPECT_EQ(fixed[3], 0x00000005u);
}

TEST_F(RealPeFiles, TwoTranslationsEachWithTheirOwnTable) {
    std::vector<char> block = LoadBlock(kFiles + "/two_translations.dll");
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(Translations(block), (std::vector<WORD>{0x0409, 0x04B0, 0x0407, 0x04E4}));
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersion"), "3.1.0.0");
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040704E4\\FileVersion"), "3.1.0.0 (de)");
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040C04B0\\FileVersion"), std::nullopt);
}

TEST_F(RealPeFiles, LongFileVersionIsReturnedWhole) {
    std::vector<char> block = LoadBlock(kFiles + "/long.dll");
    ASSERT_FALSE(block.empty());
    const std::optional<std::string> text = QueryText(block, "\\StringFileInfo\\040904B0\\FileVersion");
    ASSERT_TRUE(text);
    ASSERT_EQ(text->size(), 300u);
    EXPECT_EQ(text->substr(0, 10), "9.8.7.6 ab");
    EXPECT_EQ(text->substr(290), "cdefghijab");
}

TEST_F(RealPeFiles, ThirtyTwoBitDllIsReadToo) {
    if (!ZARN_HAVE_MINGW32) {
        GTEST_SKIP() << "the i686 linker was not found when the tests were configured";
    }
    std::vector<char> block = LoadBlock(kFiles + "/dotted32.dll");
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersion"), "1.2.3.4");
    const std::vector<DWORD> fixed = FixedInfo(block);
    ASSERT_EQ(fixed.size(), 13u);
    EXPECT_EQ(fixed[2], 0x00010002u);
    EXPECT_EQ(fixed[3], 0x00030004u);
}

TEST_F(RealPeFiles, DllWithoutResourcesHasNoVersionInformation) {
    const std::string path = kFiles + "/plain.dll";
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(GetFileVersionInfoSizeA(path.c_str(), nullptr), 0u);
    std::vector<char> block(4096);
    EXPECT_FALSE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
}

#ifndef _WIN32
// Windows reads version information from version resources only.
TEST(RealElfFiles, PackageNoteVersionBecomesTheFileVersion) {
    std::vector<char> block = LoadBlock(kFiles + "/versioned.so");
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(Translations(block), (std::vector<WORD>{0x0409, 0x04B0}));
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersion"), "2.5.1.7");
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\ProductName"), "quillorna-sample");
    const std::vector<DWORD> fixed = FixedInfo(block);
    ASSERT_EQ(fixed.size(), 13u);
    EXPECT_EQ(fixed[0], 0xFEEF04BDu);
    EXPECT_EQ(fixed[2], 0x00020005u);
    EXPECT_EQ(fixed[3], 0x00010007u);
    EXPECT_EQ(fixed[9], 2u); // a shared object counts as a DLL
}

TEST(RealElfFiles, ObjectWithoutPackageNoteHasNoVersionInformation) {
    const std::string path = kFiles + "/plain.so";
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(GetFileVersionInfoSizeA(path.c_str(), nullptr), 0u);
}

#endif

using WrittenFiles = TempDir;

TEST_F(WrittenFiles, OtherTranslationIsListedAndHoldsTheTable) {
    ASSERT_TRUE(test::WriteVersionedPe(Path("de.dll"), "4.0.2.1", {{0x0407, 0x04E4}}));
    std::vector<char> block = LoadBlock(Path("de.dll"));
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(Translations(block), (std::vector<WORD>{0x0407, 0x04E4}));
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040704E4\\FileVersion"), "4.0.2.1");
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersion"), std::nullopt);
}

#ifndef _WIN32
// Our own reader's answers on ELF files and on files changed under it, and the language taken from the
// environment: Windows has neither.
TEST_F(WrittenFiles, CharactersBeyondLatin1BecomeQuestionMarks) {
    // U+2713 has no single-byte form; U+00E9 keeps its Latin-1 byte.
    ASSERT_TRUE(test::WriteVersionedElf(Path("u.so"), "1.0 \xE2\x9C\x93 \xC3\xA9", "caf\xC3\xA9"));
    std::vector<char> block = LoadBlock(Path("u.so"));
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersion"), "1.0 ? \xE9");
    EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\ProductName"), "caf\xE9");
}

TEST_F(WrittenFiles, AnswersLiveInEachCallersBlockAndStayValid) {
    ASSERT_TRUE(test::WriteVersionedPe(Path("a.dll"), "1.2.3.4"));
    ASSERT_TRUE(test::WriteVersionedElf(Path("b.so"), "5.6.7.8", "other"));
    std::vector<char> a = LoadBlock(Path("a.dll"));
    std::vector<char> b = LoadBlock(Path("b.so"));
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    void* first = nullptr;
    void* second = nullptr;
    void* third = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(a.data(), "\\StringFileInfo\\040904B0\\FileVersion", &first, &length));
    ASSERT_TRUE(VerQueryValueA(b.data(), "\\StringFileInfo\\040904B0\\FileVersion", &second, &length));
    ASSERT_TRUE(VerQueryValueA(a.data(), "\\StringFileInfo\\040904B0\\ProductName", &third, &length));
    EXPECT_STREQ(static_cast<char*>(first), "1.2.3.4");
    EXPECT_STREQ(static_cast<char*>(second), "5.6.7.8");
    EXPECT_STREQ(static_cast<char*>(third), "zarn test");
}

TEST_F(WrittenFiles, TooSmallBufferIsRefusedAndLeftUntouched) {
    ASSERT_TRUE(test::WriteVersionedPe(Path("a.dll"), "1.2.3.4"));
    const DWORD size = GetFileVersionInfoSizeA(Path("a.dll").c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> buffer(size + 16, '\xAB');
    EXPECT_FALSE(GetFileVersionInfoA(Path("a.dll").c_str(), 0, size - 1, buffer.data()));
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), '\xAB'), static_cast<std::ptrdiff_t>(buffer.size()));
    EXPECT_FALSE(GetFileVersionInfoA(Path("a.dll").c_str(), 0, size, nullptr));
    EXPECT_TRUE(GetFileVersionInfoA(Path("a.dll").c_str(), 0, size + 16, buffer.data()));
}

TEST_F(WrittenFiles, FileThatGrewSinceItsSizeWasAskedIsRefused) {
    ASSERT_TRUE(test::WriteVersionedElf(Path("g.so"), "1.0"));
    const DWORD size = GetFileVersionInfoSizeA(Path("g.so").c_str(), nullptr);
    ASSERT_GT(size, 0u);
    ASSERT_TRUE(test::WriteVersionedElf(Path("g.so"), "1.0." + std::string(200, '7')));
    std::vector<char> buffer(size);
    EXPECT_FALSE(GetFileVersionInfoA(Path("g.so").c_str(), 0, size, buffer.data()));
}

TEST_F(WrittenFiles, FilesWithoutVersionInformationHaveSizeZero) {
    ASSERT_TRUE(test::WriteBytes(Path("empty"), {}));
    ASSERT_TRUE(test::WriteBytes(Path("text.txt"), {'h', 'e', 'l', 'l', 'o', '\n'}));
    ASSERT_TRUE(test::WriteBytes(Path("mz.dll"), {'M', 'Z'}));
    ASSERT_TRUE(test::WriteBytes(Path("elf.so"), {0x7F, 'E', 'L', 'F', 2, 1, 1}));
    ASSERT_TRUE(test::WriteUnversionedPe(Path("plain.dll")));
    std::vector<uint8_t> pe = test::MakeVersionedPe("1.2.3.4");
    pe.resize(pe.size() / 2);
    ASSERT_TRUE(test::WriteBytes(Path("half.dll"), pe));
    fs::create_directory(Path("dir.dll"));
    for (const char* name : {"empty", "text.txt", "mz.dll", "elf.so", "plain.dll", "half.dll", "dir.dll", "none"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(GetFileVersionInfoSizeA(Path(name).c_str(), nullptr), 0u);
        std::vector<char> buffer(4096);
        EXPECT_FALSE(GetFileVersionInfoA(Path(name).c_str(), 0, 4096, buffer.data()));
    }
    EXPECT_EQ(GetFileVersionInfoSizeA(nullptr, nullptr), 0u);
}

class UserLanguage : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(value != nullptr ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (size_t i = 0; i < std::size(kNames); ++i) {
            if (m_saved[i]) {
                setenv(kNames[i], m_saved[i]->c_str(), 1);
            } else {
                unsetenv(kNames[i]);
            }
        }
    }

    static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::optional<std::string>> m_saved;
};

TEST_F(UserLanguage, LangNamesTheLanguageAndTerritory) {
    const std::pair<const char*, LANGID> cases[] = {
        {"en_US.UTF-8", 0x0409},
        {"de_DE.UTF-8", 0x0407},
        {"fr_FR", 0x040C},
        {"en_GB.UTF-8", 0x0809},
        {"pt_BR", 0x0416},
        {"pt_PT", 0x0816},
        {"de_AT.UTF-8@euro", 0x0C07},
        {"ja_JP.eucJP", 0x0411},
        {"de_LU.UTF-8", 0x0407},
        {"it", 0x0410},
        {"xx_YY", 0x0409},
        {"C", 0x0409},
        {"POSIX", 0x0409},
        {"C.UTF-8", 0x0409},
        {"", 0x0409},
    };
    for (const auto& [lang, id] : cases) {
        SCOPED_TRACE(lang);
        setenv("LANG", lang, 1);
        EXPECT_EQ(GetUserDefaultLangID(), id);
    }
}

TEST_F(UserLanguage, LcAllThenLcMessagesThenLang) {
    EXPECT_EQ(GetUserDefaultLangID(), 0x0409);
    setenv("LANG", "fr_FR.UTF-8", 1);
    setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0407);
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0410);
    // An empty variable counts as unset.
    setenv("LC_ALL", "", 1);
    EXPECT_EQ(GetUserDefaultLangID(), 0x0407);
    setenv("LC_MESSAGES", "", 1);
    EXPECT_EQ(GetUserDefaultLangID(), 0x040C);
}

TEST_F(UserLanguage, VersionResourceIsTakenInTheUsersLanguage) {
    if (!ZARN_HAVE_MINGW) {
        GTEST_SKIP() << "mingw-w64 was not found when the tests were configured";
    }
    for (const auto& [lang, fileVersion] : {std::pair{"fr_FR.UTF-8", "1.0 fr-FR"}, {"de_DE.UTF-8", "1.0 de-DE"}}) {
        SCOPED_TRACE(lang);
        setenv("LANG", lang, 1);
        std::vector<char> block = LoadBlock(kFiles + "/languages.dll");
        ASSERT_FALSE(block.empty());
        EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersion"), std::string(fileVersion));
    }
}

#endif

} // namespace
} // namespace zarn
