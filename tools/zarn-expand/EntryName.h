// The check that a cabinet entry's name stays inside the directory it is expanded into. Portable: no expander
// library and no system header, so every build of the expander refuses the same names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zarn {

struct EntryPath {
    // The name's segments, in order, when it is accepted; empty when it is refused.
    std::vector<std::string> segments;
    // Why the name is refused; nullptr when it is accepted.
    const char* refusal = nullptr;
};

// Splits a cabinet entry name at '\' and '/' into segments that name a file below the target directory, or
// refuses it: an empty name, a leading separator, any ':' (drives, streams), an empty segment, "." or ".."
// or any segment ending in '.' or ' ' (which Windows drops, so ".. " would name the parent there), a
// control character (NUL included), one of <>"|?*, or a Windows device name (CON, NUL, COM1.txt, CONIN$,
// COM followed by a superscript digit, "CON .txt", ...).
// Nothing is normalised: a refused name is never rewritten into an accepted one. Any thread.
EntryPath CheckEntryName(std::string_view name);

// The entry name with every byte outside printable ASCII shown as \xNN, for messages. Any thread.
std::string PrintableEntryName(std::string_view name);

} // namespace zarn
