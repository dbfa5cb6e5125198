// The one view: the component list while an update check runs, the design control while the user designs.
// It owns both children, creates each at most once, switches between them and keeps them at its full client
// area.
#pragma once

#include "platform/Library.h"

#include <QWidget>

class QPainter;
class QPrinter;
class QTableWidget;

namespace zarn {

class CZarnDoc;

class CZarnView : public QWidget {
    Q_OBJECT

public:
    // The design control's class identifier in registry form, a constant of the build.
    static constexpr const char* kDesignControlClassId = ZARN_DESIGN_CONTROL_CLSID;

    // `document` must outlive the view. UI thread.
    explicit CZarnView(CZarnDoc& document, QWidget* parent = nullptr);
    ~CZarnView() override; // destroys the design control before its library is released

    CZarnDoc& GetDocument() const { return m_document; }

    // Rebuilds the list from the document's records, creating the list window the first time, and shows and
    // enables it. Leaves the design control alone. UI thread.
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
    // Prints through the print dialog; the view draws nothing, so the pages are empty. UI thread.
    void OnFilePrint();

    // The children, null until each is first created.
    QTableWidget* m_listComponents = nullptr;
    QWidget* m_wndDesign = nullptr;

protected:
    // Draws the view's own content, which is nothing: both jobs are done by the children.
    virtual void OnDraw(QPainter& painter);
    // Print preparation: the print dialog; false when the user cancels it.
    virtual bool OnPreparePrinting(QPrinter& printer);
    virtual void OnBeginPrinting(QPainter& painter, QPrinter& printer);
    virtual void OnEndPrinting(QPainter& painter, QPrinter& printer);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Keeps both children at the full client area.
    void OnSize();
    bool CreateDesignControl();

    CZarnDoc& m_document;
    platform::Library m_designLibrary;
};

} // namespace zarn
