// The view's Qt window: the component list (a table) and the design control's widget as its children, made,
// shown and placed as its CZarnView says; its resizes and paints go to that view. It owns the view, and the
// design library whose factory export makes the control.
#pragma once

#include "platform/Library.h"
#include "view/ViewWindow.h"
#include "view/ZarnView.h"

#include <QPainter>
#include <QWidget>
#include <memory>

class QPrinter;
class QTableWidget;

namespace zarn {

class CZarnDoc;

class QtViewWindow : public QWidget, public ViewWindow {
    Q_OBJECT

public:
    // `document` must outlive the window. UI thread.
    explicit QtViewWindow(CZarnDoc& document, QWidget* parent = nullptr);
    ~QtViewWindow() override; // ends the view, and with it the design control, before the children go

    CZarnView& View() const { return *m_view; }

    bool CreateList(const std::vector<std::string>& headings) override;
    void SetListRows(const std::vector<std::vector<std::string>>& rows) override;
    void SetListColumnWidths(const std::vector<int>& widths) override;
    void ShowList(bool shown) override;
    void EnableList(bool enabled) override;
    void PlaceList(int width, int height) override;

    bool CreateControl(const std::string& classId, const std::string& serverPath) override;
    void DestroyControl() override;
    void ShowControl(bool shown) override;
    void EnableControl(bool enabled) override;
    void FocusControl() override;
    void PlaceControl(int width, int height) override;

    int LogicalDpi() const override;
    void Invalidate() override;
    bool ChoosePrinter() override;
    bool StartPrintJob() override;
    void EndPrintJob() override;

    // The children, null until the view first creates each.
    QTableWidget* m_listComponents = nullptr;
    QWidget* m_wndDesign = nullptr;

protected:
    // The print dialog on `printer`; false when the user cancels it.
    virtual bool RunPrintDialog(QPrinter& printer);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Declared before the view, so that it is released after the view has destroyed the control.
    platform::Library m_designLibrary;
    std::unique_ptr<CZarnView> m_view;
    std::unique_ptr<QPrinter> m_printer;
    QPainter m_printPainter;
};

} // namespace zarn
