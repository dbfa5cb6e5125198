// The design control as the view drives it: a child window that each front end makes in its platform's way from
// the control's class registration.
#pragma once

#include <string>

namespace zarn {

class DesignSurface {
public:
    virtual ~DesignSurface() = default;

    // Makes the control as a hidden child of the view: the class `classId` (registry form), whose in-process server
    // is registered at `serverPath`. An ActiveX host creates it by its class identifier through COM; a system
    // without COM loads the library and calls its factory export (view/DesignControlEntry.h). False when no
    // control was made, and then nothing of the attempt is kept. UI thread.
    virtual bool CreateControl(const std::string& classId, const std::string& serverPath) = 0;
    // Destroys the control, while whatever holds its code is still loaded. UI thread.
    virtual void DestroyControl() = 0;
    virtual void ShowControl(bool shown) = 0;
    virtual void EnableControl(bool enabled) = 0;
    // Brings the control above the view's other child and gives it the keyboard focus. UI thread.
    virtual void FocusControl() = 0;
    // Places the control at the view's top left corner, `width` by `height` pixels, and repaints it. UI thread.
    virtual void PlaceControl(int width, int height) = 0;
};

} // namespace zarn
