#include "samples/design/DesignControl.h"

#include "samples/design/DesignCanvas.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QLabel>
#include <QToolBar>
#include <QVBoxLayout>

namespace quillorna {

DesignControl::DesignControl(const QString& documentPath, QWidget* parent)
    : QWidget(parent), m_canvas(new DesignCanvas(this)), m_undo(new QAction(tr("&Undo"), this)),
      m_document(new QLabel(this)) {
    auto* tools = new QToolBar(this);
    tools->setObjectName(QStringLiteral("designTools"));
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto* group = new QActionGroup(this);
    const auto tool = [&](const QString& text, const char* name, DesignCanvas::Tool which, const QString& tip) {
        QAction* action = tools->addAction(text);
        action->setObjectName(QLatin1String(name));
        action->setCheckable(true);
        action->setToolTip(tip);
        action->setChecked(m_canvas->GetTool() == which);
        group->addAction(action);
        connect(action, &QAction::triggered, m_canvas, [this, which] { m_canvas->SetTool(which); });
    };
    tool(tr("&Line"), "lineTool", DesignCanvas::Tool::Line, tr("Drag on the grid to draw a line"));
    tool(tr("&Rectangle"), "rectangleTool", DesignCanvas::Tool::Rectangle, tr("Drag on the grid to draw a rectangle"));
    tool(tr("&Move"), "moveTool", DesignCanvas::Tool::Move, tr("Drag a line or rectangle to move it"));
    tools->addSeparator();

    // Ctrl+Z while the control has the focus; the launcher's frame leaves that key to it.
    m_undo->setObjectName(QStringLiteral("undo"));
    m_undo->setShortcut(QKeySequence::Undo);
    m_undo->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_undo->setToolTip(tr("Take back the last drawing or move (%1)").arg(m_undo->shortcut().toString()));
    m_undo->setEnabled(false);
    connect(m_undo, &QAction::triggered, m_canvas, &DesignCanvas::Undo);
    connect(m_canvas, &DesignCanvas::undoAvailable, m_undo, &QAction::setEnabled);
    tools->addAction(m_undo);
    addAction(m_undo);

    auto* spacer = new QWidget(tools);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    tools->addWidget(spacer);
    m_document->setObjectName(QStringLiteral("documentName"));
    m_document->setText(documentPath.isEmpty() ? tr("No document") : QFileInfo(documentPath).fileName());
    m_document->setToolTip(documentPath);
    m_document->setContentsMargins(8, 0, 8, 0);
    tools->addWidget(m_document);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tools);
    layout->addWidget(m_canvas, 1);
    setFocusProxy(m_canvas);
}

QString DesignControl::DocumentCaption() const {
    return m_document->text();
}

} // namespace quillorna
