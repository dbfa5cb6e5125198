// What the download dialog's presenter (CHttpDownloadDlg) needs of the window it shows: texts to set, the
// animation, a message box, the credentials prompt, the modal run and a way onto the window's thread. Every
// member but Post is called on the window's (UI) thread; the window decides nothing, it shows what it is told
// and forwards the close box, Escape and its Stop button to the presenter.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zarn {

class DownloadWindow {
public:
    virtual ~DownloadWindow() = default;

    virtual void SetStatusText(const std::string& text) = 0;
    // The source line, and the file's name as it appears in it (for a window without room for the line).
    virtual void SetSourceText(const std::string& text, const std::string& shownName) = 0;
    virtual void SetCaption(const std::string& text) = 0;
    virtual void SetProgressRange(int low, int high) = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual void SetTimeLeftText(const std::string& text) = 0;
    virtual void SetRateText(const std::string& text) = 0;
    // The progress lines of the other downloads running meanwhile (empty: none). A window with a status line
    // needs nothing more: their count is in the status text. Nothing by default.
    virtual void SetOtherLines(const std::vector<std::string>& lines) { static_cast<void>(lines); }
    // Loads the download clip (showing its first frame), plays it, stops it on the frame showing.
    virtual void OpenAnimation() = 0;
    virtual void StartAnimation() = 0;
    virtual void StopAnimation() = 0;

    // Shows `text` with an OK button; returns once it is closed.
    virtual void ShowMessage(const std::string& text) = 0;
    // Asks `question` with `user` filled in; true with the answer in `user` and `password` when accepted.
    virtual bool AskCredentials(const std::string& question, std::string& user, std::string& password) = 0;

    // Shows the window and runs posted calls until EndModal; returns EndModal's result, or 0 when the run ended
    // otherwise (the application quitting).
    virtual int RunModal() = 0;
    virtual void EndModal(int result) = 0;
    // Runs `call` on the window's thread, after the calls posted before it; returns at once. Any thread.
    // Calls still queued when the window is destroyed are dropped, so a window outlives the dialog it shows.
    virtual void Post(std::function<void()> call) = 0;
};

} // namespace zarn
