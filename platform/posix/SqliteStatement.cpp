#include "platform/posix/SqliteStatement.h"

#include <sqlite3.h>

namespace zarn::platform {

namespace {

// SQLite's extended codes carry the primary code in their low byte; callers map only primary codes.
[[noreturn]] void Fail(int rc) {
    throw SqliteStatement::Error{rc & 0xff};
}

} // namespace

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) {
    int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        Fail(rc);
    }
}

SqliteStatement::SqliteStatement(sqlite3_stmt* kept) : m_stmt(kept), m_kept(true) {}

SqliteStatement::~SqliteStatement() {
    if (m_kept) {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    } else {
        sqlite3_finalize(m_stmt);
    }
}

SqliteStatement& SqliteStatement::Bind(int index, std::int64_t value) {
    int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK)
        Fail(rc);
    return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, std::string_view text) {
    // A null pointer would bind SQL NULL, and the columns are NOT NULL: an empty name must stay an empty text.
    int rc =
        sqlite3_bind_text64(m_stmt, index, text.empty() ? "" : text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    if (rc != SQLITE_OK)
        Fail(rc);
    return *this;
}

SqliteStatement& SqliteStatement::BindBlob(int index, const void* data, std::size_t size) {
    // Same reason as above: an empty value is a zero-length blob, not NULL.
    int rc = size == 0 ? sqlite3_bind_zeroblob(m_stmt, index, 0)
                       : sqlite3_bind_blob64(m_stmt, index, data, size, SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        Fail(rc);
    return *this;
}

bool SqliteStatement::Step() {
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    Fail(rc);
}

void SqliteStatement::Run() {
    while (Step()) {
    }
}

std::int64_t SqliteStatement::Int(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

std::string SqliteStatement::Text(int column) const {
    const unsigned char* text = sqlite3_column_text(m_stmt, column);
    int size = sqlite3_column_bytes(m_stmt, column);
    if (text == nullptr)
        return {};
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

std::vector<std::uint8_t> SqliteStatement::Blob(int column) const {
    const void* data = sqlite3_column_blob(m_stmt, column);
    int size = sqlite3_column_bytes(m_stmt, column);
    if (data == nullptr || size <= 0)
        return {};
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return std::vector<std::uint8_t>(bytes, bytes + size);
}

sqlite3_stmt* SqliteStatement::Prepare(sqlite3* db, std::string_view sql) {
    sqlite3_stmt* stmt = nullptr;
    int rc =
        sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        Fail(rc);
    }
    return stmt;
}

void SqliteStatement::Execute(sqlite3* db, const char* sql) {
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        Fail(rc);
}

} // namespace zarn::platform
