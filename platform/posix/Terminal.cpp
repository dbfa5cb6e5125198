#include "platform/Terminal.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string_view>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace zarn::platform {

namespace {

int DescriptorOf(StandardStream stream) {
    switch (stream) {
    case StandardStream::Input:
        return STDIN_FILENO;
    case StandardStream::Output:
        return STDOUT_FILENO;
    case StandardStream::Error:
        break;
    }
    return STDERR_FILENO;
}

// Switches the echo of standard input off for as long as it lives, when it is a terminal.
class EchoOff {
public:
    // TCSADRAIN rather than TCSAFLUSH: a line typed ahead of the prompt is read, not thrown away.
    EchoOff() {
        if (::tcgetattr(STDIN_FILENO, &m_saved) != 0) {
            return;
        }
        termios quiet = m_saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        m_active = ::tcsetattr(STDIN_FILENO, TCSADRAIN, &quiet) == 0;
    }
    ~EchoOff() {
        if (m_active) {
            static_cast<void>(::tcsetattr(STDIN_FILENO, TCSADRAIN, &m_saved));
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios m_saved{};
    bool m_active = false;
};

} // namespace

bool IsTerminal(StandardStream stream) {
    return ::isatty(DescriptorOf(stream)) == 1;
}

int TerminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

bool EnableCursorMoves() {
    // Every terminal emulator in use speaks VT100; a "dumb" one says so.
    const char* term = std::getenv("TERM");
    return ::isatty(STDERR_FILENO) == 1 && term != nullptr && std::string_view(term) != "dumb";
}

bool ReadTerminalLine(const std::string& prompt, std::string& line, bool echo) {
    line.clear();
    std::optional<EchoOff> off;
    if (!echo) {
        off.emplace();
    }
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    return static_cast<bool>(std::getline(std::cin, line));
}

} // namespace zarn::platform
