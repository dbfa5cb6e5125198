// One drawn element of the design: a line or an axis-aligned rectangle between two grid points.
#pragma once

#include <QPoint>

class QPainter;

namespace quillorna {

class DesignShape {
public:
    enum class Kind { Line, Rectangle };

    DesignShape(Kind kind, QPoint from, QPoint to) : m_kind(kind), m_from(from), m_to(to) {}

    Kind GetKind() const { return m_kind; }
    QPoint From() const { return m_from; }
    QPoint To() const { return m_to; }
    // True when the shape has no extent (both points the same), which drawing discards.
    bool IsEmpty() const { return m_from == m_to; }

    // True when `point` lies within `tolerance` of the line or of the rectangle's outline.
    bool HitTest(QPoint point, int tolerance) const;
    // The same shape moved by `offset`.
    DesignShape MovedBy(QPoint offset) const { return DesignShape(m_kind, m_from + offset, m_to + offset); }
    // Draws the shape with the painter's current pen.
    void Paint(QPainter& painter) const;

    bool operator==(const DesignShape&) const = default;

private:
    Kind m_kind;
    QPoint m_from;
    QPoint m_to;
};

} // namespace quillorna
