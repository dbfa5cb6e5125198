// The design control's factory: ZarnCreateDesignControl makes the control in the launcher's view, opened on the
// document of the start file.
#include "samples/design/DesignControl.h"
#include "samples/design/DesignModule.h"
#include "view/DesignControlEntry.h"

#include <type_traits>

QUILLORNA_DESIGN_EXPORT QWidget* ZarnCreateDesignControl(QWidget* parent) {
    static_assert(std::is_same_v<decltype(&ZarnCreateDesignControl), zarn::DesignControlFactory>);
    return new quillorna::DesignControl(QString::fromLocal8Bit(quillorna::StartDocument()), parent);
}
