// The download's animation clip as the build renders it: the shape every front end plays, and pictures that show.
#include "res/AnimationClip.h"

#include <gtest/gtest.h>
#include <set>
#include <vector>

namespace zarn {
namespace {

Rgb PixelAt(std::span<const unsigned char> frame, int width, int x, int y) {
    const auto at = 3 * static_cast<std::size_t>(y * width + x);
    return {frame[at], frame[at + 1], frame[at + 2]};
}

TEST(AnimationClip, DownloadClipHasItsShapeAndDistinctDrawnFrames) {
    EXPECT_EQ(FindAnimationClip(static_cast<ImageId>(225)), nullptr);
    const AnimationClip* clip = FindAnimationClip(IDR_DOWNLOAD_CLIP);
    ASSERT_NE(clip, nullptr);
    const ClipShape& shape = clip->Shape();
    EXPECT_EQ(shape.width, 272);
    EXPECT_EQ(shape.height, 60);
    EXPECT_EQ(shape.frameCount, 31);
    EXPECT_EQ(shape.frameIntervalUs, 66667);
    EXPECT_TRUE(clip->Frame(-1).empty());
    EXPECT_TRUE(clip->Frame(shape.frameCount).empty());

    std::set<std::vector<unsigned char>> distinct;
    for (int index = 0; index < shape.frameCount; ++index) {
        SCOPED_TRACE(index);
        const auto frame = clip->Frame(index);
        ASSERT_EQ(frame.size(), std::size_t{3} * 272 * 60);
        // The background shows through the corners (the top-left one names the transparent colour to the
        // platform's animation control), and enough is drawn to be seen.
        EXPECT_EQ(PixelAt(frame, shape.width, 0, 0), kClipTransparent);
        EXPECT_EQ(PixelAt(frame, shape.width, shape.width - 1, shape.height - 1), kClipTransparent);
        int drawn = 0;
        for (int y = 0; y < shape.height; ++y) {
            for (int x = 0; x < shape.width; ++x) {
                drawn += PixelAt(frame, shape.width, x, y) != kClipTransparent;
            }
        }
        EXPECT_GT(drawn, 500);
        EXPECT_LT(drawn, shape.width * shape.height / 2);
        distinct.emplace(frame.begin(), frame.end());
    }
    // The page moves and the globe turns: no two frames are alike.
    EXPECT_EQ(distinct.size(), std::size_t(shape.frameCount));
}

} // namespace
} // namespace zarn
