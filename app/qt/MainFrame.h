// The main window: the fixed caption, the menu bar and accelerator keys built from the menu table, and the status bar
// around the view.
#pragma once

#include "res/ResourceIds.h"

#include <QMainWindow>

class QAction;
class QLabel;
class QStatusBar;
class QTimer;

namespace zarn {

class CZarnView;
class QtViewWindow;

class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    // Builds the frame with its caption, menu, keys and status bar, placed at three quarters of its screen's free
    // area, centred (where it goes when restored from maximised); the view comes with SetView. UI thread.
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Makes `window` the frame's client area and routes the commands of its view ("&Design", print) to the view.
    void SetView(QtViewWindow* window);
    CZarnView* GetActiveView() const { return m_pView; }

    // The caption: the first field of the document template's string, never with a document's name.
    static QString Caption();

    QStatusBar* m_wndStatusBar;
    QLabel* m_paneMessage;
    QLabel* m_paneCaps;
    QLabel* m_paneNum;
    QLabel* m_paneScroll;

    // Commands the application answers: "&About ..." and the new, open and save keys.
    QAction* m_actAbout;
    QAction* m_actFileNew;
    QAction* m_actFileOpen;
    QAction* m_actFileSave;
    // Commands the frame and view answer.
    QAction* m_actDesign;
    QAction* m_actStatusBar;
    QAction* m_actFilePrint;

protected:
    // A menu item's prompt while it is highlighted, the idle text otherwise.
    bool event(QEvent* event) override;

private:
    void OnCreate();
    // Shows or hides the status bar, keeping the item's check mark in step.
    void OnViewStatusBar(bool shown);
    void UpdateIndicators();
    // The action of a command in the menu and accelerator tables; null for one this frame does not answer.
    QAction* Action(CommandId command) const;
    QLabel* AddIndicator(unsigned stringId, const char* name);

    CZarnView* m_pView = nullptr;
    QTimer* m_indicatorTimer;
};

} // namespace zarn
