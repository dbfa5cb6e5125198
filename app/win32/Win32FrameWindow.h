// The main frame's Windows window: a registered top-level class with the menu bar and accelerator table built as
// CMainFrame says, the status bar with its panes, and the view between them. It forwards its commands, its
// highlighted menu items and its indicator timer to CMainFrame.
#pragma once

#include "app/FrameWindow.h"
#include "app/win32/Win32FrameClient.h"

#include <memory>
#include <vector>
#include <windows.h>

namespace zarn {

class CMainFrame;

class Win32FrameWindow : public FrameWindow {
public:
    // Makes the window, hidden; `frame` must outlive it, `createView` makes its client area. UI thread.
    Win32FrameWindow(CMainFrame& frame, Win32ViewCreator createView);
    ~Win32FrameWindow() override;
    Win32FrameWindow(const Win32FrameWindow&) = delete;
    Win32FrameWindow& operator=(const Win32FrameWindow&) = delete;

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

    // The window; null once the user has closed it. UI thread.
    HWND Handle() const { return m_window; }
    HWND StatusBar() const { return m_statusBar; }
    // The accelerator table for the message loop's TranslateAccelerator; null when there are no keys. UI thread.
    HACCEL Accelerators() const { return m_accelerators; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Places the status bar's panes and the view in the client area.
    void Layout();
    // The status bar's part that shows `pane`; -1 when it has none.
    int PartOf(Pane pane) const;

    struct StatusPane {
        Pane pane;
        int width; // in pixels; the message pane takes what the others leave
    };

    CMainFrame& m_frame;
    Win32ViewCreator m_createView;
    HWND m_window = nullptr;
    HWND m_statusBar = nullptr;
    HMENU m_menu = nullptr;
    HMENU m_popup = nullptr;
    std::vector<ACCEL> m_keys;
    HACCEL m_accelerators = nullptr;
    std::vector<StatusPane> m_panes;
    std::unique_ptr<Win32FrameClient> m_client;
    bool m_destroying = false; // the object, not the user, ends the window
};

} // namespace zarn
