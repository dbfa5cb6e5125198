// What one download of the console mode shows: a single line on standard error, redrawn in place, with the
// download dialog's own texts (the percentage caption, the time left with the amounts copied, the rate), and the
// terminal's questions for a user name and password. Called by the transfer engine on the thread that runs it.
#pragma once

#include "download/TransferSink.h"

#include <cstdint>
#include <string>

namespace zarn {

class ConsoleProgress : public TransferSink {
public:
    // `shownName` names the file in the caption. `draw`: show the progress line (standard error is a terminal
    // and the user wants it). `mayAsk`: a 401 or 407 asks for credentials on the terminal (standard input is one);
    // otherwise the question is declined.
    ConsoleProgress(std::string shownName, bool draw, bool mayAsk);

    void StartAnimation() override {}
    void ShowStatusText(const std::string&) override {}
    void SetProgressRange(int, int) override { m_haveLength = true; }
    void ShowPercentDone(int percent) override;
    void ShowTimeRemaining(std::uint64_t secondsLeft, std::uint64_t bytesCopied, std::uint64_t bytesTotal) override;
    void ShowRate(double bytesPerMs) override;
    bool AskCredentials(bool proxy, const std::string& host, std::string& user, std::string& password) override;
    void TransferEnded(bool failed, const std::string& failText) override;

    // After the transfer: whether it failed, and the message the download dialog would show (empty for a stop).
    bool Failed() const { return m_failed; }
    const std::string& FailText() const { return m_failText; }

    // The progress line as it stands now (empty before the first figure). Any thread that runs the transfer.
    std::string Line() const;

private:
    // Writes Line() over the one drawn before, when drawing.
    void Redraw();
    // Ends a drawn line, so that what comes next starts on a line of its own.
    void EndLine();

    std::string m_shownName;
    bool m_draw;
    bool m_mayAsk;
    bool m_haveLength = false;
    std::string m_caption;
    std::string m_timeLeft;
    std::string m_rate;
    size_t m_drawnLength = 0; // 0: no line is drawn
    bool m_failed = false;
    std::string m_failText;
};

} // namespace zarn
