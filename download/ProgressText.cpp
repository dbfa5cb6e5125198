#include "download/ProgressText.h"

#include "res/StringTable.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace zarn {

namespace {

std::string Printf(const char* format, double value) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, format, value);
    if (n < 0) {
        return {};
    }
    if (static_cast<std::size_t>(n) < sizeof buffer) {
        return std::string(buffer, static_cast<std::size_t>(n));
    }
    // A huge value printed with "%f" can be longer than the stack buffer.
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, value);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

} // namespace

std::string FormatAmount(std::uint64_t bytes) {
    if (bytes < 1024) {
        return FormatString(IDS_BYTES, std::to_string(bytes));
    }
    if (bytes < 1048576) {
        return FormatString(IDS_KILOBYTES, Printf("%0.1f", static_cast<double>(bytes) / 1024.0));
    }
    return FormatString(IDS_MEGABYTES, Printf("%0.2f", static_cast<double>(bytes) / 1048576.0));
}

std::string FormatTimeLeft(std::uint64_t seconds) {
    if (seconds < 60) {
        return FormatString(IDS_SECONDS, std::to_string(seconds));
    }
    const std::uint64_t minutes = seconds / 60;
    const std::uint64_t rest = seconds % 60;
    if (rest == 0) {
        return FormatString(IDS_MINUTES, std::to_string(minutes));
    }
    return FormatString(IDS_MINUTES_SECONDS, std::to_string(minutes), std::to_string(rest));
}

std::string FormatTimeLeftLine(std::uint64_t seconds, std::uint64_t bytesCopied, std::uint64_t bytesTotal) {
    const std::string amounts = FormatString(IDS_AMOUNT_OF, FormatAmount(bytesCopied), FormatAmount(bytesTotal));
    return FormatString(IDS_TIME_LEFT, FormatTimeLeft(seconds), amounts);
}

std::string FormatRate(double bytesPerMs) {
    // "Not less than 1" rather than "less than 1", so that NaN takes the bytes branch.
    if (!(bytesPerMs >= 1.0)) {
        return FormatString(IDS_BYTES_PER_SEC, Printf("%0.0f", bytesPerMs * 1024.0));
    }
    if (bytesPerMs < 10.0) {
        return FormatString(IDS_KB_PER_SEC, Printf("%0.2f", bytesPerMs));
    }
    return FormatString(IDS_KB_PER_SEC, Printf("%0.0f", bytesPerMs));
}

std::string FormatPercentCaption(int percent, const std::string& shownName) {
    return FormatString(IDS_PERCENT_DONE, std::to_string(percent), shownName);
}

std::string FormatProgressLine(const std::string& caption, const std::string& shownName, const std::string& timeLeft,
                               const std::string& rate) {
    if (caption.empty() && timeLeft.empty() && rate.empty()) {
        return {};
    }
    std::string line = caption.empty() ? shownName : caption;
    for (const std::string* part : {&timeLeft, &rate}) {
        if (!part->empty()) {
            line += "  " + *part;
        }
    }
    return line;
}

std::string FormatCredentialsQuestion(bool proxy, const std::string& host) {
    return FormatString(proxy ? IDS_PROXY_ASKS : IDS_SERVER_ASKS, host);
}

std::uint32_t CurrentTick() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void RefreshTransferFigures(TransferSink& sink, std::uint32_t startTick, std::uint32_t& lastTick,
                            std::uint64_t bytesSoFar, std::uint64_t& bytesAtLastTick, int& lastPercent, bool haveLength,
                            std::uint64_t contentLength, std::uint32_t nowTick) {
    if (haveLength) {
        // An announced length of 0 is complete as soon as the body ends; it has no quotient to show.
        const int percent =
            contentLength == 0
                ? 100
                : static_cast<int>(static_cast<double>(bytesSoFar) * 100.0 / static_cast<double>(contentLength));
        if (percent != lastPercent) {
            sink.ShowPercentDone(percent);
            lastPercent = percent;
        }
    }

    // Unsigned 32-bit subtraction gives the right interval across the counter's wrap.
    const std::uint32_t sinceLast = nowTick - lastTick;
    if (sinceLast <= 1000) {
        return;
    }
    sink.ShowRate(static_cast<double>(bytesSoFar - bytesAtLastTick) / static_cast<double>(sinceLast));
    lastTick = nowTick;
    bytesAtLastTick = bytesSoFar;
    if (haveLength && bytesSoFar != 0) {
        const std::uint32_t sinceStart = nowTick - startTick;
        const std::uint64_t remaining = bytesSoFar < contentLength ? contentLength - bytesSoFar : 0;
        const double seconds =
            static_cast<double>(sinceStart) / static_cast<double>(bytesSoFar) * static_cast<double>(remaining) / 1000.0;
        sink.ShowTimeRemaining(static_cast<std::uint64_t>(std::trunc(seconds)), bytesSoFar, contentLength);
    }
}

} // namespace zarn
