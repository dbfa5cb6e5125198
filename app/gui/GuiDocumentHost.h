// The document's views and dialogs in the desktop window: the main frame's view, the download dialog, the
// message boxes and the application's start dialog.
#pragma once

#include "components/DocumentHost.h"

namespace zarn {

class CZarnApp;

class GuiDocumentHost : public CDocumentHost {
public:
    // `app` must outlive the host; its frame and view are looked up at every call. UI thread.
    explicit GuiDocumentHost(CZarnApp& app);

    void FillComponentList(const CZarnDoc& document) override;
    void HideDesignControl() override;
    void UpdateAllViews(const CZarnDoc& document) override;
    int RunDownload(const std::string& sourceUrl, const std::string& targetPath, const DownloadCheck& check) override;
    void ShowMessageBox(const std::string& text) override;
    void ShowStartDialog(int allowUpdate) override;
    void BringMainWindowToFront() override;

private:
    CZarnApp& m_app;
};

} // namespace zarn
