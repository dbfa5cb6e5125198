#include "download/win32/Win32CredentialsDlg.h"

#include "res/win32/WideText.h"

namespace zarn {

Win32CredentialsDlg::Win32CredentialsDlg() : Win32Dialog(*FindDialogTemplate(IDD_CREDENTIALS)) {}

bool Win32CredentialsDlg::Ask(HWND owner, const std::string& question, std::string& user, std::string& password) {
    m_question = question;
    m_user = user;
    m_password.clear();
    if (RunModal(owner) != IDOK)
        return false;
    user = m_user;
    password = m_password;
    return true;
}

void Win32CredentialsDlg::FitQuestion() {
    const HWND dialog = Handle();
    const HWND prompt = Item(IDC_CREDENTIALS_PROMPT);
    RECT room;
    if (!GetClientRect(prompt, &room))
        return;
    const HDC context = GetDC(prompt);
    if (context == nullptr)
        return;
    const HGDIOBJ oldFont = SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(prompt, WM_GETFONT, 0, 0)));
    const std::wstring question = WideFromCodePage(m_question);
    // Measured as the static control breaks its lines.
    RECT needed{0, 0, room.right, 0};
    const int measured = DrawTextW(context, question.c_str(), static_cast<int>(question.size()), &needed,
                                   DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    SelectObject(context, oldFont);
    ReleaseDC(prompt, context);
    const int extra = needed.bottom - room.bottom;
    if (measured == 0 || extra <= 0)
        return;

    // Window rectangles, the items' in the dialog's client coordinates.
    const auto resize = [dialog](HWND window, bool child, int down, int taller) {
        RECT place;
        if (!GetWindowRect(window, &place))
            return;
        if (child)
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
        SetWindowPos(window, nullptr, place.left, place.top + down, place.right - place.left,
                     place.bottom - place.top + taller, SWP_NOZORDER | SWP_NOACTIVATE | (child ? 0 : SWP_NOMOVE));
    };
    const DialogRect& asked = FindDialogItem(Template(), IDC_CREDENTIALS_PROMPT)->rect;
    for (const DialogItem& item : Template().items) {
        if (item.id == IDC_CREDENTIALS_PROMPT)
            resize(prompt, true, 0, extra);
        else if (item.rect.y >= asked.y + asked.height)
            resize(Item(item.id), true, extra, 0);
    }
    resize(dialog, false, 0, extra);
}

std::string Win32CredentialsDlg::ItemText(ControlId id) const {
    const HWND item = Item(id);
    const int length = GetWindowTextLengthW(item);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(item, text.data(), length + 1)));
    return CodePageFromWide(text);
}

bool Win32CredentialsDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    switch (message) {
    case WM_INITDIALOG:
        SetItemText(IDC_CREDENTIALS_PROMPT, m_question);
        SetItemText(IDC_USER_NAME, m_user);
        FitQuestion();
        // A known user only lacks the password.
        SetFocus(Item(m_user.empty() ? IDC_USER_NAME : IDC_PASSWORD));
        result = FALSE; // the focus is set
        return true;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            m_user = ItemText(IDC_USER_NAME);
            m_password = ItemText(IDC_PASSWORD);
            End(IDOK);
            return true;
        case IDCANCEL: // the Cancel button, Escape and the close box
            End(IDCANCEL);
            return true;
        default:
            return false;
        }
    default:
        return false;
    }
}

} // namespace zarn
