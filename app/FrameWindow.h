// The main frame's window as a front end makes it: a menu bar with accelerator keys, a status bar with a message
// pane and the lock-key indicators, and the view as its client area. It applies what CMainFrame tells it and
// forwards its menu commands, its highlighted menu items and its indicator timer to CMainFrame.
#pragma once

#include "res/MenuTable.h"

#include <string>

namespace zarn {

class CZarnDoc;
class FrameView;

// Every call comes from the UI thread.
class FrameWindow {
public:
    enum class Pane { Message, Caps, Num, Scroll };

    virtual ~FrameWindow() = default;

    virtual void SetCaption(const std::string& text) = 0;
    // Adds a popup to the menu bar; the commands added after it go into it.
    virtual void AddPopup(const std::string& text) = 0;
    // Adds command `id` with its `&` text to the last popup, or to the bar itself when `onBar`. `prompt` is shown in
    // the message pane while the item is highlighted (empty: none); a `checked` item shows a check mark.
    virtual void AddCommand(CommandId id, const std::string& text, const std::string& prompt, bool checked,
                            bool onBar) = 0;
    // Makes `accelerator` run its command anywhere in the window.
    virtual void AddAccelerator(const Accelerator& accelerator) = 0;
    // Adds the status bar's pane `pane`: the message pane takes the room the others leave, and an indicator keeps
    // the width of `widest` whatever it shows.
    virtual void AddStatusPane(Pane pane, const std::string& widest) = 0;
    // Shows `text` in `pane`, painted at once.
    virtual void SetPaneText(Pane pane, const std::string& text) = 0;
    virtual void ShowStatusBar(bool shown) = 0;
    virtual void CheckCommand(CommandId id, bool checked) = 0;
    // Makes the view of `document` the window's client area; the view lives as long as the window.
    virtual FrameView& CreateView(CZarnDoc& document) = 0;

    virtual void ShowMaximized() = 0;
    virtual void BringToFront() = 0;
    // Paints the window now, before a modal loop of its own holds the events up.
    virtual void PaintNow() = 0;
};

} // namespace zarn
