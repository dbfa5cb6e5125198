// The Windows front end's windows as a user meets them, made for real in the test process under Wine's null
// display driver and driven with messages: the main frame's menu, keys, status bar and view; the start dialog; the
// about box; and the start-up through the real application object.
#include "app/AboutDlg.h"
#include "app/FrameView.h"
#include "app/MainFrame.h"
#include "app/StartDlg.h"
#include "app/ZarnApp.h"
#include "app/win32/Win32FrameWindow.h"
#include "app/win32/Win32MessageLoop.h"
#include "app/win32/Win32ShellWindow.h"
#include "app/win32/Win32ViewClient.h"
#include "components/ZarnDoc.h"
#include "res/DialogResult.h"
#include "res/DialogTable.h"
#include "res/MenuTable.h"
#include "res/win32/WideText.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempAppDir.h"
#include "view/win32/Win32ViewWindow.h"

#include <algorithm>
#include <commctrl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zarn {
namespace {

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring MenuText(HMENU menu, UINT position) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
    return text;
}

std::wstring PaneText(HWND statusBar, int part) {
    wchar_t text[256] = {};
    SendMessageW(statusBar, SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text));
    return text;
}

// Clicks button `id` of `dialog` as the user's mouse would, once the dialog's loop runs again.
void Click(HWND dialog, int id) {
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Answers the modal windows (dialogs and message boxes) that come up on this thread, one scripted step per window
// in order, from a thread timer that their own message loops run. A window the script does not expect, or a script
// that runs out of time, ends every modal loop with WM_QUIT: the test then fails instead of hanging.
class DialogScript {
public:
    using Step = std::function<void(HWND)>;

    DialogScript() {
        s_current = this;
        m_timer = SetTimer(nullptr, 0, 10, &DialogScript::Tick);
        m_deadline = GetTickCount64() + 20000;
    }
    ~DialogScript() {
        KillTimer(nullptr, m_timer);
        s_current = nullptr;
        // A quit left behind by a failed run must not end the next case's loops.
        MSG message;
        while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    // The next window must have caption `caption`; `step` answers it.
    void Then(std::wstring caption, Step step) { m_steps.push_back({std::move(caption), std::move(step)}); }
    // Windows with caption `caption` may come between the steps; they end by themselves and are left alone.
    void Allow(std::wstring caption) { m_allowed.push_back(std::move(caption)); }
    bool Done() const { return m_next == m_steps.size(); }

    std::vector<std::wstring> m_unexpected;
    bool m_timedOut = false;

private:
    struct Entry {
        std::wstring caption;
        Step step;
    };

    static BOOL CALLBACK FindModal(HWND window, LPARAM found) {
        wchar_t name[16] = {};
        GetClassNameW(window, name, 16);
        // The modal window on top is the one still enabled; its owners are disabled.
        if (std::wstring(name) == L"#32770" && IsWindowVisible(window) && IsWindowEnabled(window)) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
        if (s_current != nullptr && !s_current->m_busy) {
            s_current->m_busy = true;
            s_current->OnTick();
            s_current->m_busy = false;
        }
    }

    void OnTick() {
        if (GetTickCount64() > m_deadline) {
            m_timedOut = true;
            PostQuitMessage(1);
            return;
        }
        HWND modal = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), &DialogScript::FindModal, reinterpret_cast<LPARAM>(&modal));
        if (modal == nullptr || GetPropW(modal, L"answered") != nullptr) {
            return;
        }
        SetPropW(modal, L"answered", reinterpret_cast<HANDLE>(1));
        const std::wstring caption = WindowText(modal);
        if (std::find(m_allowed.begin(), m_allowed.end(), caption) != m_allowed.end()) {
            return;
        }
        if (Done() || m_steps[m_next].caption != caption) {
            // A message box's text says what went wrong.
            m_unexpected.push_back(caption + L" " + WindowText(GetDlgItem(modal, 0xFFFF)));
            PostQuitMessage(1);
            return;
        }
        m_steps[m_next++].step(modal);
    }

    static inline DialogScript* s_current = nullptr;
    UINT_PTR m_timer = 0;
    ULONGLONG m_deadline = 0;
    std::vector<Entry> m_steps;
    std::vector<std::wstring> m_allowed;
    std::size_t m_next = 0;
    bool m_busy = false;
};

// A view of the test's own in the frame's client area: a plain child window that records what it is told.
class TestClient : public Win32FrameClient, public FrameView {
public:
    explicit TestClient(HWND parent)
        : m_window(CreateWindowExW(0, L"Static", L"view", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent, nullptr,
                                   GetModuleHandleW(nullptr), nullptr)) {}
    ~TestClient() override { DestroyWindow(m_window); }

    FrameView& View() override { return *this; }
    HWND Handle() const override { return m_window; }
    void Move(int x, int y, int width, int height) override {
        MoveWindow(m_window, x, y, width, height, TRUE);
        m_placed = {x, y, x + width, y + height};
    }
    void FillComponentList() override { m_calls.push_back("fill"); }
    void ShowDesignControl() override { m_calls.push_back("show"); }
    void HideDesignControl() override { m_calls.push_back("hide"); }
    void OnUpdate() override { m_calls.push_back("update"); }
    void OnDesign() override { m_calls.push_back("design"); }
    void OnFilePrint() override { m_calls.push_back("print"); }

    HWND m_window;
    RECT m_placed{};
    std::vector<std::string> m_calls;
};

class Win32ShellTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                           ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
        ASSERT_TRUE(InitCommonControlsEx(&classes));
    }

    Win32ShellWindow m_shell{[this](CZarnDoc&, HWND parent) {
        auto client = std::make_unique<TestClient>(parent);
        m_client = client.get();
        return client;
    }};
    TestClient* m_client = nullptr;
};

TEST_F(Win32ShellTest, FrameBuildsItsMenuKeysAndStatusBarAndForwardsCommandsAndPrompts) {
    CMainFrame frame(m_shell, nullptr);
    Win32FrameWindow* window = m_shell.MainWindow();
    ASSERT_NE(window, nullptr);
    const HWND handle = window->Handle();
    ASSERT_NE(handle, nullptr) << "no frame window; is Wine's display driver set?";
    CZarnDoc document("C:\\");
    frame.CreateView(document);
    ASSERT_NE(m_client, nullptr);
    EXPECT_EQ(GetParent(m_client->m_window), handle);
    frame.ActivateFrame();

    EXPECT_EQ(WindowText(handle), WideFromUtf8(CMainFrame::Caption()));
    EXPECT_NE(GetWindowLongPtrW(handle, GWL_STYLE) & WS_CLIPCHILDREN, 0);
    EXPECT_TRUE(IsZoomed(handle));
    // The frame hands the keyboard to its view.
    SetFocus(handle);
    EXPECT_EQ(GetFocus(), m_client->m_window);

    // The bar: "&Design" on it, then the popups with their answered commands.
    const HMENU bar = GetMenu(handle);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 3);
    EXPECT_EQ(MenuText(bar, 0), L"&Design");
    EXPECT_EQ(GetMenuItemID(bar, 0), UINT{ID_DESIGN});
    EXPECT_EQ(MenuText(bar, 1), L"&Settings");
    EXPECT_EQ(MenuText(bar, 2), L"&Help");
    const HMENU settings = GetSubMenu(bar, 1);
    EXPECT_EQ(GetMenuItemID(settings, 0), UINT{ID_VIEW_STATUS_BAR});
    EXPECT_EQ(GetMenuState(settings, ID_VIEW_STATUS_BAR, MF_BYCOMMAND) & MF_CHECKED, UINT{MF_CHECKED});
    EXPECT_EQ(GetMenuItemID(GetSubMenu(bar, 2), 0), UINT{ID_APP_ABOUT});

    // The keys: every one of the table with Control, as virtual keys.
    ACCEL keys[8] = {};
    const int count = CopyAcceleratorTableW(window->Accelerators(), keys, 8);
    ASSERT_EQ(count, static_cast<int>(MainAccelerators().size()));
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(keys[i].cmd, MainAccelerators()[i].command);
        EXPECT_EQ(keys[i].key, static_cast<WORD>(MainAccelerators()[i].key));
        EXPECT_EQ(keys[i].fVirt, FVIRTKEY | FCONTROL);
    }

    // The status bar: the message pane and three indicators, the message pane the widest.
    const HWND status = window->StatusBar();
    ASSERT_NE(status, nullptr);
    int edges[8] = {};
    ASSERT_EQ(SendMessageW(status, SB_GETPARTS, 8, reinterpret_cast<LPARAM>(edges)), 4);
    RECT client{};
    GetClientRect(handle, &client);
    EXPECT_GT(edges[0], client.right / 2);
    EXPECT_EQ(PaneText(status, 0), L"Ready");

    BYTE keyboard[256] = {};
    ASSERT_TRUE(GetKeyboardState(keyboard));
    // Control+P typed in the view prints through the frame's accelerator table; P alone is the view's.
    keyboard[VK_CONTROL] = 0;
    ASSERT_TRUE(SetKeyboardState(keyboard));
    const Win32MessageLoop loop(m_shell);
    MSG key{m_client->m_window, WM_KEYDOWN, 'P', 0, 0, {}};
    EXPECT_FALSE(loop.PreTranslate(key));
    keyboard[VK_CONTROL] = 0x80;
    ASSERT_TRUE(SetKeyboardState(keyboard));
    EXPECT_TRUE(loop.PreTranslate(key));
    EXPECT_EQ(m_client->m_calls, std::vector<std::string>{"print"});
    keyboard[VK_CONTROL] = 0;

    // The indicator timer shows the lock keys that are on, each in its own pane.
    keyboard[VK_CAPITAL] = 1;
    keyboard[VK_NUMLOCK] = 0;
    keyboard[VK_SCROLL] = 1;
    ASSERT_TRUE(SetKeyboardState(keyboard));
    SendMessageW(handle, WM_TIMER, 1, 0);
    EXPECT_EQ(PaneText(status, 1), L"CAP");
    EXPECT_EQ(PaneText(status, 2), L"");
    EXPECT_EQ(PaneText(status, 3), L"SCRL");

    // A highlighted item shows its prompt; a closed menu the idle text again.
    SendMessageW(handle, WM_MENUSELECT, MAKEWPARAM(ID_VIEW_STATUS_BAR, MF_STRING), reinterpret_cast<LPARAM>(settings));
    EXPECT_EQ(PaneText(status, 0), L"Show or hide the status bar");
    SendMessageW(handle, WM_MENUSELECT, MAKEWPARAM(1, MF_POPUP), reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ(PaneText(status, 0), L"Ready");

    // The view fills the room between the menu and the status bar.
    RECT bar_rect{};
    GetWindowRect(status, &bar_rect);
    EXPECT_EQ(m_client->m_placed.right, client.right);
    EXPECT_EQ(m_client->m_placed.bottom, client.bottom - (bar_rect.bottom - bar_rect.top));

    // "&Design" goes to the view; the status bar's item hides the bar, unchecks itself and gives the view its room.
    SendMessageW(handle, WM_COMMAND, MAKEWPARAM(ID_DESIGN, 0), 0);
    EXPECT_EQ(m_client->m_calls, (std::vector<std::string>{"print", "design"}));
    SendMessageW(handle, WM_COMMAND, MAKEWPARAM(ID_VIEW_STATUS_BAR, 0), 0);
    EXPECT_FALSE(IsWindowVisible(status));
    EXPECT_EQ(GetMenuState(settings, ID_VIEW_STATUS_BAR, MF_BYCOMMAND) & MF_CHECKED, 0u);
    EXPECT_EQ(m_client->m_placed.bottom, client.bottom);
}

TEST_F(Win32ShellTest, StartDialogEndsWithEachOfItsWaysOut) {
    const std::wstring caption = L"Start Quillorna";
    struct Case {
        const char* name;
        std::function<void(HWND)> answer;
        int result;
    };
    const Case cases[] = {
        {"Start Designing", [](HWND dialog) { Click(dialog, IDOK_BUTTON); }, kIdOk},
        {"update button", [](HWND dialog) { Click(dialog, IDC_UPDATE); }, kIdCancel},
        {"Escape", [](HWND) { PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); }, kIdCancel},
        {"close box", [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }, kIdCancel},
    };
    for (const Case& entry : cases) {
        SCOPED_TRACE(entry.name);
        // A greyed update button cannot be clicked; every other way out works whether it is greyed or not.
        const bool update = entry.result == kIdCancel && std::string(entry.name) == "update button";
        for (const int allowUpdate : update ? std::vector{1} : std::vector{1, 0}) {
            CStartDlg dialog(m_shell);
            dialog.m_bAllowUpdate = allowUpdate;
            DialogScript script;
            bool updateEnabled = false;
            bool defaultFocused = false;
            script.Then(caption, [&](HWND window) {
                updateEnabled = IsWindowEnabled(GetDlgItem(window, IDC_UPDATE)) != FALSE;
                defaultFocused = GetFocus() == GetDlgItem(window, IDOK_BUTTON);
                entry.answer(window);
            });
            EXPECT_EQ(dialog.DoModal(), entry.result);
            EXPECT_TRUE(script.Done());
            EXPECT_FALSE(script.m_timedOut);
            EXPECT_EQ(updateEnabled, allowUpdate != 0);
            EXPECT_TRUE(defaultFocused);
        }
    }
}

TEST_F(Win32ShellTest, AboutBoxShowsItsLinesAndGrowsForTheUnsignedNoteInTheApplicationsColours) {
    // 0xRRGGBB, as the application gives colours.
    m_shell.SetDialogColors(0x102030, 0xC86432);
    for (const bool unsignedLists : {false, true}) {
        SCOPED_TRACE(unsignedLists);
        CAboutDlg about(m_shell);
        about.m_bUnsignedLists = unsignedLists;
        DialogScript script;
        std::wstring product;
        std::wstring contact;
        bool noteShown = false;
        LONG height = 0;
        COLORREF background = 0;
        script.Then(L"About Quillorna", [&](HWND window) {
            const HDC context = GetDC(window);
            LOGBRUSH brush{};
            GetObjectW(
                reinterpret_cast<HBRUSH>(SendMessageW(window, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(context), 0)),
                sizeof brush, &brush);
            background = brush.lbColor;
            ReleaseDC(window, context);
            product = WindowText(GetDlgItem(window, IDC_PRODUCT_LINE));
            contact = WindowText(GetDlgItem(window, IDC_CONTACT_LINE));
            noteShown = IsWindowVisible(GetDlgItem(window, IDC_UNSIGNED_LISTS)) != FALSE;
            RECT client{};
            GetClientRect(window, &client);
            RECT grown{0, 0, 0, FindDialogTemplate(IDD_ABOUTBOX)->grownHeight};
            MapDialogRect(window, &grown);
            height = client.bottom - grown.bottom;
            Click(window, IDOK_BUTTON);
        });
        EXPECT_EQ(about.DoModal(), kIdOk);
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(product, L"Quillorna by Ostrevant Ltd.");
        EXPECT_FALSE(contact.empty());
        EXPECT_EQ(noteShown, unsignedLists);
        EXPECT_EQ(height == 0, unsignedLists) << "grown only for the note";
        EXPECT_EQ(background, RGB(0x10, 0x20, 0x30));
    }
    m_shell.SetDialogColors(0xFFFFFF, 0x000000);
}

TEST_F(Win32ShellTest, FileDialogsGiveTheChosenPathInTheCodePageOrNothingWhenCancelled) {
    test::TempAppDir dir;
    const std::string existing = dir.Path("plan.dsn").string();
    std::ofstream(existing) << "lines";
    const std::string fresh = dir.Path("new plan.dsn").string();
    struct Case {
        bool save;
        const wchar_t* caption;
        std::string typed; // empty: cancel
    };
    for (const Case& entry : {Case{false, L"Open", existing}, Case{false, L"Open", ""}, Case{true, L"Save As", fresh},
                              Case{true, L"Save As", ""}}) {
        SCOPED_TRACE(entry.typed);
        DialogScript script;
        script.Then(entry.caption, [&](HWND window) {
            if (entry.typed.empty()) {
                Click(window, IDCANCEL);
                return;
            }
            // The file name box of the system's dialog.
            SetDlgItemTextW(window, 0x047C, WideFromCodePage(entry.typed).c_str());
            Click(window, IDOK);
        });
        EXPECT_EQ(entry.save ? m_shell.AskSavePath() : m_shell.AskOpenPath(), entry.typed);
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(script.m_unexpected, std::vector<std::wstring>{});
    }
}

// The text of message box `box`.
std::wstring MessageBoxText(HWND box) {
    // The system's message boxes hold their text in a static control of this id.
    return WindowText(GetDlgItem(box, 0xFFFF));
}

const std::wstring kListMissing =
    L"Online System Update Required \nPlease ensure a connection to the internet is present ";

// The application in the Win32 windows, with the view's Win32 window, in an application directory of the test's.
class TestApp : public CZarnApp {
public:
    TestApp(Win32ShellWindow& shell, std::string appDir) : CZarnApp(shell), m_appDir(std::move(appDir)) {}

protected:
    void InitAppDirectory() override { m_strAppDir = m_appDir; }

private:
    std::string m_appDir;
};

class Win32AppTest : public Win32ShellTest {
protected:
    // The folders an installed launcher has, and never makes itself.
    Win32AppTest() {
        std::filesystem::create_directory(m_dir.Path("complist"));
        std::filesystem::create_directory(m_dir.Path("temp"));
    }
    static void SetUpTestSuite() {
        Win32ShellTest::SetUpTestSuite();
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    }
    static void TearDownTestSuite() { OleUninitialize(); }

    // The launcher's settings and registrations go to a registry of the test's own.
    test::ScratchRegistry m_registry;
    test::TempAppDir m_dir;
    Win32ViewWindow* m_view = nullptr;
    Win32ShellWindow m_appShell{[this](CZarnDoc& document, HWND parent) {
        auto client = std::make_unique<Win32ViewClient<Win32ViewWindow>>(document, parent);
        m_view = &client->ViewWindow();
        return client;
    }};
    TestApp m_app{m_appShell, m_dir.AppDir()};
    const std::vector<std::string> m_server{"--server", "http://127.0.0.1:9"};
};

TEST_F(Win32AppTest, StartUpWithoutAListTellsTheUserChecksAndOffersTheStartDialogUntilStartDesigning) {
    DialogScript script;
    std::wstring box;
    script.Then(L"zarn", [&](HWND window) {
        box = MessageBoxText(window);
        Click(window, IDOK);
    });
    // The check's start dialog greys its update button; Escape and the close box each run another check.
    std::vector<bool> updateEnabled;
    std::vector<bool> listShown;
    const auto startDialog = [&](std::function<void(HWND)> answer) {
        return [&, answer](HWND window) {
            updateEnabled.push_back(IsWindowEnabled(GetDlgItem(window, IDC_UPDATE)) != FALSE);
            listShown.push_back(m_view != nullptr && m_view->m_listComponents != nullptr &&
                                IsWindowVisible(m_view->m_listComponents));
            answer(window);
        };
    };
    // Each check's list download finds no server, and the download dialog says so once its attempts are over.
    script.Allow(L"File Download");
    std::vector<std::wstring> failures;
    const auto failedDownload = [&](HWND window) {
        failures.push_back(MessageBoxText(window));
        Click(window, IDOK);
    };
    script.Then(L"zarn", failedDownload);
    script.Then(L"Start Quillorna", startDialog([](HWND) { PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); }));
    script.Then(L"zarn", failedDownload);
    script.Then(L"Start Quillorna", startDialog([](HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }));
    script.Then(L"zarn", failedDownload);
    script.Then(L"Start Quillorna", startDialog([](HWND window) { Click(window, IDOK_BUTTON); }));
    // Back at the start-up's own offer, with the update button.
    script.Then(L"Start Quillorna", startDialog([](HWND window) { Click(window, IDOK_BUTTON); }));

    EXPECT_TRUE(m_app.InitInstance(m_server));
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.m_unexpected, std::vector<std::wstring>{});
    EXPECT_FALSE(script.m_timedOut);
    EXPECT_EQ(box, kListMissing);
    ASSERT_EQ(failures.size(), 3u);
    for (const std::wstring& failure : failures)
        EXPECT_NE(failure.find(L"Error:12029"), std::wstring::npos) << std::string(failure.begin(), failure.end());
    EXPECT_EQ(updateEnabled, (std::vector<bool>{false, false, false, true}));
    // The checks show the list; "Start Designing" leaves it for the design control.
    EXPECT_EQ(listShown, (std::vector<bool>{true, true, true, false}));
    Win32FrameWindow* frame = m_appShell.MainWindow();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(IsZoomed(frame->Handle()));
    EXPECT_EQ(WindowText(frame->Handle()), L"Quillorna by www.ostrevant.com [www.quillorna.com]");
    // The view fills the frame above the status bar.
    RECT client{};
    RECT view{};
    RECT status{};
    GetClientRect(frame->Handle(), &client);
    GetWindowRect(m_view->Handle(), &view);
    GetWindowRect(frame->StatusBar(), &status);
    EXPECT_EQ(view.right - view.left, client.right);
    EXPECT_EQ(view.bottom - view.top, client.bottom - (status.bottom - status.top));
}

TEST_F(Win32AppTest, DocumentOnTheCommandLineGoesStraightToTheDesignControl) {
    m_dir.WriteList("[STARTCOMP]\ndesc=Old\n[ENDCOMP]\n");
    const std::string document = (m_dir.Outside() / "kitchen plan.dsn").string();
    std::ofstream(document) << "lines";
    DialogScript script;
    EXPECT_TRUE(m_app.InitInstance({document, "--server", "http://127.0.0.1:9"}));
    EXPECT_EQ(script.m_unexpected, std::vector<std::wstring>{}) << "no dialog before designing";
    ASSERT_NE(m_view, nullptr);
    EXPECT_TRUE(m_view->m_listComponents == nullptr || !IsWindowVisible(m_view->m_listComponents));
    EXPECT_EQ(m_app.m_recentFiles.front(), document);
}

TEST_F(Win32AppTest, MenuOpensTheAboutBoxOverTheFrame) {
    m_dir.WriteList("[STARTCOMP]\ndesc=Old\n[ENDCOMP]\n");
    DialogScript script;
    script.Then(L"Start Quillorna", [](HWND window) { Click(window, IDOK_BUTTON); });
    ASSERT_TRUE(m_app.InitInstance(m_server));
    const HWND frame = m_appShell.MainWindow()->Handle();
    HWND owner = nullptr;
    script.Then(L"About Quillorna", [&](HWND window) {
        owner = GetWindow(window, GW_OWNER);
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    SendMessageW(frame, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.m_unexpected, std::vector<std::wstring>{});
    EXPECT_EQ(owner, frame);
    EXPECT_TRUE(IsWindowEnabled(frame)) << "the frame works again once the box is gone";
}

} // namespace
} // namespace zarn
