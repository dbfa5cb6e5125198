#include "download/qt/DownloadClip.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace zarn {

namespace {

const QPointF kGlobeCentre(34, 32);
constexpr double kGlobeRadius = 22;
const QPointF kFolderMouth(234, 36);
// How far the page rises above the straight line: its top edge stays inside the frame.
constexpr double kArcHeight = 14;

void DrawGlobe(QPainter& p, int frame) {
    QRadialGradient sea(kGlobeCentre - QPointF(7, 7), kGlobeRadius * 1.6);
    sea.setColorAt(0, QColor(120, 180, 240));
    sea.setColorAt(1, QColor(20, 70, 160));
    p.setPen(QPen(QColor(10, 40, 100), 1.5));
    p.setBrush(sea);
    p.drawEllipse(kGlobeCentre, kGlobeRadius, kGlobeRadius);

    // Meridians turn slowly with the frames so the globe seems to spin.
    p.save();
    QPainterPath clip;
    clip.addEllipse(kGlobeCentre, kGlobeRadius, kGlobeRadius);
    p.setClipPath(clip);
    p.setPen(QPen(QColor(200, 230, 255, 170), 1));
    p.setBrush(Qt::NoBrush);
    const double turn = frame * 2.0 * std::numbers::pi / DownloadClip::kFrameCount;
    for (int m = 0; m < 4; ++m) {
        const double half = std::abs(std::cos(turn + m * std::numbers::pi / 4)) * kGlobeRadius;
        p.drawEllipse(kGlobeCentre, half, kGlobeRadius);
    }
    for (double lat : {-11.0, 0.0, 11.0}) {
        const double half = std::sqrt(kGlobeRadius * kGlobeRadius - lat * lat);
        p.drawLine(QPointF(kGlobeCentre.x() - half, kGlobeCentre.y() + lat),
                   QPointF(kGlobeCentre.x() + half, kGlobeCentre.y() + lat));
    }
    p.restore();
}

void DrawFolder(QPainter& p, bool front) {
    const QColor edge(150, 110, 20);
    p.setPen(QPen(edge, 1.2));
    if (!front) {
        QPainterPath back;
        back.moveTo(212, 22);
        back.lineTo(228, 22);
        back.lineTo(232, 27);
        back.lineTo(258, 27);
        back.lineTo(258, 54);
        back.lineTo(212, 54);
        back.closeSubpath();
        p.setBrush(QColor(230, 180, 60));
        p.drawPath(back);
        return;
    }
    QPainterPath flap;
    flap.moveTo(208, 34);
    flap.lineTo(254, 34);
    flap.lineTo(260, 54);
    flap.lineTo(212, 54);
    flap.closeSubpath();
    QLinearGradient light(0, 34, 0, 54);
    light.setColorAt(0, QColor(255, 220, 110));
    light.setColorAt(1, QColor(240, 190, 70));
    p.setBrush(light);
    p.drawPath(flap);
}

void DrawPage(QPainter& p, QPointF centre, double angle) {
    p.save();
    p.translate(centre);
    p.rotate(angle);
    const QRectF sheet(-9, -12, 18, 24);
    QPainterPath outline;
    outline.moveTo(sheet.topLeft());
    outline.lineTo(sheet.right() - 6, sheet.top());
    outline.lineTo(sheet.right(), sheet.top() + 6);
    outline.lineTo(sheet.bottomRight());
    outline.lineTo(sheet.bottomLeft());
    outline.closeSubpath();
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(Qt::white);
    p.drawPath(outline);
    p.setBrush(QColor(220, 220, 220));
    p.drawPolygon(QPolygonF({QPointF(sheet.right() - 6, sheet.top()), QPointF(sheet.right() - 6, sheet.top() + 6),
                             QPointF(sheet.right(), sheet.top() + 6)}));
    p.setPen(QPen(QColor(90, 110, 160), 1));
    for (int line = 0; line < 4; ++line) {
        const double y = sheet.top() + 9 + line * 4;
        p.drawLine(QPointF(sheet.left() + 3, y), QPointF(sheet.right() - (line == 3 ? 8 : 3), y));
    }
    p.restore();
}

QImage DrawFrame(int frame) {
    QImage image(DownloadClip::kWidth, DownloadClip::kHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // The page leaves the globe, rises on an arc and drops into the folder over the first 27 frames;
    // the last frames show it gone, before the clip starts again.
    constexpr int kFlightFrames = 27;
    const double t = std::min(1.0, frame / double(kFlightFrames - 1));
    const QPointF start = kGlobeCentre + QPointF(kGlobeRadius - 4, -2);
    const double x = start.x() + (kFolderMouth.x() - start.x()) * t;
    const double y = start.y() + (kFolderMouth.y() - start.y()) * t - kArcHeight * std::sin(std::numbers::pi * t);

    DrawGlobe(p, frame);
    DrawFolder(p, false);
    if (frame < kFlightFrames)
        DrawPage(p, QPointF(x, y), -20 + 40 * t);
    DrawFolder(p, true);

    // Dotted trail of the flight path, so every frame reads as "from here to there".
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 120, 120));
    for (int dot = 1; dot < 12; ++dot) {
        const double s = dot / 12.0;
        if (s > t - 0.08)
            continue;
        const double dx = start.x() + (kFolderMouth.x() - start.x()) * s;
        const double dy = start.y() + (kFolderMouth.y() - start.y()) * s - kArcHeight * std::sin(std::numbers::pi * s);
        p.drawEllipse(QPointF(dx, dy), 1.2, 1.2);
    }
    return image;
}

} // namespace

const std::vector<QImage>& DownloadClip::Frames() {
    static const std::vector<QImage> frames = [] {
        std::vector<QImage> drawn;
        drawn.reserve(kFrameCount);
        for (int frame = 0; frame < kFrameCount; ++frame)
            drawn.push_back(DrawFrame(frame));
        return drawn;
    }();
    return frames;
}

} // namespace zarn
