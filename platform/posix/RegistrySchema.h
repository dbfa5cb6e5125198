// The tables of a registry database file, and the steps that bring a file written by an older version up to them.
#pragma once

#include <string>
#include <string_view>

struct sqlite3;

namespace zarn::platform {

class RegistrySchema {
public:
    // Makes the tables in an empty file or brings an older file's up to date, in one transaction of its own; a file
    // that is not one of ours is left alone. Registers the SQL functions the steps use on db. Throws
    // SqliteStatement::Error (SQLITE_NOTADB for another program's file).
    static void Prepare(sqlite3* db);

    // True when the file on db is one of ours, false when it is empty. Only reads. Throws SqliteStatement::Error
    // (SQLITE_NOTADB for another program's file, whatever SQLite finds wrong with a damaged one).
    static bool CheckOwner(sqlite3* db);

    // The form in which key and value names are compared and sorted: each char of code page 1252 upper-cased and
    // written as the UTF-8 of its Unicode code point, so that the order of the bytes is the order of the upper-case
    // names' code points, as Windows sorts a key's subkeys ("_" after the letters, "\xC4" after "Z").
    static std::string Fold(std::string_view name);
};

} // namespace zarn::platform
