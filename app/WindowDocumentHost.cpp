#include "app/WindowDocumentHost.h"

#include "app/FrameView.h"
#include "app/MainFrame.h"
#include "app/ShellWindow.h"
#include "app/ZarnApp.h"

#include <utility>

namespace zarn {

WindowDocumentHost::WindowDocumentHost(CZarnApp& app, ShellWindow& shell, std::string caFile)
    : m_app(app), m_shell(shell), m_caFile(std::move(caFile)) {}

void WindowDocumentHost::FillComponentList(const CZarnDoc&) {
    if (FrameView* view = m_app.GetActiveView())
        view->FillComponentList();
}

void WindowDocumentHost::HideDesignControl() {
    if (FrameView* view = m_app.GetActiveView())
        view->HideDesignControl();
}

void WindowDocumentHost::UpdateAllViews(const CZarnDoc&) {
    if (FrameView* view = m_app.GetActiveView())
        view->OnUpdate();
}

int WindowDocumentHost::RunDownloadIn(CHttpDownloadDlg& dialog, const std::string& sourceUrl,
                                      const std::string& targetPath, const DownloadCheck& check) {
    return RunDownloadDialog(dialog, sourceUrl, targetPath, check, m_caFile, m_lastFailText, m_lastAttempts,
                             m_lastAnswer);
}

void WindowDocumentHost::PlanDownloads(const std::vector<PlannedDownload>& downloads) {
    StartDownloadsAhead(downloads, m_caFile);
}

void WindowDocumentHost::ShowMessageBox(const std::string& text) {
    m_shell.ShowMessageBox(text);
}

void WindowDocumentHost::ShowWaitNote(const std::string& text) {
    if (CMainFrame* frame = m_app.GetMainWnd())
        frame->SetMessageText(text);
}

void WindowDocumentHost::ShowStartDialog(int allowUpdate) {
    m_app.ShowStartDialog(allowUpdate);
}

void WindowDocumentHost::BringMainWindowToFront() {
    if (CMainFrame* frame = m_app.GetMainWnd())
        frame->BringToFront();
}

} // namespace zarn
