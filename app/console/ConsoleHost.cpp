#include "app/console/ConsoleHost.h"

#include "app/console/ConsoleDownloadWindow.h"
#include "download/HttpDownloadDlg.h"

#include <cstdio>
#include <utility>

namespace zarn {

ConsoleHost::ConsoleHost(Settings settings) : m_settings(std::move(settings)) {}

int ConsoleHost::RunDownload(const std::string& sourceUrl, const std::string& targetPath, const DownloadCheck& check) {
    // Nothing stops a console download but the end of the process; the stale-file sweep of the next Open removes
    // what an interrupted one leaves beside the target.
    ConsoleDownloadWindow window(m_settings.progress && !m_settings.quiet, m_settings.mayAsk,
                                 [this](const std::string& text) { ShowMessageBox(text); });
    CHttpDownloadDlg dialog(window);
    return RunDownloadDialog(dialog, sourceUrl, targetPath, check, m_settings.caFile, m_lastFailText, m_lastAttempts,
                             m_lastAnswer);
}

void ConsoleHost::PlanDownloads(const std::vector<PlannedDownload>& downloads) {
    StartDownloadsAhead(downloads, m_settings.caFile);
}

void ConsoleHost::ShowWaitNote(const std::string& text) {
    if (!text.empty()) {
        ShowMessageBox(text);
    }
}

void ConsoleHost::ShowMessageBox(const std::string& text) {
    if (!m_settings.quiet) {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }
}

} // namespace zarn
