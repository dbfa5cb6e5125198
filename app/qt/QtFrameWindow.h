// The main frame's Qt window: the menu bar, the accelerator keys and the status bar around the view, placed at three
// quarters of its screen's free area. It forwards its commands, status tips and indicator timer to CMainFrame.
#pragma once

#include "app/FrameWindow.h"
#include "res/ResourceIds.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTimer;

namespace zarn {

class CMainFrame;
class QtViewWindow;
class QtFrameView;

class QtFrameWindow : public QMainWindow, public FrameWindow {
    Q_OBJECT

public:
    // `frame` must outlive the window. UI thread.
    explicit QtFrameWindow(CMainFrame& frame, QWidget* parent = nullptr);
    ~QtFrameWindow() override;

    void SetCaption(const std::string& text) override;
    void AddPopup(const std::string& text) override;
    void AddCommand(CommandId id, const std::string& text, const std::string& prompt, bool checked,
                    bool onBar) override;
    void AddAccelerator(const Accelerator& accelerator) override;
    void AddStatusPane(Pane pane, const std::string& widest) override;
    void SetPaneText(Pane pane, const std::string& text) override;
    void ShowStatusBar(bool shown) override;
    void CheckCommand(CommandId id, bool checked) override;
    FrameView& CreateView(CZarnDoc& document) override;
    void ShowMaximized() override;
    void BringToFront() override;
    void PaintNow() override;

    // The view widget, null until CreateView.
    QtViewWindow* GetActiveView() const { return m_pView; }

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
    // A highlighted menu item's status tip goes to the frame as its command.
    bool event(QEvent* event) override;

private:
    void OnCreate();
    // The action of a command the frame answers; null for any other.
    QAction* Action(CommandId command) const;
    QLabel* AddIndicator(const QString& text, const char* name);

    CMainFrame& m_frame;
    QMenu* m_popup = nullptr;
    QtViewWindow* m_pView = nullptr;
    std::unique_ptr<QtFrameView> m_view;
    QTimer* m_indicatorTimer;
};

} // namespace zarn
