#include "app/qt/GuiDocumentHost.h"

#include "app/qt/QtFrameWindow.h"
#include "app/qt/QtShellWindow.h"
#include "download/HttpDownloadDlg.h"
#include "download/qt/QtDownloadWindow.h"

#include <utility>

namespace zarn {

GuiDocumentHost::GuiDocumentHost(CZarnApp& app, QtShellWindow& shell, std::string caFile)
    : WindowDocumentHost(app, shell, std::move(caFile)), m_shell(shell) {}

int GuiDocumentHost::RunDownload(const std::string& sourceUrl, const std::string& targetPath,
                                 const DownloadCheck& check) {
    // The window outlives the dialog: it drops the dialog's calls still queued when it goes.
    QtDownloadWindow window(m_shell.MainWindow());
    CHttpDownloadDlg dialog(window);
    window.SetPresenter(&dialog);
    return RunDownloadIn(dialog, sourceUrl, targetPath, check);
}

} // namespace zarn
