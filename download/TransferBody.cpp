#include "download/TransferBody.h"

#include "download/ProgressText.h"
#include "download/ResumeDecision.h"
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

void TransferBody::Refuse(unsigned long status, const std::string& retryAfter) {
    if (!Failed()) {
        m_retryAfter = retryAfter;
    }
    Fail(IDS_BAD_STATUS, status);
}

void TransferBody::Run(const std::function<Outcome(const TransferSettings&)>& attempt) {
    m_baseOffset = m_settings.resumeOffset;
    m_rangeStart = m_settings.resumeOffset;
    if (m_target.HeldBytes() > 0 && !ContinueHeld()) {
        Finish(m_stopped ? Outcome::Stopped : Outcome::Failed);
        return;
    }
    Outcome outcome = RunSource(attempt, m_settings);
    for (const std::string& url : m_settings.alternateUrls) {
        if (outcome != Outcome::Failed || !ServerFailed()) {
            break;
        }
        const std::optional<TransferSettings> source = m_settings.ForSource(url);
        if (!source) {
            continue;
        }
        // A mirror's bytes start the file afresh: nothing another server sent is known to fit them.
        const std::string reason = m_failText.empty() ? FormatString(m_failId, std::to_string(m_failCode)) : m_failText;
        m_failId = StringId{};
        m_failCode = 0;
        m_failText.clear();
        m_retryAfter.clear();
        m_restartNeeded = false;
        m_notModified = false;
        m_heldDigest.reset();
        if (!Restart()) {
            outcome = Outcome::Failed;
            break;
        }
        m_sink.NoteAttempt("failed for good: " + reason + "; the next server: " + url);
        outcome = RunSource(attempt, *source);
    }
    Finish(outcome);
}

TransferBody::Outcome TransferBody::RunSource(const std::function<Outcome(const TransferSettings&)>& attempt,
                                              const TransferSettings& source) {
    RetryPolicy policy(m_settings);
    Outcome outcome = attempt(source);
    while (outcome == Outcome::Failed && PrepareRetry(policy, outcome)) {
        outcome = attempt(source);
    }
    if (outcome == Outcome::Done && !m_notModified && !MatchesList()) {
        outcome = Outcome::Failed;
    }
    return outcome;
}

bool TransferBody::ServerFailed() const {
    if (m_failId == IDS_FILE_MISMATCH || m_failId == IDS_FILE_TOO_LARGE || m_failId == IDS_CONNECT_FAILED ||
        m_failId == IDS_NO_RESPONSE) {
        return true;
    }
    if (m_failId == IDS_BAD_STATUS) {
        return m_failCode >= 500 && m_failCode <= 599;
    }
    // A failed write to the target keeps the system's number, which no other server changes.
    return m_failId == IDS_TRANSFER_FAILED && RetryPolicy::IsTransient(m_failId, m_failCode);
}

bool TransferBody::PrepareRetry(RetryPolicy& policy, Outcome& outcome) {
    const std::string reason = m_failText.empty() ? FormatString(m_failId, std::to_string(m_failCode)) : m_failText;
    const std::string note = "attempt " + std::to_string(policy.Attempts()) + " failed: " + reason;
    std::optional<std::chrono::milliseconds> wait;
    const bool immediate = m_restartNeeded;
    if (m_restartNeeded) {
        if (policy.NextImmediate()) {
            wait = std::chrono::milliseconds(0);
        }
    } else if (RetryPolicy::IsTransient(m_failId, m_failCode)) {
        wait = policy.NextWait(m_retryAfter);
    }
    if (!wait) {
        m_sink.NoteAttempt(note);
        return false;
    }
    // What is held goes on only where the server can vouch that its file is still the one it came from.
    const bool keep = !m_restartNeeded && (m_bytesSoFar == 0 || (!m_validator.empty() && m_total));
    const StringId failId = m_failId;
    const unsigned long failCode = m_failCode;
    m_failId = StringId{};
    m_failCode = 0;
    m_failText.clear();
    m_retryAfter.clear();
    m_restartNeeded = false;
    if (!keep && !Restart()) {
        m_sink.NoteAttempt(note);
        return false;
    }
    if (keep && m_bytesSoFar > 0) {
        m_rangeStart = m_baseOffset + m_bytesSoFar;
        m_ifRange = m_validator;
    }
    m_sink.NoteAttempt(
        note + "; attempt " + std::to_string(policy.Attempts()) + " in " + std::to_string(wait->count()) + " ms, " +
        (m_rangeStart > 0 ? "from byte " + std::to_string(m_rangeStart) : std::string("from the start")));
    const std::string shortReason =
        failId == IDS_BAD_STATUS ? "HTTP " + std::to_string(failCode) : "error " + std::to_string(failCode);
    if (!immediate && !Wait(*wait, shortReason)) {
        m_stopped = true;
        outcome = Outcome::Stopped;
        return false;
    }
    return true;
}

bool TransferBody::ContinueHeld() {
    // As an attempt after a cut: the hash takes what is held first, so that it is still the whole file's.
    m_bytesSoFar = m_target.HeldBytes();
    // A large file takes a while to read: a stop is looked at between its pieces.
    const bool read = m_target.ReadHeld([this](const char* data, std::size_t length) {
        m_hash.Update(data, length);
        return !StopRequested();
    });
    if (!read && StopRequested()) {
        m_stopped = true;
        return false;
    }
    if (!read) {
        return Restart();
    }
    m_total = m_settings.expectedSize;
    m_validator = m_target.HeldValidator();
    m_rangeStart = m_bytesSoFar;
    m_ifRange = m_validator;
    m_startTick = CurrentTick();
    m_lastTick = m_startTick;
    m_bytesAtLastTick = m_bytesSoFar;
    m_bytesOfEarlierRun = m_bytesSoFar;
    return true;
}

bool TransferBody::Restart() {
    if (m_bytesSoFar > 0 || m_baseOffset > 0) {
        if (const unsigned long code = m_target.Restart(); code != 0) {
            Fail(IDS_TRANSFER_FAILED, code);
            return false;
        }
    }
    m_hash.Reset();
    m_baseOffset = 0;
    m_bytesSoFar = 0;
    m_bytesOfEarlierRun = 0;
    m_bytesAtLastTick = 0;
    m_lastPercent = 0;
    m_total.reset();
    m_validator.clear();
    m_rangeStart = 0;
    m_ifRange.clear();
    return true;
}

bool TransferBody::Wait(std::chrono::milliseconds wait, const std::string& reason) {
    const long long seconds = std::max<long long>(1, (wait.count() + 999) / 1000);
    m_sink.ShowStatusText(FormatString(IDS_RETRY_WAIT, std::to_string(seconds), reason));
    const auto until = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < until) {
        if (StopRequested()) {
            return false;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kSleepSlice, until - std::chrono::steady_clock::now()));
    }
    return !StopRequested();
}

bool TransferBody::Start(int status, const Answer& answer) {
    // An attempt after the first that asked for the rest of a file whose total the first answer gave.
    const bool resuming = m_rangeStart > 0 && m_total.has_value();
    std::optional<std::uint64_t> length = answer.contentLength;
    if (status == 304) {
        if (!Conditional()) {
            Refuse(304, std::string());
            return false;
        }
        // The copy on disk is the server's file: nothing comes, nothing is written.
        m_notModified = true;
        length = 0;
    } else if (status == 416) {
        // The cut may have come after the last byte: then what is held is the whole file, if it is the listed one.
        if (!resuming || ResumeDecision::Total(answer.contentRange) != m_total || m_rangeStart != *m_total) {
            m_restartNeeded = resuming;
            Refuse(416, std::string());
            return false;
        }
        const bool sizeOk = !m_settings.expectedSize || *m_settings.expectedSize == m_bytesSoFar;
        const std::string digest = m_settings.expectedSha256.empty() ? std::string() : m_hash.FinishHex();
        if (!sizeOk || digest != m_settings.expectedSha256) {
            m_restartNeeded = true;
            Refuse(416, std::string());
            return false;
        }
        m_heldDigest = digest;
        length = 0;
    } else if (status == 206 && m_rangeStart > 0) {
        const std::optional<std::uint64_t> total = resuming ? m_total : ResumeDecision::Total(answer.contentRange);
        if (!total || !ResumeDecision::Continues(answer.contentRange, m_rangeStart, *total)) {
            // Bytes from elsewhere in the file, or from another file: nothing held can be trusted to fit.
            m_restartNeeded = true;
            Refuse(206, std::string());
            return false;
        }
    } else if (status == 200 && (m_rangeStart > 0 || m_bytesSoFar > 0)) {
        // The server ignored the range, or its file changed: the whole file goes in from the start.
        if (!Restart()) {
            return false;
        }
    }
    m_sink.ShowStatusText(LoadString(IDS_GETTING_FILE_INFO));
    if (status == 200 || !resuming) {
        // The first answer of this file: the one later attempts must match.
        m_total = status == 200 ? answer.contentLength : ResumeDecision::Total(answer.contentRange);
        m_validator = ResumeDecision::Validator(answer.etag, answer.lastModified);
        m_target.SetValidator(m_validator);
        m_answerEtag = answer.etag;
        m_answerLastModified = answer.lastModified;
        m_haveLength = length.has_value();
        m_length = length.value_or(0);
        m_startTick = CurrentTick();
        m_lastTick = m_startTick;
        m_bytesSoFar = 0;
        m_bytesOfEarlierRun = 0;
        m_bytesAtLastTick = 0;
        m_lastPercent = 0;
        m_hash.Reset();
    } else {
        // The same progress goes on from the bytes held.
        m_haveLength = length.has_value();
        m_length = m_bytesSoFar + length.value_or(0);
    }
    if (m_haveLength) {
        m_sink.SetProgressRange(0, 100);
    }
    m_sink.ShowStatusText(LoadString(IDS_RETRIEVING_FILE));
    m_started = true;
    return true;
}

bool TransferBody::Write(const char* data, std::size_t length) {
    if (m_heldDigest || m_notModified) {
        return true; // the text of a 416 or a 304: the file is already whole
    }
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
    const double average = static_cast<double>(m_bytesSoFar - m_bytesOfEarlierRun) / elapsed;
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
    const std::string received = m_heldDigest                        ? *m_heldDigest
                                 : m_settings.expectedSha256.empty() ? std::string()
                                                                     : m_hash.FinishHex();
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
    if (outcome == Outcome::Done && m_notModified) {
        // The target stays as it is; a deferred commit then finds nothing to put in place.
        m_target.Discard();
        m_sink.NoteAnswer(true, std::string(), std::string());
        m_sink.TransferEnded(false, std::string());
        return;
    }
    if (outcome == Outcome::Failed && m_failId == IDS_FILE_MISMATCH) {
        // Not the listed file: nothing of it is worth continuing.
        m_target.Drop();
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
        if (outcome == Outcome::Done) {
            m_sink.NoteAnswer(false, m_answerEtag, m_answerLastModified);
        }
        m_sink.TransferEnded(false, std::string());
    }
}

} // namespace zarn
