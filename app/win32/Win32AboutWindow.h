// The about box's Windows window, built from its template: it forwards OK, Escape and the close box to CAboutDlg.
// What CAboutDlg sets before the box runs is applied as it opens.
#pragma once

#include "app/AboutWindow.h"
#include "res/win32/Win32Dialog.h"

#include <optional>

namespace zarn {

class CAboutDlg;

class Win32AboutWindow : public AboutWindow, public Win32Dialog {
public:
    // `dialog` must outlive the window; `owner` (may be null) is disabled while it runs. UI thread.
    Win32AboutWindow(CAboutDlg& dialog, HWND owner);

    void SetProductLine(const std::string& text) override;
    void SetContactLine(const std::string& text) override;
    std::string ProductLine() const override;
    std::string ContactLine() const override;
    void ShowUnsignedLists(const std::string& text) override;
    int RunModal() override;
    void EndDialog(int result) override;

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void SetLine(ControlId id, const std::string& text);
    // Item `id`'s text: the window's while it is open, else what was last set.
    std::string Text(ControlId id, const std::string& stored) const;

    CAboutDlg& m_dialog;
    HWND m_owner;
    std::string m_productLine;
    std::string m_contactLine;
    std::optional<std::string> m_unsignedLists;
};

} // namespace zarn
