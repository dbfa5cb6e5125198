#include "app/qt/QtFrameWindow.h"

#include "app/MainFrame.h"
#include "app/qt/QtFrameView.h"
#include "res/qt/AppIcon.h"
#include "view/qt/QtViewWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTimer>

namespace zarn {

namespace {

// How often the lock-key indicators are brought in step with the keyboard.
constexpr int kIndicatorIntervalMs = 250;

// The action of each command the frame or the application answers, with the object name it is found by.
struct CommandAction {
    CommandId id;
    QAction* QtFrameWindow::*action;
    const char* name;
};

constexpr CommandAction kCommandActions[] = {
    {ID_DESIGN, &QtFrameWindow::m_actDesign, "ID_DESIGN"},
    {ID_VIEW_STATUS_BAR, &QtFrameWindow::m_actStatusBar, "ID_VIEW_STATUS_BAR"},
    {ID_APP_ABOUT, &QtFrameWindow::m_actAbout, "ID_APP_ABOUT"},
    {ID_FILE_NEW, &QtFrameWindow::m_actFileNew, "ID_FILE_NEW"},
    {ID_FILE_OPEN, &QtFrameWindow::m_actFileOpen, "ID_FILE_OPEN"},
    {ID_FILE_SAVE, &QtFrameWindow::m_actFileSave, "ID_FILE_SAVE"},
    {ID_FILE_PRINT, &QtFrameWindow::m_actFilePrint, "ID_FILE_PRINT"},
};

QKeySequence KeySequence(const Accelerator& accelerator) {
    Qt::KeyboardModifiers modifiers;
    modifiers.setFlag(Qt::ControlModifier, (accelerator.modifiers & kAccelControl) != 0);
    modifiers.setFlag(Qt::ShiftModifier, (accelerator.modifiers & kAccelShift) != 0);
    modifiers.setFlag(Qt::AltModifier, (accelerator.modifiers & kAccelAlt) != 0);
    // Qt's codes of the letters and digits are their ASCII codes.
    return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(accelerator.key)));
}

} // namespace

QtFrameWindow::QtFrameWindow(CMainFrame& frame, QWidget* parent)
    : QMainWindow(parent), m_wndStatusBar(new QStatusBar(this)), m_paneMessage(new QLabel(m_wndStatusBar)),
      m_paneCaps(nullptr), m_paneNum(nullptr), m_paneScroll(nullptr), m_actAbout(new QAction(this)),
      m_actFileNew(new QAction(this)), m_actFileOpen(new QAction(this)), m_actFileSave(new QAction(this)),
      m_actDesign(new QAction(this)), m_actStatusBar(new QAction(this)), m_actFilePrint(new QAction(this)),
      m_frame(frame), m_indicatorTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(AppIcon());
    OnCreate();
    // The frame is shown maximised, and restoring it returns to the geometry it had before: without one of its
    // own that would be the bare menu and status bar's size in the corner of the screen.
    const QRect available = screen()->availableGeometry();
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, available.size() * 3 / 4, available));
}

QtFrameWindow::~QtFrameWindow() = default;

void QtFrameWindow::OnCreate() {
    for (const CommandAction& entry : kCommandActions) {
        (this->*entry.action)->setObjectName(QLatin1String(entry.name));
        const CommandId id = entry.id;
        connect(this->*entry.action, &QAction::triggered, this, [this, id] { m_frame.OnCommand(id); });
    }

    m_wndStatusBar->setObjectName(QStringLiteral("m_wndStatusBar"));
    m_paneMessage->setObjectName(QStringLiteral("messagePane"));
    setStatusBar(m_wndStatusBar);

    // The first reading waits for the event loop: asking the display server means a connection of its own, which
    // the start-up need not wait for before the window is shown.
    QTimer::singleShot(0, this, [this] { m_frame.UpdateIndicators(); });
    connect(m_indicatorTimer, &QTimer::timeout, this, [this] { m_frame.UpdateIndicators(); });
    m_indicatorTimer->start(kIndicatorIntervalMs);
}

void QtFrameWindow::SetCaption(const std::string& text) {
    setWindowTitle(QString::fromStdString(text));
}

void QtFrameWindow::AddPopup(const std::string& text) {
    m_popup = menuBar()->addMenu(QString::fromUtf8(text));
}

void QtFrameWindow::AddCommand(CommandId id, const std::string& text, const std::string& prompt, bool checked,
                               bool onBar) {
    QAction* action = Action(id);
    if (action == nullptr) {
        return;
    }
    action->setText(QString::fromUtf8(text));
    if (!prompt.empty()) {
        action->setStatusTip(QString::fromStdString(prompt));
    }
    if (checked) {
        action->setCheckable(true);
        action->setChecked(true);
    }
    if (!onBar && m_popup != nullptr) {
        m_popup->addAction(action);
    } else {
        menuBar()->addAction(action);
    }
}

void QtFrameWindow::AddAccelerator(const Accelerator& accelerator) {
    QAction* action = Action(accelerator.command);
    if (action == nullptr) {
        return;
    }
    action->setShortcut(KeySequence(accelerator));
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
}

QAction* QtFrameWindow::Action(CommandId command) const {
    for (const CommandAction& entry : kCommandActions) {
        if (entry.id == command) {
            return this->*entry.action;
        }
    }
    return nullptr;
}

void QtFrameWindow::AddStatusPane(Pane pane, const std::string& widest) {
    const QString text = QString::fromStdString(widest);
    switch (pane) {
    case Pane::Message:
        m_wndStatusBar->addWidget(m_paneMessage, 1);
        break;
    case Pane::Caps:
        m_paneCaps = AddIndicator(text, "indicatorCaps");
        break;
    case Pane::Num:
        m_paneNum = AddIndicator(text, "indicatorNum");
        break;
    case Pane::Scroll:
        m_paneScroll = AddIndicator(text, "indicatorScrl");
        break;
    }
}

QLabel* QtFrameWindow::AddIndicator(const QString& text, const char* name) {
    auto* pane = new QLabel(m_wndStatusBar);
    pane->setObjectName(QLatin1String(name));
    pane->setAlignment(Qt::AlignCenter);
    pane->setFrameShape(QFrame::Panel);
    pane->setFrameShadow(QFrame::Sunken);
    // Each pane keeps the width of its text, shown or not, so the bar does not jump as the keys change.
    pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(text) + 2 * pane->fontMetrics().averageCharWidth());
    m_wndStatusBar->addPermanentWidget(pane);
    return pane;
}

void QtFrameWindow::SetPaneText(Pane pane, const std::string& text) {
    QLabel* const labels[] = {m_paneMessage, m_paneCaps, m_paneNum, m_paneScroll};
    QLabel* label = labels[static_cast<int>(pane)];
    if (label == nullptr) {
        return;
    }
    label->setText(QString::fromLocal8Bit(text));
    // The message pane may tell of a wait that handles no events.
    if (pane == Pane::Message) {
        label->repaint();
    }
}

void QtFrameWindow::ShowStatusBar(bool shown) {
    m_wndStatusBar->setVisible(shown);
}

void QtFrameWindow::CheckCommand(CommandId id, bool checked) {
    if (QAction* action = Action(id)) {
        action->setChecked(checked);
    }
}

FrameView& QtFrameWindow::CreateView(CZarnDoc& document) {
    m_pView = new QtViewWindow(document);
    setCentralWidget(m_pView);
    m_view = std::make_unique<QtFrameView>(m_pView->View());
    return *m_view;
}

void QtFrameWindow::ShowMaximized() {
    showMaximized();
}

void QtFrameWindow::BringToFront() {
    raise();
    activateWindow();
}

void QtFrameWindow::PaintNow() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    repaint();
}

bool QtFrameWindow::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        CommandId id = kNoCommand;
        for (const CommandAction& entry : kCommandActions) {
            if (!tip.isEmpty() && (this->*entry.action)->statusTip() == tip) {
                id = entry.id;
            }
        }
        m_frame.OnMenuSelect(id);
        return true;
    }
    return QMainWindow::event(event);
}

} // namespace zarn
