// A download of a file URL: the file read from a folder through the same engine, checks and target as a body from
// the network. The URLs are made from real folders, so the same cases run on Windows with its drive paths.
#include "download/FileTransfer.h"

#include "platform/FileSystem.h"
#include "platform/Signature.h"
#include "tests/download/TransferFixture.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>

namespace zarn {
namespace {

using test::ReadFile;
using test::WriteFile;

class FileTransferTest : public test::TransferFixture {
protected:
    // Points the settings at `name` in the repository folder as its file URL, escapes and all.
    void Point(const std::string& name) {
        UrlParts parts;
        ASSERT_TRUE(SplitUrl(platform::FileUrlOfPath(repo.File(name)), parts)) << repo.File(name);
        settings = TransferSettings::ForUrl(parts);
        settings.retryDelayScale = 0.001;
        ASSERT_TRUE(settings.localFile);
    }

    // One transfer into the target with a sink of its own; the sink it reported to.
    std::unique_ptr<test::RecordingSink> RunOnce() {
        auto caseSink = std::make_unique<test::RecordingSink>();
        TargetFile file;
        EXPECT_EQ(file.Open(target, 0).messageId, 0u);
        TransferEngine(settings, file, *caseSink, stop).Run();
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(caseSink->endCount, 1);
        return caseSink;
    }

    test::TempDir repo;
};

std::string Sha256Of(const std::string& bytes) {
    platform::Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.FinishHex();
}

// A file of several pieces, under a name with a blank and a "%", reaches the target whole and shows its progress as
// a body does; the listed size and SHA-256 are checked as for a body from a server.
TEST_F(FileTransferTest, FileIsReadWholeAndCheckedAgainstTheList) {
    std::string body(200 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i * 13 % 251);
    }
    WriteFile(repo.File("a b%41.cab"), body);
    const std::string good = Sha256Of(body);
    std::string bad = good;
    bad[0] = bad[0] == '0' ? '1' : '0';
    const std::string n = std::to_string(body.size());
    struct Case {
        std::optional<std::uint64_t> size;
        std::string sha256;
        std::string failText; // empty: kept
    };
    for (const Case& c : {
             Case{std::nullopt, "", ""},
             Case{body.size(), good, ""},
             Case{body.size(), bad,
                  "The file does not match the component list and was not kept: expected " + n + " bytes, SHA-256 " +
                      bad + ", received " + n + " bytes, SHA-256 " + good},
             Case{body.size() - 1, good,
                  "The file is larger than the component list says (" + std::to_string(body.size() - 1) +
                      " bytes); the download was stopped and not kept"},
         }) {
        SCOPED_TRACE(c.failText);
        WriteFile(target, "previous content");
        Point("a b%41.cab");
        settings.expectedSize = c.size;
        settings.expectedSha256 = c.sha256;
        const auto caseSink = RunOnce();
        EXPECT_EQ(caseSink->failText, c.failText);
        EXPECT_EQ(caseSink->failed, !c.failText.empty());
        if (c.failText.empty()) {
            EXPECT_EQ(ReadFile(target), body);
            ASSERT_FALSE(caseSink->percents.empty());
            EXPECT_EQ(caseSink->percents.back(), 100);
        } else {
            ExpectPreviousTarget();
        }
    }
    // The list's own path doubles its separators; they name the same file.
    const std::optional<TransferSettings> doubled =
        TransferSettings{}.ForSource(platform::FileUrlOfPath(repo.Path().string()) + "//a b%2541.cab");
    ASSERT_TRUE(doubled);
    settings = *doubled;
    EXPECT_EQ(RunOnce()->failText, "");
    EXPECT_EQ(ReadFile(target), body);
}

// A name that is no file of the folder fails with message 210 and the system's number for a missing file (the same on
// both systems); a malformed escape names no file at all.
TEST_F(FileTransferTest, MissingFileOrFolderFailsWith210AndKeepsThePreviousTarget) {
    std::filesystem::create_directory(repo.Path() / "folder");
    for (const char* name : {"missing.cab", "folder"}) {
        SCOPED_TRACE(name);
        WriteFile(target, "previous content");
        Point(name);
        const auto caseSink = RunOnce();
        EXPECT_TRUE(caseSink->failed);
        EXPECT_EQ(caseSink->failText, "An error occurred while attempting to download the file, Error:2");
        ExpectPreviousTarget();
    }
    for (const char* path : {"/a%2", "/a%zz", "/a%00b"}) {
        EXPECT_EQ(FileTransfer::LocalPathOf("", path), std::nullopt) << path;
    }
}

// Mirrors: a server that cannot be reached, or that serves a file other than the listed one, is followed by the next
// one, and the download ends as that one's does; a file the server does not have (here: missing from a folder) is no
// server's failure, and no mirror is asked. The notes say which server came next.
TEST_F(FileTransferTest, NextServerIsAskedOnlyWhenTheServerFailed) {
    const std::string body = "the listed file";
    WriteFile(repo.File("good.bin"), body);
    WriteFile(repo.File("forged.bin"), "the forged file");
    const std::string good = platform::FileUrlOfPath(repo.File("good.bin"));
    struct Case {
        std::string first;
        bool nextAsked;
    };
    for (const Case& c : {
             Case{platform::FileUrlOfPath(repo.File("forged.bin")), true},
             Case{"http://127.0.0.1:1/good.bin", true},
             Case{platform::FileUrlOfPath(repo.File("missing.bin")), false},
         }) {
        SCOPED_TRACE(c.first);
        WriteFile(target, "previous content");
        const std::optional<TransferSettings> first = TransferSettings{}.ForSource(c.first);
        ASSERT_TRUE(first);
        settings = *first;
        settings.accessMode = 1;
        settings.retryDelayScale = 0.001;
        settings.expectedSize = body.size();
        settings.expectedSha256 = Sha256Of(body);
        settings.alternateUrls = {"no url at all://", good};
        const auto caseSink = RunOnce();
        EXPECT_EQ(caseSink->failed, !c.nextAsked) << caseSink->failText;
        EXPECT_EQ(ReadFile(target), c.nextAsked ? body : "previous content");
        ASSERT_FALSE(caseSink->notes.empty());
        EXPECT_EQ(caseSink->notes.back().ends_with("; the next server: " + good), c.nextAsked)
            << caseSink->notes.back();
    }
}

} // namespace
} // namespace zarn
