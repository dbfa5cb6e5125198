// What every transfer engine does with an answer once the network has delivered it: the status lines
// and figures of the body, the body's checks (its announced length, the list's size and SHA-256), the
// writes to the TargetFile in pieces of at most 1,024 bytes, the rate cap, and the end: commit or
// discard and the one TransferEnded. The engine owns the network; this class owns the result.
// Worker thread only.
#pragma once

#include "download/PipelinedSha256.h"
#include "download/TargetFile.h"
#include "download/TransferSettings.h"
#include "download/TransferSink.h"
#include "res/StringIds.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zarn {

class TransferBody {
public:
    enum class Outcome { Done, Failed, Stopped };

    TransferBody(const TransferSettings& settings, TargetFile& target, TransferSink& sink,
                 const std::atomic<bool>& stopRequested);

    bool StopRequested() const { return m_stopRequested.load(std::memory_order_relaxed); }
    // Records the failure: message `id` with %1 = `code`. Only the first failure of a transfer counts.
    void Fail(StringId id, unsigned long code);
    bool Failed() const { return m_failId != StringId{}; }
    // True once Write or the rate cap saw the stop request.
    bool Stopped() const { return m_stopped; }
    bool Started() const { return m_started; }

    // The headers of a 200 or 206 answer are complete: restarts the target for a whole answer to a
    // ranged request, shows "Getting file information" and "Retrieving the file", sets the progress
    // range when the length is known. False, with the failure set, when the target cannot restart.
    bool Start(int status, std::optional<std::uint64_t> contentLength);
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

    bool m_started = false;
    std::uint32_t m_startTick = 0;
    std::uint32_t m_lastTick = 0;
    std::uint64_t m_bytesSoFar = 0;
    std::uint64_t m_bytesAtLastTick = 0;
    int m_lastPercent = 0;
    bool m_haveLength = false;
    std::uint64_t m_length = 0;
};

} // namespace zarn
