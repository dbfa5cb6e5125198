// The sample design control as its user meets it: lines and rectangles drawn on the grid with the mouse, a shape
// dragged with the move tool, and each step taken back with Ctrl+Z or the tool bar's "Undo".
#include "samples/design/DesignControl.h"

#include "samples/design/DesignCanvas.h"

#include <QAction>
#include <QTest>
#include <QToolButton>

namespace quillorna {

namespace {

using Kind = DesignShape::Kind;

void Drag(QWidget* widget, QPoint from, QPoint to) {
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(widget, (from + to) / 2);
    QTest::mouseMove(widget, to);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, to);
}

QToolButton* ButtonOf(const DesignControl& control, const char* actionName) {
    for (auto* button : control.findChildren<QToolButton*>()) {
        if (button->defaultAction() != nullptr && button->defaultAction()->objectName() == QLatin1String(actionName))
            return button;
    }
    return nullptr;
}

} // namespace

class DesignControlTest : public QObject {
    Q_OBJECT

private slots:
    void drawMoveAndUndo();
    void namesTheStartDocument();
};

void DesignControlTest::drawMoveAndUndo() {
    DesignControl control(QStringLiteral("/plans/kitchen.dsn"));
    control.resize(400, 300);
    control.show();
    QVERIFY(QTest::qWaitForWindowExposed(&control));
    DesignCanvas* canvas = control.Canvas();
    QVERIFY(!control.UndoAction()->isEnabled());

    // Points snap to the grid; a click that draws nothing adds nothing.
    Drag(canvas, {23, 18}, {118, 61});
    QTest::mouseClick(canvas, Qt::LeftButton, Qt::NoModifier, {200, 200});
    QTest::mouseClick(ButtonOf(control, "rectangleTool"), Qt::LeftButton);
    Drag(canvas, {150, 150}, {101, 99});
    const std::vector<DesignShape> drawn{{Kind::Line, {20, 20}, {120, 60}}, {Kind::Rectangle, {150, 150}, {100, 100}}};
    QCOMPARE(canvas->Shapes(), drawn);
    QVERIFY(control.UndoAction()->isEnabled());

    // Both are on the screen in ink, over the white paper.
    const QImage picture = canvas->grab().toImage();
    const qreal ratio = picture.devicePixelRatio();
    const auto pixel = [&](int x, int y) { return picture.pixelColor(qRound(x * ratio), qRound(y * ratio)); };
    QCOMPARE(pixel(70, 40), QColor(0x1f, 0x4e, 0x8c));
    QCOMPARE(pixel(100, 125), QColor(0x1f, 0x4e, 0x8c));
    QCOMPARE(pixel(125, 125), QColor(Qt::white));

    // The move tool picks the line up anywhere along it and drops it one grid step on.
    QTest::mouseClick(ButtonOf(control, "moveTool"), Qt::LeftButton);
    Drag(canvas, {71, 41}, {81, 51});
    QCOMPARE(canvas->Shapes().front(), DesignShape(Kind::Line, {30, 30}, {130, 70}));
    Drag(canvas, {300, 250}, {320, 270});
    QCOMPARE(canvas->Shapes().size(), size_t(2));

    // Ctrl+Z takes back the move, the tool bar's button the rectangle, and then the line; then nothing is left.
    canvas->setFocus();
    QTest::keyClick(canvas, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(canvas->Shapes(), drawn);
    QTest::mouseClick(ButtonOf(control, "undo"), Qt::LeftButton);
    QCOMPARE(canvas->Shapes(), std::vector<DesignShape>(drawn.begin(), drawn.begin() + 1));
    QTest::keyClick(canvas, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(canvas->Shapes().empty());
    QVERIFY(!control.UndoAction()->isEnabled());
}

void DesignControlTest::namesTheStartDocument() {
    QCOMPARE(DesignControl(QStringLiteral("/plans/kitchen plan.dsn")).DocumentCaption(),
             QStringLiteral("kitchen plan.dsn"));
    QCOMPARE(DesignControl(QString()).DocumentCaption(), QStringLiteral("No document"));
}

} // namespace quillorna

QTEST_MAIN(quillorna::DesignControlTest)
#include "DesignControlTest.moc"
