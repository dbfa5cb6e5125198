#include "app/win32/Win32AboutWindow.h"

#include "app/AboutDlg.h"
#include "res/win32/WideText.h"

namespace zarn {

Win32AboutWindow::Win32AboutWindow(CAboutDlg& dialog, HWND owner)
    : Win32Dialog(*FindDialogTemplate(IDD_ABOUTBOX)), m_dialog(dialog), m_owner(owner) {}

void Win32AboutWindow::SetProductLine(const std::string& text) {
    m_productLine = text;
    SetLine(IDC_PRODUCT_LINE, text);
}

void Win32AboutWindow::SetContactLine(const std::string& text) {
    m_contactLine = text;
    SetLine(IDC_CONTACT_LINE, text);
}

// The box's lines come from the string table, in UTF-8.
void Win32AboutWindow::SetLine(ControlId id, const std::string& text) {
    if (Handle() != nullptr) {
        SetDlgItemTextW(Handle(), static_cast<int>(id), WideFromUtf8(text).c_str());
    }
}

std::string Win32AboutWindow::Text(ControlId id, const std::string& stored) const {
    const HWND item = Item(id);
    if (item == nullptr) {
        return stored;
    }
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return Utf8FromWide(text);
}

std::string Win32AboutWindow::ProductLine() const {
    return Text(IDC_PRODUCT_LINE, m_productLine);
}

std::string Win32AboutWindow::ContactLine() const {
    return Text(IDC_CONTACT_LINE, m_contactLine);
}

void Win32AboutWindow::ShowUnsignedLists(const std::string& text) {
    m_unsignedLists = text;
    if (Handle() != nullptr) {
        SetLine(IDC_UNSIGNED_LISTS, text);
        ShowWindow(Item(IDC_UNSIGNED_LISTS), SW_SHOW);
        Grow();
    }
}

int Win32AboutWindow::RunModal() {
    return static_cast<int>(Win32Dialog::RunModal(m_owner));
}

void Win32AboutWindow::EndDialog(int result) {
    End(result);
}

bool Win32AboutWindow::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    switch (message) {
    case WM_INITDIALOG:
        // CAboutDlg set these before the box's controls existed.
        SetLine(IDC_PRODUCT_LINE, m_productLine);
        SetLine(IDC_CONTACT_LINE, m_contactLine);
        if (m_unsignedLists) {
            ShowUnsignedLists(*m_unsignedLists);
        }
        return false;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) {
            return false;
        }
        // The close box and Escape arrive as IDCANCEL, which the box has no button of.
        if (LOWORD(wParam) == IDOK_BUTTON) {
            m_dialog.OnOK();
        } else if (LOWORD(wParam) == IDCANCEL) {
            m_dialog.OnCancel();
        } else {
            return false;
        }
        result = TRUE;
        return true;
    default:
        return false;
    }
}

} // namespace zarn
