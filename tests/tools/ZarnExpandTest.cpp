// zarn-expand run as a process on cabinets made by gcab when the tests are built (stored and MSZIP), and by the
// stored-cabinet writer (hostile names), and the entry-name check on its own.
#include "tests/support/ProgramRun.h"
#include "tests/support/StoredCabinet.h"
#include "tests/support/TempDir.h"
#include "tools/zarn-expand/EntryName.h"

#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using zarn::test::ProgramOutcome;
using zarn::test::ReadFile;
using zarn::test::TempDir;
using zarn::test::WriteFile;

namespace {

// The folder the build made the cabinets in: plain.cab and zip.cab of source/a.txt and source/sub/deeper/b.bin.
const fs::path kCabinets = ZARN_EXPAND_CABINETS;

// Bytes that span several 32 KiB data blocks.
std::string BigContent() {
    std::string content;
    for (unsigned i = 0; content.size() < 100000; ++i) {
        content += "line " + std::to_string(i * 2654435761u % 100003) + "\n";
    }
    return content;
}

// The little-endian 32-bit field at `at`.
std::uint32_t Read32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

void Write32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}

// Adds `n` to the little-endian 32-bit field at `at`.
void Add32(std::string& bytes, std::size_t at, std::uint32_t n) {
    Write32(bytes, at, Read32(bytes, at) + n);
}

// Makes a cabinet of gcab's (no reserved space, one folder) say that it continues in "next.cab": the flag,
// the next cabinet's name and disk after the header, and every offset behind them moved.
void MakeOneOfASet(std::string& cabinet) {
    const std::string next("next.cab\0disk\0", 14);
    cabinet[30] |= 0x02;
    cabinet.insert(36, next);
    for (std::size_t at : {8u, 16u, 36u + 14u}) {
        Add32(cabinet, at, 14);
    }
}

// Makes every file of a cabinet declare `size` bytes, whatever its data holds: each file entry is 16 bytes
// (the size first), then the name and its NUL.
void DeclareSizes(std::string& cabinet, std::uint32_t size) {
    std::size_t at = Read32(cabinet, 16);
    const unsigned files = static_cast<unsigned char>(cabinet[28]) | static_cast<unsigned char>(cabinet[29]) << 8;
    for (unsigned file = 0; file < files; ++file) {
        Write32(cabinet, at, size);
        at = cabinet.find('\0', at + 16) + 1;
    }
}

class ZarnExpand : public ::testing::Test {
protected:
    // The expansion target lies two levels down, so that "..\..\x" would land in m_root.
    void SetUp() override {
        fs::create_directories(m_out);
        WriteFile((m_out / "a.txt").string(), "the old a.txt, longer than the new one\n");
    }

    ProgramOutcome Expand(const std::vector<std::string>& args) {
        ProgramOutcome outcome =
            zarn::test::RunProgram(ZARN_EXPAND_PATH, args, zarn::test::EnvironmentWith({}),
                                   (m_root.Path() / "stdout").string(), (m_root.Path() / "stderr").string());
        EXPECT_EQ(outcome.problem, "");
        return outcome;
    }
    ProgramOutcome Expand(const std::string& cabinet) { return Expand({"-F:*", cabinet, m_out.string()}); }

    // A copy of gcab's cabinet of a.txt and sub/deeper/b.bin (MSZIP when `compressed`), as m_root/NAME.
    std::string Gcab(const std::string& name, bool compressed) {
        const std::string cabinet = (m_root.Path() / name).string();
        WriteFile(cabinet, ReadFile((kCabinets / (compressed ? "zip.cab" : "plain.cab")).string()));
        return cabinet;
    }

    // Every path below m_root but the cabinets and the captured output, '/'-separated.
    std::set<std::string> Tree() const {
        std::set<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(m_root.Path())) {
            const std::string path = fs::relative(entry.path(), m_root.Path()).generic_string();
            if (path.find(".cab") == std::string::npos && path != "stdout" && path != "stderr") {
                paths.insert(path);
            }
        }
        return paths;
    }

    // The state before any expansion: only the old a.txt, with its old content.
    void ExpectUntouched(const ProgramOutcome& outcome) {
        EXPECT_NE(outcome.exitCode, 0);
        EXPECT_EQ(outcome.err.rfind("zarn-expand: ", 0), 0u) << outcome.err;
        EXPECT_EQ(Tree(), (std::set<std::string>{"a", "a/b", "a/b/a.txt"}));
        EXPECT_EQ(ReadFile((m_out / "a.txt").string()), "the old a.txt, longer than the new one\n");
    }

    TempDir m_root;
    fs::path m_out = m_root.Path() / "a" / "b";
};

TEST_F(ZarnExpand, WritesEveryFileOverExistingOnesWithSubdirectories) {
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "MSZIP" : "stored");
        SetUp();
        const ProgramOutcome outcome = Expand(Gcab(compressed ? "zip.cab" : "plain.cab", compressed));
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(Tree(), (std::set<std::string>{"a", "a/b", "a/b/a.txt", "a/b/sub", "a/b/sub/deeper",
                                                 "a/b/sub/deeper/b.bin"}));
        EXPECT_EQ(ReadFile((m_out / "a.txt").string()), ReadFile((kCabinets / "source" / "a.txt").string()));
        EXPECT_EQ(ReadFile((m_out / "sub" / "deeper" / "b.bin").string()),
                  ReadFile((kCabinets / "source" / "sub" / "deeper" / "b.bin").string()));
    }
}

TEST_F(ZarnExpand, TakesTheSwitchInEitherFormAndCaseAndRefusesOtherUsage) {
    const std::string cabinet = Gcab("plain.cab", false);
    for (const char* allFiles : {"-F:*", "/F:*", "-f:*", "/f:*"}) {
        const ProgramOutcome outcome = Expand({allFiles, cabinet, m_out.string()});
        EXPECT_EQ(outcome.exitCode, 0) << allFiles << ": " << outcome.err;
    }
    const std::vector<std::vector<std::string>> wrong = {{},
                                                         {"-F:*", cabinet},
                                                         {"-X", cabinet, m_out.string()},
                                                         {"-F:a.txt", cabinet, m_out.string()},
                                                         {cabinet, m_out.string()},
                                                         {"-F:*", cabinet, m_out.string(), "extra"},
                                                         {"-F:*", cabinet, m_out.string(), "--stage"},
                                                         {"-F:*", cabinet, m_out.string(), "--stage", ""},
                                                         {"-F:*", cabinet, m_out.string(), "--list", "x"}};
    for (const auto& args : wrong) {
        const ProgramOutcome outcome = Expand(args);
        EXPECT_EQ(outcome.exitCode, 1) << args.size() << " arguments";
        // Standard error is a text stream: its lines end in CR LF on Windows.
        EXPECT_EQ(outcome.err.substr(0, outcome.err.find_first_of("\r\n")),
                  "Usage: zarn-expand -F:* CABINET DIRECTORY [--stage LIST]")
            << outcome.err;
    }
}

// Staged, every new file lies beside its target and the targets are as they were; the list pairs each target with
// its staged file.
TEST_F(ZarnExpand, StagingLeavesTheTargetsAndListsEachStagedFile) {
    const fs::path list = m_root.Path() / "staged.list";
    const ProgramOutcome outcome = Expand({"-F:*", Gcab("plain.cab", false), m_out.string(), "--stage", list.string()});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(ReadFile((m_out / "a.txt").string()), "the old a.txt, longer than the new one\n");
    EXPECT_FALSE(fs::exists(m_out / "sub" / "deeper" / "b.bin"));
    const std::string listed = ReadFile(list.string());
    std::vector<std::string> paths;
    for (std::size_t at = 0, end; (end = listed.find('\0', at)) != std::string::npos; at = end + 1) {
        paths.push_back(listed.substr(at, end - at));
    }
    ASSERT_EQ(paths.size(), 4u) << listed;
    const fs::path targets[] = {m_out / "a.txt", m_out / "sub" / "deeper" / "b.bin"};
    const fs::path sources[] = {kCabinets / "source" / "a.txt", kCabinets / "source" / "sub" / "deeper" / "b.bin"};
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(fs::path(paths[2 * i]), targets[i]);
        EXPECT_EQ(fs::path(paths[2 * i + 1]).parent_path(), targets[i].parent_path());
        EXPECT_EQ(ReadFile(paths[2 * i + 1]), ReadFile(sources[i].string()));
    }
}

// The second entry's data is damaged, so the first one was extracted whole before the failure. FDI reports a
// truncated cabinet and a bad checksum alike, as corrupt, and says that it may be either.
TEST_F(ZarnExpand, BrokenCabinetsWriteNothing) {
    struct Case {
        const char* name;
        bool compressed;
        void (*damage)(std::string&);
        const char* reason;
    };
    const Case cases[] = {
        {"truncated stored", false, [](std::string& c) { c.resize(c.size() * 2 / 3); }, "truncated"},
        {"truncated MSZIP", true, [](std::string& c) { c.resize(c.size() * 2 / 3); }, "truncated"},
        {"flipped stored", false, [](std::string& c) { c[c.size() - 100] ^= 0x55; }, "checksum"},
        {"flipped MSZIP", true, [](std::string& c) { c[c.size() - 100] ^= 0x55; }, "checksum"},
        {"not a cabinet", false, [](std::string& c) { c = "MSCX" + c.substr(4); }, "not a cabinet"},
        {"one of a set", true, &MakeOneOfASet, "one of a multi-cabinet set"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string cabinet = Gcab("damaged.cab", test.compressed);
        std::string bytes = ReadFile(cabinet);
        test.damage(bytes);
        WriteFile(cabinet, bytes);
        const ProgramOutcome outcome = Expand(cabinet);
        ExpectUntouched(outcome);
        EXPECT_NE(outcome.err.find(test.reason), std::string::npos) << outcome.err;
    }
    const ProgramOutcome missing = Expand((m_root.Path() / "missing.cab").string());
    ExpectUntouched(missing);
    EXPECT_NE(missing.err.find("missing.cab: cannot open it"), std::string::npos) << missing.err;
}

// The longest entry name lands deeper than Windows' MAX_PATH (260 characters) allows an ordinary path to reach.
TEST_F(ZarnExpand, WritesStoredCabinetsWithBackslashNames) {
    const std::string cabinet = (m_root.Path() / "stored.cab").string();
    const std::string folder(120, 'f'), file = std::string(120, 'g') + ".txt";
    WriteFile(cabinet, zarn::test::StoredCabinet(
                           {{"a.txt", "new a\n"}, {"d\\e.txt", BigContent()}, {folder + "\\" + file, "deep"}}));
    const ProgramOutcome outcome = Expand(cabinet);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(Tree(), (std::set<std::string>{"a", "a/b", "a/b/a.txt", "a/b/d", "a/b/d/e.txt", "a/b/" + folder,
                                             "a/b/" + folder + "/" + file}));
    EXPECT_EQ(ReadFile((m_out / "a.txt").string()), "new a\n");
    EXPECT_EQ(ReadFile((m_out / "d" / "e.txt").string()), BigContent());
    EXPECT_EQ(ReadFile((m_out / folder / file).string()), "deep");
}

TEST_F(ZarnExpand, AnyHostileEntryRefusesTheWholeCabinet) {
    const std::string absolute = (m_root.Path() / "x").string();
    const std::vector<std::vector<std::string>> cabinets = {
        {"..\\..\\x"}, {absolute}, {"C:x"}, {"a\\..\\..\\b"}, {"good.txt", "sub\\..\\..\\..\\x"}, {"a.txt", ".."}};
    for (const auto& names : cabinets) {
        SCOPED_TRACE(names.back());
        std::vector<std::pair<std::string, std::string>> entries;
        for (const std::string& name : names) {
            entries.emplace_back(name, "written\n");
        }
        const std::string cabinet = (m_root.Path() / "hostile.cab").string();
        WriteFile(cabinet, zarn::test::StoredCabinet(entries));
        const ProgramOutcome outcome = Expand(cabinet);
        EXPECT_EQ(outcome.exitCode, 3);
        EXPECT_NE(outcome.err.find("refused entry \"" + names.back() + "\""), std::string::npos) << outcome.err;
        ExpectUntouched(outcome);
    }
}

// A link beneath the target, at a folder an entry goes through or at an entry's own name, refuses the cabinet:
// nothing is written where it points, and the link stays.
TEST_F(ZarnExpand, NeverWritesThroughALink) {
    TempDir outside;
    fs::create_directory(outside.Path() / "folder");
    WriteFile((outside.Path() / "file.txt").string(), "outside\n");
    const struct {
        const char* link;
        fs::path to;
        const char* entry;
    } cases[] = {
        {"sub", outside.Path() / "folder", "sub\\planted.txt"},
        {"sub", outside.Path() / "folder", "sub/deeper/planted.txt"},
        {"link.txt", outside.Path() / "file.txt", "link.txt"},
        {"gone", outside.Path() / "missing", "gone"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        const fs::path link = m_out / c.link;
        std::error_code error;
        fs::create_symlink(c.to, link, error);
        if (error || !fs::is_symlink(link)) {
            GTEST_SKIP() << "no symbolic link can be made here: " << error.message();
        }
        const std::string cabinet = (m_root.Path() / "linked.cab").string();
        WriteFile(cabinet, zarn::test::StoredCabinet({{"a.txt", "new a\n"}, {c.entry, "planted\n"}}));
        const ProgramOutcome outcome = Expand(cabinet);
        EXPECT_EQ(outcome.exitCode, 3);
        EXPECT_NE(outcome.err.find("refused entry \"" + std::string(c.entry) + "\": " + (m_out / c.link).string() +
                                   " is a link"),
                  std::string::npos)
            << outcome.err;
        EXPECT_TRUE(fs::is_symlink(link));
        fs::remove(link);
        ExpectUntouched(outcome);
        EXPECT_TRUE(fs::is_empty(outside.Path() / "folder"));
        EXPECT_EQ(ReadFile((outside.Path() / "file.txt").string()), "outside\n");
        EXPECT_FALSE(fs::exists(outside.Path() / "missing"));
    }
    // Nor may the target itself be a link.
    const fs::path linkedTarget = m_root.Path() / "linked";
    fs::create_directory_symlink(m_out, linkedTarget);
    const ProgramOutcome target = Expand({"-F:*", Gcab("plain.cab", false), linkedTarget.string()});
    EXPECT_EQ(target.exitCode, 2);
    EXPECT_NE(target.err.find(linkedTarget.string() + ": cannot open the directory, which may not be a link"),
              std::string::npos)
        << target.err;
    fs::remove(linkedTarget);
    ExpectUntouched(target);
}

// Declared sizes far beyond any disk: refused before anything is written, naming both amounts.
TEST_F(ZarnExpand, RefusesACabinetLargerThanTheFreeSpace) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; i < 20000; ++i) {
        entries.emplace_back("f" + std::to_string(i), "x");
    }
    std::string bytes = zarn::test::StoredCabinet(entries);
    DeclareSizes(bytes, 0xFFFFFFFFu);
    const std::string cabinet = (m_root.Path() / "bomb.cab").string();
    WriteFile(cabinet, bytes);
    const ProgramOutcome outcome = Expand(cabinet);
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_NE(outcome.err.find("would take " + std::to_string(20000ull * 0xFFFFFFFFu) + " bytes, but " +
                               m_out.string() + " has only "),
              std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find(" bytes free; nothing was written"), std::string::npos) << outcome.err;
    ExpectUntouched(outcome);
}

TEST(EntryName, SplitsSafeNamesAndRefusesEveryOtherOne) {
    using Segments = std::vector<std::string>;
    const std::pair<std::string, Segments> accepted[] = {
        {"a.txt", {"a.txt"}},
        {"sub\\b.bin", {"sub", "b.bin"}},
        {"sub/deeper\\c", {"sub", "deeper", "c"}},
        {".hidden", {".hidden"}},
        {"a..b", {"a..b"}},
        {"cons.d\\com10", {"cons.d", "com10"}},
        {"console", {"console"}},
        {"caf\xC3\xA9", {"caf\xC3\xA9"}},
        {"conin", {"conin"}},
        {"com\xC2\xB9x.txt", {"com\xC2\xB9x.txt"}},
        {"lpt\xC2\xB4", {"lpt\xC2\xB4"}},
        {" con.txt", {" con.txt"}},
    };
    for (const auto& [name, segments] : accepted) {
        const zarn::EntryPath path = zarn::CheckEntryName(name);
        EXPECT_EQ(path.refusal, nullptr) << name << ": " << path.refusal;
        EXPECT_EQ(path.segments, segments) << name;
    }
    // The device names include the console's and the clock's, COM and LPT with a superscript digit (in UTF-8 or
    // in a Windows code page), and a stem whose trailing spaces Windows drops.
    const std::string refused[] = {"",
                                   "\\x",
                                   "/x",
                                   "C:x",
                                   "a:b",
                                   "..",
                                   "..\\x",
                                   "a\\..\\b",
                                   ".\\a",
                                   "a/./b",
                                   "a\\\\b",
                                   "a\\",
                                   "a/",
                                   "a\x01",
                                   "a\x7F",
                                   {"a\0b", 3},
                                   ".. ",
                                   "...",
                                   "a.",
                                   "a ",
                                   "CON",
                                   "sub\\nul.txt",
                                   "com1",
                                   "Lpt9.x",
                                   "a<b",
                                   "a*b",
                                   "a?b",
                                   "a|b",
                                   "a\"b",
                                   "a>b",
                                   "CONIN$",
                                   "sub\\conout$.log",
                                   "Clock$",
                                   "COM\xC2\xB9",
                                   "lpt\xC2\xB3.txt",
                                   "COM\xB2",
                                   "LPT\xB9.dll",
                                   "CON .txt",
                                   "NUL  .x",
                                   "com0"};
    for (const std::string& name : refused) {
        const zarn::EntryPath path = zarn::CheckEntryName(name);
        EXPECT_NE(path.refusal, nullptr) << name;
        EXPECT_TRUE(path.segments.empty()) << name;
    }
}

} // namespace
