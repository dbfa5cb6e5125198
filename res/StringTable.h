// The string table: every fixed text the launcher shows, by its resource id, in UTF-8.
#pragma once

#include "res/StringIds.h"

#include <string>

namespace zarn {

// The text of string `id`; empty for an unknown id. Any thread.
const std::string& LoadString(StringId id);

// String `id` with %1 (and %2) replaced by the arguments, as the framework's formatting does:
// no other substitution is made. Any thread.
std::string FormatString(StringId id, const std::string& arg1);
std::string FormatString(StringId id, const std::string& arg1, const std::string& arg2);

} // namespace zarn
