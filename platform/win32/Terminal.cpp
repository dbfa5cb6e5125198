#include "platform/Terminal.h"

#include "WindowsHeaders.h"

#include <cstdio>
#include <iostream>
#include <optional>

namespace zarn::platform {

namespace {

HANDLE HandleOf(StandardStream stream) {
    switch (stream) {
    case StandardStream::Input:
        return ::GetStdHandle(STD_INPUT_HANDLE);
    case StandardStream::Output:
        return ::GetStdHandle(STD_OUTPUT_HANDLE);
    case StandardStream::Error:
        break;
    }
    return ::GetStdHandle(STD_ERROR_HANDLE);
}

// Switches the echo of the console input off for as long as it lives, when the input is a console.
class EchoOff {
public:
    EchoOff() : m_input(::GetStdHandle(STD_INPUT_HANDLE)) {
        if (m_input == INVALID_HANDLE_VALUE || m_input == nullptr || ::GetConsoleMode(m_input, &m_saved) == 0) {
            return;
        }
        m_active = ::SetConsoleMode(m_input, m_saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
    }
    ~EchoOff() {
        if (m_active) {
            ::SetConsoleMode(m_input, m_saved);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    HANDLE m_input;
    DWORD m_saved = 0;
    bool m_active = false;
};

} // namespace

bool IsTerminal(StandardStream stream) {
    // Only a console answers GetConsoleMode; files, pipes and the null device do not.
    const HANDLE handle = HandleOf(stream);
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode) != 0;
}

int TerminalColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info) == 0) {
        return 0;
    }
    return info.srWindow.Right - info.srWindow.Left + 1;
}

bool EnableCursorMoves() {
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(error, &mode) == 0) {
        return false;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

bool ReadTerminalLine(const std::string& prompt, std::string& line, bool echo) {
    line.clear();
    std::optional<EchoOff> off;
    if (!echo) {
        off.emplace();
    }
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    // A console line ends in CR LF; the stream in text mode may leave the CR.
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return read;
}

} // namespace zarn::platform
