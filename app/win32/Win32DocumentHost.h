// The document's host in the Windows window: the shared window host, with downloads in the Win32 download dialog.
#pragma once

#include "app/WindowDocumentHost.h"

#include <string>

namespace zarn {

class Win32ShellWindow;

class Win32DocumentHost : public WindowDocumentHost {
public:
    // `app` and `shell` must outlive the host. UI thread.
    Win32DocumentHost(CZarnApp& app, Win32ShellWindow& shell, std::string caFile);

    int RunDownload(const std::string& sourceUrl, const std::string& targetPath, const DownloadCheck& check) override;

private:
    Win32ShellWindow& m_shell;
};

} // namespace zarn
