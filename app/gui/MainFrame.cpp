#include "app/gui/MainFrame.h"

#include "platform/LockKeys.h"
#include "res/AppIcon.h"
#include "res/StringTable.h"
#include "view/ZarnView.h"

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

QString Text(StringId id) {
    return QString::fromLocal8Bit(LoadString(id));
}

// The status-bar part of a command's prompt: the text before its line break.
QString Prompt(StringId id) {
    return Text(id).section(QLatin1Char('\n'), 0, 0);
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
    return Text(IDR_MAINFRAME).section(QLatin1Char('\n'), 0, 0);
}

void CMainFrame::OnCreate() {
    // "&Design" is a command on the menu bar itself; it has no prompt.
    m_actDesign->setText(tr("&Design"));
    m_actDesign->setObjectName(QStringLiteral("ID_DESIGN"));
    menuBar()->addAction(m_actDesign);

    QMenu* settings = menuBar()->addMenu(tr("&Settings"));
    m_actStatusBar->setText(tr("&Status Bar"));
    m_actStatusBar->setObjectName(QStringLiteral("ID_VIEW_STATUS_BAR"));
    m_actStatusBar->setStatusTip(Prompt(IDS_PROMPT_STATUS_BAR));
    m_actStatusBar->setCheckable(true);
    m_actStatusBar->setChecked(true);
    connect(m_actStatusBar, &QAction::toggled, this, &CMainFrame::OnViewStatusBar);
    settings->addAction(m_actStatusBar);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    m_actAbout->setText(tr("&About ..."));
    m_actAbout->setObjectName(QStringLiteral("ID_APP_ABOUT"));
    m_actAbout->setStatusTip(Prompt(IDS_PROMPT_ABOUT));
    help->addAction(m_actAbout);

    // The accelerator table's keys with a handler. The editing and pane keys have none, so they are left to
    // the focused child (the design control) instead of being swallowed here.
    const auto key = [this](QAction* action, const char* name, QKeySequence sequence) {
        action->setObjectName(QLatin1String(name));
        action->setShortcut(sequence);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    };
    key(m_actFileNew, "ID_FILE_NEW", QKeySequence(Qt::CTRL | Qt::Key_N));
    key(m_actFileOpen, "ID_FILE_OPEN", QKeySequence(Qt::CTRL | Qt::Key_O));
    key(m_actFileSave, "ID_FILE_SAVE", QKeySequence(Qt::CTRL | Qt::Key_S));
    key(m_actFilePrint, "ID_FILE_PRINT", QKeySequence(Qt::CTRL | Qt::Key_P));

    m_wndStatusBar->setObjectName(QStringLiteral("m_wndStatusBar"));
    m_paneMessage->setObjectName(QStringLiteral("messagePane"));
    m_paneMessage->setText(Text(AFX_IDS_IDLEMESSAGE));
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

QLabel* CMainFrame::AddIndicator(unsigned stringId, const char* name) {
    auto* pane = new QLabel(m_wndStatusBar);
    pane->setObjectName(QLatin1String(name));
    pane->setAlignment(Qt::AlignCenter);
    pane->setFrameShape(QFrame::Panel);
    pane->setFrameShadow(QFrame::Sunken);
    // Each pane keeps the width of its text, shown or not, so the bar does not jump as the keys change.
    const QString text = Text(static_cast<StringId>(stringId));
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

void CMainFrame::SetView(CZarnView* view) {
    m_pView = view;
    setCentralWidget(view);
    connect(m_actDesign, &QAction::triggered, view, &CZarnView::OnDesign);
    connect(m_actFilePrint, &QAction::triggered, view, &CZarnView::OnFilePrint);
}

void CMainFrame::OnViewStatusBar(bool shown) {
    m_wndStatusBar->setVisible(shown);
    m_actStatusBar->setChecked(m_wndStatusBar->isVisibleTo(this));
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        m_paneMessage->setText(tip.isEmpty() ? Text(AFX_IDS_IDLEMESSAGE) : tip);
        return true;
    }
    return QMainWindow::event(event);
}

} // namespace zarn
