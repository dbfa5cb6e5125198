// The animation clips as data: frames of 24-bit pixels that the build renders from our own artwork (res/clip/), so
// that every front end plays the same pictures, each turning them into its own kind of clip.
#pragma once

#include "res/ResourceIds.h"

#include <cstddef>
#include <span>

namespace zarn {

struct ClipShape {
    int width;
    int height;
    int frameCount;
    int frameIntervalUs;
};

// The download's clip: a page flying from a globe into a folder, 15 frames a second.
inline constexpr ClipShape kDownloadClipShape{272, 60, 31, 66667};

struct Rgb {
    unsigned char red;
    unsigned char green;
    unsigned char blue;

    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The colour the clips leave where they draw nothing. Magenta: the artwork uses none, and the build checks that no
// drawn pixel has it.
inline constexpr Rgb kClipTransparent{255, 0, 255};

// The frames are drawn on white, the background of the dialog that shows them, so that antialiased edges blend as
// on it; where nothing is drawn, a pixel has kClipTransparent. The first frame's top-left pixel has it, as the
// platform's transparent animation control expects.
class AnimationClip {
public:
    AnimationClip(ImageId id, ClipShape shape, std::span<const unsigned char> pixels);

    ImageId Id() const { return m_id; }
    const ClipShape& Shape() const { return m_shape; }
    // Frame `index`: `height` rows, top to bottom, of `width` pixels, left to right, each red, green, blue; empty
    // for an index outside 0 to frameCount - 1. Any thread.
    std::span<const unsigned char> Frame(int index) const;

private:
    ImageId m_id;
    ClipShape m_shape;
    std::span<const unsigned char> m_pixels;
};

// Clip `id`; null when there is none. Any thread.
const AnimationClip* FindAnimationClip(ImageId id);

// The download clip's pixels, every frame one after the other, as the build rendered them. Any thread.
std::span<const unsigned char> DownloadClipPixels();

} // namespace zarn
