// The console mode's table of the component records: plain, with aligned columns Component, Version and Status,
// or as JSON.
#pragma once

#include "components/ComponentListReader.h"

#include <string>
#include <string_view>

namespace zarn {

class ConsoleTable {
public:
    // One header line and one line per record (description, listed version, status), each column as wide as its
    // widest entry and two blanks apart, every line ending in a line end. Any thread.
    static std::string Plain(const ComponentList& records);

    // One line "<description>: <why>" per record that did not become current for a known reason (m_failure, its
    // line breaks as blanks), after an empty line; empty when there is none. Any thread.
    static std::string Failures(const ComponentList& records);

    // {"components":[{"desc":…,"name":…,"version":"a.b.c.d","status":…,"installType":…,"fileName":…},…]} and a
    // line end, a record with m_failure also with "reason":…; the list's single-byte texts are read as
    // Windows-1252 and written as escaped UTF-8. Any thread.
    static std::string Json(const ComponentList& records);

    // `text` (Windows-1252) as a JSON string literal with its quotes. Any thread.
    static std::string JsonString(std::string_view text);
};

} // namespace zarn
