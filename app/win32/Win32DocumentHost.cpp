#include "app/win32/Win32DocumentHost.h"

#include "app/win32/Win32ShellWindow.h"
#include "download/HttpDownloadDlg.h"
#include "download/win32/Win32DownloadWindow.h"

#include <utility>

namespace zarn {

Win32DocumentHost::Win32DocumentHost(CZarnApp& app, Win32ShellWindow& shell, std::string caFile)
    : WindowDocumentHost(app, shell, std::move(caFile)), m_shell(shell) {}

int Win32DocumentHost::RunDownload(const std::string& sourceUrl, const std::string& targetPath,
                                   const DownloadCheck& check) {
    // The window outlives the dialog: it drops the dialog's calls still queued when it goes.
    Win32DownloadWindow window(m_shell.Owner());
    CHttpDownloadDlg dialog(window);
    window.SetPresenter(&dialog);
    return RunDownloadIn(dialog, sourceUrl, targetPath, check);
}

} // namespace zarn
