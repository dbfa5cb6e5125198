#include "res/win32/DialogColors.h"

namespace zarn {

namespace {

struct Colors {
    COLORREF background = RGB(255, 255, 255);
    COLORREF text = RGB(0, 0, 0);
    HBRUSH brush = nullptr; // made on first use
};

Colors& Current() {
    static Colors colors;
    return colors;
}

} // namespace

void SetDialogColors(COLORREF background, COLORREF text) {
    Colors& colors = Current();
    if (colors.brush != nullptr && background != colors.background) {
        DeleteObject(colors.brush);
        colors.brush = nullptr;
    }
    colors.background = background;
    colors.text = text;
}

COLORREF DialogTextColor() {
    return Current().text;
}

COLORREF DialogBackgroundColor() {
    return Current().background;
}

HBRUSH DialogBackgroundBrush() {
    Colors& colors = Current();
    if (colors.brush == nullptr) {
        colors.brush = CreateSolidBrush(colors.background);
    }
    // Should the system refuse a brush, the dialog falls back to its class's own background.
    return colors.brush;
}

} // namespace zarn
