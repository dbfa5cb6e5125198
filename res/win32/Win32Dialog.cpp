#include "res/win32/Win32Dialog.h"

#include "res/win32/DialogColors.h"
#include "res/win32/WideText.h"

#include <commctrl.h>
#include <string>
#include <utility>

namespace zarn {

namespace {

// The dialogs show the application's icon in their caption, as the frame does; a program without it (a test) keeps
// the system's.
void ShowApplicationIcon(HWND dialog) {
    const HINSTANCE executable = GetModuleHandleW(nullptr);
    for (const auto& [kind, metric] : {std::pair{ICON_BIG, SM_CXICON}, std::pair{ICON_SMALL, SM_CXSMICON}}) {
        const int size = GetSystemMetrics(metric);
        if (HANDLE icon = LoadImageW(executable, MAKEINTRESOURCEW(IDI_MAINFRAME), IMAGE_ICON, size, size, LR_SHARED))
            SendMessageW(dialog, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
    }
}

// The predefined classes' ordinals in a dialog template.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kStaticClass = 0x0082;

// Appends the pieces of a DLGTEMPLATEEX in their in-memory order; the template is a sequence of 16-bit words
// whose items start on 32-bit boundaries.
class TemplateWriter {
public:
    explicit TemplateWriter(std::vector<WORD>& out) : m_out(out) {}
    void Word(WORD value) { m_out.push_back(value); }
    void Dword(DWORD value) {
        Word(LOWORD(value));
        Word(HIWORD(value));
    }
    void Text(const std::wstring& text) {
        m_out.insert(m_out.end(), text.begin(), text.end());
        Word(0);
    }
    void Ordinal(WORD value) {
        Word(0xFFFF);
        Word(value);
    }
    void AlignDword() {
        if (m_out.size() % 2 != 0) {
            Word(0);
        }
    }
    void Rect(const DialogRect& rect) {
        Word(static_cast<WORD>(rect.x));
        Word(static_cast<WORD>(rect.y));
        Word(static_cast<WORD>(rect.width));
        Word(static_cast<WORD>(rect.height));
    }

private:
    std::vector<WORD>& m_out;
};

DWORD ItemStyle(const DialogItem& item) {
    DWORD style = WS_CHILD;
    if (!(item.style & kItemHidden)) {
        style |= WS_VISIBLE;
    }
    if (item.style & kItemDisabled) {
        style |= WS_DISABLED;
    }
    if (item.style & kItemTabStop) {
        style |= WS_TABSTOP;
    }
    const bool wraps = (item.style & kItemWraps) != 0;
    switch (item.kind) {
    case DialogItemKind::PushButton:
        return style | BS_PUSHBUTTON | (wraps ? BS_MULTILINE : 0);
    case DialogItemKind::DefaultPushButton:
        return style | BS_DEFPUSHBUTTON | (wraps ? BS_MULTILINE : 0);
    case DialogItemKind::StaticText: {
        // A static control's left-aligned text wraps unless told not to; centred text always does.
        DWORD align = (item.style & kItemCentred) ? SS_CENTER : wraps ? SS_LEFT : SS_LEFTNOWORDWRAP;
        return style | align | ((item.style & kItemNoPrefix) ? SS_NOPREFIX : 0);
    }
    case DialogItemKind::Edit:
        return style | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL;
    case DialogItemKind::ReadOnlyEdit:
        return style | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL | ES_READONLY;
    case DialogItemKind::PasswordEdit:
        return style | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL | ES_PASSWORD;
    case DialogItemKind::Icon:
        // Centred in its rectangle at the icon's own size, so that the layout stays the template's.
        return style | SS_ICON | SS_CENTERIMAGE;
    case DialogItemKind::ProgressBar:
        return style | WS_BORDER;
    case DialogItemKind::Animation:
        return style | ((item.style & kItemTransparent) ? ACS_TRANSPARENT : 0);
    }
    return style;
}

void WriteItemClass(TemplateWriter& writer, DialogItemKind kind) {
    switch (kind) {
    case DialogItemKind::PushButton:
    case DialogItemKind::DefaultPushButton:
        writer.Ordinal(kButtonClass);
        return;
    case DialogItemKind::Edit:
    case DialogItemKind::ReadOnlyEdit:
    case DialogItemKind::PasswordEdit:
        writer.Ordinal(kEditClass);
        return;
    case DialogItemKind::StaticText:
    case DialogItemKind::Icon:
        writer.Ordinal(kStaticClass);
        return;
    case DialogItemKind::ProgressBar:
        writer.Text(PROGRESS_CLASSW);
        return;
    case DialogItemKind::Animation:
        writer.Text(ANIMATE_CLASSW);
        return;
    }
}

} // namespace

Win32Dialog::Win32Dialog(const DialogTemplate& dialog) : m_template(dialog) {}

Win32Dialog::~Win32Dialog() {
    // A modeless dialog outliving its object would call into freed memory.
    if (m_window != nullptr && !m_modal) {
        DestroyWindow(m_window);
    }
}

std::vector<WORD> Win32Dialog::BuildTemplate(const DialogTemplate& dialog) {
    std::vector<WORD> memory;
    TemplateWriter writer(memory);
    writer.Word(1);      // dlgVer
    writer.Word(0xFFFF); // signature: the extended form
    writer.Dword(0);     // helpID
    writer.Dword(0);     // exStyle
    writer.Dword(DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    writer.Word(static_cast<WORD>(dialog.items.size()));
    writer.Rect({0, 0, dialog.width, dialog.height});
    writer.Word(0); // no menu
    writer.Word(0); // the dialog class
    writer.Text(ResourceText(dialog.caption));
    writer.Word(static_cast<WORD>(kDialogFontPoints));
    writer.Word(FW_NORMAL);
    writer.Word(MAKEWORD(FALSE, DEFAULT_CHARSET)); // italic, charset
    writer.Text(WideFromUtf8(kDialogFontFace));
    for (const DialogItem& item : dialog.items) {
        writer.AlignDword();
        writer.Dword(0); // helpID
        writer.Dword(0); // exStyle
        writer.Dword(ItemStyle(item));
        writer.Rect(item.rect);
        writer.Dword(item.id);
        WriteItemClass(writer, item.kind);
        if (item.kind == DialogItemKind::Icon) {
            writer.Ordinal(static_cast<WORD>(item.image));
        } else {
            writer.Text(item.text != kNoText ? ResourceText(item.text) : std::wstring());
        }
        writer.Word(0); // no creation data
    }
    return memory;
}

INT_PTR Win32Dialog::RunModal(HWND owner) {
    m_memory = BuildTemplate(m_template);
    m_modal = true;
    // The icon item names its picture by number: it is looked up in the executable, which carries the resources.
    const INT_PTR result =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(m_memory.data()), owner,
                                DialogProc, reinterpret_cast<LPARAM>(this));
    m_window = nullptr;
    return result;
}

int Win32Dialog::Create(HWND owner) {
    m_memory = BuildTemplate(m_template);
    m_modal = false;
    const HWND window =
        CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(m_memory.data()),
                                   owner, DialogProc, reinterpret_cast<LPARAM>(this));
    return window != nullptr ? 1 : 0;
}

void Win32Dialog::End(INT_PTR result) {
    if (m_window == nullptr) {
        return;
    }
    if (m_modal) {
        EndDialog(m_window, result);
    } else {
        DestroyWindow(m_window);
    }
}

HWND Win32Dialog::Item(ControlId id) const {
    return m_window != nullptr ? GetDlgItem(m_window, static_cast<int>(id)) : nullptr;
}

void Win32Dialog::SetItemText(ControlId id, const std::string& text) {
    SetDlgItemTextW(m_window, static_cast<int>(id), WideFromCodePage(text).c_str());
}

RECT Win32Dialog::PixelRect(const DialogRect& rect) const {
    // The dialog manager scales an item's origin and size each on their own; mapping the far edges instead would
    // round differently.
    RECT scaled{rect.x, rect.y, rect.width, rect.height};
    MapDialogRect(m_window, &scaled);
    return {scaled.left, scaled.top, scaled.left + scaled.right, scaled.top + scaled.bottom};
}

void Win32Dialog::Grow() {
    const RECT grown = PixelRect({0, 0, m_template.width, m_template.grownHeight});
    RECT frame = grown;
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(m_window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(m_window, GWL_EXSTYLE));
    if (!AdjustWindowRectEx(&frame, style, FALSE, exStyle)) {
        return;
    }
    SetWindowPos(m_window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Win32Dialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) {
    return false;
}

INT_PTR CALLBACK Win32Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<Win32Dialog*>(lParam);
        dialog->m_window = window;
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        ShowApplicationIcon(window);
    }
    // Messages before WM_INITDIALOG (the font, the frame's creation) find no object yet and get the defaults.
    auto* dialog = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr) {
        return FALSE;
    }
    const INT_PTR result = dialog->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        dialog->m_window = nullptr;
    }
    return result;
}

INT_PTR Win32Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    INT_PTR result = FALSE;
    if (OnMessage(message, wParam, lParam, result)) {
        return result;
    }
    switch (message) {
    case WM_INITDIALOG:
        return TRUE; // the first tab stop gets the focus
    case WM_CTLCOLORDLG:
        return reinterpret_cast<INT_PTR>(DialogBackgroundBrush());
    case WM_CTLCOLORSTATIC: {
        // Static texts, read-only edits and the animation: the dialogs' text colour on their background.
        const auto context = reinterpret_cast<HDC>(wParam);
        SetTextColor(context, DialogTextColor());
        SetBkColor(context, DialogBackgroundColor());
        return reinterpret_cast<INT_PTR>(DialogBackgroundBrush());
    }
    default:
        return FALSE;
    }
}

} // namespace zarn
