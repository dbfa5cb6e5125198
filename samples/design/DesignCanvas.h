// The drawing surface as a Qt widget: paints the design's model (DesignDrawing) and feeds it the mouse and Escape.
#pragma once

#include "samples/design/DesignDrawing.h"

#include <QWidget>
#include <vector>

namespace quillorna {

class DesignCanvas : public QWidget {
    Q_OBJECT

public:
    using Tool = DesignDrawing::Tool;

    explicit DesignCanvas(QWidget* parent = nullptr);

    void SetTool(Tool tool);
    Tool GetTool() const { return m_drawing.GetTool(); }

    // The design, in drawing order (the last on top).
    const std::vector<DesignShape>& Shapes() const { return m_drawing.Shapes(); }
    bool CanUndo() const { return m_drawing.CanUndo(); }
    // Takes back the last drawing or move; nothing when there is none.
    void Undo();

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
    void PaintGrid(QPainter& painter) const;
    // Tells the tool bar when the first step to take back appears or the last one is taken back.
    void ReportUndo(bool couldUndo);

    DesignDrawing m_drawing;
};

} // namespace quillorna
