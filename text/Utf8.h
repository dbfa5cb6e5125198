// UTF-8 encoding of single code points, for texts that leave the launcher as UTF-8 (the console's JSON, settings
// carried over from files that escape characters by number).
#pragma once

#include <cstdint>
#include <string>

namespace zarn {

// Appends `codePoint` to `out` in UTF-8 (one to four bytes). A value past U+10FFFF or a surrogate becomes
// U+FFFD. Any thread; never fails.
void AppendUtf8(std::string& out, std::uint32_t codePoint);

} // namespace zarn
