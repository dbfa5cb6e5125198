#include "components/DocumentHost.h"

#include "components/LauncherSettings.h"
#include "download/HttpDownloadDlg.h"
#include "res/StringTable.h"

namespace zarn {

void CDocumentHost::SetProxy(std::string proxyServer, std::string pacUrl) {
    m_ahead.SetProxy(proxyServer, pacUrl);
    m_proxyServer = std::move(proxyServer);
    m_proxyPacUrl = std::move(pacUrl);
}

void CDocumentHost::StartDownloadsAhead(const std::vector<PlannedDownload>& downloads, const std::string& caFile) {
    if (downloads.empty()) {
        m_ahead.Finish();
        return;
    }
    std::vector<DownloadQueue::Item> items;
    for (const PlannedDownload& download : downloads) {
        items.push_back({download.sourceUrl, download.targetPath, download.check.size, download.check.sha256,
                         download.check.mirrorUrls});
    }
    m_ahead.Start(items, caFile, LauncherSettings::DownloadsAtOnce());
}

int CDocumentHost::RunDownloadDialog(CHttpDownloadDlg& dialog, const std::string& sourceUrl,
                                     const std::string& targetPath, const DownloadCheck& check,
                                     const std::string& caFile, std::string& failText,
                                     std::vector<std::string>& attempts, DownloadAnswer& answer) {
    failText.clear();
    attempts.clear();
    answer = {};
    if (const int ahead = m_ahead.Find(sourceUrl, targetPath); ahead >= 0) {
        if (m_ahead.StopRequested()) {
            // The user stopped the check's downloads in an earlier dialog: this one was stopped with them.
            return kIdCancel;
        }
        if (m_ahead.HasArrived(ahead)) {
            attempts = m_ahead.AttemptNotes(ahead);
            // Whole, with its size and hash passed: a dialog would only flash.
            if (const unsigned long code = m_ahead.Target(ahead).Commit(); code != 0) {
                failText = FormatString(IDS_TRANSFER_FAILED, std::to_string(code));
                ShowMessageBox(failText);
                return kIdCancel;
            }
            return kIdOk;
        }
        dialog.AttachTo(m_ahead, ahead);
    }
    dialog.m_strSourceUrl = sourceUrl;
    dialog.m_strTargetPath = targetPath;
    dialog.m_expectedSize = check.size;
    dialog.m_expectedSha256 = check.sha256;
    dialog.m_maxSize = check.maxSize;
    dialog.m_strCaFile = caFile;
    if (!m_proxyServer.empty()) {
        dialog.m_nAccessMode = 2;
        dialog.m_strProxyHost = m_proxyServer;
    }
    dialog.m_strProxyPacUrl = m_proxyPacUrl;
    dialog.m_strIfNoneMatch = check.ifNoneMatch;
    dialog.m_strIfModifiedSince = check.ifModifiedSince;
    dialog.m_mirrorUrls = check.mirrorUrls;
    const int result = dialog.DoModal();
    failText = dialog.ShownFailText();
    attempts = dialog.AttemptNotes();
    answer = {dialog.NotModified(), dialog.AnswerETag(), dialog.AnswerLastModified()};
    return result == kIdOk ? kIdOk : kIdCancel;
}

} // namespace zarn
