// The start dialog's window as a front end makes it: a "Start Designing" button, which is the default, and an
// update button. It forwards the buttons, Escape and the close box to CStartDlg.
#pragma once

namespace zarn {

// Every call comes from the UI thread.
class StartWindow {
public:
    virtual ~StartWindow() = default;

    virtual void EnableUpdateButton(bool enabled) = 0;
    virtual void FocusDefaultButton() = 0;
    // Shows the window modally until EndDialog; returns the result it was ended with.
    virtual int RunModal() = 0;
    virtual void EndDialog(int result) = 0;
};

} // namespace zarn
