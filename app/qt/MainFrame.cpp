#include "app/qt/MainFrame.h"

#include "app/qt/ResourceText.h"
#include "platform/LockKeys.h"
#include "res/AppIcon.h"
#include "res/MenuTable.h"
#include "view/ZarnView.h"
#include "view/qt/QtViewWindow.h"

#include <QAction>
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
    QAction* CMainFrame::*action;
    const char* name;
};

constexpr CommandAction kCommandActions[] = {
    {ID_DESIGN, &CMainFrame::m_actDesign, "ID_DESIGN"},
    {ID_VIEW_STATUS_BAR, &CMainFrame::m_actStatusBar, "ID_VIEW_STATUS_BAR"},
    {ID_APP_ABOUT, &CMainFrame::m_actAbout, "ID_APP_ABOUT"},
    {ID_FILE_NEW, &CMainFrame::m_actFileNew, "ID_FILE_NEW"},
    {ID_FILE_OPEN, &CMainFrame::m_actFileOpen, "ID_FILE_OPEN"},
    {ID_FILE_SAVE, &CMainFrame::m_actFileSave, "ID_FILE_SAVE"},
    {ID_FILE_PRINT, &CMainFrame::m_actFilePrint, "ID_FILE_PRINT"},
};

QKeySequence KeySequence(const Accelerator& accelerator) {
    Qt::KeyboardModifiers modifiers;
    modifiers.setFlag(Qt::ControlModifier, (accelerator.modifiers & kAccelControl) != 0);
    modifiers.setFlag(Qt::ShiftModifier, (accelerator.modifiers & kAccelShift) != 0);
    modifiers.setFlag(Qt::AltModifier, (accelerator.modifiers & kAccelAlt) != 0);
    // Qt's codes of the letters and digits are their ASCII codes.
    return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(accelerator.key)));
}

// The status-bar part of a command's prompt: the text before its line break.
QString Prompt(StringId id) {
    return ResourceText(id).section(QLatin1Char('\n'), 0, 0);
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent), m_wndStatusBar(new QStatusBar(this)), m_paneMessage(new QLabel(m_wndStatusBar)),
      m_paneCaps(nullptr), m_paneNum(nullptr), m_paneScroll(nullptr), m_actAbout(new QAction(this)),
      m_actFileNew(new QAction(this)), m_actFileOpen(new QAction(this)), m_actFileSave(new QAction(this)),
      m_actDesign(new QAction(this)), m_actStatusBar(new QAction(this)), m_actFilePrint(new QAction(this)),
      m_indicatorTimer(new QTimer(this)) {
    setObjectName(QStringLiteral("mainFrame"));
    setWindowTitle(Caption());
    setWindowIcon(AppIcon());
    OnCreate();
    // The frame is shown maximised, and restoring it returns to the geometry it had before: without one of its
    // own that would be the bare menu and status bar's size in the corner of the screen.
    const QRect available = screen()->availableGeometry();
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, available.size() * 3 / 4, available));
}

CMainFrame::~CMainFrame() = default;

QString CMainFrame::Caption() {
    return ResourceText(IDR_MAINFRAME).section(QLatin1Char('\n'), 0, 0);
}

void CMainFrame::OnCreate() {
    for (const CommandAction& entry : kCommandActions) {
        (this->*entry.action)->setObjectName(QLatin1String(entry.name));
    }
    for (const MenuBarItem& item : MainMenu()) {
        QMenu* popup = item.popupText != nullptr ? menuBar()->addMenu(QString::fromUtf8(item.popupText)) : nullptr;
        for (const MenuCommand& command : item.commands) {
            QAction* action = Action(command.id);
            if (action == nullptr) {
                continue;
            }
            action->setText(QString::fromUtf8(command.text));
            if (command.prompt != kNoPrompt) {
                action->setStatusTip(Prompt(command.prompt));
            }
            if (command.checked) {
                action->setCheckable(true);
                action->setChecked(true);
            }
            if (popup != nullptr) {
                popup->addAction(action);
            } else {
                menuBar()->addAction(action);
            }
        }
    }
    connect(m_actStatusBar, &QAction::toggled, this, &CMainFrame::OnViewStatusBar);

    // Only keys with a handler are in the table: the editing and pane keys are left to the focused child (the
    // design control) instead of being swallowed here.
    for (const Accelerator& accelerator : MainAccelerators()) {
        QAction* action = Action(accelerator.command);
        if (action == nullptr) {
            continue;
        }
        action->setShortcut(KeySequence(accelerator));
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }

    m_wndStatusBar->setObjectName(QStringLiteral("m_wndStatusBar"));
    m_paneMessage->setObjectName(QStringLiteral("messagePane"));
    m_paneMessage->setText(ResourceText(AFX_IDS_IDLEMESSAGE));
    m_wndStatusBar->addWidget(m_paneMessage, 1);
    m_paneCaps = AddIndicator(ID_INDICATOR_CAPS, "indicatorCaps");
    m_paneNum = AddIndicator(ID_INDICATOR_NUM, "indicatorNum");
    m_paneScroll = AddIndicator(ID_INDICATOR_SCRL, "indicatorScrl");
    setStatusBar(m_wndStatusBar);

    // The first reading waits for the event loop: asking the display server means a connection of its own, which
    // the start-up need not wait for before the window is shown.
    QTimer::singleShot(0, this, &CMainFrame::UpdateIndicators);
    connect(m_indicatorTimer, &QTimer::timeout, this, &CMainFrame::UpdateIndicators);
    m_indicatorTimer->start(kIndicatorIntervalMs);
}

QAction* CMainFrame::Action(CommandId command) const {
    for (const CommandAction& entry : kCommandActions) {
        if (entry.id == command) {
            return this->*entry.action;
        }
    }
    return nullptr;
}

QLabel* CMainFrame::AddIndicator(unsigned stringId, const char* name) {
    auto* pane = new QLabel(m_wndStatusBar);
    pane->setObjectName(QLatin1String(name));
    pane->setAlignment(Qt::AlignCenter);
    pane->setFrameShape(QFrame::Panel);
    pane->setFrameShadow(QFrame::Sunken);
    // Each pane keeps the width of its text, shown or not, so the bar does not jump as the keys change.
    const QString text = ResourceText(static_cast<StringId>(stringId));
    pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(text) + 2 * pane->fontMetrics().averageCharWidth());
    pane->setProperty("indicatorText", text);
    m_wndStatusBar->addPermanentWidget(pane);
    return pane;
}

void CMainFrame::UpdateIndicators() {
    const platform::LockKeyState keys = platform::QueryLockKeys();
    const auto show = [](QLabel* pane, bool on) {
        pane->setText(on ? pane->property("indicatorText").toString() : QString());
    };
    show(m_paneCaps, keys.capsLock);
    show(m_paneNum, keys.numLock);
    show(m_paneScroll, keys.scrollLock);
}

void CMainFrame::SetView(QtViewWindow* window) {
    CZarnView* const view = &window->View();
    m_pView = view;
    setCentralWidget(window);
    connect(m_actDesign, &QAction::triggered, window, [view] { view->OnDesign(); });
    connect(m_actFilePrint, &QAction::triggered, window, [view] { view->OnFilePrint(); });
}

void CMainFrame::OnViewStatusBar(bool shown) {
    m_wndStatusBar->setVisible(shown);
    m_actStatusBar->setChecked(m_wndStatusBar->isVisibleTo(this));
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        m_paneMessage->setText(tip.isEmpty() ? ResourceText(AFX_IDS_IDLEMESSAGE) : tip);
        return true;
    }
    return QMainWindow::event(event);
}

} // namespace zarn
