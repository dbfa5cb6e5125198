// The frame's client area over a view window of any type that owns a CZarnView, can be placed, and is made from
// the document and its parent: the Win32 view window in the launcher, a test's window in the tests.
#pragma once

#include "app/FrameView.h"
#include "app/win32/Win32FrameClient.h"
#include "view/ZarnView.h"

namespace zarn {

template <class Window> class Win32ViewClient final : public Win32FrameClient, private FrameView {
public:
    // The view window of `document` in `parent`. UI thread.
    Win32ViewClient(CZarnDoc& document, HWND parent) : m_window(document, parent) {}

    FrameView& View() override { return *this; }
    HWND Handle() const override { return m_window.Handle(); }
    void Move(int x, int y, int width, int height) override { m_window.Move(x, y, width, height); }

    Window& ViewWindow() { return m_window; }

private:
    void FillComponentList() override { m_window.View().FillComponentList(); }
    void ShowDesignControl() override { m_window.View().ShowDesignControl(); }
    void HideDesignControl() override { m_window.View().HideDesignControl(); }
    void OnUpdate() override { m_window.View().OnUpdate(); }
    void OnDesign() override { m_window.View().OnDesign(); }
    void OnFilePrint() override { m_window.View().OnFilePrint(); }

    Window m_window;
};

} // namespace zarn
