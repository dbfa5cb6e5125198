#include "download/RetryPolicy.h"

#include "download/TransferErrors.h"

#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace zarn {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(RetryPolicyTest, OnlyFailuresThatMayPassAreTransient) {
    struct Case {
        StringId id;
        unsigned long code;
        bool transient;
    };
    const Case cases[] = {
        {IDS_BAD_STATUS, 408, true},
        {IDS_BAD_STATUS, 429, true},
        {IDS_BAD_STATUS, 500, true},
        {IDS_BAD_STATUS, 502, true},
        {IDS_BAD_STATUS, 503, true},
        {IDS_BAD_STATUS, 504, true},
        {IDS_BAD_STATUS, 404, false},
        {IDS_BAD_STATUS, 501, false},
        {IDS_BAD_STATUS, 416, false},
        {IDS_TRANSFER_FAILED, transfer_error::kTimeout, true},
        {IDS_TRANSFER_FAILED, transfer_error::kConnectionAborted, true},
        {IDS_TRANSFER_FAILED, transfer_error::kConnectionReset, true},
        {IDS_CONNECT_FAILED, transfer_error::kCannotConnect, true},
        {IDS_CONNECT_FAILED, transfer_error::kNameNotResolved, true},
        {IDS_NO_RESPONSE, transfer_error::kConnectionAborted, true},
        {IDS_TRANSFER_FAILED, 28, false}, // a full disk
        {IDS_CONNECT_FAILED, transfer_error::kInvalidCa, false},
        {IDS_CONNECT_FAILED, transfer_error::kCertNameInvalid, false},
        {IDS_CONNECT_FAILED, transfer_error::kHttpsToHttpRedirect, false},
        {IDS_NO_RESPONSE, transfer_error::kInvalidServerResponse, false},
        {IDS_DOWNLOAD_FAILED, transfer_error::kTimeout, false},
        {IDS_FILE_MISMATCH, 0, false},
        {IDS_FILE_TOO_LARGE, 0, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RetryPolicy::IsTransient(c.id, c.code), c.transient) << c.id << " " << c.code;
    }
}

TEST(RetryPolicyTest, RetryAfterReadsSecondsAndHttpDates) {
    const std::time_t now = 784111777; // Sun, 06 Nov 1994 08:49:37 GMT
    struct Case {
        const char* value;
        std::optional<seconds> wait;
    };
    const Case cases[] = {
        {"0", seconds(0)},
        {"120", seconds(120)},
        {"99999999999999999999", seconds(999999)},
        {"Sun, 06 Nov 1994 08:50:07 GMT", seconds(30)},
        {"Sun, 06 Nov 1994 08:49:00 GMT", seconds(0)}, // already past
        {"Sun, 06 Nov 1994 08:50:07 CET", std::nullopt},
        {"-5", std::nullopt},
        {"1.5", std::nullopt},
        {"soon", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RetryPolicy::ParseRetryAfter(c.value, now), c.wait) << c.value;
    }
}

// The waits grow about twice each time within a quarter either way, a server's Retry-After is capped, and the
// attempts and the budget of waiting both end the download.
TEST(RetryPolicyTest, WaitsGrowWithinTheirJitterUntilAttemptsOrBudgetRunOut) {
    TransferSettings settings;
    for (int run = 0; run < 20; ++run) {
        RetryPolicy policy(settings);
        for (const long long base : {1000, 2000, 4000}) {
            const std::optional<milliseconds> wait = policy.NextWait("");
            ASSERT_TRUE(wait);
            EXPECT_GE(wait->count(), base * 3 / 4);
            EXPECT_LE(wait->count(), base * 5 / 4);
        }
        EXPECT_EQ(policy.Attempts(), 4);
        EXPECT_FALSE(policy.NextWait(""));
        EXPECT_FALSE(policy.NextImmediate());
    }

    settings.maxAttempts = 10;
    settings.retryDelayScale = 0.5;
    RetryPolicy asked(settings);
    EXPECT_EQ(asked.NextWait("3600"), milliseconds(15000)); // capped at 30 s, then scaled
    EXPECT_EQ(asked.NextWait("30"), milliseconds(15000));
    EXPECT_EQ(asked.NextWait("30"), milliseconds(15000));
    EXPECT_EQ(asked.NextWait("30"), milliseconds(15000)); // 120 s of the budget used
    EXPECT_FALSE(asked.NextWait("1"));
    EXPECT_TRUE(asked.NextImmediate()); // a restart costs an attempt, not the budget
}

} // namespace
} // namespace zarn
