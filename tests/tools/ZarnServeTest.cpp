#include "download/TargetFile.h"
#include "download/TransferEngine.h"
#include "tests/download/RecordingSink.h"
#include "tests/support/ServeProcess.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>

namespace zarn {
namespace {

using test::ReadFile;
using test::ServeProcess;
using test::TempDir;
using test::WriteFile;

class ZarnServeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(root.File("quillornacc/complist"));
        WriteFile(root.File("quillornacc/complist/complist.txt"), "[STARTCOMP]\nname=demo\n[ENDCOMP]\n");
        WriteFile(root.File("component.cab"), "0123456789abcdefghij");
        WriteFile(outside.File("secret.txt"), "outside the root");
        ASSERT_GT(server.Port(), 0);
        settings.accessMode = 1;
        settings.hostName = "127.0.0.1";
        settings.port = static_cast<std::uint16_t>(server.Port());
    }

    void Fetch(const std::string& path, std::uint32_t offset = 0) {
        settings.objectPath = path;
        settings.resumeOffset = offset;
        TargetFile file;
        ASSERT_EQ(file.Open(target, offset).messageId, 0u);
        TransferEngine(settings, file, sink, stop).Run();
    }

    TempDir outside;
    TempDir root;
    TempDir local;
    std::string target = local.File("out.bin");
    ServeProcess server{ZARN_SERVE_PATH, root.Path().string()};
    test::RecordingSink sink;
    std::atomic<bool> stop{false};
    TransferSettings settings;
};

TEST_F(ZarnServeTest, ServesTheVendorListPathWithItsDoubleSlashes) {
    Fetch("//quillornacc//complist//complist.txt");
    EXPECT_FALSE(sink.failed) << sink.failText;
    EXPECT_EQ(ReadFile(target), "[STARTCOMP]\nname=demo\n[ENDCOMP]\n");
}

TEST_F(ZarnServeTest, AnswersARangeWithTheRestOfTheFile) {
    // The local prefix differs from the served one: only a real range answer keeps it.
    WriteFile(target, "XXXXXXXXXX");
    Fetch("/component.cab", 10);
    EXPECT_FALSE(sink.failed) << sink.failText;
    EXPECT_EQ(ReadFile(target), "XXXXXXXXXXabcdefghij");
}

TEST_F(ZarnServeTest, RefusesPathsOutsideTheRootAndDirectories) {
    const std::string escape = "/../" + outside.Path().filename().string() + "/secret.txt";
    for (const std::string& path :
         {escape, std::string("/%2e%2e/") + outside.Path().filename().string() + "/secret.txt",
          std::string("/quillornacc"), std::string("/missing.txt")}) {
        SCOPED_TRACE(path);
        sink.Reset();
        Fetch(path);
        EXPECT_TRUE(sink.failed);
        EXPECT_EQ(sink.failText, "Failed to receive a valid HTTP response from the server, Response Code:404");
        EXPECT_FALSE(std::filesystem::exists(target));
    }
}

} // namespace
} // namespace zarn
