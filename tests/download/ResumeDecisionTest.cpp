#include "download/ResumeDecision.h"

#include <gtest/gtest.h>
#include <string>

namespace zarn {
namespace {

TEST(ResumeDecisionTest, OnlyAStrongETagOrElseLastModifiedIsAValidator) {
    const std::string date = "Sat, 05 Dec 2026 10:00:00 GMT";
    EXPECT_EQ(ResumeDecision::Validator("\"v1\"", date), "\"v1\"");
    EXPECT_EQ(ResumeDecision::Validator(" \"v1\" ", ""), "\"v1\"");
    EXPECT_EQ(ResumeDecision::Validator("", date), date);
    // A weak or malformed ETag vouches for no byte, and Last-Modified beside it does not make up for that.
    EXPECT_EQ(ResumeDecision::Validator("W/\"v1\"", date), "");
    EXPECT_EQ(ResumeDecision::Validator("v1", date), "");
    EXPECT_EQ(ResumeDecision::Validator("\"", date), "");
    EXPECT_EQ(ResumeDecision::Validator("", ""), "");
}

TEST(ResumeDecisionTest, A206ContinuesOnlyAtTheBytesHeldOfTheSameTotal) {
    struct Case {
        const char* contentRange;
        bool continues; // at 800 of 2000
        std::optional<std::uint64_t> total;
    };
    const Case cases[] = {
        {"bytes 800-1999/2000", true, 2000},
        {"BYTES 800-1999/2000", true, 2000},
        {"bytes 700-1999/2000", false, 2000},
        {"bytes 900-1999/2000", false, 2000},
        {"bytes 800-2099/2100", false, 2100},
        {"bytes 800-1999/*", false, std::nullopt},
        {"bytes */2000", false, 2000},
        {"bytes 800-700/2000", false, std::nullopt},
        {"bytes 800-1999/2000x", false, std::nullopt},
        {"bytes 800-1999/99999999999999999999", false, std::nullopt},
        {"items 800-1999/2000", false, std::nullopt},
        {"", false, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResumeDecision::Continues(c.contentRange, 800, 2000), c.continues) << c.contentRange;
        EXPECT_EQ(ResumeDecision::Total(c.contentRange), c.total) << c.contentRange;
    }
}

} // namespace
} // namespace zarn
