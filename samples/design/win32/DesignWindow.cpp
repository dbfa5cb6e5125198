#include "samples/design/win32/DesignWindow.h"

#include "samples/design/DesignModule.h"

#include <filesystem>
#include <mutex>
#include <string>
#include <windowsx.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace quillorna {

namespace {

constexpr wchar_t kControlClass[] = L"QuillornaDesignControl";
constexpr wchar_t kCanvasClass[] = L"QuillornaDesignCanvas";

// The tool row's height and its buttons' width, in pixels.
constexpr int kToolRow = 28;
constexpr int kButtonWidth = 76;
constexpr int kMargin = 2;

constexpr COLORREF kPaper = RGB(0xff, 0xff, 0xff);
constexpr COLORREF kMinorGrid = RGB(0xe6, 0xea, 0xf0);
constexpr COLORREF kMajorGrid = RGB(0xc5, 0xcd, 0xd8);
constexpr COLORREF kInk = RGB(0x1f, 0x4e, 0x8c);
constexpr COLORREF kHighlight = RGB(0xd9, 0x6c, 0x06);

// Window classes are the process's, while each apartment's thread makes windows of its own.
std::mutex g_classMutex;
int g_classUsers = 0;

HINSTANCE Module() {
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

// The start file's document as the tool row names it: its file name, in the system's 8-bit code page.
std::wstring DocumentName() {
    const std::string path = StartDocument();
    if (path.empty()) {
        return L"No document";
    }
    const int size = MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size <= 0 ||
        MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), size) != size) {
        return L"No document";
    }
    return std::filesystem::path(wide).filename().wstring();
}

// A pen of `width` pixels with round ends, solid or dashed; nullptr when GDI has none to give.
HPEN MakePen(COLORREF color, int width, bool dashed) {
    LOGBRUSH brush{BS_SOLID, color, 0};
    return ExtCreatePen(PS_GEOMETRIC | (dashed ? PS_DASH : PS_SOLID) | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                        static_cast<DWORD>(width), &brush, 0, nullptr);
}

void PaintShape(HDC dc, const DesignShape& shape) {
    if (shape.GetKind() == DesignShape::Kind::Line) {
        MoveToEx(dc, shape.From().x, shape.From().y, nullptr);
        LineTo(dc, shape.To().x, shape.To().y);
    } else {
        Rectangle(dc, shape.TopLeft().x, shape.TopLeft().y, shape.BottomRight().x + 1, shape.BottomRight().y + 1);
    }
}

} // namespace

DesignWindow::~DesignWindow() {
    Destroy();
}

int DesignWindow::AddClassUser() {
    const std::lock_guard lock(g_classMutex);
    if (g_classUsers == 0) {
        WNDCLASSEXW control{};
        control.cbSize = sizeof(control);
        control.style = CS_HREDRAW | CS_VREDRAW;
        control.lpfnWndProc = ControlProc;
        control.hInstance = Module();
        control.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        control.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        control.lpszClassName = kControlClass;
        WNDCLASSEXW canvas = control;
        canvas.lpfnWndProc = CanvasProc;
        // The canvas chooses its cursor by the tool (WM_SETCURSOR).
        canvas.hCursor = nullptr;
        canvas.hbrBackground = nullptr;
        canvas.lpszClassName = kCanvasClass;
        if (RegisterClassExW(&control) == 0) {
            return 0;
        }
        if (RegisterClassExW(&canvas) == 0) {
            UnregisterClassW(kControlClass, Module());
            return 0;
        }
    }
    ++g_classUsers;
    return 1;
}

void DesignWindow::ReleaseClassUser() {
    const std::lock_guard lock(g_classMutex);
    if (--g_classUsers == 0) {
        UnregisterClassW(kCanvasClass, Module());
        UnregisterClassW(kControlClass, Module());
    }
}

int DesignWindow::Create(HWND parent, const RECT& position) {
    if (m_window != nullptr) {
        return Place(position);
    }
    if (!AddClassUser()) {
        return 0;
    }
    m_classUser = true;
    m_window = CreateWindowExW(0, kControlClass, L"Quillorna Design", WS_CHILD | WS_CLIPCHILDREN, position.left,
                               position.top, position.right - position.left, position.bottom - position.top, parent,
                               nullptr, Module(), this);
    if (m_window == nullptr) {
        Destroy();
        return 0;
    }
    TakeDpi();
    if (!MakeChildren()) {
        Destroy();
        return 0;
    }
    RECT client;
    if (GetClientRect(m_window, &client)) {
        Layout(client.right, client.bottom);
    }
    return 1;
}

void DesignWindow::TakeDpi() {
    const UINT dpi = GetDpiForWindow(m_window);
    m_dpi = dpi != 0 ? static_cast<int>(dpi) : 96;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    HFONT font =
        SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, static_cast<UINT>(m_dpi))
            ? CreateFontIndirectW(&metrics.lfMessageFont)
            : nullptr;
    if (m_font != nullptr) {
        DeleteObject(m_font);
    }
    m_font = font;
}

int DesignWindow::MakeChildren() {
    const auto font = reinterpret_cast<WPARAM>(m_font != nullptr ? m_font : GetStockObject(DEFAULT_GUI_FONT));
    const struct {
        int id;
        const wchar_t* text;
        DWORD style;
    } tools[] = {
        {kLineTool, L"Line", BS_AUTORADIOBUTTON | BS_PUSHLIKE | WS_GROUP},
        {kRectangleTool, L"Rectangle", BS_AUTORADIOBUTTON | BS_PUSHLIKE},
        {kMoveTool, L"Move", BS_AUTORADIOBUTTON | BS_PUSHLIKE},
        {kUndo, L"Undo", BS_PUSHBUTTON | WS_DISABLED | WS_GROUP},
    };
    for (const auto& tool : tools) {
        HWND button =
            CreateWindowExW(0, L"BUTTON", tool.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | tool.style, 0, 0, 0, 0,
                            m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(tool.id)), Module(), nullptr);
        if (button == nullptr) {
            return 0;
        }
        SendMessageW(button, WM_SETFONT, font, FALSE);
    }
    CheckRadioButton(m_window, kLineTool, kMoveTool, kLineTool);
    HWND name =
        CreateWindowExW(0, L"STATIC", DocumentName().c_str(), WS_CHILD | WS_VISIBLE | SS_RIGHT | SS_NOPREFIX, 0, 0, 0,
                        0, m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kDocumentName)), Module(), nullptr);
    if (name == nullptr) {
        return 0;
    }
    SendMessageW(name, WM_SETFONT, font, FALSE);
    m_canvas = CreateWindowExW(0, kCanvasClass, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0, 0, m_window,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCanvas)), Module(), this);
    return m_canvas != nullptr ? 1 : 0;
}

void DesignWindow::Destroy() {
    if (m_window != nullptr) {
        DestroyWindow(m_window);
        m_window = nullptr;
        m_canvas = nullptr;
    }
    if (m_font != nullptr) {
        DeleteObject(m_font);
        m_font = nullptr;
    }
    if (m_classUser) {
        m_classUser = false;
        ReleaseClassUser();
    }
}

int DesignWindow::Place(const RECT& position) {
    return SetWindowPos(m_window, nullptr, position.left, position.top, position.right - position.left,
                        position.bottom - position.top, SWP_NOZORDER | SWP_NOACTIVATE)
               ? 1
               : 0;
}

void DesignWindow::Show(bool shown) {
    ShowWindow(m_window, shown ? SW_SHOWNA : SW_HIDE);
}

void DesignWindow::Focus() {
    SetFocus(m_canvas);
}

void DesignWindow::Layout(int width, int height) {
    const int margin = Scaled(kMargin);
    const int row = Scaled(kToolRow);
    int x = margin;
    for (int id = kLineTool; id <= kUndo; ++id) {
        // A gap between the tools and Undo, as between the groups of a tool bar.
        x += id == kUndo ? 2 * margin : 0;
        MoveWindow(GetDlgItem(m_window, id), x, margin, Scaled(kButtonWidth), row - 2 * margin, TRUE);
        x += Scaled(kButtonWidth);
    }
    const int nameLeft = x + 4 * margin;
    const int nameRight = width - 4 * margin;
    MoveWindow(GetDlgItem(m_window, kDocumentName), nameLeft, Scaled(7),
               nameRight > nameLeft ? nameRight - nameLeft : 0, Scaled(16), TRUE);
    MoveWindow(m_canvas, 0, row, width, height > row ? height - row : 0, TRUE);
}

DesignPoint DesignWindow::PointOf(LPARAM lParam) const {
    return {MulDiv(GET_X_LPARAM(lParam), 96, m_dpi), MulDiv(GET_Y_LPARAM(lParam), 96, m_dpi)};
}

void DesignWindow::OnDpiChanged() {
    TakeDpi();
    const auto font = reinterpret_cast<WPARAM>(m_font != nullptr ? m_font : GetStockObject(DEFAULT_GUI_FONT));
    for (int id = kLineTool; id <= kDocumentName; ++id) {
        SendMessageW(GetDlgItem(m_window, id), WM_SETFONT, font, TRUE);
    }
    RECT client;
    if (GetClientRect(m_window, &client)) {
        Layout(client.right, client.bottom);
    }
    InvalidateRect(m_canvas, nullptr, FALSE);
}

void DesignWindow::OnCommand(int id) {
    switch (id) {
    case kLineTool:
        m_drawing.SetTool(DesignDrawing::Tool::Line);
        break;
    case kRectangleTool:
        m_drawing.SetTool(DesignDrawing::Tool::Rectangle);
        break;
    case kMoveTool:
        m_drawing.SetTool(DesignDrawing::Tool::Move);
        break;
    case kUndo:
        m_drawing.Undo();
        // The canvas keeps the keyboard for Ctrl+Z and Escape.
        SetFocus(m_canvas);
        break;
    default:
        return;
    }
    Changed();
}

void DesignWindow::Changed() {
    EnableWindow(GetDlgItem(m_window, kUndo), m_drawing.CanUndo());
    InvalidateRect(m_canvas, nullptr, FALSE);
}

LRESULT DesignWindow::OnCanvasMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
        SetFocus(m_canvas);
        SetCapture(m_canvas);
        m_drawing.Press(PointOf(lParam));
        Changed();
        return 0;
    case WM_MOUSEMOVE:
        if (wParam & MK_LBUTTON) {
            m_drawing.Drag(PointOf(lParam));
            Changed();
        }
        return 0;
    case WM_LBUTTONUP:
        // The gesture ends before the capture does: losing the capture drops a gesture still under way.
        m_drawing.Release(PointOf(lParam));
        if (GetCapture() == m_canvas) {
            ReleaseCapture();
        }
        Changed();
        return 0;
    case WM_RBUTTONDOWN:
    case WM_CAPTURECHANGED:
        if (m_drawing.Cancel()) {
            Changed();
        }
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE && m_drawing.Cancel()) {
            Changed();
        } else if (wParam == 'Z' && GetKeyState(VK_CONTROL) < 0 && m_drawing.Undo()) {
            Changed();
        }
        return 0;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT) {
            const auto* shape = m_drawing.GetTool() == DesignDrawing::Tool::Move ? IDC_SIZEALL : IDC_CROSS;
            SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(shape)));
            return TRUE;
        }
        return DefWindowProcW(m_canvas, message, wParam, lParam);
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintBuffered();
        return 0;
    case WM_PRINTCLIENT: {
        RECT client;
        if (GetClientRect(m_canvas, &client)) {
            Paint(reinterpret_cast<HDC>(wParam), client.right, client.bottom);
        }
        return 0;
    }
    default:
        return DefWindowProcW(m_canvas, message, wParam, lParam);
    }
}

void DesignWindow::PaintBuffered() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_canvas, &paint);
    if (dc == nullptr) {
        return;
    }
    RECT client;
    if (GetClientRect(m_canvas, &client) && client.right > 0 && client.bottom > 0) {
        // Drawn off screen first, so that the grid never shows through a shape being dragged.
        HDC buffer = CreateCompatibleDC(dc);
        HBITMAP bitmap = buffer != nullptr ? CreateCompatibleBitmap(dc, client.right, client.bottom) : nullptr;
        if (bitmap != nullptr) {
            HGDIOBJ old = SelectObject(buffer, bitmap);
            Paint(buffer, client.right, client.bottom);
            BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
            SelectObject(buffer, old);
            DeleteObject(bitmap);
        } else {
            Paint(dc, client.right, client.bottom);
        }
        if (buffer != nullptr) {
            DeleteDC(buffer);
        }
    }
    EndPaint(m_canvas, &paint);
}

void DesignWindow::Paint(HDC dc, int deviceWidth, int deviceHeight) const {
    const RECT all{0, 0, deviceWidth, deviceHeight};
    SetDCBrushColor(dc, kPaper);
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    // From here on in the design's logical pixels: the grid's one-pixel pens stay one device pixel, the shapes'
    // two-pixel pens grow with the scale.
    const int oldMode = SetGraphicsMode(dc, GM_ADVANCED);
    const float scale = static_cast<float>(m_dpi) / 96.0f;
    const XFORM scaling{scale, 0.0f, 0.0f, scale, 0.0f, 0.0f};
    SetWorldTransform(dc, &scaling);
    const int width = MulDiv(deviceWidth, 96, m_dpi);
    const int height = MulDiv(deviceHeight, 96, m_dpi);

    const HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
    constexpr int step = DesignDrawing::kGridStep;
    for (const bool major : {false, true}) {
        SetDCPenColor(dc, major ? kMajorGrid : kMinorGrid);
        for (int x = 0; x <= width; x += step) {
            if (DesignDrawing::IsMajorGridLine(x) == major) {
                MoveToEx(dc, x, 0, nullptr);
                LineTo(dc, x, height);
            }
        }
        for (int y = 0; y <= height; y += step) {
            if (DesignDrawing::IsMajorGridLine(y) == major) {
                MoveToEx(dc, 0, y, nullptr);
                LineTo(dc, width, y);
            }
        }
    }

    const HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    HPEN ink = MakePen(kInk, 2, false);
    HPEN highlight = MakePen(kHighlight, 2, false);
    HPEN draft = MakePen(kHighlight, 2, true);
    if (ink != nullptr && highlight != nullptr && draft != nullptr) {
        for (size_t i = 0; i < m_drawing.Shapes().size(); ++i) {
            SelectObject(dc, m_drawing.IsMoving(i) ? highlight : ink);
            PaintShape(dc, m_drawing.ShownShape(i));
        }
        if (m_drawing.Draft()) {
            SelectObject(dc, draft);
            PaintShape(dc, *m_drawing.Draft());
        }
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    ModifyWorldTransform(dc, nullptr, MWT_IDENTITY);
    SetGraphicsMode(dc, oldMode);
    for (HPEN pen : {ink, highlight, draft}) {
        if (pen != nullptr) {
            DeleteObject(pen);
        }
    }
}

LRESULT CALLBACK DesignWindow::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<DesignWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && self->m_window == window) {
        switch (message) {
        case WM_SIZE:
            self->Layout(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                self->OnCommand(LOWORD(wParam));
                return 0;
            }
            break;
        case WM_DPICHANGED_AFTERPARENT:
            self->OnDpiChanged();
            return 0;
        case WM_CTLCOLORSTATIC:
            // The document's name on the tool row's face, as a tool bar's label.
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        default:
            break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK DesignWindow::CanvasProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<DesignWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->m_canvas != window) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->OnCanvasMessage(message, wParam, lParam);
}

} // namespace quillorna
