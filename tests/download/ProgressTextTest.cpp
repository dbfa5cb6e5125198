#include "download/ProgressText.h"

#include "tests/download/RecordingSink.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace zarn {
namespace {

TEST(ProgressTextTest, AmountsChangeUnitAtTheirThresholds) {
    EXPECT_EQ(FormatAmount(0), "0 Bytes");
    EXPECT_EQ(FormatAmount(1023), "1023 Bytes");
    EXPECT_EQ(FormatAmount(1024), "1.0 KB");
    EXPECT_EQ(FormatAmount(1536), "1.5 KB");
    EXPECT_EQ(FormatAmount(1048575), "1024.0 KB");
    EXPECT_EQ(FormatAmount(1048576), "1.00 MB");
    EXPECT_EQ(FormatAmount(5ull * 1024 * 1024 * 1024), "5120.00 MB");
}

TEST(ProgressTextTest, TimeLeftHasMinutesButNoHours) {
    EXPECT_EQ(FormatTimeLeft(0), "0 sec");
    EXPECT_EQ(FormatTimeLeft(59), "59 sec");
    EXPECT_EQ(FormatTimeLeft(60), "1 min");
    EXPECT_EQ(FormatTimeLeft(61), "1 min 1 sec");
    EXPECT_EQ(FormatTimeLeft(3600), "60 min");
    EXPECT_EQ(FormatTimeLeft(3 * 1000 * 1000 * 1000ull), "50000000 min");
}

TEST(ProgressTextTest, TimeLeftLineCombinesTimeAndAmounts) {
    EXPECT_EQ(FormatTimeLeftLine(125, 1572864, 3145728), "2 min 5 sec (1.50 MB of 3.00 MB copied)");
    EXPECT_EQ(FormatTimeLeftLine(3, 100, 2048), "3 sec (100 Bytes of 2.0 KB copied)");
}

TEST(ProgressTextTest, RateBranches) {
    EXPECT_EQ(FormatRate(0.0), "0 Bytes/Sec");
    EXPECT_EQ(FormatRate(0.5), "512 Bytes/Sec");
    EXPECT_EQ(FormatRate(0.9999), "1024 Bytes/Sec");
    EXPECT_EQ(FormatRate(1.0), "1.00 KB/Sec");
    EXPECT_EQ(FormatRate(2.5), "2.50 KB/Sec");
    EXPECT_EQ(FormatRate(9.999), "10.00 KB/Sec");
    EXPECT_EQ(FormatRate(10.0), "10 KB/Sec");
    EXPECT_EQ(FormatRate(12.6), "13 KB/Sec");
    // NaN is "not at least 1", so it takes the bytes branch rather than a KB one.
    EXPECT_EQ(FormatRate(std::numeric_limits<double>::quiet_NaN()).find("KB"), std::string::npos);
}

TEST(ProgressTextTest, PercentCaptionNamesTheFile) {
    EXPECT_EQ(FormatPercentCaption(100, "complist.txt"), "100% of complist.txt Completed");
}

TEST(ProgressTextTest, CredentialsQuestionNamesWhoAsks) {
    EXPECT_EQ(FormatCredentialsQuestion(true, "proxy.example"),
              "The proxy server proxy.example asks for a user name and password.");
    EXPECT_EQ(FormatCredentialsQuestion(false, "127.0.0.1"),
              "The web server 127.0.0.1 asks for a user name and password.");
}

struct Figures {
    test::RecordingSink sink;
    std::uint32_t start = 5000;
    std::uint32_t lastTick = 5000;
    std::uint64_t bytesAtLastTick = 0;
    int lastPercent = 0;

    void Refresh(std::uint64_t bytes, bool haveLength, std::uint64_t length, std::uint32_t now) {
        RefreshTransferFigures(sink, start, lastTick, bytes, bytesAtLastTick, lastPercent, haveLength, length, now);
    }
};

TEST(ProgressTextTest, PercentageChangesOncePerWholePointAndNeverShowsZero) {
    Figures f;
    f.Refresh(5, true, 1000, 5001);   // 0%: not shown
    f.Refresh(9, true, 1000, 5002);   // still 0%
    f.Refresh(10, true, 1000, 5003);  // 1%
    f.Refresh(15, true, 1000, 5004);  // still 1%
    f.Refresh(999, true, 1000, 5005); // 99%, truncated
    f.Refresh(1000, true, 1000, 5006);
    EXPECT_EQ(f.sink.percents, (std::vector<int>{1, 99, 100}));
    EXPECT_EQ(f.lastPercent, 100);
    EXPECT_TRUE(f.sink.rates.empty()) << "no rate within the first second";
    EXPECT_TRUE(f.sink.timeLeft.empty());
}

TEST(ProgressTextTest, ZeroLengthShowsFullAtTheEnd) {
    Figures f;
    f.Refresh(0, true, 0, 5001);
    EXPECT_EQ(f.sink.percents, (std::vector<int>{100}));
}

TEST(ProgressTextTest, RateAndTimeLeftOnlyAfterMoreThanOneSecond) {
    Figures f;
    f.Refresh(1000, true, 4000, 6000); // exactly 1,000 ms: nothing yet
    EXPECT_TRUE(f.sink.rates.empty());
    EXPECT_EQ(f.lastTick, 5000u);
    f.Refresh(1001, true, 4000, 6001); // 1,001 ms
    ASSERT_EQ(f.sink.rates.size(), 1u);
    EXPECT_DOUBLE_EQ(f.sink.rates[0], 1001.0 / 1001.0);
    EXPECT_EQ(f.lastTick, 6001u);
    EXPECT_EQ(f.bytesAtLastTick, 1001u);
    ASSERT_EQ(f.sink.timeLeft.size(), 1u);
    // (1001 ms / 1001 bytes) * 2999 bytes left / 1000 = 2.999 s, truncated.
    EXPECT_EQ(f.sink.timeLeft[0].seconds, 2u);
    EXPECT_EQ(f.sink.timeLeft[0].copied, 1001u);
    EXPECT_EQ(f.sink.timeLeft[0].total, 4000u);

    f.Refresh(3003, true, 4000, 7002); // the next rate covers only the bytes since the last one
    ASSERT_EQ(f.sink.rates.size(), 2u);
    EXPECT_DOUBLE_EQ(f.sink.rates[1], 2002.0 / 1001.0);
    EXPECT_EQ(f.sink.timeLeft[1].seconds, 0u); // 2002/3003*997/1000 = 0.66
}

TEST(ProgressTextTest, WithoutLengthOnlyTheRateIsShown) {
    Figures f;
    for (std::uint32_t t = 5100; t <= 9000; t += 100) {
        f.Refresh((t - 5000) * 10ull, false, 0, t);
    }
    EXPECT_TRUE(f.sink.percents.empty());
    EXPECT_TRUE(f.sink.timeLeft.empty());
    EXPECT_EQ(f.sink.rates.size(), 3u); // at 6100, 7200, 8300
    for (double rate : f.sink.rates) {
        EXPECT_DOUBLE_EQ(rate, 10.0);
    }
}

TEST(ProgressTextTest, NoTimeLeftBeforeTheFirstByte) {
    Figures f;
    f.Refresh(0, true, 4000, 7000);
    EXPECT_EQ(f.sink.rates.size(), 1u);
    EXPECT_TRUE(f.sink.timeLeft.empty());
}

TEST(ProgressTextTest, TickCounterWrapIsHarmless) {
    Figures f;
    f.start = 0xFFFFFF00u; // 256 ms before the wrap
    f.lastTick = f.start;
    f.Refresh(100, true, 1000, 0x00000100u); // 512 ms later, across the wrap
    EXPECT_TRUE(f.sink.rates.empty());
    f.Refresh(500, true, 1000, 0x00000400u); // 1,280 ms later
    ASSERT_EQ(f.sink.rates.size(), 1u);
    EXPECT_DOUBLE_EQ(f.sink.rates[0], 500.0 / 1280.0);
    ASSERT_EQ(f.sink.timeLeft.size(), 1u);
    EXPECT_EQ(f.sink.timeLeft[0].seconds, 1u); // 1280/500*500/1000 = 1.28
}

} // namespace
} // namespace zarn
