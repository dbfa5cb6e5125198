// zarn-expand run as a process on cabinets made by gcab (stored and MSZIP) and by the stored-cabinet writer
// (hostile names), and the entry-name check on its own.
#include "tests/support/StoredCabinet.h"
#include "tests/support/TempDir.h"
#include "tools/zarn-expand/EntryName.h"

#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using zarn::test::ReadFile;
using zarn::test::TempDir;
using zarn::test::WriteFile;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string err;
};

// Runs `program` with `args` (no shell) in `directory`, its standard error captured in `errFile`.
Outcome RunProgram(const std::string& program, std::vector<std::string> args, const fs::path& directory,
                   const fs::path& errFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    Outcome outcome;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return outcome;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        outcome.exitCode = WEXITSTATUS(status);
    }
    outcome.err = ReadFile(errFile.string());
    return outcome;
}

// Bytes that MSZIP compresses yet that span several 32 KiB data blocks.
std::string BigContent() {
    std::string content;
    for (unsigned i = 0; content.size() < 100000; ++i) {
        content += "line " + std::to_string(i * 2654435761u % 100003) + "\n";
    }
    return content;
}

// Adds `n` to the little-endian 32-bit field at `at`.
void Add32(std::string& bytes, std::size_t at, std::uint32_t n) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    value += n;
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
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

class ZarnExpand : public ::testing::Test {
protected:
    // The expansion target lies two levels down, so that "..\..\x" would land in m_root.
    void SetUp() override {
        fs::create_directories(m_out);
        WriteFile((m_out / "a.txt").string(), "the old a.txt, longer than the new one\n");
    }

    Outcome Expand(std::vector<std::string> args) {
        return RunProgram(ZARN_EXPAND_PATH, std::move(args), m_root.Path(), m_root.Path() / "stderr");
    }
    Outcome Expand(const std::string& cabinet) { return Expand({"-F:*", cabinet, m_out.string()}); }

    // A cabinet by gcab of a.txt and sub/deeper/b.bin (MSZIP when `compressed`), as m_root/NAME.
    std::string Gcab(const std::string& name, bool compressed) {
        const fs::path source = m_root.Path() / "source";
        fs::create_directories(source / "sub" / "deeper");
        WriteFile((source / "a.txt").string(), "new a\n");
        WriteFile((source / "sub" / "deeper" / "b.bin").string(), BigContent());
        const std::string cabinet = (m_root.Path() / name).string();
        std::vector<std::string> args{compressed ? "-cz" : "-c", cabinet, "a.txt", "sub/deeper/b.bin"};
        const Outcome made = RunProgram(ZARN_GCAB_PATH, args, source, m_root.Path() / "gcab.err");
        EXPECT_EQ(made.exitCode, 0) << made.err;
        return cabinet;
    }

    // Every path below m_root outside the cabinet sources and the captured output, '/'-separated.
    std::set<std::string> Tree() const {
        std::set<std::string> paths;
        for (const auto& entry : fs::recursive_directory_iterator(m_root.Path())) {
            const std::string path = fs::relative(entry.path(), m_root.Path()).generic_string();
            if (path.rfind("source", 0) != 0 && path.find(".cab") == std::string::npos && path != "stderr" &&
                path != "gcab.err") {
                paths.insert(path);
            }
        }
        return paths;
    }

    // The state before any expansion: only the old a.txt, with its old content.
    void ExpectUntouched(const Outcome& outcome) {
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
        const Outcome outcome = Expand(Gcab(compressed ? "zip.cab" : "plain.cab", compressed));
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(Tree(), (std::set<std::string>{"a", "a/b", "a/b/a.txt", "a/b/sub", "a/b/sub/deeper",
                                                 "a/b/sub/deeper/b.bin"}));
        EXPECT_EQ(ReadFile((m_out / "a.txt").string()), "new a\n");
        EXPECT_EQ(ReadFile((m_out / "sub" / "deeper" / "b.bin").string()), BigContent());
    }
}

TEST_F(ZarnExpand, TakesTheSwitchInEitherFormAndCaseAndRefusesOtherUsage) {
    const std::string cabinet = Gcab("plain.cab", false);
    for (const char* allFiles : {"-F:*", "/F:*", "-f:*", "/f:*"}) {
        const Outcome outcome = Expand({allFiles, cabinet, m_out.string()});
        EXPECT_EQ(outcome.exitCode, 0) << allFiles << ": " << outcome.err;
    }
    const std::vector<std::vector<std::string>> wrong = {{},
                                                         {"-F:*", cabinet},
                                                         {"-X", cabinet, m_out.string()},
                                                         {"-F:a.txt", cabinet, m_out.string()},
                                                         {cabinet, m_out.string()},
                                                         {"-F:*", cabinet, m_out.string(), "extra"}};
    for (const auto& args : wrong) {
        const Outcome outcome = Expand(args);
        EXPECT_EQ(outcome.exitCode, 1) << args.size() << " arguments";
        EXPECT_EQ(outcome.err.rfind("Usage: zarn-expand -F:* CABINET DIRECTORY\n", 0), 0u) << outcome.err;
    }
}

// The second entry's data is damaged, so the first one was extracted whole before the failure.
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
        const Outcome outcome = Expand(cabinet);
        ExpectUntouched(outcome);
        EXPECT_NE(outcome.err.find(test.reason), std::string::npos) << outcome.err;
    }
    const Outcome missing = Expand((m_root.Path() / "missing.cab").string());
    ExpectUntouched(missing);
    EXPECT_NE(missing.err.find("missing.cab: cannot open it"), std::string::npos) << missing.err;
}

TEST_F(ZarnExpand, WritesStoredCabinetsWithBackslashNames) {
    const std::string cabinet = (m_root.Path() / "stored.cab").string();
    WriteFile(cabinet, zarn::test::StoredCabinet({{"a.txt", "new a\n"}, {"d\\e.txt", BigContent()}}));
    const Outcome outcome = Expand(cabinet);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(Tree(), (std::set<std::string>{"a", "a/b", "a/b/a.txt", "a/b/d", "a/b/d/e.txt"}));
    EXPECT_EQ(ReadFile((m_out / "a.txt").string()), "new a\n");
    EXPECT_EQ(ReadFile((m_out / "d" / "e.txt").string()), BigContent());
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
        const Outcome outcome = Expand(cabinet);
        EXPECT_EQ(outcome.exitCode, 3);
        EXPECT_NE(outcome.err.find("refused entry \"" + names.back() + "\""), std::string::npos) << outcome.err;
        ExpectUntouched(outcome);
    }
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
    };
    for (const auto& [name, segments] : accepted) {
        const zarn::EntryPath path = zarn::CheckEntryName(name);
        EXPECT_EQ(path.refusal, nullptr) << name << ": " << path.refusal;
        EXPECT_EQ(path.segments, segments) << name;
    }
    const std::string refused[] = {"",     "\\x",   "/x",     "C:x", "a:b",  "..",           "..\\x", "a\\..\\b",
                                   ".\\a", "a/./b", "a\\\\b", "a\\", "a/",   "a\x01",        "a\x7F", {"a\0b", 3},
                                   ".. ",  "...",   "a.",     "a ",  "CON",  "sub\\nul.txt", "com1",  "Lpt9.x",
                                   "a<b",  "a*b",   "a?b",    "a|b", "a\"b", "a>b"};
    for (const std::string& name : refused) {
        const zarn::EntryPath path = zarn::CheckEntryName(name);
        EXPECT_NE(path.refusal, nullptr) << name;
        EXPECT_TRUE(path.segments.empty()) << name;
    }
}

} // namespace
