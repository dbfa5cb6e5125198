// The download dialog: downloads one URL into one file on a worker thread and shows, through its window, what
// the transfer reports (status line, animation, progress, time left, rate). The user stops it with the close box
// or Escape. The downloaded file replaces the target only once the dialog has decided on kIdOk, on the window's
// thread: a stop that arrives after the last byte still yields kIdCancel and leaves the previous file.
// The window only shows what this class tells it; the console and the Qt front end run the same dialog. A dialog may
// also show a transfer that a DownloadQueue runs ahead of its turn (AttachTo) instead of running one of its own.
#pragma once

#include "download/DownloadQueue.h"
#include "download/DownloadWindow.h"
#include "download/TargetFile.h"
#include "download/TransferSettings.h"
#include "download/TransferSink.h"
#include "res/DialogResult.h"
#include "res/StringTable.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zarn {

class CHttpDownloadDlg : public TransferSink {
public:
    explicit CHttpDownloadDlg(DownloadWindow& window);
    ~CHttpDownloadDlg() override; // waits for a worker that still runs
    CHttpDownloadDlg(const CHttpDownloadDlg&) = delete;
    CHttpDownloadDlg& operator=(const CHttpDownloadDlg&) = delete;

    // Runs the dialog modally. Returns kIdOk when the whole body arrived and was written and the user did
    // not stop the transfer; kIdCancel in every other case (failures have been shown already). UI thread.
    int DoModal();

    // Shows transfer `id` of `queue`, which runs ahead of its turn, instead of starting a transfer of its own: the
    // dialog then hears that transfer's reports, commits its file on kIdOk, and a stop stops every transfer of the
    // queue. The inputs still give the source line. UI thread, before DoModal; `queue` must outlive DoModal.
    void AttachTo(DownloadQueue& queue, int id);

    // The failure message the last DoModal showed; empty when it showed none (success, a stop). UI thread.
    const std::string& ShownFailText() const { return m_strShownFailText; }
    // What the last DoModal's failed attempts were and what followed each, for the update log. UI thread.
    const std::vector<std::string>& AttemptNotes() const { return m_attemptNotes; }
    // After a kIdOk: true when the server confirmed the copy on disk (a 304), which then stayed as it was; else the
    // answer's ETag and Last-Modified (either may be empty). UI thread.
    bool NotModified() const { return m_bNotModified; }
    const std::string& AnswerETag() const { return m_strAnswerETag; }
    const std::string& AnswerLastModified() const { return m_strAnswerLastModified; }

    // Inputs, set by the caller before DoModal. Texts are single-byte (the platform's 8-bit encoding).
    std::string m_strSourceUrl;                  // may lack "scheme://"; then "http://" is put in front of it
    std::string m_strTargetPath;                 // full path of the file to write
    std::string m_strProxyHost;                  // used in access mode 2 only
    std::string m_strProxyLogin;                 // sent when the proxy asks (407)
    std::string m_strProxyPwd;                   // with m_strProxyLogin
    std::string m_strSiteLogin;                  // sent when the web server asks (401)
    std::string m_strSitePwd;                    // with m_strSiteLogin
    std::string m_strAgentName;                  // empty: the application's name
    std::int32_t m_nAccessMode = 0;              // 0 system settings, 1 direct, 2 through m_strProxyHost
    std::string m_strProxyPacUrl;                // access mode 0: a PAC file asked before the system's settings
    bool m_bAskProxyLogin = true;                // on 407 without m_strProxyLogin, ask the user
    bool m_bAskSiteLogin = true;                 // on 401 without m_strSiteLogin, ask the user
    double m_dMaxBytesPerMs = 0.0;               // average rate cap; 0 or less: none
    std::uint64_t m_dwResumeOffset = 0;          // where the transfer resumes; 0: the whole file
    std::optional<std::uint64_t> m_expectedSize; // from the component list: the body's size (unset: unchecked)
    std::string m_expectedSha256;                // from the component list: the body's SHA-256 (empty: unchecked)
    std::optional<std::uint64_t> m_maxSize;      // the most the body may have (unset: no limit)
    std::vector<std::string> m_mirrorUrls;       // the same file on the next servers, tried in order (mirrors)
    std::string m_strCaFile;          // a certificate authority trusted besides the system's (empty: the system's only)
    std::string m_strIfNoneMatch;     // the target's copy's ETag, for a conditional request (empty: none)
    std::string m_strIfModifiedSince; // the target's copy's Last-Modified, likewise

    // Hook for a derived dialog to adjust the transfer before its request is made. Returns false to
    // end the transfer there (the dialog then ends with kIdCancel and no message). Worker thread.
    virtual bool OnSetOptions(TransferSettings& settings);
    // Ends the transfer as failed with message `messageId`, its %1 the decimal `errorCode` (or the
    // system's last error code when 0), throwing away what was written. Worker thread, at most once.
    virtual void ReportFailureCode(StringId messageId, unsigned long errorCode);
    // Ends the transfer as failed with the ready message `text`. Worker thread, at most once.
    virtual void ReportFailureText(const std::string& text);
    // The whole transfer, from the inputs and the split URL into the open target file. Worker thread.
    virtual void RunTransfer();

    // Display operations: each hands its change to the window's thread and returns at once. Any thread.
    void ShowPercentDone(int percent) override;
    void ShowTimeRemaining(std::uint64_t secondsLeft, std::uint64_t bytesCopied, std::uint64_t bytesTotal) override;
    virtual void ShowStatusArg(StringId stringId, const std::string& arg);
    virtual void ShowStatusId(StringId stringId);
    void ShowStatusText(const std::string& text) override;
    void ShowRate(double bytesPerMs) override;
    void ShowOtherTransfers(const std::vector<std::string>& lines) override;
    void StartAnimation() override;
    // Shows percentage, rate and time left as the refresh rule allows after `bytesSoFar` bytes, and
    // updates the three "last" values. Worker thread.
    virtual void RefreshTransferFigures(std::uint32_t startTick, std::uint32_t& lastTick, std::uint64_t bytesSoFar,
                                        std::uint64_t& bytesAtLastTick, int& lastPercent, bool haveLength,
                                        std::uint64_t contentLength);

    // The rest of what the transfer reports. Worker thread.
    void SetProgressRange(int low, int high) override;
    // Has the window ask for credentials and waits for the user's answer; false when declined or stopping
    // (JoinWorker declines a question still open, so that it never waits for a UI thread that waits
    // for it).
    bool AskCredentials(bool proxy, const std::string& host, std::string& user, std::string& password) override;
    void NoteAttempt(const std::string& note) override;
    void NoteAnswer(bool notModified, const std::string& etag, const std::string& lastModified) override;
    void TransferEnded(bool failed, const std::string& failText) override;
    // True: OnTransferEnded commits the target when, and only when, the result is kIdOk.
    bool DefersCommit() const override;

    // What the window forwards. UI thread.
    // A cancel command (Escape, the Stop button): asks the worker to stop and says so on the status line; the
    // dialog stays until the worker ends. Once it has ended, the dialog ends with kIdCancel.
    virtual void OnCancel();
    // The close box: the same as a cancel command, as the window never just closes while the worker runs.
    virtual void OnClose();

protected:
    // Opens the animation, splits the URL, opens the target file and starts the worker; on a failure
    // it ends the dialog with kIdCancel (after a message box when the file cannot be opened). UI thread.
    virtual bool OnInitDialog();
    // Waits for the worker to end, and throws away a body whose end was never taken. UI thread.
    virtual void OnDestroy();
    // The worker has ended: a stop wins (kIdCancel, no message), a failure shows its message and ends
    // with kIdCancel; otherwise the target is committed and the result is kIdOk, or, when it cannot be
    // put in place, message 214 and kIdCancel. Only kIdOk replaces the previous file. UI thread.
    virtual void OnTransferEnded(bool failed);

    DownloadWindow& m_window;

    // Transfer state.
    std::string m_strFailText; // written by the worker before it posts the end
    std::string m_strHostName;
    std::uint32_t m_dwUrlService = 0;
    std::string m_strObjectPath;
    std::string m_strShownName;
    std::uint16_t m_wHostPort = 0;
    std::atomic<bool> m_bStopRequested{false};
    bool m_bWorkerDone = false;
    TargetFile m_fileTarget;
    std::unique_ptr<std::thread> m_pWorker;

private:
    // Where the source line says the file comes from: the server's host, or a file's folder.
    std::string SourceShown() const;
    void EndDialog(int result);
    // Shows `text` in a message box and keeps it for ShownFailText.
    void ShowFailure(const std::string& text);
    void PostTransferEnded(bool failed);
    void WorkerMain();
    void JoinWorker();
    // Declines a credentials question still open, so that the thread asking never waits for this one.
    void DeclinePrompt();
    // The file being written: the dialog's own, or that of the queued transfer it shows.
    TargetFile& Target();
    void ShowCredentialsPrompt(const std::string& question, const std::string& user);
    TransferSettings SettingsFromInputs() const;

    std::string m_strShownFailText;
    std::vector<std::string> m_attemptNotes; // the worker's while it runs, as are the three below
    bool m_bNotModified = false;
    std::string m_strAnswerETag;
    std::string m_strAnswerLastModified;
    bool m_inInit = false;
    int m_initResult = 0;
    bool m_endPosted = false;          // the reporting thread only
    DownloadQueue* m_pQueue = nullptr; // with m_queued: the transfer shown instead of one of the dialog's own
    int m_queued = -1;

    // The credentials question between the worker, which waits on the condition, and the UI thread,
    // which answers it through the window, or declines it in JoinWorker.
    std::mutex m_promptMutex;
    std::condition_variable m_promptAnswered;
    bool m_promptPending = false;
    bool m_promptAccepted = false;
    std::string m_promptUser;
    std::string m_promptPassword;
};

} // namespace zarn
