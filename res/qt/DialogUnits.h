// Lays a dialog out from its template (res/DialogTable), converting dialog units through the metrics of the dialog's
// font as the platform's dialog manager converts them, and gives the dialog its template font and fixed size.
#pragma once

#include "res/DialogTable.h"

#include <QFont>

class QWidget;

namespace zarn {

class DialogUnits {
public:
    // Lays `dialog` out from template `id`. Sets its font to the template's 8-point "MS Sans Serif" (the system's
    // sans serif where that font is missing) and takes the base units from the font actually used. UI thread.
    DialogUnits(QWidget& dialog, TemplateId id);

    // Fixes the dialog's size to the template's; SetGrownSize to the size that also holds the items shown on demand.
    // Nothing for a template id without a template. UI thread.
    void SetSize() const;
    void SetGrownSize() const;
    // Places `item` at the rectangle of the template's item `id`; leaves it where it is when the template has no
    // such item. UI thread.
    void Place(QWidget& item, ControlId id) const;

private:
    int X(int units) const;
    int Y(int units) const;

    QWidget& m_dialog;
    const DialogTemplate* m_template;
    int m_baseX;
    int m_baseY;
};

} // namespace zarn
