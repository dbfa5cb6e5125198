#include "download/qt/DownloadClip.h"

namespace zarn {

namespace {

QImage ToImage(const AnimationClip& clip, int index) {
    const ClipShape& shape = clip.Shape();
    const std::span<const unsigned char> pixels = clip.Frame(index);
    QImage image(shape.width, shape.height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < shape.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < shape.width; ++x) {
            const auto at =
                3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(shape.width) + static_cast<std::size_t>(x));
            const Rgb colour{pixels[at], pixels[at + 1], pixels[at + 2]};
            line[x] = colour == kClipTransparent ? qRgba(0, 0, 0, 0) : qRgb(colour.red, colour.green, colour.blue);
        }
    }
    return image;
}

} // namespace

const std::vector<QImage>& DownloadClip::Frames() {
    static const std::vector<QImage> frames = [] {
        std::vector<QImage> made;
        if (const AnimationClip* clip = FindAnimationClip(IDR_DOWNLOAD_CLIP)) {
            made.reserve(static_cast<std::size_t>(clip->Shape().frameCount));
            for (int frame = 0; frame < clip->Shape().frameCount; ++frame)
                made.push_back(ToImage(*clip, frame));
        }
        return made;
    }();
    return frames;
}

} // namespace zarn
