// The Windows window's message loop: the frame's accelerator keys for the frame and its children, and keyboard
// navigation for a modeless dialog, before a message is dispatched.
#pragma once

#include <windows.h>

namespace zarn {

class Win32ShellWindow;

class Win32MessageLoop {
public:
    // The loop over `shell`'s windows, which must outlive it. UI thread.
    explicit Win32MessageLoop(const Win32ShellWindow& shell) : m_shell(shell) {}

    // Runs the thread's messages until WM_QUIT (the main window closed). UI thread.
    void Run();
    // Handles `message` as an accelerator key of the frame or a modeless dialog's navigation; false when it is
    // left to be dispatched. UI thread.
    bool PreTranslate(MSG& message) const;

private:
    const Win32ShellWindow& m_shell;
};

} // namespace zarn
