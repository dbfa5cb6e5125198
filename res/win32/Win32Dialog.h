// A dialog of the launcher's own, built in memory at run time from its template in the dialog table (items,
// texts from the string table, the table's font) and run modal or modeless. The Qt windows place their widgets from
// the same table, so the two front ends show the same layouts. A derived class handles the dialog's messages; the
// dialog is painted in the dialogs' colours (res/win32/DialogColors.h).
#pragma once

#include "res/DialogTable.h"

#include <string>
#include <vector>
#include <windows.h>

namespace zarn {

class Win32Dialog {
public:
    // The dialog of `dialog`, which the caller keeps alive; no window yet.
    explicit Win32Dialog(const DialogTemplate& dialog);
    virtual ~Win32Dialog();
    Win32Dialog(const Win32Dialog&) = delete;
    Win32Dialog& operator=(const Win32Dialog&) = delete;

    // The template in the DLGTEMPLATEEX form: the table's font, its caption from the string table, every item with
    // its class, styles and text, all in dialog units; the window has the template's first height. Any thread.
    static std::vector<WORD> BuildTemplate(const DialogTemplate& dialog);

    // Runs the dialog modal over `owner` (may be null) until End; returns End's result, or -1 when no window could
    // be made. UI thread.
    INT_PTR RunModal(HWND owner);
    // Makes the dialog modeless over `owner`, hidden (ShowWindow shows it); 1 done, 0 when no window could be made.
    // Its messages reach it through the thread's IsDialogMessage. UI thread.
    int Create(HWND owner);
    // Ends the dialog: a modal one returns `result` from RunModal, a modeless one is destroyed. UI thread.
    void End(INT_PTR result);

    // The dialog's window; null before it is made and after it is gone. UI thread.
    HWND Handle() const { return m_window; }
    const DialogTemplate& Template() const { return m_template; }
    // Child `id` of the dialog; null when there is none. UI thread.
    HWND Item(ControlId id) const;
    // Sets child `id`'s text from the launcher's 8-bit text (held in the user's code page). UI thread.
    void SetItemText(ControlId id, const std::string& text);
    // Makes the dialog as tall as its grown template, for the items it shows on demand. UI thread.
    void Grow();
    // `rect` of the template in this dialog's client pixels, as the dialog manager places items. UI thread, with the
    // window made.
    RECT PixelRect(const DialogRect& rect) const;

protected:
    // Every message the dialog gets from WM_INITDIALOG on; returns true with the dialog procedure's result in
    // `result` when it handled the message, false to leave it to the dialog's defaults. UI thread.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    const DialogTemplate& m_template;
    std::vector<WORD> m_memory;
    HWND m_window = nullptr;
    bool m_modal = false;
};

} // namespace zarn
