#include "download/HttpDownloadDlg.h"

#include "download/FileTransfer.h"
#include "download/ProgressText.h"
#include "download/TransferEngine.h"
#include "download/UrlSplit.h"
#include "platform/FileSystem.h"

#include <exception>
#include <string>
#include <utility>

namespace zarn {

CHttpDownloadDlg::CHttpDownloadDlg(DownloadWindow& window) : m_window(window) {}

CHttpDownloadDlg::~CHttpDownloadDlg() {
    JoinWorker();
}

void CHttpDownloadDlg::AttachTo(DownloadQueue& queue, int id) {
    m_pQueue = &queue;
    m_queued = id;
}

TargetFile& CHttpDownloadDlg::Target() {
    return m_pQueue ? m_pQueue->Target(m_queued) : m_fileTarget;
}

int CHttpDownloadDlg::DoModal() {
    m_strShownFailText.clear();
    m_attemptNotes.clear();
    m_bNotModified = false;
    m_strAnswerETag.clear();
    m_strAnswerLastModified.clear();
    m_initResult = 0;
    m_inInit = true;
    OnInitDialog();
    m_inInit = false;
    const int result = m_initResult != 0 ? m_initResult : m_window.RunModal();
    OnDestroy();
    // Anything that ended the run without a result of ours (a result of 0) is no success.
    return result == kIdOk ? kIdOk : kIdCancel;
}

std::string CHttpDownloadDlg::SourceShown() const {
    if (m_dwUrlService != kServiceFile) {
        return m_strHostName;
    }
    // A file has no server to name: its folder says where it comes from.
    const std::string path = FileTransfer::LocalPathOf(m_strHostName, m_strObjectPath).value_or(m_strObjectPath);
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(0, separator);
}

bool CHttpDownloadDlg::OnInitDialog() {
    m_window.OpenAnimation();

    UrlParts parts;
    if (!SplitDownloadUrl(m_strSourceUrl, parts)) {
        EndDialog(kIdCancel);
        return true;
    }
    m_dwUrlService = parts.service;
    m_strHostName = parts.hostName;
    m_strObjectPath = parts.objectPath;
    m_wHostPort = parts.port;

    if (m_pQueue) {
        m_strShownName = ShownNameOf(m_strObjectPath);
        m_window.SetSourceText(FormatString(IDS_SOURCE_LINE, m_strShownName, SourceShown()), m_strShownName);
        m_pQueue->Attach(m_queued, *this);
        return true;
    }
    const auto origin = TargetFile::OriginOf(m_strSourceUrl, m_expectedSize, m_expectedSha256);
    if (const auto opened = m_fileTarget.Open(m_strTargetPath, m_dwResumeOffset, origin ? &*origin : nullptr);
        opened.messageId != 0) {
        ShowFailure(FormatString(opened.messageId, std::to_string(opened.systemCode)));
        EndDialog(kIdCancel);
        return true;
    }

    m_strShownName = ShownNameOf(m_strObjectPath);
    m_window.SetSourceText(FormatString(IDS_SOURCE_LINE, m_strShownName, SourceShown()), m_strShownName);

    try {
        m_pWorker = std::make_unique<std::thread>(&CHttpDownloadDlg::WorkerMain, this);
    } catch (const std::exception&) {
        // No thread (std::system_error) or no memory for one: the file stays open, unused, and the
        // dialog ends as no success.
        EndDialog(kIdCancel);
    }
    return true;
}

void CHttpDownloadDlg::WorkerMain() {
    // Nothing may escape the thread, and the dialog must hear of the end however the transfer left.
    try {
        RunTransfer();
    } catch (...) {
        if (!m_endPosted)
            ReportFailureCode(IDS_TRANSFER_FAILED, 0);
    }
    if (!m_endPosted) {
        m_fileTarget.Discard();
        m_strFailText.clear();
        PostTransferEnded(true);
    }
}

TransferSettings CHttpDownloadDlg::SettingsFromInputs() const {
    TransferSettings settings = TransferSettings::ForUrl({m_dwUrlService, m_strHostName, m_wHostPort, m_strObjectPath});
    settings.agentName = m_strAgentName;
    settings.accessMode = m_nAccessMode;
    settings.proxyHost = m_strProxyHost;
    settings.proxyPacUrl = m_strProxyPacUrl;
    settings.proxyLogin = m_strProxyLogin;
    settings.proxyPwd = m_strProxyPwd;
    settings.siteLogin = m_strSiteLogin;
    settings.sitePwd = m_strSitePwd;
    settings.askProxyLogin = m_bAskProxyLogin;
    settings.askSiteLogin = m_bAskSiteLogin;
    settings.maxBytesPerMs = m_dMaxBytesPerMs;
    settings.resumeOffset = m_dwResumeOffset;
    settings.expectedSize = m_expectedSize;
    settings.expectedSha256 = m_expectedSha256;
    settings.sizeLimit = m_maxSize;
    settings.alternateUrls = m_mirrorUrls;
    settings.caFile = m_strCaFile;
    settings.ifNoneMatch = m_strIfNoneMatch;
    settings.ifModifiedSince = m_strIfModifiedSince;
    return settings;
}

bool CHttpDownloadDlg::OnSetOptions(TransferSettings&) {
    return true;
}

void CHttpDownloadDlg::RunTransfer() {
    TransferSettings settings = SettingsFromInputs();
    if (!OnSetOptions(settings))
        return;
    TransferEngine engine(settings, m_fileTarget, *this, m_bStopRequested);
    engine.Run();
}

void CHttpDownloadDlg::ReportFailureCode(StringId messageId, unsigned long errorCode) {
    if (m_endPosted)
        return;
    const unsigned long code = errorCode != 0 ? errorCode : platform::LastErrorCode();
    m_fileTarget.Discard();
    ReportFailureText(FormatString(messageId, std::to_string(code)));
}

void CHttpDownloadDlg::ReportFailureText(const std::string& text) {
    if (m_endPosted)
        return;
    m_strFailText = text;
    PostTransferEnded(true);
}

void CHttpDownloadDlg::NoteAttempt(const std::string& note) {
    m_attemptNotes.push_back(note);
}

void CHttpDownloadDlg::NoteAnswer(bool notModified, const std::string& etag, const std::string& lastModified) {
    m_bNotModified = notModified;
    m_strAnswerETag = etag;
    m_strAnswerLastModified = lastModified;
}

void CHttpDownloadDlg::TransferEnded(bool failed, const std::string& failText) {
    if (failed)
        ReportFailureText(failText);
    else
        PostTransferEnded(false);
}

bool CHttpDownloadDlg::DefersCommit() const {
    return true;
}

void CHttpDownloadDlg::PostTransferEnded(bool failed) {
    if (m_endPosted)
        return;
    m_endPosted = true;
    // Posted, never waited for: the UI thread may be waiting for this thread already.
    m_window.Post([this, failed] { OnTransferEnded(failed); });
}

void CHttpDownloadDlg::OnTransferEnded(bool failed) {
    m_bWorkerDone = true;
    m_window.StopAnimation();
    // The worker left a whole body uncommitted (it posted its end after its last use of the file):
    // whether it replaces the target is decided here, where no stop can come in between.
    if (m_bStopRequested) {
        Target().Discard();
        EndDialog(kIdCancel);
    } else if (failed) {
        if (!m_strFailText.empty())
            ShowFailure(m_strFailText);
        EndDialog(kIdCancel);
    } else if (const unsigned long code = Target().Commit(); code != 0) {
        ShowFailure(FormatString(IDS_TRANSFER_FAILED, std::to_string(code)));
        EndDialog(kIdCancel);
    } else {
        EndDialog(kIdOk);
    }
}

void CHttpDownloadDlg::ShowFailure(const std::string& text) {
    m_strShownFailText = text;
    m_window.ShowMessage(text);
}

void CHttpDownloadDlg::OnCancel() {
    if (m_bWorkerDone) {
        EndDialog(kIdCancel);
        return;
    }
    m_bStopRequested = true;
    if (m_pQueue) {
        // Stop ends the update check's downloads, all of them, as it ends a lone one.
        m_pQueue->StopAll();
    }
    ShowStatusId(IDS_ABORTING);
}

void CHttpDownloadDlg::OnClose() {
    OnCancel();
}

void CHttpDownloadDlg::OnDestroy() {
    if (m_pQueue) {
        // The run ended without the transfer's end (the application quitting): the queue's transfers stop, and
        // the queue, not this dialog, throws away what they wrote once their workers have ended.
        if (!m_bWorkerDone) {
            m_bStopRequested = true;
            m_pQueue->StopAll();
        }
        DeclinePrompt();
        m_pQueue->Detach(m_queued);
        return;
    }
    JoinWorker();
    // A body whose end was never taken (the run ended first) is no success: the previous file stays.
    if (!m_bWorkerDone)
        m_fileTarget.Discard();
}

void CHttpDownloadDlg::JoinWorker() {
    if (m_pWorker) {
        // The run can also end without the worker's end (the application quitting): then the
        // worker is told to stop, so that the wait is short, and a credentials question that it
        // waits on, which this thread will not show any more, is declined.
        if (!m_bWorkerDone)
            m_bStopRequested = true;
        DeclinePrompt();
        if (m_pWorker->joinable())
            m_pWorker->join();
        m_pWorker.reset();
    }
}

void CHttpDownloadDlg::DeclinePrompt() {
    std::lock_guard lock(m_promptMutex);
    if (m_promptPending) {
        m_promptPending = false;
        m_promptAccepted = false;
        m_promptAnswered.notify_one();
    }
}

void CHttpDownloadDlg::EndDialog(int result) {
    if (m_inInit) {
        m_initResult = result;
        return;
    }
    m_window.EndModal(result);
}

// The posted calls take the window, not the dialog: a window drops what is still queued when it goes, and
// it outlives the dialog that shows itself in it.
void CHttpDownloadDlg::ShowPercentDone(int percent) {
    DownloadWindow& window = m_window;
    m_window.Post([&window, percent, caption = FormatPercentCaption(percent, m_strShownName)] {
        window.SetProgressPos(percent);
        window.SetCaption(caption);
    });
}

void CHttpDownloadDlg::ShowTimeRemaining(std::uint64_t secondsLeft, std::uint64_t bytesCopied,
                                         std::uint64_t bytesTotal) {
    DownloadWindow& window = m_window;
    m_window.Post(
        [&window, line = FormatTimeLeftLine(secondsLeft, bytesCopied, bytesTotal)] { window.SetTimeLeftText(line); });
}

void CHttpDownloadDlg::ShowStatusArg(StringId stringId, const std::string& arg) {
    ShowStatusText(FormatString(stringId, arg));
}

void CHttpDownloadDlg::ShowStatusId(StringId stringId) {
    ShowStatusText(LoadString(stringId));
}

void CHttpDownloadDlg::ShowStatusText(const std::string& text) {
    // Posted from every thread, the UI thread's own "Aborting transfer" included, so the status line
    // shows the changes in the order they were made.
    DownloadWindow& window = m_window;
    m_window.Post([&window, text] { window.SetStatusText(text); });
}

void CHttpDownloadDlg::ShowRate(double bytesPerMs) {
    DownloadWindow& window = m_window;
    m_window.Post([&window, line = FormatRate(bytesPerMs)] { window.SetRateText(line); });
}

void CHttpDownloadDlg::ShowOtherTransfers(const std::vector<std::string>& lines) {
    DownloadWindow& window = m_window;
    m_window.Post([&window, lines] { window.SetOtherLines(lines); });
}

void CHttpDownloadDlg::StartAnimation() {
    DownloadWindow& window = m_window;
    m_window.Post([&window] { window.StartAnimation(); });
}

void CHttpDownloadDlg::SetProgressRange(int low, int high) {
    DownloadWindow& window = m_window;
    m_window.Post([&window, low, high] { window.SetProgressRange(low, high); });
}

void CHttpDownloadDlg::RefreshTransferFigures(std::uint32_t startTick, std::uint32_t& lastTick,
                                              std::uint64_t bytesSoFar, std::uint64_t& bytesAtLastTick,
                                              int& lastPercent, bool haveLength, std::uint64_t contentLength) {
    zarn::RefreshTransferFigures(*this, startTick, lastTick, bytesSoFar, bytesAtLastTick, lastPercent, haveLength,
                                 contentLength, CurrentTick());
}

bool CHttpDownloadDlg::AskCredentials(bool proxy, const std::string& host, std::string& user, std::string& password) {
    std::unique_lock lock(m_promptMutex);
    // Read under the lock JoinWorker takes after setting the flag: either this question is never
    // asked, or JoinWorker finds it open and declines it.
    if (m_bStopRequested)
        return false;
    m_promptPending = true;
    m_promptAccepted = false;
    m_window.Post(
        [this, question = FormatCredentialsQuestion(proxy, host), user] { ShowCredentialsPrompt(question, user); });
    // Not a blocking call into the UI thread: that thread may itself be waiting for this one.
    m_promptAnswered.wait(lock, [this] { return !m_promptPending; });
    if (!m_promptAccepted)
        return false;
    user = m_promptUser;
    password = m_promptPassword;
    return true;
}

void CHttpDownloadDlg::ShowCredentialsPrompt(const std::string& question, const std::string& user) {
    {
        std::lock_guard lock(m_promptMutex);
        if (!m_promptPending)
            return; // declined already: the dialog is ending
    }
    std::string answerUser = user;
    std::string answerPassword;
    const bool accepted = m_window.AskCredentials(question, answerUser, answerPassword) && !m_bStopRequested;
    std::lock_guard lock(m_promptMutex);
    if (!m_promptPending)
        return;
    m_promptAccepted = accepted;
    if (accepted) {
        m_promptUser = std::move(answerUser);
        m_promptPassword = std::move(answerPassword);
    }
    m_promptPending = false;
    m_promptAnswered.notify_one();
}

} // namespace zarn
