// The view's window as a front end builds it: the parent of the component list and of the design control, which
// it makes, shows and places only when CZarnView says so, and the target of the view's painting and printing.
#pragma once

#include "view/ComponentListWindow.h"
#include "view/DesignSurface.h"

namespace zarn {

class ViewWindow : public ComponentListWindow, public DesignSurface {
public:
    // The window's horizontal resolution in dots per inch, by which the list's column widths grow. UI thread.
    virtual int LogicalDpi() const = 0;
    // Repaints the window's own area. UI thread.
    virtual void Invalidate() = 0;

    // Asks for the printer through the toolkit's print dialog; false when the user cancels it. UI thread.
    virtual bool ChoosePrinter() = 0;
    // Starts a job of one page on the chosen printer, to be drawn by what follows; false when it cannot be
    // started. UI thread.
    virtual bool StartPrintJob() = 0;
    // Ends the page and sends the job. UI thread.
    virtual void EndPrintJob() = 0;
};

} // namespace zarn
