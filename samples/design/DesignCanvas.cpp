#include "samples/design/DesignCanvas.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace quillorna {

namespace {

// How close, in logical pixels, the mouse must come to a shape to pick it up.
constexpr int kPickTolerance = 4;

const QColor kPaper(0xff, 0xff, 0xff);
const QColor kMinorGrid(0xe6, 0xea, 0xf0);
const QColor kMajorGrid(0xc5, 0xcd, 0xd8);
const QColor kInk(0x1f, 0x4e, 0x8c);
const QColor kHighlight(0xd9, 0x6c, 0x06);

} // namespace

DesignCanvas::DesignCanvas(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("designCanvas"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    SetTool(Tool::Line);
}

void DesignCanvas::SetTool(Tool tool) {
    CancelGesture();
    m_tool = tool;
    setCursor(tool == Tool::Move ? Qt::SizeAllCursor : Qt::CrossCursor);
}

QPoint DesignCanvas::Snap(QPoint point) {
    return {qRound(point.x() / double(kGridStep)) * kGridStep, qRound(point.y() / double(kGridStep)) * kGridStep};
}

void DesignCanvas::Undo() {
    if (m_history.empty())
        return;
    CancelGesture();
    m_shapes = std::move(m_history.back());
    m_history.pop_back();
    update();
    if (m_history.empty())
        emit undoAvailable(false);
}

void DesignCanvas::Commit(const std::vector<DesignShape>& changed) {
    m_history.push_back(m_shapes);
    m_shapes = changed;
    update();
    if (m_history.size() == 1)
        emit undoAvailable(true);
}

std::optional<size_t> DesignCanvas::ShapeAt(QPoint point) const {
    for (size_t i = m_shapes.size(); i-- > 0;) {
        if (m_shapes[i].HitTest(point, kPickTolerance))
            return i;
    }
    return std::nullopt;
}

void DesignCanvas::CancelGesture() {
    m_draft.reset();
    m_moving.reset();
    m_moveOffset = {};
    update();
}

void DesignCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        CancelGesture();
        return;
    }
    const QPoint at = event->position().toPoint();
    if (m_tool == Tool::Move) {
        m_moving = ShapeAt(at);
        m_grabbedAt = Snap(at);
        m_moveOffset = {};
    } else {
        const auto kind = m_tool == Tool::Line ? DesignShape::Kind::Line : DesignShape::Kind::Rectangle;
        m_draft = DesignShape(kind, Snap(at), Snap(at));
    }
    update();
}

void DesignCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = Snap(event->position().toPoint());
    if (m_draft)
        m_draft = DesignShape(m_draft->GetKind(), m_draft->From(), at);
    else if (m_moving)
        m_moveOffset = at - m_grabbedAt;
    else
        return;
    update();
}

void DesignCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    mouseMoveEvent(event);
    std::vector<DesignShape> changed = m_shapes;
    bool changes = false;
    if (m_draft && !m_draft->IsEmpty()) {
        changed.push_back(*m_draft);
        changes = true;
    } else if (m_moving && !m_moveOffset.isNull()) {
        changed[*m_moving] = changed[*m_moving].MovedBy(m_moveOffset);
        changes = true;
    }
    CancelGesture();
    if (changes)
        Commit(changed);
}

void DesignCanvas::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && (m_draft || m_moving)) {
        CancelGesture();
        return;
    }
    QWidget::keyPressEvent(event);
}

void DesignCanvas::PaintGrid(QPainter& painter) const {
    // Cosmetic one-pixel lines, on whole device pixels at any scale.
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int pass = 0; pass < 2; ++pass) {
        const bool major = pass == 1;
        QPen pen(major ? kMajorGrid : kMinorGrid, 0);
        painter.setPen(pen);
        for (int x = 0; x <= width(); x += kGridStep) {
            if (((x / kGridStep) % 5 == 0) == major)
                painter.drawLine(x, 0, x, height());
        }
        for (int y = 0; y <= height(); y += kGridStep) {
            if (((y / kGridStep) % 5 == 0) == major)
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
    for (size_t i = 0; i < m_shapes.size(); ++i) {
        const bool moving = m_moving == i;
        painter.setPen(QPen(moving ? kHighlight : kInk, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        (moving ? m_shapes[i].MovedBy(m_moveOffset) : m_shapes[i]).Paint(painter);
    }
    if (m_draft) {
        painter.setPen(QPen(kHighlight, 2, Qt::DashLine, Qt::RoundCap, Qt::RoundJoin));
        m_draft->Paint(painter);
    }
}

} // namespace quillorna
