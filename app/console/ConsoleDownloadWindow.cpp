#include "app/console/ConsoleDownloadWindow.h"

#include "download/ProgressText.h"
#include "platform/Terminal.h"
#include "res/StringTable.h"

#include <cstdio>
#include <utility>

namespace zarn {

ConsoleDownloadWindow::ConsoleDownloadWindow(bool draw, bool mayAsk,
                                             std::function<void(const std::string&)> showMessage)
    : m_draw(draw), m_mayAsk(mayAsk), m_showMessage(std::move(showMessage)) {}

// The transfer already limits these to one caption per percentage point and one rate (with its time left) a
// second, so each of them redraws; a rate is followed by its time left when the length is known, and waits for it.
void ConsoleDownloadWindow::SetStatusText(const std::string& text) {
    m_status = text;
    Redraw();
}

void ConsoleDownloadWindow::SetCaption(const std::string& text) {
    m_status.clear();
    m_caption = text;
    Redraw();
}

void ConsoleDownloadWindow::SetTimeLeftText(const std::string& text) {
    m_status.clear();
    m_timeLeft = text;
    Redraw();
}

void ConsoleDownloadWindow::SetRateText(const std::string& text) {
    m_status.clear();
    m_rate = text;
    if (!m_haveLength) {
        Redraw();
    }
}

std::string ConsoleDownloadWindow::Line() const {
    if (!m_status.empty()) {
        // A status line, such as the wait before another attempt, stands until the next figure replaces it.
        return (m_caption.empty() ? m_shownName : m_caption) + "  " + m_status;
    }
    return FormatProgressLine(m_caption, m_shownName, m_timeLeft, m_rate);
}

void ConsoleDownloadWindow::SetOtherLines(const std::vector<std::string>& lines) {
    // Lines below this one need the cursor moved back up; a terminal that cannot shows this download's line only.
    if (!m_draw || (!lines.empty() && m_drawnOthers == 0 && !platform::EnableCursorMoves())) {
        return;
    }
    m_otherLines = lines;
    Redraw();
}

void ConsoleDownloadWindow::Redraw() {
    if (!m_draw) {
        return;
    }
    // A line wider than the terminal would wrap, and the carriage return would then redraw only its last part.
    const int columns = platform::TerminalColumns();
    const auto fitted = [columns](std::string line) {
        if (columns > 1 && line.size() >= static_cast<size_t>(columns)) {
            line.resize(static_cast<size_t>(columns) - 1);
        }
        return line;
    };
    std::string line = fitted(Line());
    const size_t length = line.size();
    if (length < m_drawnLength) {
        line.append(m_drawnLength - length, ' ');
    }
    std::string text = "\r" + line;
    if (!m_otherLines.empty() || m_drawnOthers > 0) {
        // Each other line is written over the one drawn before it, what is left below is erased (ESC [J), and the
        // cursor goes back up to this download's line (ESC [nA).
        for (const std::string& other : m_otherLines) {
            text += "\n" + fitted(other) + "\x1b[K";
        }
        text += "\x1b[J";
        if (!m_otherLines.empty()) {
            text += "\x1b[" + std::to_string(m_otherLines.size()) + "A\r" + line;
        }
        m_drawnOthers = m_otherLines.size();
    }
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    m_drawnLength = length > 0 ? length : 1;
}

void ConsoleDownloadWindow::EndLine() {
    if (m_drawnLength > 0) {
        // The other downloads' lines go with this one: the next download's window draws them again.
        std::fputs(m_drawnOthers > 0 ? "\n\x1b[J" : "\n", stderr);
        std::fflush(stderr);
        m_drawnLength = 0;
        m_drawnOthers = 0;
    }
}

bool ConsoleDownloadWindow::AskCredentials(const std::string& question, std::string& user, std::string& password) {
    if (!m_mayAsk) {
        return false;
    }
    EndLine();
    std::fprintf(stderr, "%s\n", question.c_str());
    const std::string userPrompt =
        user.empty() ? LoadString(IDS_USER_NAME_PROMPT) : FormatString(IDS_USER_NAME_KEPT, user);
    std::string typedUser;
    if (!platform::ReadTerminalLine(userPrompt, typedUser, true)) {
        std::fputc('\n', stderr);
        return false;
    }
    if (!typedUser.empty()) {
        user = typedUser;
    }
    const bool read = platform::ReadTerminalLine(LoadString(IDS_PASSWORD_PROMPT), password, false);
    // The Enter that ended the password was not echoed either.
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return read;
}

void ConsoleDownloadWindow::ShowMessage(const std::string& text) {
    EndLine();
    m_showMessage(text);
}

int ConsoleDownloadWindow::RunModal() {
    return m_queue.Run();
}

void ConsoleDownloadWindow::EndModal(int result) {
    EndLine();
    m_queue.End(result);
}

void ConsoleDownloadWindow::Post(std::function<void()> call) {
    m_queue.Post(std::move(call));
}

} // namespace zarn
