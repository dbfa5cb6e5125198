#include "app/win32/Win32DocumentHost.h"

#include "app/FrameView.h"
#include "app/MainFrame.h"
#include "app/ZarnApp.h"
#include "app/win32/Win32ShellWindow.h"
#include "download/HttpDownloadDlg.h"
#include "download/win32/Win32DownloadWindow.h"

namespace zarn {

Win32DocumentHost::Win32DocumentHost(CZarnApp& app, Win32ShellWindow& shell, std::string caFile)
    : m_app(app), m_shell(shell), m_caFile(std::move(caFile)) {}

void Win32DocumentHost::FillComponentList(const CZarnDoc&) {
    if (FrameView* view = m_app.GetActiveView()) {
        view->FillComponentList();
    }
}

void Win32DocumentHost::HideDesignControl() {
    if (FrameView* view = m_app.GetActiveView()) {
        view->HideDesignControl();
    }
}

void Win32DocumentHost::UpdateAllViews(const CZarnDoc&) {
    if (FrameView* view = m_app.GetActiveView()) {
        view->OnUpdate();
    }
}

int Win32DocumentHost::RunDownload(const std::string& sourceUrl, const std::string& targetPath,
                                   const DownloadCheck& check) {
    // The window outlives the dialog: it drops the dialog's calls still queued when it goes.
    Win32DownloadWindow window(m_shell.Owner());
    CHttpDownloadDlg dialog(window);
    window.SetPresenter(&dialog);
    return RunDownloadDialog(dialog, sourceUrl, targetPath, check, m_caFile, m_lastFailText);
}

void Win32DocumentHost::ShowMessageBox(const std::string& text) {
    m_shell.ShowMessageBox(text);
}

void Win32DocumentHost::ShowWaitNote(const std::string& text) {
    if (CMainFrame* frame = m_app.GetMainWnd()) {
        frame->SetMessageText(text);
    }
}

void Win32DocumentHost::ShowStartDialog(int allowUpdate) {
    m_app.ShowStartDialog(allowUpdate);
}

void Win32DocumentHost::BringMainWindowToFront() {
    if (CMainFrame* frame = m_app.GetMainWnd()) {
        frame->BringToFront();
    }
}

} // namespace zarn
