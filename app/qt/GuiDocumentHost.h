// The document's host in the Qt window: the shared window host, with downloads in the Qt download dialog.
#pragma once

#include "app/WindowDocumentHost.h"

#include <string>

namespace zarn {

class QtShellWindow;

class GuiDocumentHost : public WindowDocumentHost {
public:
    // `app` and `shell` must outlive the host. UI thread.
    GuiDocumentHost(CZarnApp& app, QtShellWindow& shell, std::string caFile);

    int RunDownload(const std::string& sourceUrl, const std::string& targetPath, const DownloadCheck& check) override;

private:
    QtShellWindow& m_shell;
};

} // namespace zarn
