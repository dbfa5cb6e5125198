// The desktop module on Windows (zarn_desktop.dll): the application in the Win32 windows, with the view's Win32
// window as the frame's client area, and the thread's message loop until the main window is closed.
#include "app/DesktopLauncher.h"
#include "app/ZarnApp.h"
#include "app/win32/Win32FrameWindow.h"
#include "app/win32/Win32MessageLoop.h"
#include "app/win32/Win32ShellWindow.h"
#include "app/win32/Win32ViewClient.h"
#include "platform/Library.h"
#include "view/win32/Win32ViewWindow.h"

#include <commctrl.h>
#include <ole2.h>
#include <string>
#include <vector>

namespace zarn {

namespace {

using DpiAwarenessSetter = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);

// Per-monitor scaling where the system has it (Windows 10 1703 and later, and Wine); the manifest asks for the same,
// this covers a launcher started without its manifest. Older systems keep what the manifest gave.
void BecomeDpiAware() {
    // The library loader takes paths in the code page, as the system directory comes here.
    char system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    platform::Library user32;
    if (length == 0 || length >= MAX_PATH || user32.Load(std::string(system, length) + "\\user32.dll") != 0) {
        return;
    }
    const auto setter = reinterpret_cast<DpiAwarenessSetter>(user32.FindFunction("SetProcessDpiAwarenessContext"));
    if (setter != nullptr) {
        setter(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    }
}

// A console program started from Explorer gets a console of its own; the window needs none, so it lets that one go.
// A console shared with the shell that started the launcher stays.
void LeaveOwnConsole() {
    DWORD processes[2] = {};
    if (GetConsoleProcessList(processes, 2) == 1) {
        FreeConsole();
    }
}

int RunDesktop(int argc, char** argv) {
    LeaveOwnConsole();
    BecomeDpiAware();
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                                                         ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                                         ICC_ANIMATE_CLASS};
    if (!InitCommonControlsEx(&classes)) {
        return 1;
    }
    // The design control is an ActiveX control, hosted in place on this thread.
    if (FAILED(OleInitialize(nullptr))) {
        return 1;
    }
    int code = 1;
    {
        Win32ShellWindow shell([](CZarnDoc& document, HWND parent) {
            return std::make_unique<Win32ViewClient<Win32ViewWindow>>(document, parent);
        });
        CZarnApp app(shell);
        const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
        if (app.InitInstance(arguments)) {
            // The user may have closed the main window while the start-up's dialogs ran.
            if (shell.MainWindow() != nullptr && shell.MainWindow()->Handle() != nullptr) {
                Win32MessageLoop(shell).Run();
            }
            code = app.ExitInstance();
        }
    }
    OleUninitialize();
    return code;
}

} // namespace

} // namespace zarn

extern "C" __declspec(dllexport) int ZarnRunDesktopLauncher(int argc, char** argv) {
    return zarn::RunDesktop(argc, argv);
}
