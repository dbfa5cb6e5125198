// The Quillorna design control: a tool bar (line, rectangle, move, undo) with the document's name over the
// drawing canvas. The launcher hosts it in its view.
#pragma once

#include <QWidget>

class QAction;
class QLabel;

namespace quillorna {

class DesignCanvas;

class DesignControl : public QWidget {
    Q_OBJECT

public:
    // `documentPath` is the document the launcher was started with; empty when none. UI thread.
    DesignControl(const QString& documentPath, QWidget* parent = nullptr);

    DesignCanvas* Canvas() const { return m_canvas; }
    QAction* UndoAction() const { return m_undo; }
    // The text that names the document in the tool bar.
    QString DocumentCaption() const;

private:
    DesignCanvas* m_canvas;
    QAction* m_undo;
    QLabel* m_document;
};

} // namespace quillorna
