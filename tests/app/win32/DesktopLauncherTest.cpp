// QuillornaCC.exe as a Windows user starts it, in an application directory with its desktop module: without
// switches it opens the window (driven from here across processes, as a user would), and a console switch still
// writes to the console's output that started it.
#include "tests/support/TempAppDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace zarn {
namespace {

constexpr DWORD kWaitMs = 30000;

std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// A running launcher, ended at the end of the test whatever happened.
class Launcher {
public:
    Launcher(const std::filesystem::path& exe, const std::wstring& arguments, HANDLE output = nullptr) {
        std::wstring line = L"\"" + exe.wstring() + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (output != nullptr) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = output;
            startup.hStdError = output;
        }
        m_started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, output != nullptr, 0, nullptr,
                                   exe.parent_path().wstring().c_str(), &startup, &m_process) != FALSE;
    }
    ~Launcher() {
        if (m_started) {
            if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(m_process.hProcess, 99);
            }
            CloseHandle(m_process.hThread);
            CloseHandle(m_process.hProcess);
        }
    }
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    bool Started() const { return m_started; }
    // The exit code once the launcher has ended within the wait; -1 when it is still running.
    long ExitCode() const {
        DWORD code = 0;
        if (WaitForSingleObject(m_process.hProcess, kWaitMs) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(m_process.hProcess, &code)) {
            return -1;
        }
        return static_cast<long>(code);
    }

    // The launcher's visible top-level window of class `className` and caption `caption`, once it appears; null
    // when none does within the wait.
    HWND WaitForWindow(const wchar_t* className, const std::wstring& caption) const {
        struct Search {
            DWORD process;
            const wchar_t* className;
            const std::wstring* caption;
            HWND found;
        } search{m_process.dwProcessId, className, &caption, nullptr};
        const auto match = [](HWND window, LPARAM data) -> BOOL {
            auto& wanted = *reinterpret_cast<Search*>(data);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (process == wanted.process && IsWindowVisible(window) && std::wstring(name) == wanted.className &&
                WindowText(window) == *wanted.caption) {
                wanted.found = window;
                return FALSE;
            }
            return TRUE;
        };
        for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
            EnumWindows(match, reinterpret_cast<LPARAM>(&search));
            if (search.found != nullptr) {
                return search.found;
            }
            Sleep(50);
        }
        return nullptr;
    }

private:
    bool m_started = false;
    PROCESS_INFORMATION m_process{};
};

// Waits until `window` is gone; false when it stays.
bool WaitGone(HWND window) {
    for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
        if (!IsWindow(window) || !IsWindowVisible(window)) {
            return true;
        }
        Sleep(50);
    }
    return false;
}

void Click(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

class DesktopLauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : {"complist", "temp"}) {
            std::filesystem::create_directory(m_dir.Path(folder));
        }
        for (const char* file : {ZARN_LAUNCHER_EXE, ZARN_DESKTOP_DLL}) {
            const std::filesystem::path from(file);
            std::filesystem::copy_file(from, m_dir.Path(from.filename().string()));
        }
    }

    std::filesystem::path Exe() const {
        return m_dir.Path(std::filesystem::path(ZARN_LAUNCHER_EXE).filename().string());
    }

    test::TempAppDir m_dir;
};

TEST_F(DesktopLauncherTest, WithoutSwitchesOpensTheWindowAndEndsWhenItIsClosed) {
    Launcher launcher(Exe(), L"--server http://127.0.0.1:9");
    ASSERT_TRUE(launcher.Started());
    // No list: the box says so, the check's failed download and start dialog and then the start-up's own follow.
    const HWND box = launcher.WaitForWindow(L"#32770", L"zarn");
    ASSERT_NE(box, nullptr) << "no message box; is Wine's display driver set?";
    Click(box, IDOK);
    ASSERT_TRUE(WaitGone(box));
    // The check's list download finds no server: the download dialog's message box.
    const HWND failure = launcher.WaitForWindow(L"#32770", L"zarn");
    ASSERT_NE(failure, nullptr) << "no message of the failed download";
    Click(failure, IDOK);
    ASSERT_TRUE(WaitGone(failure));
    for (int offer = 0; offer < 2; ++offer) {
        const HWND start = launcher.WaitForWindow(L"#32770", L"Start Quillorna");
        ASSERT_NE(start, nullptr) << offer;
        Click(start, IDOK);
        ASSERT_TRUE(WaitGone(start));
    }
    const HWND frame =
        launcher.WaitForWindow(L"QuillornaMainFrame", L"Quillorna by www.ostrevant.com [www.quillorna.com]");
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(IsZoomed(frame));
    EXPECT_NE(GetMenu(frame), nullptr);
    // The window class carries the executable's own icon.
    EXPECT_NE(reinterpret_cast<HICON>(GetClassLongPtrW(frame, GCLP_HICON)),
              LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION)));
    PostMessageW(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(launcher.ExitCode(), 0);
}

TEST_F(DesktopLauncherTest, ConsoleSwitchWritesToTheOutputItWasGiven) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    ASSERT_TRUE(CreatePipe(&reader, &writer, &inherit, 0));
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    std::string output;
    {
        Launcher launcher(Exe(), L"--version", writer);
        CloseHandle(writer);
        ASSERT_TRUE(launcher.Started());
        char buffer[256];
        DWORD read = 0;
        while (ReadFile(reader, buffer, sizeof buffer, &read, nullptr) && read > 0) {
            output.append(buffer, read);
        }
        EXPECT_EQ(launcher.ExitCode(), 0);
    }
    CloseHandle(reader);
    EXPECT_EQ(output.rfind("QuillornaCC " ZARN_VERSION, 0), 0u) << output;
}

} // namespace
} // namespace zarn
