#include "app/win32/Win32StartWindow.h"

#include "app/StartDlg.h"

namespace zarn {

Win32StartWindow::Win32StartWindow(CStartDlg& dialog, HWND owner)
    : Win32Dialog(*FindDialogTemplate(IDD_START)), m_dialog(dialog), m_owner(owner) {}

void Win32StartWindow::EnableUpdateButton(bool enabled) {
    m_updateEnabled = enabled;
    EnableWindow(Item(IDC_UPDATE), enabled);
}

void Win32StartWindow::FocusDefaultButton() {
    m_focusDefault = true;
    SetFocus(Item(IDOK_BUTTON));
}

int Win32StartWindow::RunModal() {
    return static_cast<int>(Win32Dialog::RunModal(m_owner));
}

void Win32StartWindow::EndDialog(int result) {
    End(result);
}

bool Win32StartWindow::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    switch (message) {
    case WM_INITDIALOG:
        // CStartDlg set these before the dialog's controls existed.
        EnableWindow(Item(IDC_UPDATE), m_updateEnabled);
        if (m_focusDefault) {
            SetFocus(Item(IDOK_BUTTON));
            result = FALSE; // the focus is set
            return true;
        }
        return false;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) {
            return false;
        }
        // The close box and Escape arrive as IDCANCEL, which the dialog has no button of.
        switch (LOWORD(wParam)) {
        case IDOK_BUTTON:
            m_dialog.OnOK();
            break;
        case IDC_UPDATE:
            m_dialog.OnButtonUpdate();
            break;
        case IDCANCEL:
            m_dialog.OnCancel();
            break;
        default:
            return false;
        }
        result = TRUE;
        return true;
    default:
        return false;
    }
}

} // namespace zarn
