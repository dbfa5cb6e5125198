// One drawn element of the design: a line or an axis-aligned rectangle between two grid points.
#pragma once

#include "samples/design/DesignPoint.h"

namespace quillorna {

class DesignShape {
public:
    enum class Kind { Line, Rectangle };

    DesignShape(Kind kind, DesignPoint from, DesignPoint to) : m_kind(kind), m_from(from), m_to(to) {}

    Kind GetKind() const { return m_kind; }
    DesignPoint From() const { return m_from; }
    DesignPoint To() const { return m_to; }
    // True when the shape has no extent (both points the same), which drawing discards.
    bool IsEmpty() const { return m_from == m_to; }

    // The rectangle's corners with the top left first, whichever way it was drawn.
    DesignPoint TopLeft() const;
    DesignPoint BottomRight() const;

    // True when `point` lies within `tolerance` of the line or of the rectangle's outline.
    bool HitTest(DesignPoint point, int tolerance) const;
    // The same shape moved by `offset`.
    DesignShape MovedBy(DesignPoint offset) const { return DesignShape(m_kind, m_from + offset, m_to + offset); }

    bool operator==(const DesignShape&) const = default;

private:
    Kind m_kind;
    DesignPoint m_from;
    DesignPoint m_to;
};

} // namespace quillorna
