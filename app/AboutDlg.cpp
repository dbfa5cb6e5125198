#include "app/AboutDlg.h"

#include "app/AboutWindow.h"
#include "app/ShellWindow.h"
#include "components/DocumentHost.h"
#include "components/ListKeys.h"
#include "res/StringTable.h"

namespace zarn {

CAboutDlg::CAboutDlg(ShellWindow& shell) : m_bUnsignedLists(BuiltInListKeys().empty()), m_shell(shell) {}

CAboutDlg::~CAboutDlg() = default;

int CAboutDlg::DoModal() {
    const std::unique_ptr<AboutWindow> window = m_shell.CreateAboutWindow(*this);
    m_window = window.get();
    OnInitDialog();
    const int result = m_window->RunModal();
    m_window = nullptr;
    return result == kIdOk ? kIdOk : kIdCancel;
}

bool CAboutDlg::OnInitDialog() {
    UpdateData(true);
    m_strProductLine = LoadString(IDS_ABOUT_PRODUCT);
    m_strContactLine = LoadString(IDS_ABOUT_CONTACT);
    UpdateData(true);
    if (m_bUnsignedLists) {
        m_window->ShowUnsignedLists(LoadString(IDS_ABOUT_UNSIGNED));
    }
    return true;
}

void CAboutDlg::UpdateData(bool toDialog) {
    if (toDialog) {
        m_window->SetProductLine(m_strProductLine);
        m_window->SetContactLine(m_strContactLine);
    } else {
        m_strProductLine = m_window->ProductLine();
        m_strContactLine = m_window->ContactLine();
    }
}

void CAboutDlg::OnOK() {
    if (m_window != nullptr) {
        m_window->EndDialog(kIdOk);
    }
}

void CAboutDlg::OnCancel() {
    if (m_window != nullptr) {
        m_window->EndDialog(kIdCancel);
    }
}

} // namespace zarn
