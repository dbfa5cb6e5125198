// The download dialog's window in the console mode: a single line on standard error, redrawn in place, with the
// dialog's own texts (the percentage caption, the time left with the amounts copied, the rate), below it one line
// for each other download of the update check running meanwhile (where the terminal can move its cursor), the
// terminal's questions for a user name and password, and the dialog's messages through the host. Its loop runs on the
// thread that called DoModal, which draws; the transfer runs on the dialog's worker.
#pragma once

#include "download/DownloadWindow.h"
#include "download/UiCallQueue.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace zarn {

class ConsoleDownloadWindow : public DownloadWindow {
public:
    // `draw`: show the progress line (standard error is a terminal and the user wants it). `mayAsk`: a 401 or 407
    // asks for credentials on the terminal (standard input is one); otherwise the question is declined.
    // `showMessage` shows the dialog's messages.
    ConsoleDownloadWindow(bool draw, bool mayAsk, std::function<void(const std::string&)> showMessage);

    // A status line stands in the line until the next figure: so a wait before another attempt shows.
    void SetStatusText(const std::string& text) override;
    void SetSourceText(const std::string&, const std::string& shownName) override { m_shownName = shownName; }
    void SetCaption(const std::string& text) override;
    void SetProgressRange(int, int) override { m_haveLength = true; }
    void SetProgressPos(int) override {}
    void SetTimeLeftText(const std::string& text) override;
    void SetRateText(const std::string& text) override;
    void SetOtherLines(const std::vector<std::string>& lines) override;
    void OpenAnimation() override {}
    void StartAnimation() override {}
    void StopAnimation() override {}
    void ShowMessage(const std::string& text) override;
    bool AskCredentials(const std::string& question, std::string& user, std::string& password) override;
    int RunModal() override;
    void EndModal(int result) override;
    void Post(std::function<void()> call) override;

    // The progress line as it stands now (empty before the first status line or figure).
    std::string Line() const;

private:
    // Writes Line() over the one drawn before, when drawing.
    void Redraw();
    // Ends a drawn line, so that what comes next starts on a line of its own.
    void EndLine();

    bool m_draw;
    bool m_mayAsk;
    std::function<void(const std::string&)> m_showMessage;
    UiCallQueue m_queue;
    std::string m_shownName;
    bool m_haveLength = false;
    std::string m_caption;
    std::string m_timeLeft;
    std::string m_rate;
    std::string m_status;          // the last status line, until a figure comes
    std::size_t m_drawnLength = 0; // 0: no line is drawn
    std::vector<std::string> m_otherLines;
    std::size_t m_drawnOthers = 0; // the other downloads' lines drawn below the line
};

} // namespace zarn
