// The start dialog: "Start Designing" ends it with kIdOk; the update button, Escape and the close box all end it
// with kIdCancel, which the caller takes as a request for an update check.
#pragma once

namespace zarn {

class ShellWindow;
class StartWindow;

class CStartDlg {
public:
    // The window is made by `shell` for each DoModal. UI thread.
    explicit CStartDlg(ShellWindow& shell);
    virtual ~CStartDlg();

    // Runs the dialog modally; returns kIdOk or kIdCancel. UI thread.
    int DoModal();

    // Set before DoModal: nonzero enables the update button, 0 greys it.
    int m_bAllowUpdate = 1;

    // The window's events: "Start Designing" (also Enter on it), the update button, and Escape or the close box.
    void OnOK();
    void OnButtonUpdate();
    void OnCancel();

protected:
    // Enables or greys the update button; the default button takes the focus.
    virtual bool OnInitDialog();

private:
    ShellWindow& m_shell;
    StartWindow* m_window = nullptr; // while DoModal runs
};

} // namespace zarn
