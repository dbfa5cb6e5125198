// A control that plays an animation clip of the resources, frame by frame, on a transparent background.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <vector>

namespace zarn {

class AnimationCtrl : public QWidget {
    Q_OBJECT

public:
    explicit AnimationCtrl(QWidget* parent = nullptr);

    // Loads clip `clipId`, shows its first frame and takes the clip's frame size. UI thread.
    // False (and no clip) for an unknown id.
    bool Open(unsigned clipId);
    // Plays the open clip from its first frame to its last, repeating until Stop. UI thread.
    // False when no clip is open.
    bool Play();
    // Stops on the frame showing now. UI thread.
    void Stop();

    // The clip's state, for the dialog and for tests; frame size and count are empty with no clip.
    // UI thread.
    bool IsOpen() const { return !m_frames.empty(); }
    bool IsPlaying() const { return m_tick.isActive(); }
    int CurrentFrame() const { return m_current; }
    int FrameCount() const { return static_cast<int>(m_frames.size()); }
    QSize FrameSize() const;
    int FrameIntervalUs() const { return m_frameIntervalUs; }
    // The picture of the frame showing now; null when no clip is open.
    QImage CurrentImage() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Advance();

    std::vector<QImage> m_frames;
    int m_frameIntervalUs = 0;
    int m_current = 0;
    QElapsedTimer m_sincePlay;
    QTimer m_tick;
};

} // namespace zarn
