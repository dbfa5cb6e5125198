#include "download/ThroughputFloor.h"

#include <chrono>
#include <gtest/gtest.h>
#include <vector>

namespace zarn {
namespace {

using std::chrono::milliseconds;

// A window of 12 s and a floor of 12 bytes. Bytes arrive half a second into each second (`bytesEachSecond`, then
// none); the floor is asked every 100 ms for 30 s. Starving must come no sooner than a window after the last
// bytes that would have kept the floor, and no later than a slot (1 s) after that.
TEST(ThroughputFloorTest, StarvedOnlyOnceAWholeWindowBringsLessThanTheFloor) {
    struct Case {
        const char* name;
        std::uint64_t floorBytes;
        std::vector<int> bytesEachSecond;
        int firstStarvedMs; // -1: never
    };
    const Case cases[] = {
        {"one byte a second meets a floor of 12 over 12 s", 12, std::vector<int>(30, 1), -1},
        {"a burst, then nothing", 12, {1000}, 12500},
        {"a byte every other second", 12, {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0}, 12000},
        {"a floor of 0", 0, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ThroughputFloor floor(milliseconds(12000), c.floorBytes);
        const ThroughputFloor::Clock::time_point start{};
        floor.Restart(start);
        int firstStarvedMs = -1;
        for (int ms = 0; ms <= 30000 && firstStarvedMs < 0; ms += 100) {
            const std::size_t second = static_cast<std::size_t>(ms / 1000);
            if (ms % 1000 == 500 && second < c.bytesEachSecond.size()) {
                floor.Add(static_cast<std::size_t>(c.bytesEachSecond[second]), start + milliseconds(ms));
            }
            if (floor.Starved(start + milliseconds(ms))) {
                firstStarvedMs = ms;
            }
        }
        if (c.firstStarvedMs < 0) {
            EXPECT_EQ(firstStarvedMs, -1);
        } else {
            EXPECT_GE(firstStarvedMs, c.firstStarvedMs);
            EXPECT_LE(firstStarvedMs, c.firstStarvedMs + 1000);
        }
    }
}

// Connecting is not watched, and a new request starts a new window.
TEST(ThroughputFloorTest, PauseAndRestartForgetWhatCameBefore) {
    ThroughputFloor floor(milliseconds(12000), 12);
    const ThroughputFloor::Clock::time_point start{};
    floor.Restart(start);
    EXPECT_TRUE(floor.Starved(start + milliseconds(14000)));
    floor.Pause();
    EXPECT_FALSE(floor.Starved(start + milliseconds(60000)));
    floor.Restart(start + milliseconds(60000));
    EXPECT_FALSE(floor.Starved(start + milliseconds(71900)));
    EXPECT_TRUE(floor.Starved(start + milliseconds(73000)));
}

} // namespace
} // namespace zarn
