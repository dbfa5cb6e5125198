#include "download/win32/Win32DownloadWindow.h"

#include "download/HttpDownloadDlg.h"
#include "res/DialogTable.h"
#include "res/win32/WideText.h"

#include <algorithm>
#include <commctrl.h>
#include <utility>

namespace zarn {

namespace {

// The window's own message: run the calls posted so far.
constexpr UINT kRunPostedCalls = WM_APP;

// The module this code is linked into: it carries the clip resource, whether it is the executable or a DLL.
HINSTANCE ClipModule() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ClipModule), &module))
        return GetModuleHandleW(nullptr);
    return module;
}

} // namespace

Win32DownloadWindow::Win32DownloadWindow(HWND owner) : Win32Dialog(*FindDialogTemplate(IDD_DOWNLOAD)), m_owner(owner) {
    // The template's animation and progress bar are common controls, whose classes exist once registered. Should
    // that fail, the dialog cannot be made and Handle says so.
    const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
    if (InitCommonControlsEx(&classes) && Create(owner) != 0) {
        SendMessageW(Item(IDC_PROGRESS), PBM_SETRANGE32, 0, 100);
        FitLabel(IDC_TIME_LEFT_LABEL, IDC_TIME_LEFT);
        FitLabel(IDC_RATE_LABEL, IDC_RATE);
        std::lock_guard lock(m_postMutex);
        m_postTarget = Win32Dialog::Handle();
    }
}

Win32DownloadWindow::~Win32DownloadWindow() {
    std::lock_guard lock(m_postMutex);
    m_postTarget = nullptr;
    m_posted.clear();
}

void Win32DownloadWindow::FitLabel(ControlId label, ControlId value) {
    const HWND labelItem = Item(label);
    RECT labelPlace;
    RECT valuePlace;
    if (!GetWindowRect(labelItem, &labelPlace) || !GetWindowRect(Item(value), &valuePlace))
        return;
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&labelPlace), 2);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&valuePlace), 2);
    wchar_t text[128] = {};
    const int length = GetWindowTextW(labelItem, text, 128);
    const HDC context = GetDC(labelItem);
    if (context == nullptr)
        return;
    const HGDIOBJ oldFont = SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(labelItem, WM_GETFONT, 0, 0)));
    SIZE extent{};
    const BOOL measured = GetTextExtentPoint32W(context, text, length, &extent);
    SelectObject(context, oldFont);
    ReleaseDC(labelItem, context);
    const LONG width = labelPlace.right - labelPlace.left;
    if (!measured || extent.cx <= width)
        return;
    const LONG room = valuePlace.left - labelPlace.left;
    SetWindowPos(labelItem, nullptr, 0, 0, std::min(room, extent.cx), labelPlace.bottom - labelPlace.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32DownloadWindow::SetStatusText(const std::string& text) {
    SetItemText(IDC_STATUS_LINE, text);
}

void Win32DownloadWindow::SetSourceText(const std::string& text, const std::string&) {
    SetItemText(IDC_SOURCE_LINE, text);
}

void Win32DownloadWindow::SetCaption(const std::string& text) {
    SetWindowTextW(Handle(), WideFromCodePage(text).c_str());
}

void Win32DownloadWindow::SetProgressRange(int low, int high) {
    SendMessageW(Item(IDC_PROGRESS), PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

void Win32DownloadWindow::SetProgressPos(int pos) {
    SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

void Win32DownloadWindow::SetTimeLeftText(const std::string& text) {
    SetItemText(IDC_TIME_LEFT, text);
}

void Win32DownloadWindow::SetRateText(const std::string& text) {
    SetItemText(IDC_RATE, text);
}

void Win32DownloadWindow::OpenAnimation() {
    // A clip that cannot be opened leaves the control blank; the download goes on without it.
    SendMessageW(Item(IDC_ANIMATION), ACM_OPENW, reinterpret_cast<WPARAM>(ClipModule()),
                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_DOWNLOAD_CLIP)));
}

void Win32DownloadWindow::StartAnimation() {
    // Every frame, over and over.
    SendMessageW(Item(IDC_ANIMATION), ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
}

void Win32DownloadWindow::StopAnimation() {
    SendMessageW(Item(IDC_ANIMATION), ACM_STOP, 0, 0);
}

void Win32DownloadWindow::ShowMessage(const std::string& text) {
    // A box that cannot be shown has nothing to report to: the presenter keeps the text for the log.
    MessageBoxW(Handle() != nullptr ? Handle() : m_owner, WideFromCodePage(text).c_str(),
                ResourceText(AFX_IDS_APP_TITLE).c_str(), MB_OK);
}

bool Win32DownloadWindow::AskCredentials(const std::string& question, std::string& user, std::string& password) {
    return m_credentials.Ask(Handle(), question, user, password);
}

int Win32DownloadWindow::RunModal() {
    const HWND dialog = Handle();
    if (dialog == nullptr)
        return 0;
    m_ended = false;
    m_result = 0;
    // The owner takes no input while the dialog runs, as under any modal dialog.
    const bool disableOwner = m_owner != nullptr && IsWindowEnabled(m_owner);
    if (disableOwner)
        EnableWindow(m_owner, FALSE);
    ShowWindow(dialog, SW_SHOW);
    // Calls posted before the run may have found no loop yet.
    RunPostedCalls();
    bool quit = false;
    MSG message;
    while (!m_ended) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // The application quits: the loop that runs it must see the quit message too.
            PostQuitMessage(static_cast<int>(message.wParam));
            quit = true;
            break;
        }
        if (got == -1)
            break;
        if (!IsDialogMessageW(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // The owner first, so that it is active again once the dialog is hidden.
    if (disableOwner)
        EnableWindow(m_owner, TRUE);
    ShowWindow(dialog, SW_HIDE);
    return m_ended && !quit ? m_result : 0;
}

void Win32DownloadWindow::EndModal(int result) {
    m_result = result;
    m_ended = true;
}

void Win32DownloadWindow::Post(std::function<void()> call) {
    std::lock_guard lock(m_postMutex);
    if (m_postTarget == nullptr)
        return;
    m_posted.push_back(std::move(call));
    // A message the queue refuses (it is full) only delays this call: the next one's message runs it.
    PostMessageW(m_postTarget, kRunPostedCalls, 0, 0);
}

void Win32DownloadWindow::RunPostedCalls() {
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(m_postMutex);
            if (m_posted.empty())
                return;
            call = std::move(m_posted.front());
            m_posted.pop_front();
        }
        call();
    }
}

bool Win32DownloadWindow::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    switch (message) {
    case kRunPostedCalls:
        RunPostedCalls();
        result = TRUE;
        return true;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDCANCEL: // Escape and the Stop button
            if (m_presenter != nullptr)
                m_presenter->OnCancel();
            result = TRUE;
            return true;
        case IDOK: // Enter: the result comes from the transfer alone
            result = TRUE;
            return true;
        default:
            return false;
        }
    case WM_CLOSE:
        // The dialog is hidden by the end of the run, once the presenter has its result; it never just closes.
        if (m_presenter != nullptr)
            m_presenter->OnClose();
        else
            EndModal(0);
        result = TRUE;
        return true;
    default:
        return false;
    }
}

} // namespace zarn
