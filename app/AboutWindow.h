// The about box's window as a front end makes it: the icon, the product line in a read-only edit box, the contact
// line, the copyright notice, an OK button and a hidden line for a build without vendor keys. It forwards OK,
// Escape and the close box to CAboutDlg.
#pragma once

#include <string>

namespace zarn {

// Every call comes from the UI thread.
class AboutWindow {
public:
    virtual ~AboutWindow() = default;

    virtual void SetProductLine(const std::string& text) = 0;
    virtual void SetContactLine(const std::string& text) = 0;
    virtual std::string ProductLine() const = 0;
    virtual std::string ContactLine() const = 0;
    // Shows `text` in the line below the box's own controls, growing the box to hold it.
    virtual void ShowUnsignedLists(const std::string& text) = 0;
    // Shows the window modally until EndDialog; returns the result it was ended with.
    virtual int RunModal() = 0;
    virtual void EndDialog(int result) = 0;
};

} // namespace zarn
