// What the document needs of its views and dialogs. The desktop window and the console mode each implement it,
// so one update driver serves both; every call comes from the UI thread.
#pragma once

#include "download/DownloadQueue.h"
#include "res/DialogResult.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zarn {

class CHttpDownloadDlg;
class CZarnDoc;

// What a downloaded file must be, from its component list block; unset parts are not checked.
struct DownloadCheck {
    std::optional<std::uint64_t> size;
    std::string sha256; // 64 lower-case hex digits
    // The most the file may have when its exact size is not known.
    std::optional<std::uint64_t> maxSize = std::nullopt;
    // The validators of the copy at the target, for a conditional request (the list): a server whose file is
    // unchanged then answers 304, and the copy stays as it is. Empty: none.
    std::string ifNoneMatch = {};
    std::string ifModifiedSince = {};
    // The same file on the next servers, tried in order when one cannot be reached, answers 5xx or serves a file
    // that does not match (mirrors). Empty: none.
    std::vector<std::string> mirrorUrls = {};
};

// What the server said of a file that a RunDownload fetched: unchanged (the copy at the target stayed as it was), or
// the validators of the new file, for the next conditional request.
struct DownloadAnswer {
    bool notModified = false;
    std::string etag;
    std::string lastModified;
};

// A download the update check will ask RunDownload for, in the order it will.
struct PlannedDownload {
    std::string sourceUrl;
    std::string targetPath;
    DownloadCheck check;
};

class CDocumentHost {
public:
    virtual ~CDocumentHost() = default;

    // Shows the component list with one row per record of `document.m_compList`.
    virtual void FillComponentList(const CZarnDoc& document) = 0;

    // Disables and hides the design control when it has been created; nothing otherwise.
    virtual void HideDesignControl() = 0;

    // Brings every view up to date with `document` (in list mode the list shows the records' statuses).
    virtual void UpdateAllViews(const CZarnDoc& document) = 0;

    // Downloads `sourceUrl` into `targetPath`, showing progress and telling the user of a failure itself. A body
    // that passes `check.size` or `check.maxSize` is cut off, and one whose size or SHA-256 differs from `check` fails;
    // neither is kept. Returns kIdOk only when the whole file arrived, matched and was written; kIdCancel otherwise.
    virtual int RunDownload(const std::string& sourceUrl, const std::string& targetPath,
                            const DownloadCheck& check) = 0;

    // Starts fetching `downloads` in the background, in their order and a few at once, so that the RunDownload of
    // each finds its file arriving or arrived, and stops and throws away what the previous call fetched and
    // RunDownload did not take (an empty list only that). Nothing by default: every RunDownload fetches its own.
    virtual void PlanDownloads(const std::vector<PlannedDownload>& downloads) { static_cast<void>(downloads); }

    // The failure text the last RunDownload told the user (for the log); empty after a success, or when the host
    // keeps none.
    virtual std::string LastDownloadFailText() const { return {}; }
    // One line for each attempt of the last RunDownload that failed and what followed it (for the log); empty when
    // the first attempt ended it, or when the host keeps none.
    virtual std::vector<std::string> LastDownloadAttempts() const { return {}; }
    // What the server said of the file the last RunDownload fetched with kIdOk; nothing when the host keeps none.
    virtual DownloadAnswer LastDownloadAnswer() const { return {}; }

    // Shows `text` in a message box with an OK button and returns when it is closed.
    virtual void ShowMessageBox(const std::string& text) = 0;

    // Tells the user, without asking anything, what the document waits for on this thread right after the call;
    // empty `text` when the wait has ended. Nothing by default.
    virtual void ShowWaitNote(const std::string& text) { static_cast<void>(text); }

    // Offers the start dialog; `allowUpdate` 0 shows its update button disabled. May run another update check
    // of the same document before it returns.
    virtual void ShowStartDialog(int allowUpdate) = 0;

    // Brings the main window to the foreground.
    virtual void BringMainWindowToFront() = 0;

    // Sends every later download through the proxy `proxyServer` ("host:port", as the administrators' policy names
    // it) instead of the system's settings; empty: the system's settings, with `pacUrl` (when not empty) a PAC file
    // asked before them where the transfer engine reads one (libcurl's). UI thread.
    void SetProxy(std::string proxyServer, std::string pacUrl);

protected:
    // A host's RunDownload through the download dialog `dialog`, whose window the host made: the dialog gets the
    // URL, the target, what the list says the file must be and the host's certificate authority `caFile`;
    // `failText` gets what the dialog told the user of a failure, `attempts` its notes of failed attempts, `answer`
    // what the server said of the file. Returns kIdOk or kIdCancel.
    // A download planned with StartDownloadsAhead is not started again: the dialog shows its running transfer, a
    // file that has arrived whole is put in place without a dialog, and after a stop every planned one is over.
    int RunDownloadDialog(CHttpDownloadDlg& dialog, const std::string& sourceUrl, const std::string& targetPath,
                          const DownloadCheck& check, const std::string& caFile, std::string& failText,
                          std::vector<std::string>& attempts, DownloadAnswer& answer);

    // A host's PlanDownloads: the transfers run ahead, at most as many at once as the launcher's settings say
    // (LauncherSettings::DownloadsAtOnce), each trusting `caFile` besides the system's authorities. UI thread.
    void StartDownloadsAhead(const std::vector<PlannedDownload>& downloads, const std::string& caFile);

private:
    DownloadQueue m_ahead;
    std::string m_proxyServer;
    std::string m_proxyPacUrl;
};

} // namespace zarn
