#include "app/console/ConsoleProgress.h"

#include <gtest/gtest.h>
#include <string>

namespace zarn {
namespace {

TEST(ConsoleProgress, TheLineJoinsTheDialogsTextsAsTheyCome) {
    ConsoleProgress sized("tool.bin", false, false);
    EXPECT_EQ(sized.Line(), "");
    sized.SetProgressRange(0, 100);
    sized.ShowPercentDone(42);
    EXPECT_EQ(sized.Line(), "42% of tool.bin Completed");
    sized.ShowRate(2.5);
    sized.ShowTimeRemaining(125, 1572864, 3145728);
    EXPECT_EQ(sized.Line(), "42% of tool.bin Completed  2 min 5 sec (1.50 MB of 3.00 MB copied)  2.50 KB/Sec");

    // Without a length there is only the rate, under the file's name.
    ConsoleProgress unsized("list.txt", false, false);
    unsized.ShowRate(0.5);
    EXPECT_EQ(unsized.Line(), "list.txt  512 Bytes/Sec");

    std::string user = "kept", password;
    EXPECT_FALSE(unsized.AskCredentials(false, "vendor.test", user, password));
    EXPECT_EQ(user, "kept");
    unsized.TransferEnded(true, "Failed to receive a valid HTTP response from the server, Response Code:401");
    EXPECT_TRUE(unsized.Failed());
    EXPECT_EQ(unsized.FailText(), "Failed to receive a valid HTTP response from the server, Response Code:401");
}

} // namespace
} // namespace zarn
