// The main frame: the fixed caption, the menu bar and accelerator keys built from the menu table, the commands
// routed to the view or the application, the status bar's prompts, idle text and lock-key indicators, and the
// status bar shown or hidden with its item's check mark. Its window comes from the front end.
#pragma once

#include "res/ResourceIds.h"

#include <memory>
#include <string>

namespace zarn {

class CZarnApp;
class CZarnDoc;
class FrameView;
class FrameWindow;
class ShellWindow;

// The command of no menu item.
inline constexpr CommandId kNoCommand = static_cast<CommandId>(0);

class CMainFrame {
public:
    // Makes the window through `shell` with its caption, menu, keys and status bar; the view comes with CreateView.
    // The application's commands (about, new, open, save) go to `app`, none when it is null. UI thread.
    CMainFrame(ShellWindow& shell, CZarnApp* app);
    ~CMainFrame();

    // Makes the view of `document` the frame's client area; the "&Design" and print commands go to it.
    FrameView& CreateView(CZarnDoc& document);
    FrameView* GetActiveView() const { return m_pView; }

    // The caption: the first field of the document template's string, never with a document's name.
    static std::string Caption();

    // A command of the menu or the accelerator keys. UI thread.
    void OnCommand(CommandId id);
    // Menu item `id` is highlighted (kNoCommand: none is): its prompt in the message pane, else the idle text.
    void OnMenuSelect(CommandId id);
    // Brings the indicators in step with the keyboard's lock keys; the window calls it on a timer.
    void UpdateIndicators();
    // Shows `text` in the message pane at once, the idle text when it is empty.
    void SetMessageText(const std::string& text);

    // Shows the window maximised in front, painted before the start-up's modal dialogs run.
    void ActivateFrame();
    void BringToFront();

private:
    void OnCreate();
    // Shows or hides the status bar, keeping the item's check mark in step.
    void OnViewStatusBar();
    // Whether the frame or the application answers `id`: only those commands get menu items and keys.
    static bool Answers(CommandId id);

    CZarnApp* m_app;
    bool m_bStatusBarShown = true;
    std::unique_ptr<FrameWindow> m_window;
    FrameView* m_pView = nullptr; // owned by the window
};

} // namespace zarn
