#include "download/qt/AnimationCtrl.h"

#include "download/qt/DownloadClip.h"

#include <QPainter>

namespace zarn {

AnimationCtrl::AnimationCtrl(QWidget* parent) : QWidget(parent) {
    // The dialog's own background shows through wherever the clip is transparent.
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    // The frame is worked out from the time since Play, so a late tick skips frames instead of
    // slowing the clip down; ticking twice a frame keeps every frame on screen.
    m_tick.setTimerType(Qt::PreciseTimer);
    connect(&m_tick, &QTimer::timeout, this, &AnimationCtrl::Advance);
}

bool AnimationCtrl::Open(unsigned clipId) {
    Stop();
    m_frames.clear();
    m_current = 0;
    if (clipId != DownloadClip::kResourceId) {
        update();
        return false;
    }
    m_frames = DownloadClip::Frames();
    m_frameIntervalUs = DownloadClip::kFrameIntervalUs;
    resize(FrameSize());
    update();
    return true;
}

bool AnimationCtrl::Play() {
    if (m_frames.empty())
        return false;
    m_current = 0;
    m_sincePlay.start();
    m_tick.start(std::max(1, m_frameIntervalUs / 2000));
    update();
    return true;
}

void AnimationCtrl::Stop() {
    m_tick.stop();
}

QSize AnimationCtrl::FrameSize() const {
    return m_frames.empty() ? QSize() : m_frames.front().size();
}

QImage AnimationCtrl::CurrentImage() const {
    return m_frames.empty() ? QImage() : m_frames[m_current];
}

void AnimationCtrl::Advance() {
    const auto frame = static_cast<int>((m_sincePlay.nsecsElapsed() / 1000 / m_frameIntervalUs) % FrameCount());
    if (frame != m_current) {
        m_current = frame;
        update();
    }
}

void AnimationCtrl::paintEvent(QPaintEvent*) {
    if (m_frames.empty())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, m_frames[m_current]);
}

} // namespace zarn
