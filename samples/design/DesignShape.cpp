#include "samples/design/DesignShape.h"

#include <QLineF>
#include <QPainter>
#include <algorithm>

namespace quillorna {

namespace {

// The distance from `point` to the segment between `from` and `to`.
double DistanceToSegment(QPointF point, QPointF from, QPointF to) {
    const QPointF along = to - from;
    const double lengthSquared = QPointF::dotProduct(along, along);
    const double t =
        lengthSquared == 0.0 ? 0.0 : std::clamp(QPointF::dotProduct(point - from, along) / lengthSquared, 0.0, 1.0);
    return QLineF(point, from + t * along).length();
}

} // namespace

bool DesignShape::HitTest(QPoint point, int tolerance) const {
    if (m_kind == Kind::Line)
        return DistanceToSegment(point, m_from, m_to) <= tolerance;
    const QRectF box = QRectF(m_from, m_to).normalized();
    const QPointF corners[] = {box.topLeft(), box.topRight(), box.bottomRight(), box.bottomLeft()};
    for (int side = 0; side < 4; ++side) {
        if (DistanceToSegment(point, corners[side], corners[(side + 1) % 4]) <= tolerance)
            return true;
    }
    return false;
}

void DesignShape::Paint(QPainter& painter) const {
    if (m_kind == Kind::Line)
        painter.drawLine(m_from, m_to);
    else
        painter.drawRect(QRectF(m_from, m_to).normalized());
}

} // namespace quillorna
