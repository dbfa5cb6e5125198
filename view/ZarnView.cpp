#include "view/ZarnView.h"

#include "components/CompObj.h"
#include "components/ObjectLookup.h"
#include "components/ZarnDoc.h"
#include "res/StringTable.h"
#include "view/ViewWindow.h"

#include <string>
#include <vector>

namespace zarn {

namespace {

// Column widths in pixels on a 96 dpi screen.
constexpr int kColumnWidths[] = {250, 125, 175};

} // namespace

CZarnView::CZarnView(CZarnDoc& document, ViewWindow& window) : m_document(document), m_window(window) {}

CZarnView::~CZarnView() {
    // The control's code is loaded by the window, which outlives the view.
    if (m_wndDesign != nullptr)
        m_wndDesign->DestroyControl();
}

void CZarnView::FillComponentList() {
    if (m_listComponents == nullptr) {
        if (!m_window.CreateList(
                {LoadString(IDS_COLUMN_COMPONENT), LoadString(IDS_COLUMN_VERSION), LoadString(IDS_COLUMN_STATUS)}))
            return;
        m_listComponents = &m_window;
        m_listComponents->PlaceList(m_clientWidth, m_clientHeight);
    }

    std::vector<std::vector<std::string>> rows;
    for (const auto& record : m_document.m_compList)
        rows.push_back({record->m_desc, record->GetVersionString(), record->m_status});
    m_listComponents->SetListRows(rows);

    // The widths are given for a 96 dpi screen and grow with the screen's resolution, rounded to the nearest
    // pixel.
    const int dpi = m_window.LogicalDpi();
    std::vector<int> widths;
    for (const int width : kColumnWidths)
        widths.push_back((width * dpi + 48) / 96);
    m_listComponents->SetListColumnWidths(widths);

    m_listComponents->ShowList(true);
    m_listComponents->EnableList(true);
}

void CZarnView::ShowDesignControl() {
    if (m_listComponents != nullptr) {
        m_listComponents->EnableList(false);
        m_listComponents->ShowList(false);
    }
    m_document.m_listMode = 0;
    if (m_wndDesign == nullptr && !CreateDesignControl())
        return;
    m_wndDesign->EnableControl(true);
    m_wndDesign->ShowControl(true);
    m_wndDesign->FocusControl();
}

bool CZarnView::CreateDesignControl() {
    // An unregistered class is not asked for: no platform can make it, and the next call looks again.
    CObjectLookup lookup;
    const std::string serverPath = lookup.ReadServerPath(kDesignControlClassId);
    if (serverPath.empty() || !m_window.CreateControl(kDesignControlClassId, serverPath))
        return false;
    m_wndDesign = &m_window;
    m_wndDesign->PlaceControl(m_clientWidth, m_clientHeight);
    return true;
}

void CZarnView::HideDesignControl() {
    if (m_wndDesign != nullptr) {
        m_wndDesign->EnableControl(false);
        m_wndDesign->ShowControl(false);
    }
}

void CZarnView::OnUpdate() {
    if (m_document.m_listMode == 1)
        FillComponentList();
    m_window.Invalidate();
}

void CZarnView::OnDesign() {
    ShowDesignControl();
}

void CZarnView::OnSize(int width, int height) {
    m_clientWidth = width;
    m_clientHeight = height;
    if (m_wndDesign != nullptr)
        m_wndDesign->PlaceControl(width, height);
    if (m_listComponents != nullptr)
        m_listComponents->PlaceList(width, height);
}

void CZarnView::OnDraw() {}

void CZarnView::OnFilePrint() {
    if (!OnPreparePrinting())
        return;
    if (!m_window.StartPrintJob())
        return;
    OnBeginPrinting();
    OnDraw();
    OnEndPrinting();
    m_window.EndPrintJob();
}

bool CZarnView::OnPreparePrinting() {
    return m_window.ChoosePrinter();
}

void CZarnView::OnBeginPrinting() {}

void CZarnView::OnEndPrinting() {}

} // namespace zarn
