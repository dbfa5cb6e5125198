// Texts between the launcher's 8-bit strings and the wide strings of the Win32 API's W functions.
#pragma once

#include "res/StringIds.h"

#include <string>

namespace zarn {

// `text`, held in the platform's 8-bit code page (names and paths from lists and files), as a wide string, so that
// the user's code page shows it right. Empty when it cannot be converted. Any thread.
std::wstring WideFromCodePage(const std::string& text);

// `text` (UTF-8) as a wide string; empty when it is not UTF-8. Any thread.
std::wstring WideFromUtf8(const std::string& text);

// `text` in the platform's 8-bit code page, the way the launcher's strings hold it; empty when it cannot be
// converted. Any thread.
std::string CodePageFromWide(const std::wstring& text);

// `text` in UTF-8. Any thread.
std::string Utf8FromWide(const std::wstring& text);

// String `id` of the string table (held in UTF-8) as a wide string; empty for an unknown id. Any thread.
std::wstring ResourceText(StringId id);

} // namespace zarn
