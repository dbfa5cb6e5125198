// The view widget as the frame, the application and the document's host drive it.
#pragma once

#include "app/FrameView.h"

namespace zarn {

class CZarnView;

class QtFrameView : public FrameView {
public:
    // `view` must outlive this. UI thread.
    explicit QtFrameView(CZarnView& view) : m_view(view) {}

    void FillComponentList() override;
    void ShowDesignControl() override;
    void HideDesignControl() override;
    void OnUpdate() override;
    void OnDesign() override;
    void OnFilePrint() override;

private:
    CZarnView& m_view;
};

} // namespace zarn
