// What every transfer engine does with an answer once the network has delivered it: the status lines
// and figures of the body, the body's checks (its announced length, the list's size and SHA-256), the
// writes to the TargetFile in pieces of at most 1,024 bytes, the rate cap, and the end: commit or
// discard and the one TransferEnded. It also runs the attempts of one download: after a transient failure
// (RetryPolicy) it waits, saying so in the status line, and has the engine try again, continuing the bytes
// held when the first answer gave a validator (ResumeDecision), else from the start. Every attempt writes to
// the same TargetFile; the SHA-256 runs on across them, so it is always the whole file's. A target that holds the
// partial download of an earlier run is continued in the same way, its bytes hashed first. The engine owns the
// network of one attempt; this class owns the result. Worker thread only.
#pragma once

#include "download/PipelinedSha256.h"
#include "download/RetryPolicy.h"
#include "download/TargetFile.h"
#include "download/TransferSettings.h"
#include "download/TransferSink.h"
#include "res/StringIds.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zarn {

class TransferBody {
public:
    enum class Outcome { Done, Failed, Stopped };
    // The headers of a final answer that say what its body is.
    struct Answer {
        std::optional<std::uint64_t> contentLength;
        std::string contentRange;
        std::string etag;
        std::string lastModified;
    };

    TransferBody(const TransferSettings& settings, TargetFile& target, TransferSink& sink,
                 const std::atomic<bool>& stopRequested);

    // Runs `attempt` (one request to `source` and its answer, by the engine, ending in Start, Write and End) until one
    // does not fail, fails for good or none is left; then, when that failure is the server's (no connection, 5xx, a
    // body that is not the listed file) and the settings name alternate URLs, the same with the next one from the
    // start; then Finish. A stop during a wait ends it within a slice.
    void Run(const std::function<Outcome(const TransferSettings& source)>& attempt);
    // Where the request of this attempt asks the body to start: 0 for the whole file (no Range header).
    std::uint64_t RangeStart() const { return m_rangeStart; }
    // The If-Range value of this attempt's request; empty: none.
    const std::string& IfRange() const { return m_ifRange; }
    // True when this attempt's request carries the settings' If-None-Match and If-Modified-Since (a request for
    // the whole file, with a copy on disk); then a 304 answer is the copy's confirmation.
    bool Conditional() const {
        return m_rangeStart == 0 && (!m_settings.ifNoneMatch.empty() || !m_settings.ifModifiedSince.empty());
    }

    bool StopRequested() const { return m_stopRequested.load(std::memory_order_relaxed); }
    // Records the failure: message `id` with %1 = `code`. Only the first failure of an attempt counts.
    void Fail(StringId id, unsigned long code);
    // The answer's status is no file (message 213); `retryAfter` is its Retry-After header, maybe empty.
    void Refuse(unsigned long status, const std::string& retryAfter);
    bool Failed() const { return m_failId != StringId{}; }
    // True once Write or the rate cap saw the stop request.
    bool Stopped() const { return m_stopped; }
    bool Started() const { return m_started; }

    // The headers of a 200, 206, 416 or (to a conditional request) 304 answer are complete: restarts the target for a
    // whole answer to a ranged request, checks that a 206 continues what is held and that a 416 finds it whole, shows
    // "Getting file information" and "Retrieving the file", sets the progress range when the length is known. False,
    // with the failure set, when the answer cannot be taken or the target cannot restart.
    bool Start(int status, const Answer& answer);
    // Takes the next bytes of the body: each piece of at most 1,024 bytes is checked against the listed
    // size, hashed when the list gives a SHA-256, written, held to the rate cap and shown. False when
    // the transfer must end (failure set, or Stopped()).
    bool Write(const char* data, std::size_t length);
    // Puts collected pieces on disk once they have waited a second. False, with the failure set, on a
    // write error.
    bool FlushIfDue();
    // The body has ended: shows the last figures (a body of length 0 reaches 100% here) and fails with
    // message 214 and `shortBodyCode` when fewer bytes came than the answer announced.
    bool End(unsigned long shortBodyCode);

    // Ends the transfer: a Done body that is not the file the list describes becomes a failure; a Done
    // one is committed (unless the sink defers that), any other is discarded; then TransferEnded.
    void Finish(Outcome outcome);

private:
    // Decides after a failed attempt whether another follows and prepares it: the range it asks for, the
    // target restarted when nothing can be resumed, the wait shown and sat out. False when none follows.
    bool PrepareRetry(RetryPolicy& policy, Outcome& outcome);
    // Runs the attempts of one source, as Run says; the outcome of the last.
    Outcome RunSource(const std::function<Outcome(const TransferSettings&)>& attempt, const TransferSettings& source);
    // True when the recorded failure is one another server may not have: no connection or answer, a 5xx status, a
    // body that is not the listed file.
    bool ServerFailed() const;
    // Takes the bytes an earlier download of the same file left in the target as held, to be continued with Range and
    // If-Range. False when a stop came meanwhile (Stopped()), or with the failure set when they can neither be read
    // nor thrown away.
    bool ContinueHeld();
    // Throws away what is held and forgets the file's total and validator. False, with the failure set, when
    // the target cannot restart.
    bool Restart();
    // Sits out `wait`, showing why; false when a stop came first.
    bool Wait(std::chrono::milliseconds wait, const std::string& reason);
    // A failure whose message is the given text.
    void FailWithText(StringId id, std::string text);
    // False, with the failure set, when the whole body is not the file the list describes.
    bool MatchesList();
    bool ApplyRateCap();

    const TransferSettings& m_settings;
    TargetFile& m_target;
    TransferSink& m_sink;
    const std::atomic<bool>& m_stopRequested;

    bool m_stopped = false;
    StringId m_failId{}; // none yet
    unsigned long m_failCode = 0;
    std::string m_failText; // the whole failure text when the message is not one of a code
    // Taken as the pieces arrive when the list gives a digest to compare with, on a thread of its own so that it
    // overlaps the transfer.
    PipelinedSha256 m_hash;

    // The download as a whole, across its attempts.
    std::uint64_t m_baseOffset = 0;          // bytes before this download's first (a resumed target's)
    std::optional<std::uint64_t> m_total;    // the whole file's size, from the first answer that started it
    std::string m_validator;                 // that answer's If-Range value; empty: no resume
    std::uint64_t m_rangeStart = 0;          // this attempt's
    std::string m_ifRange;                   // this attempt's
    bool m_restartNeeded = false;            // this attempt's answer cannot continue what is held
    std::string m_retryAfter;                // this attempt's refusal's
    std::optional<std::string> m_heldDigest; // taken when a 416 found what is held whole
    bool m_notModified = false;              // a 304 confirmed the copy on disk
    std::string m_answerEtag;                // the validators of the answer that started the file
    std::string m_answerLastModified;

    bool m_started = false;
    std::uint32_t m_startTick = 0;
    std::uint32_t m_lastTick = 0;
    std::uint64_t m_bytesSoFar = 0;
    std::uint64_t m_bytesOfEarlierRun = 0; // held when the clock started: the rate cap paces only the rest
    std::uint64_t m_bytesAtLastTick = 0;
    int m_lastPercent = 0;
    bool m_haveLength = false;
    std::uint64_t m_length = 0;
};

} // namespace zarn
