// The string table's texts as the Qt windows show them.
#pragma once

#include "res/StringIds.h"

#include <QString>

namespace zarn {

// The text of string `id` (empty for an unknown id). Any thread.
QString ResourceText(StringId id);

} // namespace zarn
