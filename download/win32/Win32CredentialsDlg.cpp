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
