// The start dialog's Windows window, built from its template: it forwards "Start Designing", the update button,
// Escape and the close box to CStartDlg. What CStartDlg sets before the dialog runs is applied as it opens.
#pragma once

#include "app/StartWindow.h"
#include "res/win32/Win32Dialog.h"

namespace zarn {

class CStartDlg;

class Win32StartWindow : public StartWindow, public Win32Dialog {
public:
    // `dialog` must outlive the window; `owner` (may be null) is disabled while it runs. UI thread.
    Win32StartWindow(CStartDlg& dialog, HWND owner);

    void EnableUpdateButton(bool enabled) override;
    void FocusDefaultButton() override;
    int RunModal() override;
    void EndDialog(int result) override;

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    CStartDlg& m_dialog;
    HWND m_owner;
    bool m_updateEnabled = true;
    bool m_focusDefault = false;
};

} // namespace zarn
