#include "download/TargetFile.h"

#include "tests/support/TempDir.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>

namespace zarn {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

bool Put(TargetFile& file, const std::string& text) {
    unsigned long code = 0;
    return file.Write(text.data(), text.size(), code);
}

TEST(TargetFileTest, WholeDownloadReplacesTheTargetOnlyAtCommit) {
    TempDir dir;
    const std::string target = dir.File("complist.txt");
    WriteFile(target, "previous list");

    TargetFile file;
    unsigned long code = 0;
    ASSERT_EQ(file.Open(target, 0, code), 0);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(ReadFile(target), "previous list") << "opening must not empty the old target";
    ASSERT_TRUE(Put(file, "new "));
    ASSERT_TRUE(Put(file, "list"));
    EXPECT_EQ(ReadFile(target), "previous list");
    EXPECT_EQ(dir.Entries().size(), 2u) << "the body goes to a file beside the target";

    ASSERT_TRUE(file.Commit(code));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadFile(target), "new list");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"complist.txt"}));
}

TEST(TargetFileTest, DiscardLeavesThePreviousTargetAndNoLeftovers) {
    TempDir dir;
    const std::string target = dir.File("control.cab");
    WriteFile(target, "installed cabinet");
    {
        TargetFile file;
        unsigned long code = 0;
        ASSERT_EQ(file.Open(target, 0, code), 0);
        ASSERT_TRUE(Put(file, "half a new cab"));
        file.Discard();
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_EQ(ReadFile(target), "installed cabinet");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"control.cab"}));

    {
        TargetFile file; // destroyed without Commit: same as Discard
        unsigned long code = 0;
        ASSERT_EQ(file.Open(target, 0, code), 0);
        ASSERT_TRUE(Put(file, "another half"));
    }
    EXPECT_EQ(ReadFile(target), "installed cabinet");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"control.cab"}));
}

TEST(TargetFileTest, NewTargetAppearsOnlyAtCommit) {
    TempDir dir;
    const std::string target = dir.File("new.dll");
    TargetFile file;
    unsigned long code = 0;
    ASSERT_EQ(file.Open(target, 0, code), 0);
    EXPECT_FALSE(std::filesystem::exists(target));
    ASSERT_TRUE(file.Commit(code));
    EXPECT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(ReadFile(target), "");
}

TEST(TargetFileTest, ReplacementKeepsTheTargetsPermissions) {
    TempDir dir;
    const std::string target = dir.File("setup.bin");
    WriteFile(target, "old");
    namespace fs = std::filesystem;
    fs::permissions(target, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    TargetFile file;
    unsigned long code = 0;
    ASSERT_EQ(file.Open(target, 0, code), 0);
    ASSERT_TRUE(Put(file, "new"));
    ASSERT_TRUE(file.Commit(code));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

TEST(TargetFileTest, MissingDirectoryFailsWith231AndTheSystemCode) {
    TempDir dir;
    TargetFile file;
    unsigned long code = 0;
    EXPECT_EQ(file.Open(dir.File("missing/complist.txt"), 0, code), 231);
    EXPECT_EQ(code, static_cast<unsigned long>(ENOENT));
    EXPECT_FALSE(file.IsOpen());
    code = 0;
    EXPECT_EQ(file.Open(dir.File("missing/complist.txt"), 10, code), 231);
    EXPECT_EQ(code, static_cast<unsigned long>(ENOENT));
}

TEST(TargetFileTest, ResumeKeepsTheFirstBytesAndWritesInPlace) {
    TempDir dir;
    const std::string target = dir.File("big.cab");
    WriteFile(target, "0123456789ABCDEF");
    TargetFile file;
    unsigned long code = 0;
    ASSERT_EQ(file.Open(target, 10, code), 0);
    EXPECT_EQ(ReadFile(target), "0123456789") << "the rest is cut before the request";
    ASSERT_TRUE(Put(file, "abc"));
    ASSERT_TRUE(file.Commit(code));
    EXPECT_EQ(ReadFile(target), "0123456789abc");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"big.cab"}));
}

TEST(TargetFileTest, ResumeExtendsAShortOrMissingFile) {
    TempDir dir;
    const std::string shortTarget = dir.File("short.bin");
    WriteFile(shortTarget, "abc");
    const std::string missing = dir.File("missing.bin");
    unsigned long code = 0;
    {
        TargetFile file;
        ASSERT_EQ(file.Open(shortTarget, 6, code), 0);
        ASSERT_TRUE(Put(file, "Z"));
        ASSERT_TRUE(file.Commit(code));
    }
    EXPECT_EQ(ReadFile(shortTarget), std::string("abc\0\0\0Z", 7));
    {
        TargetFile file;
        ASSERT_EQ(file.Open(missing, 4, code), 0);
        file.Discard();
    }
    EXPECT_EQ(ReadFile(missing), std::string(4, '\0')) << "a discarded resume keeps what it has";
}

TEST(TargetFileTest, ManySmallPiecesArriveWholeAndInOrder) {
    TempDir dir;
    const std::string target = dir.File("component.cab");
    std::string expected;
    TargetFile file;
    unsigned long code = 0;
    ASSERT_EQ(file.Open(target, 0, code), 0);
    // Enough pieces of odd sizes to cross several of the blocks the file collects them into.
    for (int i = 0; i < 3000; ++i) {
        const std::string piece(static_cast<std::size_t>(1 + i % 1024), static_cast<char>('a' + i % 26));
        expected += piece;
        ASSERT_TRUE(Put(file, piece));
    }
    ASSERT_TRUE(file.Commit(code));
    EXPECT_EQ(ReadFile(target), expected);
}

TEST(TargetFileTest, DiscardedResumeKeepsThePiecesThatArrived) {
    TempDir dir;
    const std::string target = dir.File("big.cab");
    WriteFile(target, "0123456789");
    TargetFile file;
    unsigned long code = 0;
    ASSERT_EQ(file.Open(target, 4, code), 0);
    ASSERT_TRUE(Put(file, "ab"));
    ASSERT_TRUE(Put(file, "cd"));
    file.Discard();
    EXPECT_EQ(ReadFile(target), "0123abcd") << "a later resume starts after the bytes already received";
}

TEST(TargetFileTest, RestartOfAWholeDownloadEmptiesTheTemporaryFile) {
    TempDir dir;
    const std::string target = dir.File("list.txt");
    TargetFile file;
    unsigned long code = 0;
    ASSERT_EQ(file.Open(target, 0, code), 0);
    ASSERT_TRUE(Put(file, "partial answer"));
    ASSERT_TRUE(file.Restart(code));
    ASSERT_TRUE(Put(file, "full"));
    ASSERT_TRUE(file.Commit(code));
    EXPECT_EQ(ReadFile(target), "full");
}

TEST(TargetFileTest, RestartOfAResumeLeavesTheResumedFileUntilCommit) {
    TempDir dir;
    const std::string target = dir.File("big.cab");
    WriteFile(target, "0123456789");
    unsigned long code = 0;
    {
        TargetFile file;
        ASSERT_EQ(file.Open(target, 5, code), 0);
        ASSERT_TRUE(file.Restart(code));
        ASSERT_TRUE(Put(file, "whole new"));
        file.Discard();
    }
    EXPECT_EQ(ReadFile(target), "01234");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"big.cab"}));
    {
        TargetFile file;
        ASSERT_EQ(file.Open(target, 5, code), 0);
        ASSERT_TRUE(file.Restart(code));
        ASSERT_TRUE(Put(file, "whole new"));
        ASSERT_TRUE(file.Commit(code));
    }
    EXPECT_EQ(ReadFile(target), "whole new");
}

TEST(TargetFileTest, TargetThatIsADirectoryCannotBeResumed) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    TargetFile file;
    unsigned long code = 0;
    EXPECT_EQ(file.Open(dir.File("sub"), 3, code), 231);
    EXPECT_EQ(code, static_cast<unsigned long>(EISDIR));
}

TEST(TargetFileTest, CommitOverADirectoryFailsAndCleansUp) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    WriteFile(dir.File("sub/keep"), "x");
    TargetFile file;
    unsigned long code = 0;
    ASSERT_EQ(file.Open(dir.File("sub"), 0, code), 0);
    ASSERT_TRUE(Put(file, "data"));
    EXPECT_FALSE(file.Commit(code));
    EXPECT_NE(code, 0u);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"sub"}));
    EXPECT_EQ(ReadFile(dir.File("sub/keep")), "x");
}

} // namespace
} // namespace zarn
