// The drawing surface's model, free of any toolkit: the design, its undo history and the mouse gesture under way.
// Lines and rectangles are drawn by dragging, shapes are dragged about with the move tool, every point snaps to
// the grid, and every finished drawing or move can be undone. Each skin of the control (Qt widget, Win32 window)
// feeds it the mouse and paints what it holds.
#pragma once

#include "samples/design/DesignShape.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace quillorna {

class DesignDrawing {
public:
    enum class Tool { Line, Rectangle, Move };

    // The grid's spacing in logical pixels; every fifth line is drawn stronger.
    static constexpr int kGridStep = 10;

    // The nearest grid point to `point`.
    static DesignPoint Snap(DesignPoint point);
    // True when the grid line at `coordinate` (a multiple of kGridStep) is one of the stronger ones.
    static bool IsMajorGridLine(int coordinate) { return (coordinate / kGridStep) % 5 == 0; }

    // Choosing a tool drops the gesture under way.
    void SetTool(Tool tool);
    Tool GetTool() const { return m_tool; }

    // The design, in drawing order (the last on top).
    const std::vector<DesignShape>& Shapes() const { return m_shapes; }
    bool CanUndo() const { return !m_history.empty(); }
    // Takes back the last drawing or move. Returns false when there was nothing to take back.
    bool Undo();

    // The left button went down, moved or came up at `at` (unsnapped). Release returns true when it changed the
    // design (a shape drawn or moved), false when the gesture added nothing.
    void Press(DesignPoint at);
    void Drag(DesignPoint at);
    bool Release(DesignPoint at);
    // Drops the gesture under way (another button, Escape). Returns false when there was none.
    bool Cancel();

    // The shape being drawn, shown over the design until the button comes up.
    const std::optional<DesignShape>& Draft() const { return m_draft; }
    // True when shape `index` is the one being dragged, which is shown highlighted at ShownShape's place.
    bool IsMoving(std::size_t index) const { return m_moving == index; }
    // Shape `index` where it is shown now: moved along with the mouse while it is dragged.
    DesignShape ShownShape(std::size_t index) const;

private:
    // The index of the topmost shape under `point`.
    std::optional<std::size_t> ShapeAt(DesignPoint point) const;

    Tool m_tool = Tool::Line;
    std::vector<DesignShape> m_shapes;
    std::vector<std::vector<DesignShape>> m_history;

    // The gesture under way: a shape being drawn, or a shape being dragged from m_grabbedAt.
    std::optional<DesignShape> m_draft;
    std::optional<std::size_t> m_moving;
    DesignPoint m_grabbedAt;
    DesignPoint m_moveOffset;
};

} // namespace quillorna
