// The view's Win32 window: the component list (a list-view control in report mode) and the design control (an
// ActiveX control hosted in an AtlAxWin window) as its children, made, shown and placed as its CZarnView says; its
// resizes and paints go to that view. It owns the view.
#pragma once

#include "platform/win32/WindowsHeaders.h"
#include "view/ViewWindow.h"
#include "view/ZarnView.h"

#include <memory>

namespace zarn {

class CZarnDoc;

class Win32ViewWindow : public ViewWindow {
public:
    // Makes the view's child window in `parent` (Handle() is null when the system refuses one). `document` must
    // outlive the window. UI thread.
    Win32ViewWindow(CZarnDoc& document, HWND parent);
    // Ends the view, and with it the design control, then destroys the window.
    ~Win32ViewWindow() override;
    Win32ViewWindow(const Win32ViewWindow&) = delete;
    Win32ViewWindow& operator=(const Win32ViewWindow&) = delete;

    HWND Handle() const { return m_hwnd; }
    CZarnView& View() { return *m_view; }
    // Places the window in its parent's client area; the view learns its new size. UI thread.
    void Move(int x, int y, int width, int height);

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
    HWND m_listComponents = nullptr;
    HWND m_wndDesign = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
    std::unique_ptr<CZarnView> m_view;
    HDC m_printerDc = nullptr; // from the print dialog until the job ends
};

} // namespace zarn
