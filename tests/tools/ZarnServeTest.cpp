#include "download/TargetFile.h"
#include "download/TransferEngine.h"
#include "tests/download/RecordingSink.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zarn {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// zarn-serve started as a process on a free port, ended with SIGTERM at the end of the test.
class ServeProcess {
public:
    explicit ServeProcess(const std::string& root) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> args = {ZARN_SERVE_PATH, "--root", root};
        std::vector<char*> argv;
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, ZARN_SERVE_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        // The first line of its output is the port.
        std::string line;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        ::close(fds[0]);
        m_port = line.empty() ? 0 : std::stoi(line);
    }
    ~ServeProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    ServeProcess(const ServeProcess&) = delete;
    ServeProcess& operator=(const ServeProcess&) = delete;

    int Port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

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
    ServeProcess server{(root.Path()).string()};
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
