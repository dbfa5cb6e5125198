// The drawing surface: a grid on which the user draws lines and rectangles with the mouse and drags them about.
// Every point snaps to the grid; every finished drawing or move can be undone.
#pragma once

#include "samples/design/DesignShape.h"

#include <QWidget>
#include <optional>
#include <vector>

namespace quillorna {

class DesignCanvas : public QWidget {
    Q_OBJECT

public:
    enum class Tool { Line, Rectangle, Move };

    // The grid's spacing in logical pixels; every fifth line is drawn stronger.
    static constexpr int kGridStep = 10;

    explicit DesignCanvas(QWidget* parent = nullptr);

    void SetTool(Tool tool);
    Tool GetTool() const { return m_tool; }

    // The design, in drawing order (the last on top).
    const std::vector<DesignShape>& Shapes() const { return m_shapes; }
    bool CanUndo() const { return !m_history.empty(); }
    // Takes back the last drawing or move; nothing when there is none.
    void Undo();

    // The nearest grid point to `point`.
    static QPoint Snap(QPoint point);

    QSize sizeHint() const override { return {640, 480}; }

signals:
    void undoAvailable(bool available);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Keeps the design as it is now for Undo, then replaces it with `changed`.
    void Commit(const std::vector<DesignShape>& changed);
    // The index of the topmost shape under `point`.
    std::optional<size_t> ShapeAt(QPoint point) const;
    void PaintGrid(QPainter& painter) const;
    void CancelGesture();

    Tool m_tool = Tool::Line;
    std::vector<DesignShape> m_shapes;
    std::vector<std::vector<DesignShape>> m_history;

    // The gesture under way: a shape being drawn, or a shape being dragged from m_grabbedAt.
    std::optional<DesignShape> m_draft;
    std::optional<size_t> m_moving;
    QPoint m_grabbedAt;
    QPoint m_moveOffset;
};

} // namespace quillorna
