#include "components/DocumentHost.h"

#include "download/HttpDownloadDlg.h"

namespace zarn {

int CDocumentHost::RunDownloadDialog(CHttpDownloadDlg& dialog, const std::string& sourceUrl,
                                     const std::string& targetPath, const DownloadCheck& check,
                                     const std::string& caFile, std::string& failText,
                                     std::vector<std::string>& attempts, DownloadAnswer& answer) {
    dialog.m_strSourceUrl = sourceUrl;
    dialog.m_strTargetPath = targetPath;
    dialog.m_expectedSize = check.size;
    dialog.m_expectedSha256 = check.sha256;
    dialog.m_maxSize = check.maxSize;
    dialog.m_strCaFile = caFile;
    dialog.m_strIfNoneMatch = check.ifNoneMatch;
    dialog.m_strIfModifiedSince = check.ifModifiedSince;
    const int result = dialog.DoModal();
    failText = dialog.ShownFailText();
    attempts = dialog.AttemptNotes();
    answer = {dialog.NotModified(), dialog.AnswerETag(), dialog.AnswerLastModified()};
    return result == kIdOk ? kIdOk : kIdCancel;
}

} // namespace zarn
