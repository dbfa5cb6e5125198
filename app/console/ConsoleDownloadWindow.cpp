#include "app/console/ConsoleDownloadWindow.h"

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
    if (m_caption.empty() && m_timeLeft.empty() && m_rate.empty() && m_status.empty()) {
        return {};
    }
    std::string line = m_caption.empty() ? m_shownName : m_caption;
    if (!m_status.empty()) {
        return line + "  " + m_status;
    }
    for (const std::string* part : {&m_timeLeft, &m_rate}) {
        if (!part->empty()) {
            line += "  " + *part;
        }
    }
    return line;
}

void ConsoleDownloadWindow::Redraw() {
    if (!m_draw) {
        return;
    }
    std::string line = Line();
    // A line wider than the terminal would wrap, and the carriage return would then redraw only its last part.
    const int columns = platform::TerminalColumns();
    if (columns > 1 && line.size() >= static_cast<size_t>(columns)) {
        line.resize(static_cast<size_t>(columns) - 1);
    }
    const size_t length = line.size();
    if (length < m_drawnLength) {
        line.append(m_drawnLength - length, ' ');
    }
    std::fprintf(stderr, "\r%s", line.c_str());
    std::fflush(stderr);
    m_drawnLength = length > 0 ? length : 1;
}

void ConsoleDownloadWindow::EndLine() {
    if (m_drawnLength > 0) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        m_drawnLength = 0;
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
