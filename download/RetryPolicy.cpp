#include "download/RetryPolicy.h"

#include "download/TransferErrors.h"
#include "platform/Environment.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zarn {

namespace {

// The first retry waits about a second, each later one twice as long as the one before, within a quarter either way
// so that many clients cut off together do not come back together.
constexpr std::chrono::milliseconds kFirstWait{1000};
constexpr double kJitter = 0.25;
// A server may ask for a longer pause than this, but an update that waits longer looks hung.
constexpr std::chrono::milliseconds kRetryAfterCap{30000};
// All waits of one download together.
constexpr std::chrono::milliseconds kBudget{120000};

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// An HTTP date in its one current form, "Sun, 06 Nov 1994 08:49:37 GMT", as seconds since 1970.
std::optional<std::int64_t> ParseHttpDate(const std::string& text) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char weekday[4] = {};
    char month[4] = {};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    char zone[4] = {};
    if (std::sscanf(text.c_str(), "%3s, %d %3s %d %d:%d:%d %3s", weekday, &day, month, &year, &hour, &minute, &second,
                    zone) != 8 ||
        std::strcmp(zone, "GMT") != 0) {
        return std::nullopt;
    }
    const auto found = std::find_if(std::begin(months), std::end(months),
                                    [&](const char* name) { return std::strcmp(name, month) == 0; });
    if (found == std::end(months) || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60 || hour < 0 ||
        minute < 0 || second < 0) {
        return std::nullopt;
    }
    const auto monthNumber = static_cast<unsigned>(found - std::begin(months) + 1);
    return DaysFromCivil(year, monthNumber, static_cast<unsigned>(day)) * 86400 + hour * 3600 + minute * 60 + second;
}

} // namespace

RetryPolicy::RetryPolicy(const TransferSettings& settings) : m_settings(settings), m_random(std::random_device{}()) {}

bool RetryPolicy::IsTransient(StringId failId, unsigned long code) {
    if (failId == IDS_BAD_STATUS) {
        return code == 408 || code == 429 || code == 500 || code == 502 || code == 503 || code == 504;
    }
    // A file error carries the system's own number, which never reaches these.
    return (failId == IDS_CONNECT_FAILED || failId == IDS_NO_RESPONSE || failId == IDS_TRANSFER_FAILED) &&
           (code == transfer_error::kTimeout || code == transfer_error::kCannotConnect ||
            code == transfer_error::kConnectionAborted || code == transfer_error::kConnectionReset ||
            code == transfer_error::kNameNotResolved);
}

std::optional<std::chrono::seconds> RetryPolicy::ParseRetryAfter(const std::string& value, std::time_t now) {
    if (value.empty()) {
        return std::nullopt;
    }
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Anything past a day is capped anyway; the length check keeps the number from overflowing.
        return std::chrono::seconds(value.size() > 6 ? 999999 : std::stol(value));
    }
    const std::optional<std::int64_t> date = ParseHttpDate(value);
    if (!date) {
        return std::nullopt;
    }
    return std::chrono::seconds(std::max<std::int64_t>(0, *date - static_cast<std::int64_t>(now)));
}

std::optional<std::chrono::milliseconds> RetryPolicy::NextWait(const std::string& retryAfter) {
    if (m_attempts >= m_settings.maxAttempts) {
        return std::nullopt;
    }
    std::chrono::milliseconds wait;
    if (const auto asked = ParseRetryAfter(retryAfter, std::time(nullptr))) {
        wait = std::min<std::chrono::milliseconds>(*asked, kRetryAfterCap);
    } else {
        std::uniform_real_distribution<double> spread(1.0 - kJitter, 1.0 + kJitter);
        wait = std::chrono::milliseconds(
            static_cast<long long>(static_cast<double>(kFirstWait.count() << (m_attempts - 1)) * spread(m_random)));
    }
    if (m_waited + wait > kBudget) {
        return std::nullopt;
    }
    m_waited += wait;
    ++m_attempts;
    return std::chrono::milliseconds(
        static_cast<long long>(static_cast<double>(wait.count()) * m_settings.retryDelayScale));
}

bool RetryPolicy::NextImmediate() {
    if (m_attempts >= m_settings.maxAttempts) {
        return false;
    }
    ++m_attempts;
    return true;
}

double RetryPolicy::DelayScaleFromEnvironment() {
    if (const std::optional<std::string> scale = platform::EnvironmentValue("ZARN_RETRY_DELAY_SCALE")) {
        char* end = nullptr;
        const double value = std::strtod(scale->c_str(), &end);
        if (end != scale->c_str() && *end == '\0' && value >= 0.0 && value <= 1.0) {
            return value;
        }
    }
    return 1.0;
}

} // namespace zarn
