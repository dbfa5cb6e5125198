// The document's views and dialogs in the window, whichever front end draws it: the list and the design control go
// to the frame's view, the wait note to the status bar, message boxes and the start dialog through the
// application and its shell. A front end adds only the download, in its own download window.
#pragma once

#include "components/DocumentHost.h"

#include <string>
#include <vector>

namespace zarn {

class CZarnApp;
class ShellWindow;

class WindowDocumentHost : public CDocumentHost {
public:
    // `app` and `shell` must outlive the host; the frame and view are looked up at every call. Every download
    // trusts `caFile` (empty: none) besides the system's certificate authorities. UI thread.
    WindowDocumentHost(CZarnApp& app, ShellWindow& shell, std::string caFile);

    void FillComponentList(const CZarnDoc& document) override;
    void HideDesignControl() override;
    void UpdateAllViews(const CZarnDoc& document) override;
    // Fetched ahead by the base's queue; each download's dialog then shows its running transfer.
    void PlanDownloads(const std::vector<PlannedDownload>& downloads) override;
    std::string LastDownloadFailText() const override { return m_lastFailText; }
    std::vector<std::string> LastDownloadAttempts() const override { return m_lastAttempts; }
    DownloadAnswer LastDownloadAnswer() const override { return m_lastAnswer; }
    void ShowMessageBox(const std::string& text) override;
    // In the status bar's message pane.
    void ShowWaitNote(const std::string& text) override;
    void ShowStartDialog(int allowUpdate) override;
    void BringMainWindowToFront() override;

protected:
    // A front end's RunDownload: `dialog` shown in the front end's window, with this host's certificate authority.
    int RunDownloadIn(CHttpDownloadDlg& dialog, const std::string& sourceUrl, const std::string& targetPath,
                      const DownloadCheck& check);

private:
    CZarnApp& m_app;
    ShellWindow& m_shell;
    std::string m_caFile;
    std::string m_lastFailText; // what the last download dialog told the user of its failure
    std::vector<std::string> m_lastAttempts;
    DownloadAnswer m_lastAnswer;
};

} // namespace zarn
