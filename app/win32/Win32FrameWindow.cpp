#include "app/win32/Win32FrameWindow.h"

#include "app/MainFrame.h"
#include "res/win32/WideText.h"

#include <algorithm>
#include <commctrl.h>

namespace zarn {

namespace {

constexpr const wchar_t* kWindowClass = L"QuillornaMainFrame";
// The status bar's child id, the number the framework's status bar has always had.
constexpr UINT kStatusBarId = 0xE801;
constexpr UINT_PTR kIndicatorTimer = 1;
// How often the lock-key indicators are brought in step with the keyboard.
constexpr UINT kIndicatorIntervalMs = 250;
// Asks for the first reading of the indicators once the message loop runs.
constexpr UINT kFirstIndicators = WM_APP + 1;

int RegisterFrameClass(WNDPROC procedure) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(instance, kWindowClass, &windowClass)) {
        return 1;
    }
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    // The executable carries the application's icon; a program without it (a test) gets the system's.
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAINFRAME));
    if (windowClass.hIcon == nullptr) {
        windowClass.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    }
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExW(&windowClass) != 0 ? 1 : 0;
}

// The restored frame: three quarters of the work area, centred, so that leaving the maximised state gives a
// window of a useful size rather than the bare menu and status bar.
RECT RestoredRect() {
    RECT area{0, 0, 1024, 768};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const LONG width = (area.right - area.left) * 3 / 4;
    const LONG height = (area.bottom - area.top) * 3 / 4;
    const LONG left = area.left + (area.right - area.left - width) / 2;
    const LONG top = area.top + (area.bottom - area.top - height) / 2;
    return {left, top, left + width, top + height};
}

BYTE AcceleratorFlags(unsigned modifiers) {
    BYTE flags = FVIRTKEY;
    if (modifiers & kAccelControl) {
        flags |= FCONTROL;
    }
    if (modifiers & kAccelShift) {
        flags |= FSHIFT;
    }
    if (modifiers & kAccelAlt) {
        flags |= FALT;
    }
    return flags;
}

} // namespace

Win32FrameWindow::Win32FrameWindow(CMainFrame& frame, Win32ViewCreator createView)
    : m_frame(frame), m_createView(std::move(createView)) {
    if (!RegisterFrameClass(WindowProc)) {
        return;
    }
    const RECT restored = RestoredRect();
    m_window = CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, restored.left, restored.top,
                               restored.right - restored.left, restored.bottom - restored.top, nullptr, nullptr,
                               GetModuleHandleW(nullptr), this);
    if (m_window == nullptr) {
        return;
    }
    m_menu = CreateMenu();
    if (m_menu != nullptr && !SetMenu(m_window, m_menu)) {
        DestroyMenu(m_menu);
        m_menu = nullptr;
    }
    m_statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                  m_window, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kStatusBarId)),
                                  GetModuleHandleW(nullptr), nullptr);
    SetTimer(m_window, kIndicatorTimer, kIndicatorIntervalMs, nullptr);
    // The first reading waits for the message loop, so that the window is shown without waiting for it.
    PostMessageW(m_window, kFirstIndicators, 0, 0);
}

Win32FrameWindow::~Win32FrameWindow() {
    m_destroying = true;
    // The view goes first, while its parent still exists.
    m_client.reset();
    if (m_window != nullptr) {
        DestroyWindow(m_window);
    }
    if (m_accelerators != nullptr) {
        DestroyAcceleratorTable(m_accelerators);
    }
}

void Win32FrameWindow::SetCaption(const std::string& text) {
    SetWindowTextW(m_window, WideFromUtf8(text).c_str());
}

void Win32FrameWindow::AddPopup(const std::string& text) {
    m_popup = CreatePopupMenu();
    if (m_popup == nullptr) {
        return;
    }
    if (!AppendMenuW(m_menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(m_popup), WideFromUtf8(text).c_str())) {
        DestroyMenu(m_popup);
        m_popup = nullptr;
        return;
    }
    DrawMenuBar(m_window);
}

void Win32FrameWindow::AddCommand(CommandId id, const std::string& text, const std::string&, bool checked, bool onBar) {
    // The prompt is CMainFrame's to show: the window reports the highlighted item and CMainFrame sets the pane.
    const HMENU menu = !onBar && m_popup != nullptr ? m_popup : m_menu;
    AppendMenuW(menu, MF_STRING | (checked ? MF_CHECKED : MF_UNCHECKED), id, WideFromUtf8(text).c_str());
    DrawMenuBar(m_window);
}

void Win32FrameWindow::AddAccelerator(const Accelerator& accelerator) {
    // The table's keys are the letters' and digits' virtual-key codes, which are their ASCII codes.
    m_keys.push_back({AcceleratorFlags(accelerator.modifiers), static_cast<WORD>(accelerator.key),
                      static_cast<WORD>(accelerator.command)});
    const HACCEL table = CreateAcceleratorTableW(m_keys.data(), static_cast<int>(m_keys.size()));
    if (table == nullptr) {
        m_keys.pop_back();
        return;
    }
    if (m_accelerators != nullptr) {
        DestroyAcceleratorTable(m_accelerators);
    }
    m_accelerators = table;
}

void Win32FrameWindow::AddStatusPane(Pane pane, const std::string& widest) {
    int width = 0;
    if (pane != Pane::Message) {
        // Each indicator keeps the width of its widest text, shown or not, so the bar does not jump as keys change.
        const HDC context = GetDC(m_statusBar);
        const auto font = reinterpret_cast<HFONT>(SendMessageW(m_statusBar, WM_GETFONT, 0, 0));
        const HGDIOBJ former = SelectObject(context, font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
        const std::wstring text = WideFromUtf8(widest);
        SIZE extent{};
        TEXTMETRICW metrics{};
        GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &extent);
        GetTextMetricsW(context, &metrics);
        SelectObject(context, former);
        ReleaseDC(m_statusBar, context);
        width = extent.cx + 2 * metrics.tmAveCharWidth;
    }
    m_panes.push_back({pane, width});
    Layout();
}

int Win32FrameWindow::PartOf(Pane pane) const {
    for (std::size_t part = 0; part < m_panes.size(); ++part) {
        if (m_panes[part].pane == pane) {
            return static_cast<int>(part);
        }
    }
    return -1;
}

void Win32FrameWindow::SetPaneText(Pane pane, const std::string& text) {
    const int part = PartOf(pane);
    if (part < 0) {
        return;
    }
    SendMessageW(m_statusBar, SB_SETTEXTW, static_cast<WPARAM>(part),
                 reinterpret_cast<LPARAM>(WideFromCodePage(text).c_str()));
    // The message pane may tell of a wait that handles no messages.
    if (pane == Pane::Message) {
        UpdateWindow(m_statusBar);
    }
}

void Win32FrameWindow::ShowStatusBar(bool shown) {
    ShowWindow(m_statusBar, shown ? SW_SHOW : SW_HIDE);
    Layout();
}

void Win32FrameWindow::CheckCommand(CommandId id, bool checked) {
    CheckMenuItem(m_menu, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

FrameView& Win32FrameWindow::CreateView(CZarnDoc& document) {
    m_client = m_createView(document, m_window);
    Layout();
    return m_client->View();
}

void Win32FrameWindow::ShowMaximized() {
    ShowWindow(m_window, SW_SHOWMAXIMIZED);
    UpdateWindow(m_window);
}

void Win32FrameWindow::BringToFront() {
    SetForegroundWindow(m_window);
}

void Win32FrameWindow::PaintNow() {
    RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Win32FrameWindow::Layout() {
    if (m_window == nullptr) {
        return;
    }
    RECT client{};
    GetClientRect(m_window, &client);
    int statusHeight = 0;
    if (m_statusBar != nullptr && IsWindowVisible(m_statusBar)) {
        // The status bar places itself along the bottom edge when told of a new size.
        SendMessageW(m_statusBar, WM_SIZE, 0, 0);
        std::vector<int> edges;
        int right = client.right;
        for (const StatusPane& pane : m_panes) {
            right -= pane.width;
        }
        for (const StatusPane& pane : m_panes) {
            right += pane.pane == Pane::Message ? 0 : pane.width;
            edges.push_back(right);
        }
        if (!edges.empty()) {
            edges.back() = -1; // the last part reaches the window's edge
            SendMessageW(m_statusBar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
        }
        RECT bar{};
        GetWindowRect(m_statusBar, &bar);
        statusHeight = bar.bottom - bar.top;
    }
    if (m_client != nullptr) {
        m_client->Move(0, 0, client.right, std::max(0L, client.bottom - statusHeight));
    }
}

LRESULT CALLBACK Win32FrameWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* frame = static_cast<Win32FrameWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        frame->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(frame));
    }
    auto* frame = reinterpret_cast<Win32FrameWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (frame == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        frame->m_window = nullptr;
        frame->m_statusBar = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return frame->OnMessage(message, wParam, lParam);
}

LRESULT Win32FrameWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // Menu items and accelerator keys; the children's notifications go to their own parents.
        if (lParam == 0) {
            m_frame.OnCommand(static_cast<CommandId>(LOWORD(wParam)));
            return 0;
        }
        break;
    case WM_MENUSELECT: {
        const UINT flags = HIWORD(wParam);
        const bool closed = flags == 0xFFFF && lParam == 0;
        const bool command = !closed && !(flags & (MF_POPUP | MF_SEPARATOR));
        m_frame.OnMenuSelect(command ? static_cast<CommandId>(LOWORD(wParam)) : kNoCommand);
        return 0;
    }
    case WM_TIMER:
        if (wParam == kIndicatorTimer) {
            m_frame.UpdateIndicators();
            return 0;
        }
        break;
    case kFirstIndicators:
        m_frame.UpdateIndicators();
        return 0;
    case WM_SIZE:
        Layout();
        return 0;
    case WM_SETFOCUS:
        // The keys belong to the view (the list or the design control), not to the frame around it.
        if (m_client != nullptr && m_client->Handle() != nullptr) {
            SetFocus(m_client->Handle());
            return 0;
        }
        break;
    case WM_DESTROY:
        KillTimer(m_window, kIndicatorTimer);
        // The user closed the main window: the message loop ends with it.
        if (!m_destroying) {
            PostQuitMessage(0);
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

} // namespace zarn
