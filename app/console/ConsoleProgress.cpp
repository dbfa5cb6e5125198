#include "app/console/ConsoleProgress.h"

#include "download/ProgressText.h"
#include "platform/Terminal.h"
#include "res/StringTable.h"

#include <cstdio>
#include <utility>

namespace zarn {

ConsoleProgress::ConsoleProgress(std::string shownName, bool draw, bool mayAsk)
    : m_shownName(std::move(shownName)), m_draw(draw), m_mayAsk(mayAsk) {}

// The engine already limits these calls to one per percentage point and one rate (with its time left) a second,
// so each of them redraws; a rate is followed by its time left when the length is known, and waits for it.
void ConsoleProgress::ShowPercentDone(int percent) {
    m_caption = FormatPercentCaption(percent, m_shownName);
    Redraw();
}

void ConsoleProgress::ShowTimeRemaining(std::uint64_t secondsLeft, std::uint64_t bytesCopied,
                                        std::uint64_t bytesTotal) {
    m_timeLeft = FormatTimeLeftLine(secondsLeft, bytesCopied, bytesTotal);
    Redraw();
}

void ConsoleProgress::ShowRate(double bytesPerMs) {
    m_rate = FormatRate(bytesPerMs);
    if (!m_haveLength) {
        Redraw();
    }
}

std::string ConsoleProgress::Line() const {
    if (m_caption.empty() && m_timeLeft.empty() && m_rate.empty()) {
        return {};
    }
    std::string line = m_caption.empty() ? m_shownName : m_caption;
    for (const std::string* part : {&m_timeLeft, &m_rate}) {
        if (!part->empty()) {
            line += "  " + *part;
        }
    }
    return line;
}

void ConsoleProgress::Redraw() {
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

void ConsoleProgress::EndLine() {
    if (m_drawnLength > 0) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        m_drawnLength = 0;
    }
}

bool ConsoleProgress::AskCredentials(bool proxy, const std::string& host, std::string& user, std::string& password) {
    if (!m_mayAsk) {
        return false;
    }
    EndLine();
    std::fprintf(stderr, "%s\n", FormatCredentialsQuestion(proxy, host).c_str());
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

void ConsoleProgress::TransferEnded(bool failed, const std::string& failText) {
    EndLine();
    m_failed = failed;
    m_failText = failText;
}

} // namespace zarn
