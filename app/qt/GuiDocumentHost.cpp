#include "app/qt/GuiDocumentHost.h"

#include "app/qt/MainFrame.h"
#include "app/qt/MessageBox.h"
#include "app/qt/ZarnApp.h"
#include "download/HttpDownloadDlg.h"
#include "download/qt/QtDownloadWindow.h"
#include "res/StringTable.h"
#include "view/ZarnView.h"

#include <QLabel>

namespace zarn {

GuiDocumentHost::GuiDocumentHost(CZarnApp& app, std::string caFile) : m_app(app), m_caFile(std::move(caFile)) {}

void GuiDocumentHost::FillComponentList(const CZarnDoc&) {
    if (CZarnView* view = m_app.GetActiveView())
        view->FillComponentList();
}

void GuiDocumentHost::HideDesignControl() {
    if (CZarnView* view = m_app.GetActiveView())
        view->HideDesignControl();
}

void GuiDocumentHost::UpdateAllViews(const CZarnDoc&) {
    if (CZarnView* view = m_app.GetActiveView())
        view->OnUpdate();
}

int GuiDocumentHost::RunDownload(const std::string& sourceUrl, const std::string& targetPath,
                                 const DownloadCheck& check) {
    // The window outlives the dialog: it drops the dialog's calls still queued when it goes.
    QtDownloadWindow window(m_app.GetMainWnd());
    CHttpDownloadDlg dialog(window);
    window.SetPresenter(&dialog);
    dialog.m_strSourceUrl = sourceUrl;
    dialog.m_strTargetPath = targetPath;
    dialog.m_expectedSize = check.size;
    dialog.m_expectedSha256 = check.sha256;
    dialog.m_maxSize = check.maxSize;
    dialog.m_strCaFile = m_caFile;
    const int result = dialog.DoModal();
    m_lastFailText = dialog.ShownFailText();
    return result == kIdOk ? kIdOk : kIdCancel;
}

void GuiDocumentHost::ShowMessageBox(const std::string& text) {
    MessageBox::ShowOk(m_app.GetMainWnd(), QString::fromLocal8Bit(text));
}

void GuiDocumentHost::ShowWaitNote(const std::string& text) {
    if (CMainFrame* frame = m_app.GetMainWnd()) {
        frame->m_paneMessage->setText(text.empty() ? QString::fromLocal8Bit(LoadString(AFX_IDS_IDLEMESSAGE))
                                                   : QString::fromLocal8Bit(text));
        frame->m_paneMessage->repaint();
    }
}

void GuiDocumentHost::ShowStartDialog(int allowUpdate) {
    m_app.ShowStartDialog(allowUpdate);
}

void GuiDocumentHost::BringMainWindowToFront() {
    if (CMainFrame* frame = m_app.GetMainWnd()) {
        frame->raise();
        frame->activateWindow();
    }
}

} // namespace zarn
