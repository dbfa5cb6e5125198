#include "app/console/ConsoleDownloadWindow.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zarn {
namespace {

TEST(ConsoleDownloadWindow, TheLineJoinsTheDialogsTextsAsTheyCome) {
    ConsoleDownloadWindow sized(false, false, {});
    EXPECT_EQ(sized.Line(), "");
    sized.SetSourceText("tool.bin from vendor.test", "tool.bin");
    sized.SetProgressRange(0, 100);
    sized.SetProgressPos(42);
    sized.SetCaption("42% of tool.bin Completed");
    EXPECT_EQ(sized.Line(), "42% of tool.bin Completed");
    sized.SetRateText("2.50 KB/Sec");
    sized.SetTimeLeftText("2 min 5 sec (1.50 MB of 3.00 MB copied)");
    EXPECT_EQ(sized.Line(), "42% of tool.bin Completed  2 min 5 sec (1.50 MB of 3.00 MB copied)  2.50 KB/Sec");
    // A status line, such as the wait before another attempt, stands in for the figures until the next one comes.
    sized.SetStatusText("Waiting 2 sec to try again (HTTP 503)");
    EXPECT_EQ(sized.Line(), "42% of tool.bin Completed  Waiting 2 sec to try again (HTTP 503)");
    sized.SetRateText("2.00 KB/Sec");
    EXPECT_EQ(sized.Line(), "42% of tool.bin Completed  2 min 5 sec (1.50 MB of 3.00 MB copied)  2.00 KB/Sec");

    // Without a length there is only the rate, under the file's name.
    std::vector<std::string> shown;
    ConsoleDownloadWindow unsized(false, false, [&](const std::string& text) { shown.push_back(text); });
    unsized.SetSourceText("list.txt from vendor.test", "list.txt");
    unsized.SetRateText("512 Bytes/Sec");
    EXPECT_EQ(unsized.Line(), "list.txt  512 Bytes/Sec");

    std::string user = "kept", password;
    EXPECT_FALSE(
        unsized.AskCredentials("The web server vendor.test asks for a user name and password.", user, password));
    EXPECT_EQ(user, "kept");
    unsized.ShowMessage("Failed to receive a valid HTTP response from the server, Response Code:401");
    EXPECT_EQ(shown,
              std::vector<std::string>{"Failed to receive a valid HTTP response from the server, Response Code:401"});
}

} // namespace
} // namespace zarn
