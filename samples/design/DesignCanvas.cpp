#include "samples/design/DesignCanvas.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace quillorna {

namespace {

const QColor kPaper(0xff, 0xff, 0xff);
const QColor kMinorGrid(0xe6, 0xea, 0xf0);
const QColor kMajorGrid(0xc5, 0xcd, 0xd8);
const QColor kInk(0x1f, 0x4e, 0x8c);
const QColor kHighlight(0xd9, 0x6c, 0x06);

DesignPoint PointOf(const QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    return {at.x(), at.y()};
}

QPoint QtPoint(DesignPoint point) {
    return {point.x, point.y};
}

void PaintShape(QPainter& painter, const DesignShape& shape) {
    if (shape.GetKind() == DesignShape::Kind::Line)
        painter.drawLine(QtPoint(shape.From()), QtPoint(shape.To()));
    else
        painter.drawRect(QRectF(QtPoint(shape.TopLeft()), QtPoint(shape.BottomRight())));
}

} // namespace

DesignCanvas::DesignCanvas(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("designCanvas"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    SetTool(Tool::Line);
}

void DesignCanvas::SetTool(Tool tool) {
    m_drawing.SetTool(tool);
    setCursor(tool == Tool::Move ? Qt::SizeAllCursor : Qt::CrossCursor);
    update();
}

void DesignCanvas::ReportUndo(bool couldUndo) {
    if (couldUndo != m_drawing.CanUndo())
        emit undoAvailable(m_drawing.CanUndo());
}

void DesignCanvas::Undo() {
    if (m_drawing.Undo()) {
        update();
        ReportUndo(true);
    }
}

void DesignCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        m_drawing.Cancel();
    else
        m_drawing.Press(PointOf(event));
    update();
}

void DesignCanvas::mouseMoveEvent(QMouseEvent* event) {
    m_drawing.Drag(PointOf(event));
    update();
}

void DesignCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const bool couldUndo = m_drawing.CanUndo();
    m_drawing.Release(PointOf(event));
    update();
    ReportUndo(couldUndo);
}

void DesignCanvas::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && m_drawing.Cancel()) {
        update();
        return;
    }
    QWidget::keyPressEvent(event);
}

void DesignCanvas::PaintGrid(QPainter& painter) const {
    // Cosmetic one-pixel lines, on whole device pixels at any scale.
    painter.setRenderHint(QPainter::Antialiasing, false);
    constexpr int step = DesignDrawing::kGridStep;
    for (int pass = 0; pass < 2; ++pass) {
        const bool major = pass == 1;
        QPen pen(major ? kMajorGrid : kMinorGrid, 0);
        painter.setPen(pen);
        for (int x = 0; x <= width(); x += step) {
            if (DesignDrawing::IsMajorGridLine(x) == major)
                painter.drawLine(x, 0, x, height());
        }
        for (int y = 0; y <= height(); y += step) {
            if (DesignDrawing::IsMajorGridLine(y) == major)
                painter.drawLine(0, y, width(), y);
        }
    }
}

void DesignCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kPaper);
    PaintGrid(painter);

    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    for (size_t i = 0; i < m_drawing.Shapes().size(); ++i) {
        const bool moving = m_drawing.IsMoving(i);
        painter.setPen(QPen(moving ? kHighlight : kInk, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        PaintShape(painter, m_drawing.ShownShape(i));
    }
    if (m_drawing.Draft()) {
        painter.setPen(QPen(kHighlight, 2, Qt::DashLine, Qt::RoundCap, Qt::RoundJoin));
        PaintShape(painter, *m_drawing.Draft());
    }
}

} // namespace quillorna
