// When a failed attempt of a download is worth another and how long to wait before it: a few attempts with
// growing, jittered waits; a server's Retry-After obeyed up to a cap; and a budget of waiting for the whole
// download, so that a busy server cannot hold an update for ever. Failures that another attempt cannot mend
// (other refusals, the certificate and redirect checks, a body that is not the listed file, a file error) are
// never tried again. No toolkit, no network: the engines' shared TransferBody asks it. Worker thread.
#pragma once

#include "download/TransferSettings.h"
#include "res/StringIds.h"

#include <chrono>
#include <ctime>
#include <optional>
#include <random>
#include <string>

namespace zarn {

class RetryPolicy {
public:
    explicit RetryPolicy(const TransferSettings& settings);

    // True when a failure with message `failId` and %1 `code` may pass on a later attempt: silence, no
    // connection, a connection broken off or reset, a name not resolved, or a status that says "busy, later".
    static bool IsTransient(StringId failId, unsigned long code);
    // The wait a Retry-After value asks for, in delta seconds or as an HTTP date read against `now`; none
    // when it reads as neither. A date already past asks for no wait.
    static std::optional<std::chrono::seconds> ParseRetryAfter(const std::string& value, std::time_t now);

    // The scale of every wait: 1, or the ZARN_RETRY_DELAY_SCALE of the environment (0 to 1), with which tests of the
    // whole launcher shorten the waits; nothing else sets it.
    static double DelayScaleFromEnvironment();

    // Counts one more attempt and returns the wait before it, after a transient failure whose answer carried
    // `retryAfter` (may be empty); none when the attempts or the budget are used up.
    std::optional<std::chrono::milliseconds> NextWait(const std::string& retryAfter);
    // Counts one more attempt that starts at once (the server's answer cannot continue what is held); false
    // when the attempts are used up.
    bool NextImmediate();
    // Attempts made or granted so far, the first one included.
    int Attempts() const { return m_attempts; }

private:
    const TransferSettings& m_settings;
    int m_attempts = 1;
    std::chrono::milliseconds m_waited{0}; // before scaling, against the budget
    std::mt19937 m_random;
};

} // namespace zarn
