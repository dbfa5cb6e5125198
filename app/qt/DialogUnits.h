// Lays a dialog out from its template's dialog units, converted through the metrics of the dialog's font as the
// platform's dialog manager converts them, and gives the dialog its template font and fixed size.
#pragma once

#include <QFont>

class QWidget;

namespace zarn {

class DialogUnits {
public:
    // Sets `dialog`'s font to the template's 8-point "MS Sans Serif" (the system's sans serif where that font is
    // missing) and takes the base units from the font actually used. UI thread.
    explicit DialogUnits(QWidget& dialog);

    // Fixes the dialog's size to `width` by `height` dialog units.
    void SetSize(int width, int height) const;
    // Places `item` at the template rectangle `x`, `y`, `width`, `height` in dialog units.
    void Place(QWidget& item, int x, int y, int width, int height) const;

    int X(int units) const;
    int Y(int units) const;

private:
    QWidget& m_dialog;
    int m_baseX;
    int m_baseY;
};

} // namespace zarn
