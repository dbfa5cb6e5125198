#include "app/qt/GuiDocumentHost.h"

#include "app/FrameView.h"
#include "app/MainFrame.h"
#include "app/ZarnApp.h"
#include "app/qt/QtFrameWindow.h"
#include "app/qt/QtShellWindow.h"
#include "download/HttpDownloadDlg.h"
#include "download/qt/QtDownloadWindow.h"

namespace zarn {

GuiDocumentHost::GuiDocumentHost(CZarnApp& app, QtShellWindow& shell, std::string caFile)
    : m_app(app), m_shell(shell), m_caFile(std::move(caFile)) {}

void GuiDocumentHost::FillComponentList(const CZarnDoc&) {
    if (FrameView* view = m_app.GetActiveView())
        view->FillComponentList();
}

void GuiDocumentHost::HideDesignControl() {
    if (FrameView* view = m_app.GetActiveView())
        view->HideDesignControl();
}

void GuiDocumentHost::UpdateAllViews(const CZarnDoc&) {
    if (FrameView* view = m_app.GetActiveView())
        view->OnUpdate();
}

int GuiDocumentHost::RunDownload(const std::string& sourceUrl, const std::string& targetPath,
                                 const DownloadCheck& check) {
    // The window outlives the dialog: it drops the dialog's calls still queued when it goes.
    QtDownloadWindow window(m_shell.MainWindow());
    CHttpDownloadDlg dialog(window);
    window.SetPresenter(&dialog);
    return RunDownloadDialog(dialog, sourceUrl, targetPath, check, m_caFile, m_lastFailText);
}

void GuiDocumentHost::ShowMessageBox(const std::string& text) {
    m_shell.ShowMessageBox(text);
}

void GuiDocumentHost::ShowWaitNote(const std::string& text) {
    if (CMainFrame* frame = m_app.GetMainWnd())
        frame->SetMessageText(text);
}

void GuiDocumentHost::ShowStartDialog(int allowUpdate) {
    m_app.ShowStartDialog(allowUpdate);
}

void GuiDocumentHost::BringMainWindowToFront() {
    if (CMainFrame* frame = m_app.GetMainWnd())
        frame->BringToFront();
}

} // namespace zarn
