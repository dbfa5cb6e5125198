// The lock keys' state on a session with an X server (Xvfb, the test's own, whose keyboard has no lights the kernel
// knows of), set through the keyboard extension as a user's key presses set it.
#include "platform/LockKeys.h"

#include "platform/posix/DisplayLockKeys.h"
#include "tests/support/ScopedEnv.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// After every other header: Xlib's macros (None, Bool, ...) clash with names in them.
// clang-format off
#include <X11/XKBlib.h>
#include <X11/keysym.h>
// clang-format on

extern char** environ;

namespace zarn::platform {
namespace {

// Xvfb on a display number it picks itself, ended when the object goes. Display() is empty when it did not start.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp"};
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        // Xvfb writes its display number once it accepts connections; an end of file means it gave up.
        std::string number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (!number.empty())
            m_display = ":" + number;
    }
    ~VirtualDisplay() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    const std::string& Display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

TEST(LockKeys, TheDisplayServersIndicatorsFollowTheLockedModifiers) {
    VirtualDisplay server;
    if (server.Display().empty())
        GTEST_SKIP() << "no Xvfb to start (scripts/setup installs the package xvfb)";
    // Set before the first question: the session's display is looked up once.
    const test::ScopedEnv display("DISPLAY", server.Display());
    ::Display* keyboard = ::XkbOpenDisplay(server.Display().c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(keyboard, nullptr);
    const unsigned numLock = ::XkbKeysymToModifiers(keyboard, XK_Num_Lock);
    ASSERT_NE(numLock, 0u);

    struct Step {
        unsigned affect;
        unsigned values;
        bool caps;
        bool num;
    };
    const Step steps[] = {
        {0, 0, false, false},
        {LockMask, LockMask, true, false},
        {numLock, numLock, true, true},
        {LockMask, 0, false, true},
    };
    for (const Step& step : steps) {
        if (step.affect != 0) {
            ASSERT_EQ(::XkbLockModifiers(keyboard, XkbUseCoreKbd, step.affect, step.values), True);
            // Processed by the server before the other connection asks.
            ::XSync(keyboard, False);
        }
        const LockKeyState state = QueryLockKeys();
        EXPECT_EQ(state.capsLock, step.caps) << "after locking " << step.affect << " to " << step.values;
        EXPECT_EQ(state.numLock, step.num) << "after locking " << step.affect << " to " << step.values;
        EXPECT_FALSE(state.scrollLock);
    }
    ::XCloseDisplay(keyboard);
}

TEST(DisplayLockKeys, ADisplayThatDoesNotAnswerTellsNothing) {
    // No server listens on this display number's socket.
    DisplayLockKeys keys(":4095");
    EXPECT_FALSE(keys.Query().has_value());
}

} // namespace
} // namespace zarn::platform
