// What a running transfer reports. The download dialog implements it with widgets, the console mode
// with a text progress bar. The engine calls every member on its worker thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zarn {

class TransferSink {
public:
    virtual ~TransferSink() = default;

    // Starts the busy animation (once the connection exists).
    virtual void StartAnimation() = 0;
    // Replaces the status line.
    virtual void ShowStatusText(const std::string& text) = 0;
    // Sets the progress bar's range; called with 0..100 once the length of the body is known.
    virtual void SetProgressRange(int low, int high) = 0;
    // Progress bar position and the "%1% of %2 Completed" caption.
    virtual void ShowPercentDone(int percent) = 0;
    // The time-left line: seconds left, bytes copied in this transfer, bytes announced for it.
    virtual void ShowTimeRemaining(std::uint64_t secondsLeft, std::uint64_t bytesCopied, std::uint64_t bytesTotal) = 0;
    // The rate line, in bytes per millisecond.
    virtual void ShowRate(double bytesPerMs) = 0;
    // The other downloads of the same update check running meanwhile, one progress line each (empty: none);
    // reported by the queue that runs them (DownloadQueue), never by a lone transfer. Nothing by default.
    virtual void ShowOtherTransfers(const std::vector<std::string>& lines) { static_cast<void>(lines); }
    // Asks the user for a user name and password (proxy: the proxy asked, else the web server).
    // Blocks until answered; true when the user wants the request sent again with `user`/`password`.
    virtual bool AskCredentials(bool proxy, const std::string& host, std::string& user, std::string& password) = 0;
    // Blocks until AskCredentials could show its prompt at once (a download fetched ahead waits until its dialog
    // shows it); false when it never will (stopped). A transfer claims the one prompt about a host only then, so
    // that one waiting for its dialog never holds up the transfer whose dialog is shown. True by default.
    virtual bool ReadyToAsk() { return true; }
    // The native window that owns the system's own credentials prompt (an HWND on Windows); null when
    // there is none, and AskCredentials asks instead.
    virtual void* OwnerWindow() const { return nullptr; }
    // What the answer said of the file, once the download succeeded, just before TransferEnded: `notModified` for a
    // 304 to a conditional request (the target was left as it is); else the validators a later conditional
    // request for the same file can send (each may be empty).
    virtual void NoteAnswer(bool /*notModified*/, const std::string& /*etag*/, const std::string& /*lastModified*/) {}
    // One line for the update log about an attempt of the download: the proxy it goes through and why, or how it
    // failed and what follows.
    virtual void NoteAttempt(const std::string& /*note*/) {}
    // Called exactly once, last: failed == false when the body arrived whole or the user stopped the
    // transfer; failed == true with the message to show otherwise.
    virtual void TransferEnded(bool failed, const std::string& failText) = 0;
    // False (the default): a whole body is put in place of the target before TransferEnded. True: the
    // engine leaves it written but uncommitted, and the sink commits or discards the target once it has
    // decided the result (a stop may still come after the last byte). Called at the end.
    virtual bool DefersCommit() const { return false; }
};

} // namespace zarn
