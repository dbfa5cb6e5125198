#include "download/TargetFile.h"

#include "platform/File.h"
#include "platform/FileSystem.h"
#include "tests/support/TempDir.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <thread>

namespace zarn {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

bool Put(TargetFile& file, const std::string& text) {
    return file.Write(text.data(), text.size()) == 0;
}

// Also in a folder so deep that the target's path passes Windows' MAX_PATH (260 characters). The target file is
// given its ordinary path; the test's own file calls, through the C++ library, need the system's long form.
TEST(TargetFileTest, WholeDownloadReplacesTheTargetOnlyAtCommit) {
    TempDir dir;
    const std::filesystem::path deep = dir.Path() / std::string(150, 'd') / std::string(150, 'e');
    for (const std::filesystem::path& folder : {dir.Path() / "near", deep}) {
        SCOPED_TRACE(folder.string().size());
        const std::filesystem::path own = platform::ExtendedLengthPath(folder.string());
        std::filesystem::create_directories(own);
        const std::string target = (folder / "complist.txt").string();
        const std::string ownTarget = (own / "complist.txt").string();
        WriteFile(ownTarget, "previous list");
        // The C++ library lists no folder this deep on Windows: leftovers are looked for in the near one.
        const bool listable = folder != deep;
        const auto entries = [&own] {
            std::vector<std::string> names;
            for (const auto& entry : std::filesystem::directory_iterator(own)) {
                names.push_back(entry.path().filename().string());
            }
            return names;
        };

        TargetFile file;
        ASSERT_EQ(file.Open(target, 0).messageId, 0u);
        EXPECT_TRUE(file.IsOpen());
        EXPECT_EQ(ReadFile(ownTarget), "previous list") << "opening must not empty the old target";
        ASSERT_TRUE(Put(file, "new "));
        ASSERT_TRUE(Put(file, "list"));
        EXPECT_EQ(ReadFile(ownTarget), "previous list");
        if (listable) {
            EXPECT_EQ(entries().size(), 2u) << "the body goes to a file beside the target";
        }

        ASSERT_EQ(file.Commit(), 0u);
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(ReadFile(ownTarget), "new list");
        if (listable) {
            EXPECT_EQ(entries(), (std::vector<std::string>{"complist.txt"}));
        }
    }
}

TEST(TargetFileTest, DiscardLeavesThePreviousTargetAndNoLeftovers) {
    TempDir dir;
    const std::string target = dir.File("control.cab");
    WriteFile(target, "installed cabinet");
    {
        TargetFile file;
        ASSERT_EQ(file.Open(target, 0).messageId, 0u);
        ASSERT_TRUE(Put(file, "half a new cab"));
        file.Discard();
        EXPECT_FALSE(file.IsOpen());
    }
    EXPECT_EQ(ReadFile(target), "installed cabinet");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"control.cab"}));

    {
        TargetFile file; // destroyed without Commit: same as Discard
        ASSERT_EQ(file.Open(target, 0).messageId, 0u);
        ASSERT_TRUE(Put(file, "another half"));
    }
    EXPECT_EQ(ReadFile(target), "installed cabinet");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"control.cab"}));
}

TEST(TargetFileTest, NewTargetAppearsOnlyAtCommit) {
    TempDir dir;
    const std::string target = dir.File("new.dll");
    TargetFile file;
    ASSERT_EQ(file.Open(target, 0).messageId, 0u);
    EXPECT_FALSE(std::filesystem::exists(target));
    ASSERT_EQ(file.Commit(), 0u);
    EXPECT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(ReadFile(target), "");
}

TEST(TargetFileTest, ReplacementKeepsTheTargetsPermissions) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows files have no POSIX permissions";
#endif
    TempDir dir;
    const std::string target = dir.File("setup.bin");
    WriteFile(target, "old");
    namespace fs = std::filesystem;
    fs::permissions(target, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    TargetFile file;
    ASSERT_EQ(file.Open(target, 0).messageId, 0u);
    ASSERT_TRUE(Put(file, "new"));
    ASSERT_EQ(file.Commit(), 0u);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

TEST(TargetFileTest, MissingDirectoryFailsWith231AndTheSystemCode) {
    TempDir dir;
    TargetFile file;
    for (const std::uint32_t offset : {0u, 10u}) {
        const TargetFile::OpenResult opened = file.Open(dir.File("missing/complist.txt"), offset);
        EXPECT_EQ(opened.messageId, 231u);
#ifdef _WIN32
        EXPECT_EQ(opened.systemCode, 3ul) << "ERROR_PATH_NOT_FOUND";
#else
        EXPECT_EQ(opened.systemCode, static_cast<unsigned long>(ENOENT));
#endif
        EXPECT_FALSE(file.IsOpen());
    }
}

TEST(TargetFileTest, ResumeKeepsTheFirstBytesAndWritesInPlace) {
    TempDir dir;
    const std::string target = dir.File("big.cab");
    WriteFile(target, "0123456789ABCDEF");
    TargetFile file;
    ASSERT_EQ(file.Open(target, 10).messageId, 0u);
    EXPECT_EQ(ReadFile(target), "0123456789") << "the rest is cut before the request";
    ASSERT_TRUE(Put(file, "abc"));
    ASSERT_EQ(file.Commit(), 0u);
    EXPECT_EQ(ReadFile(target), "0123456789abc");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"big.cab"}));
}

TEST(TargetFileTest, ResumeExtendsAShortOrMissingFile) {
    TempDir dir;
    const std::string shortTarget = dir.File("short.bin");
    WriteFile(shortTarget, "abc");
    const std::string missing = dir.File("missing.bin");
    {
        TargetFile file;
        ASSERT_EQ(file.Open(shortTarget, 6).messageId, 0u);
        ASSERT_TRUE(Put(file, "Z"));
        ASSERT_EQ(file.Commit(), 0u);
    }
    EXPECT_EQ(ReadFile(shortTarget), std::string("abc\0\0\0Z", 7));
    {
        TargetFile file;
        ASSERT_EQ(file.Open(missing, 4).messageId, 0u);
        file.Discard();
    }
    EXPECT_EQ(ReadFile(missing), std::string(4, '\0')) << "a discarded resume keeps what it has";
}

TEST(TargetFileTest, ManySmallPiecesArriveWholeAndInOrder) {
    TempDir dir;
    const std::string target = dir.File("component.cab");
    std::string expected;
    TargetFile file;
    ASSERT_EQ(file.Open(target, 0).messageId, 0u);
    // Enough pieces of odd sizes to cross several of the blocks the file collects them into.
    for (int i = 0; i < 3000; ++i) {
        const std::string piece(static_cast<std::size_t>(1 + i % 1024), static_cast<char>('a' + i % 26));
        expected += piece;
        ASSERT_TRUE(Put(file, piece));
    }
    ASSERT_EQ(file.Commit(), 0u);
    EXPECT_EQ(ReadFile(target), expected);
}

TEST(TargetFileTest, DiscardedResumeKeepsThePiecesThatArrived) {
    TempDir dir;
    const std::string target = dir.File("big.cab");
    WriteFile(target, "0123456789");
    TargetFile file;
    ASSERT_EQ(file.Open(target, 4).messageId, 0u);
    ASSERT_TRUE(Put(file, "ab"));
    ASSERT_TRUE(Put(file, "cd"));
    file.Discard();
    EXPECT_EQ(ReadFile(target), "0123abcd") << "a later resume starts after the bytes already received";
}

TEST(TargetFileTest, RestartOfAWholeDownloadEmptiesTheTemporaryFile) {
    TempDir dir;
    const std::string target = dir.File("list.txt");
    TargetFile file;
    ASSERT_EQ(file.Open(target, 0).messageId, 0u);
    ASSERT_TRUE(Put(file, "partial answer"));
    ASSERT_EQ(file.Restart(), 0u);
    ASSERT_TRUE(Put(file, "full"));
    ASSERT_EQ(file.Commit(), 0u);
    EXPECT_EQ(ReadFile(target), "full");
}

TEST(TargetFileTest, RestartOfAResumeLeavesTheResumedFileUntilCommit) {
    TempDir dir;
    const std::string target = dir.File("big.cab");
    WriteFile(target, "0123456789");
    {
        TargetFile file;
        ASSERT_EQ(file.Open(target, 5).messageId, 0u);
        ASSERT_EQ(file.Restart(), 0u);
        ASSERT_TRUE(Put(file, "whole new"));
        file.Discard();
    }
    EXPECT_EQ(ReadFile(target), "01234");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"big.cab"}));
    {
        TargetFile file;
        ASSERT_EQ(file.Open(target, 5).messageId, 0u);
        ASSERT_EQ(file.Restart(), 0u);
        ASSERT_TRUE(Put(file, "whole new"));
        ASSERT_EQ(file.Commit(), 0u);
    }
    EXPECT_EQ(ReadFile(target), "whole new");
}

TEST(TargetFileTest, TargetThatIsADirectoryCannotBeResumed) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    TargetFile file;
    const TargetFile::OpenResult opened = file.Open(dir.File("sub"), 3);
    EXPECT_EQ(opened.messageId, 231u);
#ifdef _WIN32
    EXPECT_EQ(opened.systemCode, 5ul) << "ERROR_ACCESS_DENIED";
#else
    EXPECT_EQ(opened.systemCode, static_cast<unsigned long>(EISDIR));
#endif
}

TEST(TargetFileTest, CommitOverADirectoryFailsAndCleansUp) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    WriteFile(dir.File("sub/keep"), "x");
    TargetFile file;
    ASSERT_EQ(file.Open(dir.File("sub"), 0).messageId, 0u);
    ASSERT_TRUE(Put(file, "data"));
    EXPECT_NE(file.Commit(), 0u);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"sub"}));
    EXPECT_EQ(ReadFile(dir.File("sub/keep")), "x");
}

// What a process that was killed while downloading leaves beside its targets: temporary files. The first
// download into a folder removes those that are a minute old and that nobody holds, whichever target they were
// for; later downloads into the same folder do not read it again.
TEST(TargetFileTest, FirstDownloadIntoAFolderRemovesStaleTemporaryFiles) {
    TempDir dir;
    const std::string target = dir.File("complist.txt");
    WriteFile(target, "previous list");
    namespace fs = std::filesystem;
    const auto twoMinutesAgo = fs::file_time_type::clock::now() - std::chrono::minutes(2);
    const auto leave = [&](const std::string& name, bool old) {
        WriteFile(dir.File(name), "left behind");
        if (old)
            fs::last_write_time(dir.File(name), twoMinutesAgo);
    };
    leave("complist.txt.zarn-dead01", true);
    leave("other.txt.zarn-dead02", true);     // another target's
    leave("complist.txt.zarn-young1", false); // a download that may still be starting
    leave("complist.txt.bak", true);          // not a temporary file at all
    // A download of the same target still running (in this or another process) holds its file.
    zarn::platform::File running;
    std::string held;
    ASSERT_EQ(running.CreateBeside(target, held), 0u);
#ifndef _WIN32
    // On Windows the holder shares its file with nobody: its time cannot be set, nor the file removed.
    fs::last_write_time(held, twoMinutesAgo);
#endif
    held = fs::path(held).filename().string();

    TargetFile first;
    ASSERT_EQ(first.Open(target, 0).messageId, 0u);
    std::vector<std::string> entries = dir.Entries();
    const auto has = [&](const std::string& name) {
        return std::find(entries.begin(), entries.end(), name) != entries.end();
    };
    EXPECT_FALSE(has("complist.txt.zarn-dead01"));
    EXPECT_FALSE(has("other.txt.zarn-dead02"));
    for (const std::string& kept :
         {std::string("complist.txt.zarn-young1"), std::string("complist.txt.bak"), held, std::string("complist.txt")})
        EXPECT_TRUE(has(kept)) << kept;
    EXPECT_EQ(entries.size(), 5u) << "the new download's own temporary file besides the four kept";

    leave("complist.txt.zarn-dead03", true);
    TargetFile second;
    ASSERT_EQ(second.Open(dir.File("next.txt"), 0).messageId, 0u);
    entries = dir.Entries();
    EXPECT_TRUE(has("complist.txt.zarn-dead03")) << "the folder was swept once in this process";
}

// A record that is not exactly the five fields, with counts that fit, is none: its partial download starts over.
TEST(TargetFileTest, PartialRecordReadsBackOnlyWhenWhole) {
    const std::string hash(64, 'a');
    const TargetFile::Record record{{"http://example.com/a.cab", 2000, hash}, "\"v1\"", 800};
    const std::string text = TargetFile::FormatRecord(record);
    const auto read = TargetFile::ParseRecord(text);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->origin, record.origin);
    EXPECT_EQ(read->validator, record.validator);
    EXPECT_EQ(read->held, record.held);
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string changed = text;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    std::string grown = TargetFile::FormatRecord({record.origin, record.validator, 99});
    grown.replace(grown.find("held="), 25, "held=00000000000000000800");
    EXPECT_EQ(grown, text) << "the record keeps its length as the count grows";
    for (const std::string& broken : {std::string(), text.substr(0, text.size() - 1), replaced("00800\n", "02001\n"),
                                      replaced("00800\n", "008x0\n"), replaced("size=2000", "size="),
                                      replaced("validator=", "etag="), replaced("\"v1\"", ""), replaced(hash, "abc"),
                                      text + "held=800\n", text + "extra=1\n", text.substr(0, text.find("held="))}) {
        EXPECT_FALSE(TargetFile::ParseRecord(broken).has_value()) << broken;
    }
}

// The update check's sweep keeps the partial downloads its list still names, as the same file, and no others.
TEST(TargetFileTest, SweepKeepsOnlyThePartialDownloadsTheListNames) {
    TempDir dir;
    const TargetFile::Origin a{"http://example.com/a.cab", 10, std::string(64, 'a')};
    const TargetFile::Origin b{"http://example.com/b.cab", 10, std::string(64, 'b')};
    const auto leave = [&](const std::string& name, const std::optional<TargetFile::Origin>& origin) {
        WriteFile(dir.File(name + ".zarn-partial"), "12345");
        if (origin) {
            WriteFile(dir.File(name + ".zarn-partial.rec"), TargetFile::FormatRecord({*origin, "\"v1\"", 5}));
        }
    };
    leave("a.cab", a);            // named, the same file
    leave("b.cab", a);            // named, but its record is of another file
    leave("c.cab", b);            // no longer named
    leave("d.cab", std::nullopt); // no record
    WriteFile(dir.File("a.cab"), "installed");

    TargetFile::RemoveLeftoversIn(dir.Path().string(), {{"a.cab", a}, {"b.cab", b}, {"d.cab", b}});

    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a.cab", "a.cab.zarn-partial", "a.cab.zarn-partial.rec"}));
}

// A slow transfer shows its progress on disk: collected pieces do not wait for a whole block.
TEST(TargetFileTest, SlowTrickleReachesTheDiskWithinAboutASecond) {
    TempDir dir;
    TargetFile file;
    ASSERT_EQ(file.Open(dir.File("slow.cab"), 0).messageId, 0u);
    ASSERT_EQ(dir.Entries().size(), 1u);
    const std::string temporary = dir.File(dir.Entries().front());
    const auto start = std::chrono::steady_clock::now();
    std::uintmax_t onDisk = 0;
    // 20 bytes every 50 ms; the margin is generous, the point is that the bytes get there at all.
    while (onDisk == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
        ASSERT_TRUE(Put(file, "twenty bytes a piece"));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        onDisk = std::filesystem::file_size(temporary);
    }
    EXPECT_GT(onDisk, 0u) << "nothing written after 5 seconds of trickle";
    EXPECT_EQ(onDisk % 20, 0u) << "whole pieces";
}

} // namespace
} // namespace zarn
