// The download dialog's real Win32 window, driven as a user drives it from another thread (finding the dialogs,
// reading their texts, clicking and closing them) while the dialog downloads from a loopback server; and the
// animation clip resource it plays.
#include "download/win32/Win32DownloadWindow.h"

#include "download/HttpDownloadDlg.h"
#include "download/SignInMemory.h"
#include "res/AnimationClip.h"
#include "tests/download/RawServer.h"
#include "tests/download/Watchdog.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <commctrl.h>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <utility>
#include <windows.h>

using namespace std::chrono_literals;

namespace zarn {
namespace {

using test::RawServer;
using test::ReadFile;
using test::Watchdog;

std::wstring Text(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

// Waits up to ten seconds for `ready`, so that a window that never comes fails the test instead of hanging it.
bool WaitFor(const std::function<bool()>& ready) {
    for (int tries = 0; tries < 1000; ++tries) {
        if (ready())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// The dialog with `caption` once it is shown: its window exists before its texts are set.
HWND FindDialog(const wchar_t* caption) {
    const HWND dialog = FindWindowW(L"#32770", caption);
    return dialog != nullptr && IsWindowVisible(dialog) ? dialog : nullptr;
}

std::string Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

const std::string kAskSite = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"zarn\"\r\n"
                             "Content-Length: 0\r\nConnection: close\r\n\r\n";

std::uint32_t Dword(const unsigned char* at) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

class Win32DownloadWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_owner = CreateWindowW(L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr,
                                nullptr, nullptr);
        ASSERT_NE(m_owner, nullptr) << "no window: is Wine's null display driver set?";
    }
    void TearDown() override {
        if (m_owner != nullptr)
            DestroyWindow(m_owner);
    }

    void Aim(CHttpDownloadDlg& dlg, const RawServer& server, const std::string& name) {
        dlg.m_strSourceUrl = "http://127.0.0.1:" + std::to_string(server.Port()) + "/files/" + name;
        dlg.m_strTargetPath = dir.File(name);
        dlg.m_nAccessMode = 1;
    }

    // Runs `dlg` in `window` on this thread while `user` acts from another; the user's thread ends the dialog
    // through its close box should it not get its way, so that a failing case ends.
    int RunWhile(CHttpDownloadDlg& dlg, Win32DownloadWindow& window, const std::function<void(HWND)>& user) {
        const HWND dialog = window.Handle();
        EXPECT_NE(dialog, nullptr);
        std::thread acting([&] {
            user(dialog);
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        });
        const Watchdog watchdog(60s, "the download dialog's run");
        const int result = dlg.DoModal();
        acting.join();
        return result;
    }

    test::TempDir dir;
    HWND m_owner = nullptr;
};

TEST_F(Win32DownloadWindowTest, ClipResourceHoldsTheSharedFramesAndPlays) {
    const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_DOWNLOAD_CLIP), L"AVI");
    ASSERT_NE(found, nullptr);
    const auto* avi = static_cast<const unsigned char*>(LockResource(LoadResource(nullptr, found)));
    ASSERT_NE(avi, nullptr);
    const std::size_t size = SizeofResource(nullptr, found);
    const std::string riff(reinterpret_cast<const char*>(avi), size);
    const AnimationClip& clip = *FindAnimationClip(IDR_DOWNLOAD_CLIP);
    const ClipShape& shape = clip.Shape();

    // The main header: frame interval, frame count, size.
    const std::size_t avih = riff.find("avih");
    ASSERT_NE(avih, std::string::npos);
    EXPECT_EQ(Dword(avi + avih + 8), static_cast<std::uint32_t>(shape.frameIntervalUs));
    EXPECT_EQ(Dword(avi + avih + 8 + 16), static_cast<std::uint32_t>(shape.frameCount));
    EXPECT_EQ(Dword(avi + avih + 8 + 32), static_cast<std::uint32_t>(shape.width));
    EXPECT_EQ(Dword(avi + avih + 8 + 36), static_cast<std::uint32_t>(shape.height));

    // Every frame as the DIB the control draws: rows bottom-up, blue, green, red.
    const std::size_t row = 3 * static_cast<std::size_t>(shape.width);
    std::size_t at = riff.find("movi");
    ASSERT_NE(at, std::string::npos);
    for (int f = 0; f < shape.frameCount; ++f) {
        at = riff.find("00db", at);
        ASSERT_NE(at, std::string::npos) << "frame " << f;
        ASSERT_EQ(Dword(avi + at + 4), row * static_cast<std::size_t>(shape.height));
        const unsigned char* dib = avi + at + 8;
        const auto frame = clip.Frame(f);
        bool same = true;
        for (int y = 0; y < shape.height && same; ++y) {
            const unsigned char* rgb = frame.data() + static_cast<std::size_t>(y) * row;
            const unsigned char* bgr = dib + static_cast<std::size_t>(shape.height - 1 - y) * row;
            for (std::size_t x = 0; x < row && same; x += 3)
                same = bgr[x] == rgb[x + 2] && bgr[x + 1] == rgb[x + 1] && bgr[x + 2] == rgb[x];
        }
        EXPECT_TRUE(same) << "frame " << f;
        at += 8 + row * static_cast<std::size_t>(shape.height);
    }

    // The system's control opens it and has exactly the clip's frames to play.
    Win32DownloadWindow window(m_owner);
    const HWND animation = GetDlgItem(window.Handle(), IDC_ANIMATION);
    ASSERT_NE(animation, nullptr);
    window.OpenAnimation();
    // A play from a frame to itself shows that frame: the last one is there, and none after it.
    EXPECT_TRUE(SendMessageW(animation, ACM_PLAY, 1, MAKELPARAM(shape.frameCount - 1, shape.frameCount - 1)));
    EXPECT_FALSE(SendMessageW(animation, ACM_PLAY, 1, MAKELPARAM(shape.frameCount, shape.frameCount)));
    window.StartAnimation();
    EXPECT_TRUE(SendMessageW(animation, ACM_STOP, 0, 0));
}

TEST_F(Win32DownloadWindowTest, FixedLabelsShowTheirWholeTextBeforeTheirValues) {
    Win32DownloadWindow window(m_owner);
    ASSERT_NE(window.Handle(), nullptr);
    const auto placeOf = [&](ControlId id) {
        RECT place;
        GetWindowRect(GetDlgItem(window.Handle(), static_cast<int>(id)), &place);
        MapWindowPoints(nullptr, window.Handle(), reinterpret_cast<POINT*>(&place), 2);
        return place;
    };
    for (const auto& [label, value] :
         {std::pair{IDC_TIME_LEFT_LABEL, IDC_TIME_LEFT}, std::pair{IDC_RATE_LABEL, IDC_RATE}}) {
        const HWND item = GetDlgItem(window.Handle(), static_cast<int>(label));
        const std::wstring text = Text(item);
        const HDC context = GetDC(item);
        const HGDIOBJ oldFont = SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(item, WM_GETFONT, 0, 0)));
        SIZE extent{};
        GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &extent);
        SelectObject(context, oldFont);
        ReleaseDC(item, context);
        const RECT labelPlace = placeOf(label);
        EXPECT_GE(labelPlace.right - labelPlace.left, extent.cx) << label;
        EXPECT_LE(labelPlace.right, placeOf(value).left) << label;
    }
}

TEST_F(Win32DownloadWindowTest, StopEscapeAndCloseBoxStopTheTransfer) {
    struct Case {
        const char* name;
        std::function<void(HWND dialog)> stop;
    };
    const Case cases[] = {
        {"Stop", [](HWND dialog) { SendMessageW(GetDlgItem(dialog, IDCANCEL_BUTTON), BM_CLICK, 0, 0); }},
        {"Escape", [](HWND dialog) { PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"close box", [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // 200 kB at 25 kB a second: stopped long before its end.
        RawServer server("HTTP/1.1 200 OK\r\nContent-Length: 204800\r\nConnection: close\r\n\r\n", false,
                         {std::string(512, 's'), 400, 20ms});
        Win32DownloadWindow window(m_owner);
        CHttpDownloadDlg dlg(window);
        window.SetPresenter(&dlg);
        Aim(dlg, server, "slow.bin");
        bool found = false, ownerDisabled = false, aborting = false;
        std::wstring source, caption, timeLeft;
        const int result = RunWhile(dlg, window, [&](HWND dialog) {
            const HWND status = GetDlgItem(dialog, IDC_STATUS_LINE);
            const HWND progress = GetDlgItem(dialog, IDC_PROGRESS);
            if (!WaitFor([&] {
                    return Text(status) == L"Retrieving the file" && !Text(GetDlgItem(dialog, IDC_RATE)).empty() &&
                           SendMessageW(progress, PBM_GETPOS, 0, 0) > 0;
                }))
                return;
            caption = Text(dialog);
            found = FindDialog(caption.c_str()) == dialog;
            ownerDisabled = IsWindowEnabled(m_owner) == FALSE;
            source = Text(GetDlgItem(dialog, IDC_SOURCE_LINE));
            timeLeft = Text(GetDlgItem(dialog, IDC_TIME_LEFT));
            c.stop(dialog);
            aborting = WaitFor([&] { return Text(status) == L"Aborting transfer"; });
        });
        EXPECT_EQ(result, kIdCancel);
        EXPECT_TRUE(found);
        EXPECT_TRUE(ownerDisabled);
        EXPECT_EQ(source, L"slow.bin from 127.0.0.1");
        // The caption follows the progress, which moves on while the test reads it.
        const long percent = std::wcstol(caption.c_str(), nullptr, 10);
        EXPECT_GT(percent, 0);
        EXPECT_EQ(caption, std::to_wstring(percent) + L"% of slow.bin Completed");
        EXPECT_NE(timeLeft.find(L"KB of 200.0 KB copied"), std::wstring::npos) << timeLeft;
        EXPECT_TRUE(aborting);
        EXPECT_TRUE(dlg.ShownFailText().empty());
        // The run is over: the dialog is hidden and its owner takes input again.
        EXPECT_FALSE(IsWindowVisible(window.Handle()));
        EXPECT_TRUE(IsWindowEnabled(m_owner));
    }
}

TEST_F(Win32DownloadWindowTest, CredentialsPromptNamesTheHostAndIsAcceptedOrDeclined) {
    struct Case {
        const char* name;
        bool accept;
        std::function<void(HWND prompt)> answer;
    };
    const Case cases[] = {
        {"OK", true, [](HWND prompt) { SendMessageW(GetDlgItem(prompt, IDOK_BUTTON), BM_CLICK, 0, 0); }},
        {"Cancel", false, [](HWND prompt) { SendMessageW(GetDlgItem(prompt, IDCANCEL_BUTTON), BM_CLICK, 0, 0); }},
        {"Escape", false, [](HWND prompt) { PostMessageW(prompt, WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"close box", false, [](HWND prompt) { PostMessageW(prompt, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SignInMemory::Instance().Forget(); // each case is a run of its own, which asks
        RawServer server([](const std::string& request) {
            return request.find("Authorization: Basic YWRhOmxvdmVsYWNl\r\n") != std::string::npos ? Ok("the plan")
                                                                                                  : kAskSite;
        });
        Win32DownloadWindow window(m_owner);
        CHttpDownloadDlg dlg(window);
        window.SetPresenter(&dlg);
        Aim(dlg, server, "plan.dwg");
        HWND prompt = nullptr;
        bool ownedByDialog = false;
        bool messageShown = false;
        std::wstring question;
        const int result = RunWhile(dlg, window, [&](HWND dialog) {
            if (!WaitFor([&] { return (prompt = FindDialog(L"Enter Network Password")) != nullptr; }))
                return;
            ownedByDialog = GetWindow(prompt, GW_OWNER) == dialog;
            question = Text(GetDlgItem(prompt, IDC_CREDENTIALS_PROMPT));
            SendMessageW(GetDlgItem(prompt, IDC_USER_NAME), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"ada"));
            SendMessageW(GetDlgItem(prompt, IDC_PASSWORD), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"lovelace"));
            c.answer(prompt);
            // The dialog ends on its own once the answer is taken, after the failure's message when declined.
            WaitFor([&] {
                if (const HWND box = FindDialog(L"zarn");
                    box != nullptr && SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0) == 0)
                    messageShown = true;
                return !IsWindow(prompt) && !IsWindowVisible(dialog);
            });
        });
        ASSERT_NE(prompt, nullptr);
        EXPECT_TRUE(ownedByDialog);
        EXPECT_NE(question.find(L"web server 127.0.0.1"), std::wstring::npos);
        EXPECT_EQ(result, c.accept ? kIdOk : kIdCancel);
        EXPECT_EQ(messageShown, !dlg.ShownFailText().empty());
        if (c.accept) {
            EXPECT_EQ(ReadFile(dir.File("plan.dwg")), "the plan");
        }
    }
}

TEST_F(Win32DownloadWindowTest, QuittingEndsTheRunAndLeavesTheQuitToTheApplication) {
    RawServer server("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", false, {std::string(512, 'e'), 100000, 20ms});
    Win32DownloadWindow window(m_owner);
    CHttpDownloadDlg dlg(window);
    window.SetPresenter(&dlg);
    Aim(dlg, server, "endless.bin");
    const DWORD uiThread = GetCurrentThreadId();
    const int result = RunWhile(dlg, window, [&](HWND dialog) {
        if (WaitFor([&] { return Text(GetDlgItem(dialog, IDC_STATUS_LINE)) == L"Retrieving the file"; }))
            PostThreadMessageW(uiThread, WM_QUIT, 3, 0);
        WaitFor([&] { return !IsWindowVisible(dialog); });
    });
    EXPECT_EQ(result, kIdCancel);
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 3u);
}

TEST_F(Win32DownloadWindowTest, CredentialsPromptGrowsForALongQuestion) {
    // What a prompt looks like once shown: its client height, and whether every item lies inside it with the
    // question above all the others.
    struct Shape {
        LONG height = 0;
        bool itemsInside = false;
        bool questionAbove = false;
    };
    const auto askAndMeasure = [&](const std::string& question) {
        Shape shape;
        std::thread acting([&] {
            HWND prompt = nullptr;
            if (!WaitFor([&] { return (prompt = FindDialog(L"Enter Network Password")) != nullptr; }))
                return;
            RECT client;
            GetClientRect(prompt, &client);
            shape.height = client.bottom;
            const auto placeOf = [prompt](HWND item) {
                RECT place;
                GetWindowRect(item, &place);
                MapWindowPoints(nullptr, prompt, reinterpret_cast<POINT*>(&place), 2);
                return place;
            };
            const RECT asked = placeOf(GetDlgItem(prompt, IDC_CREDENTIALS_PROMPT));
            shape.itemsInside = shape.questionAbove = true;
            for (HWND item = GetWindow(prompt, GW_CHILD); item != nullptr; item = GetWindow(item, GW_HWNDNEXT)) {
                const RECT place = placeOf(item);
                shape.itemsInside = shape.itemsInside && place.left >= 0 && place.top >= 0 &&
                                    place.right <= client.right && place.bottom <= client.bottom;
                if (GetDlgCtrlID(item) != IDC_CREDENTIALS_PROMPT)
                    shape.questionAbove = shape.questionAbove && place.top >= asked.bottom;
            }
            PostMessageW(prompt, WM_SYSCOMMAND, SC_CLOSE, 0);
        });
        Win32CredentialsDlg dialog;
        std::string user, password;
        EXPECT_FALSE(dialog.Ask(m_owner, question, user, password));
        acting.join();
        return shape;
    };
    const std::string question = "The web server 127.0.0.1 asks for a user name and password.";
    const Shape fits = askAndMeasure(question);
    const Shape grown = askAndMeasure(question + " " + question + " " + question + " " + question);
    EXPECT_TRUE(fits.itemsInside && fits.questionAbove);
    EXPECT_TRUE(grown.itemsInside && grown.questionAbove);
    EXPECT_GT(grown.height, fits.height);
}

TEST_F(Win32DownloadWindowTest, FailureIsShownInAMessageBoxOwnedByTheDialog) {
    RawServer server("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    Win32DownloadWindow window(m_owner);
    CHttpDownloadDlg dlg(window);
    window.SetPresenter(&dlg);
    Aim(dlg, server, "missing.bin");
    bool ownedByDialog = false;
    std::wstring shownText;
    const int result = RunWhile(dlg, window, [&](HWND dialog) {
        HWND box = nullptr;
        if (!WaitFor([&] { return (box = FindDialog(L"zarn")) != nullptr; }))
            return;
        ownedByDialog = GetWindow(box, GW_OWNER) == dialog;
        shownText = Text(GetDlgItem(box, 0xFFFF));
        SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(result, kIdCancel);
    EXPECT_TRUE(ownedByDialog);
    ASSERT_FALSE(dlg.ShownFailText().empty());
    EXPECT_EQ(shownText, std::wstring(dlg.ShownFailText().begin(), dlg.ShownFailText().end()));
}

} // namespace
} // namespace zarn
