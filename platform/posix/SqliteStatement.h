// One prepared SQLite statement, finalized when the object goes away.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace zarn::platform {

class SqliteStatement {
public:
    // What every failing call of this class throws: the SQLite primary result code. Caught inside the registry
    // library; never leaves it.
    struct Error {
        int code;
    };

    // Prepares sql on db. Calling thread must hold the connection; throws Error when SQLite refuses the text.
    SqliteStatement(sqlite3* db, std::string_view sql);
    // Uses a statement that its owner keeps prepared (see Prepare): it is reset and its bindings cleared when this
    // object goes, instead of being finalized.
    explicit SqliteStatement(sqlite3_stmt* kept);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // Binders take 1-based parameter indices as SQLite does; the text and bytes are copied. Throw Error on failure.
    SqliteStatement& Bind(int index, std::int64_t value);
    SqliteStatement& Bind(int index, std::string_view text);
    SqliteStatement& BindBlob(int index, const void* data, std::size_t size);

    // Runs to the next row: true when a row is there, false when done. Throws Error on failure.
    bool Step();
    // Runs a statement that gives no rows (or whose rows are not wanted) to its end. Throws Error on failure.
    void Run();

    // Columns of the current row, 0-based.
    std::int64_t Int(int column) const;
    std::string Text(int column) const;
    std::vector<std::uint8_t> Blob(int column) const;

    // Runs sql (one or more statements, no parameters) on db; throws Error on failure.
    static void Execute(sqlite3* db, const char* sql);
    // Prepares sql on db to be kept and used many times through the constructor above; the caller finalizes it
    // with sqlite3_finalize. Throws Error when SQLite refuses the text.
    static sqlite3_stmt* Prepare(sqlite3* db, std::string_view sql);

private:
    sqlite3_stmt* m_stmt = nullptr;
    bool m_kept = false;
};

} // namespace zarn::platform
