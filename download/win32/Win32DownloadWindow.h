// The download dialog's Win32 window: the download template of the dialog table, made hidden at construction so
// that the presenter can fill it before the run, white with black text, the animation control playing the clip
// resource. It shows what CHttpDownloadDlg tells it and forwards the close box, Escape and the Stop button to it;
// it decides nothing itself.
#pragma once

#include "download/DownloadWindow.h"
#include "download/win32/Win32CredentialsDlg.h"
#include "res/win32/Win32Dialog.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <windows.h>

namespace zarn {

class CHttpDownloadDlg;

class Win32DownloadWindow : public DownloadWindow, private Win32Dialog {
public:
    // The dialog over `owner` (may be null), which RunModal disables while the dialog runs.
    explicit Win32DownloadWindow(HWND owner);
    ~Win32DownloadWindow() override;

    // The dialog the window's events go to; without one a cancel command is ignored and the close box ends the
    // run. UI thread.
    void SetPresenter(CHttpDownloadDlg* presenter) { m_presenter = presenter; }

    // The dialog's window; null when none could be made (RunModal then returns 0 at once). UI thread.
    HWND Handle() const { return Win32Dialog::Handle(); }

    void SetStatusText(const std::string& text) override;
    void SetSourceText(const std::string& text, const std::string& shownName) override;
    void SetCaption(const std::string& text) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPos(int pos) override;
    void SetTimeLeftText(const std::string& text) override;
    void SetRateText(const std::string& text) override;
    void OpenAnimation() override;
    void StartAnimation() override;
    void StopAnimation() override;
    void ShowMessage(const std::string& text) override;
    bool AskCredentials(const std::string& question, std::string& user, std::string& password) override;
    int RunModal() override;
    void EndModal(int result) override;
    void Post(std::function<void()> call) override;

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    void RunPostedCalls();
    // Widens fixed label `label` to its text, up to `value` beside it: the template sized it for its own font, and a
    // wider substitute would cut it off.
    void FitLabel(ControlId label, ControlId value);

    HWND m_owner;
    CHttpDownloadDlg* m_presenter = nullptr;
    Win32CredentialsDlg m_credentials;
    bool m_ended = false;
    int m_result = 0;

    // Calls from any thread, run on the window's thread when the window gets the message Post sends with each.
    std::mutex m_postMutex;
    std::deque<std::function<void()>> m_posted;
    HWND m_postTarget = nullptr; // null once the window goes: later calls are dropped
};

} // namespace zarn
