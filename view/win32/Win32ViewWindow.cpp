#include "view/win32/Win32ViewWindow.h"

#include "platform/Library.h"
#include "res/ResourceIds.h"

#include <commctrl.h>
#include <commdlg.h>
#include <ole2.h>
#include <string>

// atl.dll's hosting functions; mingw-w64 has the import library but no ATL headers.
extern "C" {
BOOL WINAPI AtlAxWinInit();
HRESULT WINAPI AtlAxGetControl(HWND window, IUnknown** control);
}

namespace zarn {

namespace {

constexpr const wchar_t* kViewClassName = L"ZarnView";
constexpr int kScreenDpi = 96;

// The product's texts are in the user's 8-bit code page; the wide functions show them in it.
std::wstring Widen(const std::string& text) {
    if (text.empty())
        return {};
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length) != length)
        return {};
    return wide;
}

HMENU ChildId(int id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

bool RegisterViewClass() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    // A view with neither child shown is blank, in the window colour.
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kViewClassName;
    return ::RegisterClassExW(&windowClass) != 0;
}

} // namespace

Win32ViewWindow::Win32ViewWindow(CZarnDoc& document, HWND parent)
    : m_view(std::make_unique<CZarnView>(document, *this)) {
    static const bool registered = RegisterViewClass();
    if (!registered)
        return;
    m_hwnd = ::CreateWindowExW(0, kViewClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0, parent,
                               nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (m_hwnd == nullptr)
        return;
    // The procedure is set only now, so that it never sees a window whose object is not yet known.
    ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32ViewWindow::WindowProc));
}

Win32ViewWindow::~Win32ViewWindow() {
    // The view destroys the design control while the window that hosts it is still there.
    m_view.reset();
    if (m_hwnd != nullptr)
        ::DestroyWindow(m_hwnd);
}

LRESULT CALLBACK Win32ViewWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* const window = reinterpret_cast<Win32ViewWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_SIZE:
        window->m_view->OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (::BeginPaint(hwnd, &paint) != nullptr) {
            window->m_view->OnDraw();
            ::EndPaint(hwnd, &paint);
        }
        return 0;
    }
    case WM_NCDESTROY:
        // Destroyed with its parent: the children went with it, and nothing may be asked of them again.
        window->m_hwnd = nullptr;
        window->m_listComponents = nullptr;
        window->m_wndDesign = nullptr;
        break;
    default:
        break;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void Win32ViewWindow::Move(int x, int y, int width, int height) {
    ::MoveWindow(m_hwnd, x, y, width, height, TRUE);
}

bool Win32ViewWindow::CreateList(const std::vector<std::string>& headings) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    if (!::InitCommonControlsEx(&controls))
        return false;
    const HWND list =
        ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL, 0, 0, 0,
                          0, m_hwnd, ChildId(IDC_COMPONENT_LIST), ::GetModuleHandleW(nullptr), nullptr);
    if (list == nullptr)
        return false;
    const LPARAM extended = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    for (int column = 0; column < static_cast<int>(headings.size()); ++column) {
        std::wstring text = Widen(headings[column]);
        LVCOLUMNW heading{};
        heading.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
        heading.fmt = LVCFMT_LEFT;
        heading.pszText = text.data();
        heading.iSubItem = column;
        if (::SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&heading)) != column) {
            ::DestroyWindow(list);
            return false;
        }
    }
    m_listComponents = list;
    return true;
}

void Win32ViewWindow::SetListRows(const std::vector<std::vector<std::string>>& rows) {
    ::SendMessageW(m_listComponents, LVM_DELETEALLITEMS, 0, 0);
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        for (int column = 0; column < static_cast<int>(rows[row].size()); ++column) {
            std::wstring text = Widen(rows[row][column]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = row;
            item.iSubItem = column;
            item.pszText = text.data();
            // The first column makes the row; a list that refuses one has no room for the rest either.
            if (column == 0 &&
                ::SendMessageW(m_listComponents, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) != row)
                return;
            if (column > 0)
                ::SendMessageW(m_listComponents, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        }
    }
}

void Win32ViewWindow::SetListColumnWidths(const std::vector<int>& widths) {
    for (int column = 0; column < static_cast<int>(widths.size()); ++column)
        ::SendMessageW(m_listComponents, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(widths[column], 0));
}

void Win32ViewWindow::ShowList(bool shown) {
    ::ShowWindow(m_listComponents, shown ? SW_SHOW : SW_HIDE);
}

void Win32ViewWindow::EnableList(bool enabled) {
    ::EnableWindow(m_listComponents, enabled ? TRUE : FALSE);
}

void Win32ViewWindow::PlaceList(int width, int height) {
    ::SetWindowPos(m_listComponents, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(m_listComponents, nullptr, TRUE);
}

bool Win32ViewWindow::CreateControl(const std::string& classId, const std::string&) {
    // COM finds the control's server by the class identifier; the host window makes the control from its own
    // text when it is created.
    static const bool hostReady = ::AtlAxWinInit() != FALSE;
    if (!hostReady)
        return false;
    const HWND host = ::CreateWindowExW(0, L"AtlAxWin", Widen(classId).c_str(), WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0,
                                        m_hwnd, ChildId(IDC_DESIGN_CONTROL), ::GetModuleHandleW(nullptr), nullptr);
    if (host == nullptr)
        return false;
    // A host whose control could not be made is still created, and would never paint: it goes, unseen, and the
    // next attempt makes a new one.
    IUnknown* control = nullptr;
    if (FAILED(::AtlAxGetControl(host, &control)) || control == nullptr) {
        ::DestroyWindow(host);
        return false;
    }
    control->Release();
    // Named only now: the host reads its text as the control to make.
    if (!::SetWindowTextW(host, L"cad design")) {
        ::DestroyWindow(host);
        return false;
    }
    m_wndDesign = host;
    return true;
}

void Win32ViewWindow::DestroyControl() {
    if (m_wndDesign != nullptr)
        ::DestroyWindow(m_wndDesign);
    m_wndDesign = nullptr;
}

void Win32ViewWindow::ShowControl(bool shown) {
    ::ShowWindow(m_wndDesign, shown ? SW_SHOW : SW_HIDE);
}

void Win32ViewWindow::EnableControl(bool enabled) {
    ::EnableWindow(m_wndDesign, enabled ? TRUE : FALSE);
}

void Win32ViewWindow::FocusControl() {
    ::SetWindowPos(m_wndDesign, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // The keys go to the control's own window inside the host.
    const HWND inner = ::GetWindow(m_wndDesign, GW_CHILD);
    ::SetFocus(inner != nullptr ? inner : m_wndDesign);
}

void Win32ViewWindow::PlaceControl(int width, int height) {
    // The host passes its new size on to the control's in-place object.
    ::SetWindowPos(m_wndDesign, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(m_wndDesign, nullptr, TRUE);
}

int Win32ViewWindow::LogicalDpi() const {
    // Per window on systems that have it (each monitor its own); else the screen's one resolution.
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow =
        reinterpret_cast<DpiForWindow>(platform::Library::FindLoadedFunction("user32.dll", "GetDpiForWindow"));
    if (dpiForWindow != nullptr) {
        const UINT dpi = dpiForWindow(m_hwnd);
        if (dpi != 0)
            return static_cast<int>(dpi);
    }
    const HDC screen = ::GetDC(nullptr);
    if (screen == nullptr)
        return kScreenDpi;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kScreenDpi;
}

void Win32ViewWindow::Invalidate() {
    ::InvalidateRect(m_hwnd, nullptr, TRUE);
}

bool Win32ViewWindow::ChoosePrinter() {
    PRINTDLGW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = ::GetAncestor(m_hwnd, GA_ROOT);
    dialog.Flags = PD_RETURNDC | PD_NOSELECTION | PD_NOPAGENUMS;
    const BOOL chosen = ::PrintDlgW(&dialog);
    // The device's settings are in the device context; the dialog's own copies are not kept.
    if (dialog.hDevMode != nullptr)
        ::GlobalFree(dialog.hDevMode);
    if (dialog.hDevNames != nullptr)
        ::GlobalFree(dialog.hDevNames);
    if (!chosen || dialog.hDC == nullptr)
        return false;
    m_printerDc = dialog.hDC;
    return true;
}

bool Win32ViewWindow::StartPrintJob() {
    if (m_printerDc == nullptr)
        return false;
    wchar_t title[256] = L"";
    ::GetWindowTextW(::GetAncestor(m_hwnd, GA_ROOT), title, static_cast<int>(std::size(title)));
    DOCINFOW job{};
    job.cbSize = sizeof(job);
    job.lpszDocName = title;
    if (::StartDocW(m_printerDc, &job) <= 0) {
        ::DeleteDC(m_printerDc);
        m_printerDc = nullptr;
        return false;
    }
    if (::StartPage(m_printerDc) <= 0) {
        ::AbortDoc(m_printerDc);
        ::DeleteDC(m_printerDc);
        m_printerDc = nullptr;
        return false;
    }
    return true;
}

void Win32ViewWindow::EndPrintJob() {
    // A page or job the spooler refuses is lost either way; the device context is released in every case.
    if (::EndPage(m_printerDc) > 0)
        ::EndDoc(m_printerDc);
    else
        ::AbortDoc(m_printerDc);
    ::DeleteDC(m_printerDc);
    m_printerDc = nullptr;
}

} // namespace zarn
