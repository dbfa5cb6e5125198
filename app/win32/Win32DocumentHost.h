// The document's views and dialogs in the Windows window: the main frame's view, the download dialog, the message
// boxes and the application's start dialog.
#pragma once

#include "components/DocumentHost.h"

#include <string>

namespace zarn {

class CZarnApp;
class Win32ShellWindow;

class Win32DocumentHost : public CDocumentHost {
public:
    // `app` and `shell` must outlive the host; the frame and view are looked up at every call. Every download
    // trusts `caFile` (empty: none) besides the system's certificate authorities. UI thread.
    Win32DocumentHost(CZarnApp& app, Win32ShellWindow& shell, std::string caFile);

    void FillComponentList(const CZarnDoc& document) override;
    void HideDesignControl() override;
    void UpdateAllViews(const CZarnDoc& document) override;
    int RunDownload(const std::string& sourceUrl, const std::string& targetPath, const DownloadCheck& check) override;
    std::string LastDownloadFailText() const override { return m_lastFailText; }
    void ShowMessageBox(const std::string& text) override;
    // In the status bar's message pane.
    void ShowWaitNote(const std::string& text) override;
    void ShowStartDialog(int allowUpdate) override;
    void BringMainWindowToFront() override;

private:
    CZarnApp& m_app;
    Win32ShellWindow& m_shell;
    std::string m_caFile;
    std::string m_lastFailText; // what the last download dialog told the user of its failure
};

} // namespace zarn
