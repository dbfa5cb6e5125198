// The design control as the view drives it: a child window made by the control's library.
#pragma once

#include "platform/Library.h"

namespace zarn {

class DesignSurface {
public:
    virtual ~DesignSurface() = default;

    // Makes the control as a child of the view through `factory`, the loaded design library's factory export
    // (its real type is in view/DesignControlEntry.h); false when the factory made none. UI thread.
    virtual bool CreateControl(platform::Library::Function factory) = 0;
    // Destroys the control; its library is still loaded while this runs. UI thread.
    virtual void DestroyControl() = 0;
    virtual void ShowControl(bool shown) = 0;
    virtual void EnableControl(bool enabled) = 0;
    // Brings the control above the view's other child and gives it the keyboard focus. UI thread.
    virtual void FocusControl() = 0;
    // Places the control at the view's top left corner, `width` by `height` pixels, and repaints it. UI thread.
    virtual void PlaceControl(int width, int height) = 0;
};

} // namespace zarn
