#include "res/qt/ResourceText.h"

#include "res/StringTable.h"

namespace zarn {

QString ResourceText(StringId id) {
    return QString::fromStdString(LoadString(id));
}

} // namespace zarn
