#include "samples/design/DesignShape.h"

#include <algorithm>
#include <cmath>

namespace quillorna {

namespace {

// The distance from `point` to the segment between `from` and `to`.
double DistanceToSegment(DesignPoint point, DesignPoint from, DesignPoint to) {
    const double alongX = to.x - from.x;
    const double alongY = to.y - from.y;
    const double lengthSquared = alongX * alongX + alongY * alongY;
    const double t =
        lengthSquared == 0.0
            ? 0.0
            : std::clamp(((point.x - from.x) * alongX + (point.y - from.y) * alongY) / lengthSquared, 0.0, 1.0);
    return std::hypot(point.x - (from.x + t * alongX), point.y - (from.y + t * alongY));
}

} // namespace

DesignPoint DesignShape::TopLeft() const {
    return {std::min(m_from.x, m_to.x), std::min(m_from.y, m_to.y)};
}

DesignPoint DesignShape::BottomRight() const {
    return {std::max(m_from.x, m_to.x), std::max(m_from.y, m_to.y)};
}

bool DesignShape::HitTest(DesignPoint point, int tolerance) const {
    if (m_kind == Kind::Line)
        return DistanceToSegment(point, m_from, m_to) <= tolerance;
    const DesignPoint a = TopLeft();
    const DesignPoint c = BottomRight();
    const DesignPoint corners[] = {a, {c.x, a.y}, c, {a.x, c.y}};
    for (int side = 0; side < 4; ++side) {
        if (DistanceToSegment(point, corners[side], corners[(side + 1) % 4]) <= tolerance)
            return true;
    }
    return false;
}

} // namespace quillorna
