// The design control's factory: ZarnCreateDesignControl makes the control in the launcher's view, opened on the
// document of the start file.
#include "samples/design/DesignControl.h"
#include "samples/design/DesignModule.h"
#include "view/DesignControlEntry.h"

#include <QFile>
#include <filesystem>
#include <type_traits>

namespace {

// The document the launcher hands over: the start file in temp/ of the application directory, the folder above
// the control's own. Empty when there is none.
QString StartDocument() {
    const std::filesystem::path self = quillorna::DesignModuleFile();
    if (self.empty())
        return {};
    QFile file(QString::fromStdString((self.parent_path().parent_path() / "temp" / "startfile.txt").string()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll());
}

} // namespace

QUILLORNA_DESIGN_EXPORT QWidget* ZarnCreateDesignControl(QWidget* parent) {
    static_assert(std::is_same_v<decltype(&ZarnCreateDesignControl), zarn::DesignControlFactory>);
    return new quillorna::DesignControl(StartDocument(), parent);
}
