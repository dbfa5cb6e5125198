#include "samples/design/DesignDrawing.h"

#include <cmath>

namespace quillorna {

namespace {

// How close, in logical pixels, the mouse must come to a shape to pick it up.
constexpr int kPickTolerance = 4;

int SnapCoordinate(int value) {
    return static_cast<int>(std::lround(value / double(DesignDrawing::kGridStep))) * DesignDrawing::kGridStep;
}

} // namespace

DesignPoint DesignDrawing::Snap(DesignPoint point) {
    return {SnapCoordinate(point.x), SnapCoordinate(point.y)};
}

void DesignDrawing::SetTool(Tool tool) {
    Cancel();
    m_tool = tool;
}

bool DesignDrawing::Undo() {
    if (m_history.empty())
        return false;
    Cancel();
    m_shapes = std::move(m_history.back());
    m_history.pop_back();
    return true;
}

std::optional<std::size_t> DesignDrawing::ShapeAt(DesignPoint point) const {
    for (std::size_t i = m_shapes.size(); i-- > 0;) {
        if (m_shapes[i].HitTest(point, kPickTolerance))
            return i;
    }
    return std::nullopt;
}

DesignShape DesignDrawing::ShownShape(std::size_t index) const {
    return IsMoving(index) ? m_shapes[index].MovedBy(m_moveOffset) : m_shapes[index];
}

void DesignDrawing::Press(DesignPoint at) {
    if (m_tool == Tool::Move) {
        m_draft.reset();
        m_moving = ShapeAt(at);
        m_grabbedAt = Snap(at);
        m_moveOffset = {};
    } else {
        m_moving.reset();
        const auto kind = m_tool == Tool::Line ? DesignShape::Kind::Line : DesignShape::Kind::Rectangle;
        m_draft = DesignShape(kind, Snap(at), Snap(at));
    }
}

void DesignDrawing::Drag(DesignPoint at) {
    const DesignPoint snapped = Snap(at);
    if (m_draft)
        m_draft = DesignShape(m_draft->GetKind(), m_draft->From(), snapped);
    else if (m_moving)
        m_moveOffset = snapped - m_grabbedAt;
}

bool DesignDrawing::Release(DesignPoint at) {
    Drag(at);
    std::vector<DesignShape> changed = m_shapes;
    bool changes = false;
    if (m_draft && !m_draft->IsEmpty()) {
        changed.push_back(*m_draft);
        changes = true;
    } else if (m_moving && !m_moveOffset.IsNull()) {
        changed[*m_moving] = changed[*m_moving].MovedBy(m_moveOffset);
        changes = true;
    }
    Cancel();
    if (changes) {
        m_history.push_back(std::move(m_shapes));
        m_shapes = std::move(changed);
    }
    return changes;
}

bool DesignDrawing::Cancel() {
    const bool underWay = m_draft || m_moving;
    m_draft.reset();
    m_moving.reset();
    m_moveOffset = {};
    return underWay;
}

} // namespace quillorna
