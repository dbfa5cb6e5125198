#include "platform/posix/RegistryStore.h"

#include "platform/posix/RegistrySchema.h"
#include "platform/posix/RegistryStorePool.h"
#include "platform/posix/SqliteStatement.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <new>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace zarn::platform {

namespace {

// Several seconds: another process may hold the write lock for the length of one value write, and a burst of
// writers queues behind it.
constexpr int kBusyTimeoutMs = 15000;

// Enumeration positions remembered per key; more keys being enumerated at once than this start afresh.
constexpr std::size_t kMaxCursors = 256;

LONG ErrorFromSqlite(int code) {
    switch (code) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_SCHEMA:
    case SQLITE_FORMAT:
        return ERROR_BADDB;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return ERROR_ACCESS_DENIED;
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_REGISTRY_IO_FAILED;
    }
}

std::uint64_t FileTimeNow() {
    using namespace std::chrono;
    constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
    auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
    return kUnixEpochAsFileTime + static_cast<std::uint64_t>(since1970 / 100);
}

DWORD ClampToDword(std::int64_t n) {
    if (n < 0)
        return 0;
    if (n > 0xFFFFFFFFll)
        return 0xFFFFFFFFu;
    return static_cast<DWORD>(n);
}

} // namespace

RegistryStore::RegistryStore(std::string path) : m_path(std::move(path)), m_pid(RegistryStorePool::ProcessId()) {}

RegistryStore::~RegistryStore() {
    DropConnection();
}

void RegistryStore::DropConnection() {
    for (auto& [sql, stmt] : m_statements)
        sqlite3_finalize(stmt);
    m_statements.clear();
    m_keyCursors.clear();
    m_valueCursors.clear();
    if (m_db != nullptr)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

SqliteStatement RegistryStore::Statement(const char* sql) {
    auto found = m_statements.find(sql);
    if (found == m_statements.end())
        found = m_statements.emplace(sql, SqliteStatement::Prepare(m_db, sql)).first;
    return SqliteStatement(found->second);
}

unsigned RegistryStore::DataVersion() {
    unsigned version = 0;
    if (sqlite3_file_control(m_db, "main", SQLITE_FCNTL_DATA_VERSION, &version) != SQLITE_OK)
        throw SqliteStatement::Error{SQLITE_IOERR};
    return version;
}

void RegistryStore::ForgetMovedCursors() {
    // Any change to the file, by this connection or another, may have moved every position.
    const unsigned version = DataVersion();
    if (version != m_cursorVersion || m_keyCursors.size() > kMaxCursors || m_valueCursors.size() > kMaxCursors) {
        m_keyCursors.clear();
        m_valueCursors.clear();
        m_cursorVersion = version;
    }
}

const RegistryStore::KeyCursor* RegistryStore::FindKeyCursor(std::int64_t key, DWORD index) {
    ForgetMovedCursors();
    auto found = m_keyCursors.find(key);
    if (found == m_keyCursors.end() || (found->second.index != index && found->second.index + 1 != index))
        return nullptr;
    return &found->second;
}

const RegistryStore::ValueCursor* RegistryStore::FindValueCursor(std::int64_t key, DWORD index) {
    ForgetMovedCursors();
    auto found = m_valueCursors.find(key);
    if (found == m_valueCursors.end() || (found->second.index != index && found->second.index + 1 != index))
        return nullptr;
    return &found->second;
}

bool RegistryStore::IsStale() {
    std::lock_guard lock(m_mutex);
    if (!m_identityKnown)
        return false;
    struct stat st {};
    if (stat(m_path.c_str(), &st) != 0)
        return true;
    return st.st_dev != m_device || st.st_ino != m_inode;
}

void RegistryStore::Close() {
    std::lock_guard lock(m_mutex);
    DropConnection();
    m_closed = true;
}

namespace {

// Opens path and makes sure it is one of our databases in the current schema. Throws
// SqliteStatement::Error; the connection is closed on failure.
sqlite3* OpenDatabase(const std::string& path) {
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        throw SqliteStatement::Error{rc & 0xff};
    }
    try {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // WAL lets readers go on while one process writes; NORMAL sync is safe with WAL against a crash of the
        // process, and each write is its own transaction.
        SqliteStatement::Execute(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
        RegistrySchema::Prepare(db);
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
    return db;
}

} // namespace

// On any failure the connection is dropped, so the next operation tries again (a damaged file may have been
// repaired). Throws SqliteStatement::Error.
void RegistryStore::Open() {
    // Two processes making a new file at once: switching it to WAL takes a lock that SQLite does not wait for, so
    // a busy start is tried again within the usual busy timeout.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
        try {
            m_db = OpenDatabase(m_path);
            break;
        } catch (const SqliteStatement::Error& error) {
            bool busy = error.code == SQLITE_BUSY || error.code == SQLITE_LOCKED;
            if (!busy || std::chrono::steady_clock::now() >= deadline)
                throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    struct stat st {};
    if (stat(m_path.c_str(), &st) == 0) {
        m_identityKnown = true;
        m_device = st.st_dev;
        m_inode = st.st_ino;
    }
}

template <class Body> LONG RegistryStore::Transact(bool write, Body&& body) {
    // A connection must not be used across fork(); the child reaches the file through a store of its own.
    if (RegistryStorePool::ProcessId() != m_pid)
        return ERROR_INVALID_HANDLE;
    std::lock_guard lock(m_mutex);
    if (m_closed)
        return ERROR_KEY_DELETED;
    try {
        if (m_db == nullptr)
            Open();
        // IMMEDIATE takes the write lock up front, where the busy timeout applies; a deferred transaction that
        // upgrades later could fail at once under WAL when another process wrote in between.
        Statement(write ? "BEGIN IMMEDIATE" : "BEGIN").Run();
        LONG result = body();
        Statement(result == ERROR_SUCCESS || !write ? "COMMIT" : "ROLLBACK").Run();
        return result;
    } catch (const SqliteStatement::Error& error) {
        if (m_db != nullptr && !sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return ErrorFromSqlite(error.code);
    } catch (const std::bad_alloc&) {
        if (m_db != nullptr && !sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

std::size_t RegistryStore::KeyDepth(std::int64_t key) {
    // Counted from the predefined key (depth 0); stops past the limit, so a deeper chain in an older file costs no
    // more than the limit's worth of steps.
    std::size_t depth = 0;
    for (std::int64_t current = key; depth <= kMaxDepth; ++depth) {
        SqliteStatement parent = Statement("SELECT parent FROM reg_keys WHERE id = ?");
        parent.Bind(1, current);
        if (!parent.Step() || parent.Int(0) == 0)
            break;
        current = parent.Int(0);
    }
    return depth;
}

bool RegistryStore::KeyExists(std::int64_t key) {
    SqliteStatement query = Statement("SELECT 1 FROM reg_keys WHERE id = ?");
    query.Bind(1, key);
    return query.Step();
}

LONG RegistryStore::OpenPath(std::int64_t base, const std::vector<std::string>& names, std::int64_t& key) {
    return Transact(false, [&]() -> LONG {
        // Whether base still exists matters only when no child of it was found.
        if (names.empty() && !KeyExists(base))
            return ERROR_KEY_DELETED;
        std::int64_t current = base;
        for (const std::string& name : names) {
            SqliteStatement child = Statement("SELECT id FROM reg_keys WHERE parent = ? AND folded = ?");
            child.Bind(1, current).Bind(2, RegistrySchema::Fold(name));
            if (!child.Step())
                return current == base && !KeyExists(base) ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
            current = child.Int(0);
        }
        key = current;
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::CreatePath(std::int64_t base, const std::vector<std::string>& names, std::string_view keyClass,
                               bool mayCreate, std::int64_t& key, bool& created) {
    return Transact(true, [&]() -> LONG {
        if (!KeyExists(base))
            return ERROR_KEY_DELETED;
        if (KeyDepth(base) + names.size() > kMaxDepth)
            return ERROR_INVALID_PARAMETER;
        std::int64_t current = base;
        bool madeLast = false;
        for (std::size_t i = 0; i < names.size(); ++i) {
            SqliteStatement child = Statement("SELECT id FROM reg_keys WHERE parent = ? AND folded = ?");
            child.Bind(1, current).Bind(2, RegistrySchema::Fold(names[i]));
            if (child.Step()) {
                current = child.Int(0);
                madeLast = false;
                continue;
            }
            if (!mayCreate)
                return ERROR_ACCESS_DENIED;
            const std::int64_t now = static_cast<std::int64_t>(FileTimeNow());
            const std::string_view madeClass = i + 1 == names.size() ? keyClass : "";
            SqliteStatement insert = Statement("INSERT INTO reg_keys(parent, name, folded, class, written) "
                                               "VALUES(?, ?, ?, ?, ?) RETURNING id");
            insert.Bind(1, current)
                .Bind(2, names[i])
                .Bind(3, RegistrySchema::Fold(names[i]))
                .Bind(4, madeClass)
                .Bind(5, now);
            if (!insert.Step())
                return ERROR_REGISTRY_IO_FAILED;
            std::int64_t made = insert.Int(0);
            insert.Run();
            Statement("UPDATE reg_keys SET subkeys = subkeys + 1, max_subkey_len = max(max_subkey_len, ?), "
                      "max_class_len = max(max_class_len, ?), written = ? WHERE id = ?")
                .Bind(1, static_cast<std::int64_t>(names[i].size()))
                .Bind(2, static_cast<std::int64_t>(madeClass.size()))
                .Bind(3, now)
                .Bind(4, current)
                .Run();
            current = made;
            madeLast = true;
        }
        key = current;
        created = madeLast;
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::QueryValue(std::int64_t key, std::string_view name, Value& value) {
    return Transact(false, [&]() -> LONG {
        if (!KeyExists(key))
            return ERROR_KEY_DELETED;
        SqliteStatement query = Statement("SELECT type, data FROM reg_values WHERE key = ? AND folded = ?");
        query.Bind(1, key).Bind(2, RegistrySchema::Fold(name));
        if (!query.Step())
            return ERROR_FILE_NOT_FOUND;
        value.type = static_cast<DWORD>(query.Int(0));
        value.data = query.Blob(1);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::SetValue(std::int64_t key, std::string_view name, DWORD type, const BYTE* data, std::size_t size) {
    return Transact(true, [&]() -> LONG {
        if (!KeyExists(key))
            return ERROR_KEY_DELETED;
        // An existing value keeps its row, and so its place in the enumeration order and its name as first
        // written, as the Windows registry does.
        const std::int64_t now = static_cast<std::int64_t>(FileTimeNow());
        const auto length = static_cast<std::int64_t>(size);
        SqliteStatement find = Statement("SELECT id FROM reg_values WHERE key = ? AND folded = ?");
        find.Bind(1, key).Bind(2, RegistrySchema::Fold(name));
        if (find.Step()) {
            Statement("UPDATE reg_values SET type = ?, data = ? WHERE id = ?")
                .Bind(1, static_cast<std::int64_t>(type))
                .BindBlob(2, data, size)
                .Bind(3, find.Int(0))
                .Run();
            Statement("UPDATE reg_keys SET max_value_len = max(max_value_len, ?), written = ? WHERE id = ?")
                .Bind(1, length)
                .Bind(2, now)
                .Bind(3, key)
                .Run();
            return ERROR_SUCCESS;
        }
        Statement("INSERT INTO reg_values(key, name, folded, type, data) VALUES(?, ?, ?, ?, ?)")
            .Bind(1, key)
            .Bind(2, name)
            .Bind(3, RegistrySchema::Fold(name))
            .Bind(4, static_cast<std::int64_t>(type))
            .BindBlob(5, data, size)
            .Run();
        Statement("UPDATE reg_keys SET value_count = value_count + 1, max_value_name_len = max(max_value_name_len, ?), "
                  "max_value_len = max(max_value_len, ?), written = ? WHERE id = ?")
            .Bind(1, static_cast<std::int64_t>(name.size()))
            .Bind(2, length)
            .Bind(3, now)
            .Bind(4, key)
            .Run();
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::DeleteValue(std::int64_t key, std::string_view name) {
    return Transact(true, [&]() -> LONG {
        if (!KeyExists(key))
            return ERROR_KEY_DELETED;
        SqliteStatement find = Statement("SELECT id FROM reg_values WHERE key = ? AND folded = ?");
        find.Bind(1, key).Bind(2, RegistrySchema::Fold(name));
        if (!find.Step())
            return ERROR_FILE_NOT_FOUND;
        Statement("DELETE FROM reg_values WHERE id = ?").Bind(1, find.Int(0)).Run();
        // The longest lengths stay as they were until the last value goes, as Windows keeps them.
        Statement("UPDATE reg_keys SET value_count = value_count - 1, "
                  "max_value_name_len = CASE WHEN value_count > 1 THEN max_value_name_len ELSE 0 END, "
                  "max_value_len = CASE WHEN value_count > 1 THEN max_value_len ELSE 0 END, written = ? WHERE id = ?")
            .Bind(1, static_cast<std::int64_t>(FileTimeNow()))
            .Bind(2, key)
            .Run();
        return ERROR_SUCCESS;
    });
}

// One write transaction and, for a key without values, three statements: find it (its row says whether it has
// subkeys or values), delete it, count it off its parent.
LONG RegistryStore::DeleteKey(std::int64_t base, const std::vector<std::string>& names) {
    return Transact(true, [&]() -> LONG {
        std::int64_t key = base;
        std::int64_t parent = 0;
        std::int64_t subkeys = 0;
        std::int64_t values = 0;
        if (names.empty()) {
            SqliteStatement self = Statement("SELECT parent, subkeys, value_count FROM reg_keys WHERE id = ?");
            self.Bind(1, base);
            if (!self.Step())
                return ERROR_KEY_DELETED;
            parent = self.Int(0);
            subkeys = self.Int(1);
            values = self.Int(2);
        }
        for (const std::string& name : names) {
            SqliteStatement child = Statement("SELECT id, subkeys, value_count FROM reg_keys "
                                              "WHERE parent = ? AND folded = ?");
            child.Bind(1, key).Bind(2, RegistrySchema::Fold(name));
            if (!child.Step())
                return key == base && !KeyExists(base) ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
            parent = key;
            key = child.Int(0);
            subkeys = child.Int(1);
            values = child.Int(2);
        }
        if (parent == 0 || subkeys > 0)
            return ERROR_ACCESS_DENIED;
        if (values > 0)
            Statement("DELETE FROM reg_values WHERE key = ?").Bind(1, key).Run();
        Statement("DELETE FROM reg_keys WHERE id = ?").Bind(1, key).Run();
        // The longest lengths stay as they were until the last subkey goes, as Windows keeps them.
        Statement("UPDATE reg_keys SET subkeys = subkeys - 1, "
                  "max_subkey_len = CASE WHEN subkeys > 1 THEN max_subkey_len ELSE 0 END, "
                  "max_class_len = CASE WHEN subkeys > 1 THEN max_class_len ELSE 0 END, written = ? WHERE id = ?")
            .Bind(1, static_cast<std::int64_t>(FileTimeNow()))
            .Bind(2, parent)
            .Run();
        return ERROR_SUCCESS;
    });
}

// An enumeration asks for index 0, 1, 2, ... in turn: the row found last for a key is remembered, so the next index
// is one step along an index instead of a count from the start. Subkeys come in the order of their folded names,
// values in the order of creation.
LONG RegistryStore::EnumKey(std::int64_t key, DWORD index, std::string& name) {
    return Transact(false, [&]() -> LONG {
        if (!KeyExists(key))
            return ERROR_KEY_DELETED;
        const KeyCursor* cursor = FindKeyCursor(key, index);
        SqliteStatement query =
            cursor == nullptr
                ? Statement("SELECT name, folded FROM reg_keys WHERE parent = ? ORDER BY folded LIMIT 1 OFFSET ?")
            : cursor->index == index
                ? Statement(
                      "SELECT name, folded FROM reg_keys WHERE parent = ? AND folded >= ? ORDER BY folded LIMIT 1")
                : Statement(
                      "SELECT name, folded FROM reg_keys WHERE parent = ? AND folded > ? ORDER BY folded LIMIT 1");
        query.Bind(1, key);
        if (cursor == nullptr)
            query.Bind(2, static_cast<std::int64_t>(index));
        else
            query.Bind(2, cursor->folded);
        if (!query.Step())
            return ERROR_NO_MORE_ITEMS;
        name = query.Text(0);
        m_keyCursors[key] = KeyCursor{index, query.Text(1)};
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::EnumValue(std::int64_t key, DWORD index, std::string& name, Value& value) {
    return Transact(false, [&]() -> LONG {
        if (!KeyExists(key))
            return ERROR_KEY_DELETED;
        const ValueCursor* cursor = FindValueCursor(key, index);
        SqliteStatement query =
            cursor == nullptr
                ? Statement("SELECT id, name, type, data FROM reg_values WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?")
            : cursor->index == index
                ? Statement("SELECT id, name, type, data FROM reg_values WHERE key = ? AND id >= ? ORDER BY id LIMIT 1")
                : Statement("SELECT id, name, type, data FROM reg_values WHERE key = ? AND id > ? ORDER BY id LIMIT 1");
        query.Bind(1, key).Bind(2, cursor == nullptr ? static_cast<std::int64_t>(index) : cursor->id);
        if (!query.Step())
            return ERROR_NO_MORE_ITEMS;
        m_valueCursors[key] = ValueCursor{index, query.Int(0)};
        name = query.Text(1);
        value.type = static_cast<DWORD>(query.Int(2));
        value.data = query.Blob(3);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::QueryInfo(std::int64_t key, KeyInfo& info) {
    return Transact(false, [&]() -> LONG {
        SqliteStatement self = Statement("SELECT class, written, subkeys, max_subkey_len, max_class_len, value_count, "
                                         "max_value_name_len, max_value_len FROM reg_keys WHERE id = ?");
        self.Bind(1, key);
        if (!self.Step())
            return ERROR_KEY_DELETED;
        info.keyClass = self.Text(0);
        info.lastWriteTime = static_cast<std::uint64_t>(self.Int(1));
        info.subKeys = ClampToDword(self.Int(2));
        info.maxSubKeyLen = ClampToDword(self.Int(3));
        info.maxClassLen = ClampToDword(self.Int(4));
        info.values = ClampToDword(self.Int(5));
        info.maxValueNameLen = ClampToDword(self.Int(6));
        info.maxValueLen = ClampToDword(self.Int(7));
        return ERROR_SUCCESS;
    });
}

} // namespace zarn::platform
