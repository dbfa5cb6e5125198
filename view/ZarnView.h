// The one view: the component list while an update check runs, the design control while the user designs. It
// decides which child is shown, enabled and focused, creates each at most once, asks for the control only once
// its class is registered and keeps both children at its full client area. Its window (a
// ViewWindow of the front end) only makes, shows and places the children as it is told.
#pragma once

namespace zarn {

class ComponentListWindow;
class CZarnDoc;
class DesignSurface;
class ViewWindow;

class CZarnView {
public:
    // The design control's class identifier in registry form, a constant of the build.
    static constexpr const char* kDesignControlClassId = ZARN_DESIGN_CONTROL_CLSID;

    // `document` and `window` must outlive the view. UI thread.
    CZarnView(CZarnDoc& document, ViewWindow& window);
    // Destroys the design control while the window that made it is still there.
    virtual ~CZarnView();
    CZarnView(const CZarnView&) = delete;
    CZarnView& operator=(const CZarnView&) = delete;

    CZarnDoc& GetDocument() const { return m_document; }

    // Rebuilds the list from the document's records, creating the list window the first time, and shows and
    // enables it. Leaves the design control alone. A list that cannot be made leaves the view as it is and is
    // tried again at the next call. UI thread.
    void FillComponentList();
    // Hides and disables the list, leaves list mode and shows the design control, enabled and focused,
    // creating it the first time. When it cannot be created the view stays blank and the next call tries
    // again. UI thread.
    void ShowDesignControl();
    // Disables and hides the design control when it exists. UI thread.
    void HideDesignControl();
    // The document has changed: in list mode the list is rebuilt from the records; the view is repainted.
    void OnUpdate();

    // The "&Design" command: exactly ShowDesignControl.
    void OnDesign();
    // Prints through the print dialog; the view draws nothing, so the page is empty. UI thread.
    void OnFilePrint();

    // The window's client area is now `width` by `height` pixels: both children are kept filling it. UI thread.
    void OnSize(int width, int height);
    // Draws the view's own content on what the window paints or prints, which is nothing: both jobs are done by
    // the children. UI thread.
    virtual void OnDraw();

    // The children, null until each is first created.
    ComponentListWindow* m_listComponents = nullptr;
    DesignSurface* m_wndDesign = nullptr;

protected:
    // Print preparation: the print dialog; false when the user cancels it.
    virtual bool OnPreparePrinting();
    virtual void OnBeginPrinting();
    virtual void OnEndPrinting();

private:
    bool CreateDesignControl();

    CZarnDoc& m_document;
    ViewWindow& m_window;
    // The client area's size from the last OnSize, which a child gets when it is created.
    int m_clientWidth = 0;
    int m_clientHeight = 0;
};

} // namespace zarn
