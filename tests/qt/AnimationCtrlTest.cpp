// The busy animation: the clip's shape and timing, and the control that plays it.
#include "download/qt/AnimationCtrl.h"

#include "download/qt/DownloadClip.h"

#include <QElapsedTimer>
#include <QSet>
#include <QTest>

namespace zarn {

namespace {

int OpaquePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) == 255;
    return count;
}

} // namespace

class AnimationCtrlTest : public QObject {
    Q_OBJECT

private slots:
    void clipHasItsFramesSizeAndRate();
    void framesAreDrawnAndDiffer();
    void openTakesTheClipSizeAndShowsTheFirstFrame();
    void unknownClipOpensNothing();
    void playAdvancesRepeatsAndStopFreezes();
};

void AnimationCtrlTest::clipHasItsFramesSizeAndRate() {
    const auto& frames = DownloadClip::Frames();
    QCOMPARE(int(frames.size()), 31);
    for (const QImage& frame : frames)
        QCOMPARE(frame.size(), QSize(272, 60));
    QCOMPARE(DownloadClip::kFrameIntervalUs, 66667);
    // The same frames on every call: drawn once.
    QCOMPARE(&DownloadClip::Frames(), &frames);
}

void AnimationCtrlTest::framesAreDrawnAndDiffer() {
    const auto& frames = DownloadClip::Frames();
    QSet<QByteArray> distinct;
    for (const QImage& frame : frames) {
        // Something is drawn, and the background stays see-through.
        QVERIFY(OpaquePixels(frame) > 500);
        QCOMPARE(qAlpha(frame.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(frame.pixel(271, 0)), 0);
        distinct.insert(QByteArray(reinterpret_cast<const char*>(frame.constBits()), int(frame.sizeInBytes())));
    }
    // The page moves: the flight frames all differ from one another.
    QVERIFY2(distinct.size() >= 27, qPrintable(QString::number(distinct.size())));
}

void AnimationCtrlTest::openTakesTheClipSizeAndShowsTheFirstFrame() {
    AnimationCtrl ctrl;
    ctrl.move(10, 12);
    QVERIFY(!ctrl.IsOpen());
    QVERIFY(!ctrl.Play());
    QVERIFY(ctrl.Open(DownloadClip::kResourceId));
    QVERIFY(ctrl.IsOpen());
    QCOMPARE(ctrl.FrameCount(), 31);
    QCOMPARE(ctrl.FrameSize(), QSize(272, 60));
    QCOMPARE(ctrl.size(), QSize(272, 60));
    QCOMPARE(ctrl.pos(), QPoint(10, 12));
    QCOMPARE(ctrl.FrameIntervalUs(), 66667);
    QCOMPARE(ctrl.CurrentFrame(), 0);
    QVERIFY(!ctrl.IsPlaying());
    QCOMPARE(ctrl.CurrentImage(), DownloadClip::Frames().front());
}

void AnimationCtrlTest::unknownClipOpensNothing() {
    AnimationCtrl ctrl;
    QVERIFY(ctrl.Open(DownloadClip::kResourceId));
    QVERIFY(!ctrl.Open(225));
    QVERIFY(!ctrl.IsOpen());
    QCOMPARE(ctrl.FrameCount(), 0);
    QVERIFY(ctrl.CurrentImage().isNull());
    QVERIFY(!ctrl.Play());
    QVERIFY(!ctrl.IsPlaying());
}

void AnimationCtrlTest::playAdvancesRepeatsAndStopFreezes() {
    AnimationCtrl ctrl;
    QVERIFY(ctrl.Open(DownloadClip::kResourceId));
    ctrl.show();
    QVERIFY(ctrl.Play());
    QVERIFY(ctrl.IsPlaying());

    // Watch until the clip has gone round once: frames rise, then start again from the beginning.
    QSet<int> seen;
    int previous = ctrl.CurrentFrame();
    bool wrapped = false;
    QElapsedTimer watching;
    watching.start();
    while (!wrapped && watching.elapsed() < 20000) {
        QTest::qWait(10);
        const int frame = ctrl.CurrentFrame();
        QVERIFY(frame >= 0 && frame < 31);
        QCOMPARE(ctrl.CurrentImage(), DownloadClip::Frames()[std::size_t(frame)]);
        seen.insert(frame);
        wrapped = frame < previous;
        previous = frame;
    }
    QVERIFY(wrapped);
    QVERIFY2(seen.size() > 10, qPrintable(QString::number(seen.size())));

    ctrl.Stop();
    QVERIFY(!ctrl.IsPlaying());
    const int stoppedAt = ctrl.CurrentFrame();
    QTest::qWait(300);
    QCOMPARE(ctrl.CurrentFrame(), stoppedAt);

    // Playing again starts from the first frame.
    QVERIFY(ctrl.Play());
    QCOMPARE(ctrl.CurrentFrame(), 0);
    ctrl.Stop();
}

} // namespace zarn

QTEST_MAIN(zarn::AnimationCtrlTest)
#include "AnimationCtrlTest.moc"
