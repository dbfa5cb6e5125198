#include "app/console/ConsoleHost.h"

#include "app/console/ConsoleProgress.h"
#include "download/TargetFile.h"
#include "download/TransferEngine.h"
#include "download/UrlSplit.h"
#include "res/StringTable.h"

#include <atomic>
#include <cstdio>
#include <utility>

namespace zarn {

ConsoleHost::ConsoleHost(Settings settings) : m_settings(std::move(settings)) {}

int ConsoleHost::RunDownload(const std::string& sourceUrl, const std::string& targetPath, const DownloadCheck& check) {
    m_lastFailText.clear();
    // The URL is read as the download dialog reads it: one without a scheme is taken as http.
    UrlParts parts;
    if (!SplitUrl(sourceUrl, parts) && !SplitUrl("http://" + sourceUrl, parts)) {
        return kIdCancel;
    }
    TargetFile target;
    if (const auto opened = target.Open(targetPath, 0); opened.messageId != 0) {
        m_lastFailText = FormatString(opened.messageId, std::to_string(opened.systemCode));
        ShowMessageBox(m_lastFailText);
        return kIdCancel;
    }
    TransferSettings settings;
    settings.hostName = parts.hostName;
    settings.port = parts.port;
    settings.objectPath = parts.objectPath;
    settings.secure = parts.service == kServiceHttps;
    settings.caFile = m_settings.caFile;
    settings.expectedSize = check.size;
    settings.expectedSha256 = check.sha256;
    settings.sizeLimit = check.maxSize;

    ConsoleProgress progress(ShownNameOf(parts.objectPath), m_settings.progress && !m_settings.quiet,
                             m_settings.mayAsk);
    // Nothing stops a console download but the end of the process; the stale-file sweep of the next Open
    // removes what an interrupted one leaves beside the target.
    const std::atomic<bool> stop{false};
    TransferEngine(settings, target, progress, stop).Run();
    if (progress.Failed()) {
        m_lastFailText = progress.FailText();
        if (!m_lastFailText.empty()) {
            ShowMessageBox(m_lastFailText);
        }
        return kIdCancel;
    }
    return kIdOk;
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
