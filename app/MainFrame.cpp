#include "app/MainFrame.h"

#include "app/FrameView.h"
#include "app/FrameWindow.h"
#include "app/ShellWindow.h"
#include "app/ZarnApp.h"
#include "platform/LockKeys.h"
#include "res/StringTable.h"

#include <algorithm>

namespace zarn {

namespace {

// The commands with a handler in the frame, its view or the application.
constexpr CommandId kAnswered[] = {ID_DESIGN,    ID_VIEW_STATUS_BAR, ID_APP_ABOUT, ID_FILE_NEW,
                                   ID_FILE_OPEN, ID_FILE_SAVE,       ID_FILE_PRINT};

// The part of a string-table entry before its first line break: the caption of the document template's string,
// the status-bar text of a command's prompt.
std::string FirstField(StringId id) {
    const std::string& text = LoadString(id);
    return text.substr(0, text.find('\n'));
}

} // namespace

CMainFrame::CMainFrame(ShellWindow& shell, CZarnApp* app) : m_app(app), m_window(shell.CreateFrameWindow(*this)) {
    OnCreate();
}

CMainFrame::~CMainFrame() = default;

std::string CMainFrame::Caption() {
    return FirstField(IDR_MAINFRAME);
}

bool CMainFrame::Answers(CommandId id) {
    return std::find(std::begin(kAnswered), std::end(kAnswered), id) != std::end(kAnswered);
}

void CMainFrame::OnCreate() {
    m_window->SetCaption(Caption());
    for (const MenuBarItem& item : MainMenu()) {
        if (item.popupText != nullptr) {
            m_window->AddPopup(item.popupText);
        }
        for (const MenuCommand& command : item.commands) {
            if (!Answers(command.id)) {
                continue;
            }
            m_window->AddCommand(command.id, command.text,
                                 command.prompt != kNoPrompt ? FirstField(command.prompt) : std::string(),
                                 command.checked, item.popupText == nullptr);
        }
    }
    // Only keys with a handler are in the table: the editing and pane keys are left to the focused child (the
    // design control) instead of being swallowed here.
    for (const Accelerator& accelerator : MainAccelerators()) {
        if (Answers(accelerator.command)) {
            m_window->AddAccelerator(accelerator);
        }
    }
    m_window->AddStatusPane(FrameWindow::Pane::Message, LoadString(AFX_IDS_IDLEMESSAGE));
    m_window->SetPaneText(FrameWindow::Pane::Message, LoadString(AFX_IDS_IDLEMESSAGE));
    m_window->AddStatusPane(FrameWindow::Pane::Caps, LoadString(ID_INDICATOR_CAPS));
    m_window->AddStatusPane(FrameWindow::Pane::Num, LoadString(ID_INDICATOR_NUM));
    m_window->AddStatusPane(FrameWindow::Pane::Scroll, LoadString(ID_INDICATOR_SCRL));
}

FrameView& CMainFrame::CreateView(CZarnDoc& document) {
    m_pView = &m_window->CreateView(document);
    return *m_pView;
}

void CMainFrame::OnCommand(CommandId id) {
    switch (id) {
    case ID_DESIGN:
        if (m_pView != nullptr) {
            m_pView->OnDesign();
        }
        break;
    case ID_FILE_PRINT:
        if (m_pView != nullptr) {
            m_pView->OnFilePrint();
        }
        break;
    case ID_VIEW_STATUS_BAR:
        OnViewStatusBar();
        break;
    case ID_APP_ABOUT:
        if (m_app != nullptr) {
            m_app->OnAppAbout();
        }
        break;
    case ID_FILE_NEW:
        if (m_app != nullptr) {
            m_app->OnFileNew();
        }
        break;
    case ID_FILE_OPEN:
        if (m_app != nullptr) {
            m_app->OnFileOpen();
        }
        break;
    case ID_FILE_SAVE:
        if (m_app != nullptr) {
            m_app->OnFileSave();
        }
        break;
    default:
        break;
    }
}

void CMainFrame::OnMenuSelect(CommandId id) {
    for (const MenuBarItem& item : MainMenu()) {
        for (const MenuCommand& command : item.commands) {
            if (command.id == id && command.prompt != kNoPrompt) {
                SetMessageText(FirstField(command.prompt));
                return;
            }
        }
    }
    SetMessageText({});
}

void CMainFrame::SetMessageText(const std::string& text) {
    m_window->SetPaneText(FrameWindow::Pane::Message, text.empty() ? LoadString(AFX_IDS_IDLEMESSAGE) : text);
}

void CMainFrame::UpdateIndicators() {
    const platform::LockKeyState keys = platform::QueryLockKeys();
    const auto show = [this](FrameWindow::Pane pane, StringId id, bool on) {
        m_window->SetPaneText(pane, on ? LoadString(id) : std::string());
    };
    show(FrameWindow::Pane::Caps, ID_INDICATOR_CAPS, keys.capsLock);
    show(FrameWindow::Pane::Num, ID_INDICATOR_NUM, keys.numLock);
    show(FrameWindow::Pane::Scroll, ID_INDICATOR_SCRL, keys.scrollLock);
}

void CMainFrame::OnViewStatusBar() {
    m_bStatusBarShown = !m_bStatusBarShown;
    m_window->ShowStatusBar(m_bStatusBarShown);
    m_window->CheckCommand(ID_VIEW_STATUS_BAR, m_bStatusBarShown);
}

void CMainFrame::ActivateFrame() {
    m_window->ShowMaximized();
    BringToFront();
    // Painted now: the checks and dialogs that follow run in modal loops of their own.
    m_window->PaintNow();
}

void CMainFrame::BringToFront() {
    m_window->BringToFront();
}

} // namespace zarn
