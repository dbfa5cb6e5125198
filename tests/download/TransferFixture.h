// The transfer tests' common ground: a target in a folder of its own, a recording sink, settings for a
// direct connection to 127.0.0.1, and one whole transfer run as the dialog runs it.
#pragma once

#include "download/SignInMemory.h"
#include "download/TargetFile.h"
#include "download/TransferEngine.h"
#include "tests/download/RecordingSink.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zarn::test {

class TransferFixture : public ::testing::Test {
protected:
    void SetUp() override {
        settings.accessMode = 1;
        settings.hostName = "127.0.0.1";
        // Failures that are tried again wait a thousandth of the real time.
        settings.retryDelayScale = 0.001;
        // Each case is a run of its own: nobody has signed in or declined yet.
        SignInMemory::Instance().Forget();
    }

    // Opens the target as the dialog does and runs the whole transfer on this thread.
    void Run(std::uint64_t offset = 0) {
        settings.resumeOffset = offset;
        TargetFile file;
        ASSERT_EQ(file.Open(target, offset, origin ? &*origin : nullptr).messageId, 0u);
        TransferEngine(settings, file, sink, stop).Run();
        // A kept connection would hold the test's server on its keep-alive wait when it stops.
        if (!keepConnections) {
            TransferEngine::CloseIdleConnections();
        }
        EXPECT_FALSE(file.IsOpen());
    }

    void ExpectSuccess() {
        EXPECT_EQ(sink.endCount, 1);
        EXPECT_FALSE(sink.failed) << sink.failText;
        EXPECT_EQ(sink.events.back(), "ended");
    }
    void ExpectFailure(const std::string& text) {
        EXPECT_EQ(sink.endCount, 1);
        EXPECT_TRUE(sink.failed);
        EXPECT_EQ(sink.failText, text);
    }
    // The previous target is exactly as it was and nothing else was left beside it.
    void ExpectPreviousTarget() {
        EXPECT_EQ(ReadFile(target), "previous content");
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"target.bin"}));
    }

    // Asks the running transfer to stop after `ms` milliseconds (never when `ms` is 0); join the thread after Run.
    std::thread StopAfter(int ms) {
        return std::thread([this, ms] {
            if (ms > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                stop = true;
            }
        });
    }

    TempDir dir;
    std::string target = dir.File("target.bin");
    RecordingSink sink;
    std::atomic<bool> stop{false};
    TransferSettings settings;
    bool keepConnections = false;
    // Set: the target is a component's, whose partial download is kept.
    std::optional<TargetFile::Origin> origin;
};

} // namespace zarn::test
