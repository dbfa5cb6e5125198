#include "download/TransferBody.h"

#include "download/ProgressText.h"
#include "res/StringTable.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace zarn {

namespace {

// The body reaches the target in pieces of at most this size, each followed by a display refresh.
constexpr std::size_t kPieceSize = 1024;
// How long one sleep of the rate cap may last before the stop flag is looked at again.
constexpr std::chrono::milliseconds kSleepSlice{50};

} // namespace

TransferBody::TransferBody(const TransferSettings& settings, TargetFile& target, TransferSink& sink,
                           const std::atomic<bool>& stopRequested)
    : m_settings(settings), m_target(target), m_sink(sink), m_stopRequested(stopRequested) {}

void TransferBody::Fail(StringId id, unsigned long code) {
    if (!Failed()) {
        m_failId = id;
        m_failCode = code;
    }
}

void TransferBody::FailWithText(StringId id, std::string text) {
    if (!Failed()) {
        m_failId = id;
        m_failText = std::move(text);
    }
}

bool TransferBody::Start(int status, std::optional<std::uint64_t> contentLength) {
    if (status == 200 && m_settings.resumeOffset > 0) {
        // The server ignored the range and sends the whole file: it goes in from the start.
        if (const unsigned long code = m_target.Restart(); code != 0) {
            Fail(IDS_TRANSFER_FAILED, code);
            return false;
        }
    }
    m_sink.ShowStatusText(LoadString(IDS_GETTING_FILE_INFO));
    m_haveLength = contentLength.has_value();
    m_length = contentLength.value_or(0);
    if (m_haveLength) {
        m_sink.SetProgressRange(0, 100);
    }
    m_sink.ShowStatusText(LoadString(IDS_RETRIEVING_FILE));
    m_startTick = CurrentTick();
    m_lastTick = m_startTick;
    m_bytesSoFar = 0;
    m_bytesAtLastTick = 0;
    m_lastPercent = 0;
    m_hash.Reset();
    m_started = true;
    return true;
}

bool TransferBody::Write(const char* data, std::size_t length) {
    for (std::size_t offset = 0; offset < length;) {
        if (StopRequested()) {
            m_stopped = true;
            return false;
        }
        const std::size_t piece = std::min(kPieceSize, length - offset);
        if (m_settings.expectedSize && m_bytesSoFar + piece > *m_settings.expectedSize) {
            // Endless or oversized data: not one byte past the listed size is written.
            FailWithText(IDS_FILE_TOO_LARGE,
                         FormatString(IDS_FILE_TOO_LARGE, std::to_string(*m_settings.expectedSize)));
            return false;
        }
        if (m_settings.sizeLimit && m_bytesSoFar + piece > *m_settings.sizeLimit) {
            FailWithText(IDS_FILE_OVER_LIMIT, FormatString(IDS_FILE_OVER_LIMIT, std::to_string(*m_settings.sizeLimit)));
            return false;
        }
        if (!m_settings.expectedSha256.empty()) {
            m_hash.Update(data + offset, piece);
        }
        if (const unsigned long code = m_target.Write(data + offset, piece); code != 0) {
            Fail(IDS_TRANSFER_FAILED, code);
            return false;
        }
        if (!ApplyRateCap()) {
            return false;
        }
        offset += piece;
        m_bytesSoFar += piece;
        RefreshTransferFigures(m_sink, m_startTick, m_lastTick, m_bytesSoFar, m_bytesAtLastTick, m_lastPercent,
                               m_haveLength, m_length, CurrentTick());
    }
    return true;
}

bool TransferBody::FlushIfDue() {
    if (!m_started) {
        return true;
    }
    if (const unsigned long code = m_target.FlushIfDue(); code != 0) {
        Fail(IDS_TRANSFER_FAILED, code);
        return false;
    }
    return true;
}

bool TransferBody::End(unsigned long shortBodyCode) {
    RefreshTransferFigures(m_sink, m_startTick, m_lastTick, m_bytesSoFar, m_bytesAtLastTick, m_lastPercent,
                           m_haveLength, m_length, CurrentTick());
    if (m_haveLength && m_bytesSoFar < m_length) {
        Fail(IDS_TRANSFER_FAILED, shortBodyCode);
        return false;
    }
    return true;
}

bool TransferBody::ApplyRateCap() {
    if (m_settings.maxBytesPerMs <= 0.0) {
        return true;
    }
    // Within the first millisecond the average is not defined; counting it as one millisecond keeps
    // a fast link from bursting far past the cap before the clock moves.
    const double elapsed = std::max(1.0, static_cast<double>(CurrentTick() - m_startTick));
    const double average = static_cast<double>(m_bytesSoFar) / elapsed;
    if (average <= m_settings.maxBytesPerMs) {
        return true;
    }
    const auto wait =
        std::chrono::milliseconds(static_cast<long long>(average * elapsed / m_settings.maxBytesPerMs - elapsed));
    const auto until = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < until) {
        if (StopRequested()) {
            m_stopped = true;
            return false;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kSleepSlice, until - std::chrono::steady_clock::now()));
    }
    return true;
}

bool TransferBody::MatchesList() {
    if (!m_settings.expectedSize && m_settings.expectedSha256.empty()) {
        return true;
    }
    // Without a listed digest none was taken, and the received one is not known either.
    const std::string received = m_settings.expectedSha256.empty() ? std::string() : m_hash.FinishHex();
    const bool sizeOk = !m_settings.expectedSize || *m_settings.expectedSize == m_bytesSoFar;
    const bool hashOk = m_settings.expectedSha256.empty() || m_settings.expectedSha256 == received;
    if (sizeOk && hashOk) {
        return true;
    }
    const auto describe = [](const std::string& size, const std::string& hash) {
        return size + " bytes, SHA-256 " + (hash.empty() ? "(any)" : hash);
    };
    const std::string expectedSize =
        m_settings.expectedSize ? std::to_string(*m_settings.expectedSize) : std::string("(any)");
    FailWithText(IDS_FILE_MISMATCH, FormatString(IDS_FILE_MISMATCH, describe(expectedSize, m_settings.expectedSha256),
                                                 describe(std::to_string(m_bytesSoFar), received)));
    return false;
}

void TransferBody::Finish(Outcome outcome) {
    if (outcome == Outcome::Done && !MatchesList()) {
        outcome = Outcome::Failed;
    }
    const bool commit = outcome == Outcome::Done && !m_sink.DefersCommit();
    if (const unsigned long code = commit ? m_target.Commit() : 0; code != 0) {
        Fail(IDS_TRANSFER_FAILED, code);
        outcome = Outcome::Failed;
    }
    if (outcome != Outcome::Done) {
        m_target.Discard();
    }
    if (outcome == Outcome::Failed) {
        m_sink.TransferEnded(true,
                             m_failText.empty() ? FormatString(m_failId, std::to_string(m_failCode)) : m_failText);
    } else {
        m_sink.TransferEnded(false, std::string());
    }
}

} // namespace zarn
