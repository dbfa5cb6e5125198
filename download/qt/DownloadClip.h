// Animation clip 226, played while a download runs: a page flying from a globe into a folder, as Qt images.
#pragma once

#include "res/AnimationClip.h"

#include <QImage>
#include <vector>

namespace zarn {

class DownloadClip {
public:
    static constexpr unsigned kResourceId = IDR_DOWNLOAD_CLIP;
    static constexpr int kFrameIntervalUs = kDownloadClipShape.frameIntervalUs;

    // The clip's frames in order, transparent where the clip draws nothing; made from the rendered pixels on the
    // first call and kept for the run. UI thread.
    static const std::vector<QImage>& Frames();
};

} // namespace zarn
