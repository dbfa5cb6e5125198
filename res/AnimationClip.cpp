#include "res/AnimationClip.h"

namespace zarn {

AnimationClip::AnimationClip(ImageId id, ClipShape shape, std::span<const unsigned char> pixels)
    : m_id(id), m_shape(shape), m_pixels(pixels) {}

std::span<const unsigned char> AnimationClip::Frame(int index) const {
    if (index < 0 || index >= m_shape.frameCount)
        return {};
    const auto size =
        std::size_t{3} * static_cast<std::size_t>(m_shape.width) * static_cast<std::size_t>(m_shape.height);
    return m_pixels.subspan(static_cast<std::size_t>(index) * size, size);
}

const AnimationClip* FindAnimationClip(ImageId id) {
    static const AnimationClip download(IDR_DOWNLOAD_CLIP, kDownloadClipShape, DownloadClipPixels());
    return id == download.Id() ? &download : nullptr;
}

} // namespace zarn
