#include "app/qt/QtFrameView.h"

#include "view/ZarnView.h"

namespace zarn {

void QtFrameView::FillComponentList() {
    m_view.FillComponentList();
}

void QtFrameView::ShowDesignControl() {
    m_view.ShowDesignControl();
}

void QtFrameView::HideDesignControl() {
    m_view.HideDesignControl();
}

void QtFrameView::OnUpdate() {
    m_view.OnUpdate();
}

void QtFrameView::OnDesign() {
    m_view.OnDesign();
}

void QtFrameView::OnFilePrint() {
    m_view.OnFilePrint();
}

} // namespace zarn
