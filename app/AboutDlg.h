// The about box: the product line (selectable, so it can be copied), the contact line and the copyright notice; in
// a build without vendor keys, a line below them that says so.
#pragma once

#include <string>

namespace zarn {

class AboutWindow;
class ShellWindow;

class CAboutDlg {
public:
    // The window is made by `shell` for each DoModal. UI thread.
    explicit CAboutDlg(ShellWindow& shell);
    virtual ~CAboutDlg();

    // Runs the box modally; returns kIdOk or kIdCancel. UI thread.
    int DoModal();

    std::string m_strProductLine;
    std::string m_strContactLine;
    // Whether the box says that lists are read unsigned: set from the build's keys, changed only before DoModal.
    bool m_bUnsignedLists;

    // The window's events: OK, and Escape or the close box.
    void OnOK();
    void OnCancel();

protected:
    // Sets both lines and moves them into their controls; adds the unsigned-lists line when it applies.
    virtual bool OnInitDialog();
    // Moves the members into the controls (`toDialog`) or back.
    void UpdateData(bool toDialog);

private:
    ShellWindow& m_shell;
    AboutWindow* m_window = nullptr; // while DoModal runs
};

} // namespace zarn
