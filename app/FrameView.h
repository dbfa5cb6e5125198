// The view in the main frame's client area, as the application, the frame and the document's host drive it.
#pragma once

namespace zarn {

// Every call comes from the UI thread.
class FrameView {
public:
    virtual ~FrameView() = default;

    // Shows the component list, built from the document's records.
    virtual void FillComponentList() = 0;
    // Leaves list mode and shows the design control.
    virtual void ShowDesignControl() = 0;
    virtual void HideDesignControl() = 0;
    // The document has changed.
    virtual void OnUpdate() = 0;
    // The "&Design" command.
    virtual void OnDesign() = 0;
    // The print command.
    virtual void OnFilePrint() = 0;
};

} // namespace zarn
