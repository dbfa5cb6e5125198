// Animation clip 226, played while a download runs: a page flying from a globe into a folder.
#pragma once

#include <QImage>
#include <vector>

namespace zarn {

class DownloadClip {
public:
    static constexpr unsigned kResourceId = 226;
    static constexpr int kFrameCount = 31;
    static constexpr int kWidth = 272;
    static constexpr int kHeight = 60;
    static constexpr int kFrameIntervalUs = 66667; // 15 frames a second

    // The clip's frames in order, drawn on the first call and kept for the run. UI thread.
    static const std::vector<QImage>& Frames();
};

} // namespace zarn
