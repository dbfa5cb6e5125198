// A design control library as a vendor builds one: its factory export makes a small widget in the view.
#include "view/DesignControlEntry.h"

#include <QLabel>

extern "C" Q_DECL_EXPORT QWidget* ZarnCreateDesignControl(QWidget* parent) {
    static_assert(std::is_same_v<decltype(&ZarnCreateDesignControl), zarn::DesignControlFactory>);
    auto* control = new QLabel(QStringLiteral("test design surface"), parent);
    control->setAutoFillBackground(true);
    return control;
}
