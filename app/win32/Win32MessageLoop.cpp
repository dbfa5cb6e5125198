#include "app/win32/Win32MessageLoop.h"

#include "app/win32/Win32FrameWindow.h"
#include "app/win32/Win32ShellWindow.h"

#include <string>

namespace zarn {

namespace {

bool IsDialog(HWND window) {
    wchar_t name[16] = {};
    return window != nullptr && GetClassNameW(window, name, 16) > 0 && std::wstring(name) == L"#32770";
}

} // namespace

void Win32MessageLoop::Run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!PreTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

bool Win32MessageLoop::PreTranslate(MSG& message) const {
    const Win32FrameWindow* frame = m_shell.MainWindow();
    const HWND frameWindow = frame != nullptr ? frame->Handle() : nullptr;
    // Only keys typed in the frame or its view: a modeless dialog's keys stay its own.
    if (frameWindow != nullptr && frame->Accelerators() != nullptr &&
        (message.hwnd == frameWindow || IsChild(frameWindow, message.hwnd)) &&
        TranslateAcceleratorW(frameWindow, frame->Accelerators(), &message)) {
        return true;
    }
    const HWND active = GetActiveWindow();
    return IsDialog(active) && IsDialogMessageW(active, &message);
}

} // namespace zarn
