#include "app/StartDlg.h"

#include "app/ShellWindow.h"
#include "app/StartWindow.h"
#include "components/DocumentHost.h"

namespace zarn {

CStartDlg::CStartDlg(ShellWindow& shell) : m_shell(shell) {}

CStartDlg::~CStartDlg() = default;

int CStartDlg::DoModal() {
    const std::unique_ptr<StartWindow> window = m_shell.CreateStartWindow(*this);
    m_window = window.get();
    OnInitDialog();
    const int result = m_window->RunModal();
    m_window = nullptr;
    return result == kIdOk ? kIdOk : kIdCancel;
}

bool CStartDlg::OnInitDialog() {
    m_window->EnableUpdateButton(m_bAllowUpdate != 0);
    m_window->FocusDefaultButton();
    return true;
}

void CStartDlg::OnOK() {
    if (m_window != nullptr) {
        m_window->EndDialog(kIdOk);
    }
}

void CStartDlg::OnButtonUpdate() {
    OnCancel();
}

void CStartDlg::OnCancel() {
    if (m_window != nullptr) {
        m_window->EndDialog(kIdCancel);
    }
}

} // namespace zarn
