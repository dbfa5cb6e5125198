#include "platform/posix/RegistryStore.h"

#include "platform/posix/SqliteStatement.h"

#include <chrono>
#include <new>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace zarn {

namespace {

// Marks a database as ours, so that another program's SQLite file is reported as damaged instead of being
// extended with our tables.
constexpr std::int64_t kApplicationId = 0x5A524547; // "ZREG"

// Several seconds: another process may hold the write lock for the length of one value write, and a burst of
// writers queues behind it.
constexpr int kBusyTimeoutMs = 15000;

// AUTOINCREMENT keeps ids of deleted keys from coming back, so a handle to a deleted key can never reach a key
// made later. The NOCASE collation folds ASCII letters only, as single-byte names need.
constexpr const char* kSchema = R"sql(
CREATE TABLE reg_keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    class TEXT NOT NULL DEFAULT '',
    written INTEGER NOT NULL DEFAULT 0,
    UNIQUE(parent, name));
CREATE TABLE reg_values(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    key INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, name));
INSERT INTO reg_keys(id, parent, name) VALUES
    (1, 0, 'HKEY_CLASSES_ROOT'), (2, 0, 'HKEY_CURRENT_USER'), (3, 0, 'HKEY_LOCAL_MACHINE'), (4, 0, 'HKEY_USERS');
PRAGMA application_id = 1515341127;
)sql";

static_assert(kApplicationId == 1515341127, "the schema text sets the same id");

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

RegistryStore::RegistryStore(std::string path) : m_path(std::move(path)), m_pid(getpid()) {}

RegistryStore::~RegistryStore() {
    if (m_db != nullptr)
        sqlite3_close_v2(m_db);
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
    if (m_db != nullptr)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_closed = true;
}

namespace {

// Opens path and makes sure it is one of our databases, making the schema in an empty file. Throws
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
        SqliteStatement::Execute(db, "BEGIN IMMEDIATE");
        std::int64_t appId = 0;
        std::int64_t objects = 0;
        {
            SqliteStatement query(db, "PRAGMA application_id");
            if (query.Step())
                appId = query.Int(0);
            SqliteStatement count(db, "SELECT count(*) FROM sqlite_master");
            if (count.Step())
                objects = count.Int(0);
        }
        if (appId == 0 && objects == 0)
            SqliteStatement::Execute(db, kSchema);
        else if (appId != kApplicationId)
            throw SqliteStatement::Error{SQLITE_NOTADB};
        SqliteStatement::Execute(db, "COMMIT");
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
    if (getpid() != m_pid)
        return ERROR_INVALID_HANDLE;
    std::lock_guard lock(m_mutex);
    if (m_closed)
        return ERROR_KEY_DELETED;
    try {
        if (m_db == nullptr)
            Open();
        // IMMEDIATE takes the write lock up front, where the busy timeout applies; a deferred transaction that
        // upgrades later could fail at once under WAL when another process wrote in between.
        SqliteStatement::Execute(m_db, write ? "BEGIN IMMEDIATE" : "BEGIN");
        LONG result = body();
        SqliteStatement::Execute(m_db, result == ERROR_SUCCESS || !write ? "COMMIT" : "ROLLBACK");
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
        SqliteStatement parent(m_db, "SELECT parent FROM reg_keys WHERE id = ?");
        parent.Bind(1, current);
        if (!parent.Step() || parent.Int(0) == 0)
            break;
        current = parent.Int(0);
    }
    return depth;
}

bool RegistryStore::KeyExists(std::int64_t key) {
    SqliteStatement query(m_db, "SELECT 1 FROM reg_keys WHERE id = ?");
    query.Bind(1, key);
    return query.Step();
}

void RegistryStore::Touch(std::int64_t key) {
    SqliteStatement update(m_db, "UPDATE reg_keys SET written = ? WHERE id = ?");
    update.Bind(1, static_cast<std::int64_t>(FileTimeNow())).Bind(2, key).Run();
}

LONG RegistryStore::OpenPath(std::int64_t base, const std::vector<std::string>& names, std::int64_t& key) {
    return Transact(false, [&]() -> LONG {
        if (!KeyExists(base))
            return ERROR_KEY_DELETED;
        std::int64_t current = base;
        for (const std::string& name : names) {
            SqliteStatement child(m_db, "SELECT id FROM reg_keys WHERE parent = ? AND name = ?");
            child.Bind(1, current).Bind(2, name);
            if (!child.Step())
                return ERROR_FILE_NOT_FOUND;
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
            SqliteStatement child(m_db, "SELECT id FROM reg_keys WHERE parent = ? AND name = ?");
            child.Bind(1, current).Bind(2, names[i]);
            if (child.Step()) {
                current = child.Int(0);
                madeLast = false;
                continue;
            }
            if (!mayCreate)
                return ERROR_ACCESS_DENIED;
            std::int64_t now = static_cast<std::int64_t>(FileTimeNow());
            SqliteStatement insert(m_db, "INSERT INTO reg_keys(parent, name, class, written) VALUES(?, ?, ?, ?) "
                                         "RETURNING id");
            insert.Bind(1, current).Bind(2, names[i]).Bind(3, i + 1 == names.size() ? keyClass : "").Bind(4, now);
            if (!insert.Step())
                return ERROR_REGISTRY_IO_FAILED;
            std::int64_t made = insert.Int(0);
            insert.Run();
            Touch(current);
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
        SqliteStatement query(m_db, "SELECT type, data FROM reg_values WHERE key = ? AND name = ?");
        query.Bind(1, key).Bind(2, name);
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
        SqliteStatement upsert(m_db, "INSERT INTO reg_values(key, name, type, data) VALUES(?, ?, ?, ?) "
                                     "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
        upsert.Bind(1, key).Bind(2, name).Bind(3, static_cast<std::int64_t>(type)).BindBlob(4, data, size).Run();
        Touch(key);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::DeleteValue(std::int64_t key, std::string_view name) {
    return Transact(true, [&]() -> LONG {
        if (!KeyExists(key))
            return ERROR_KEY_DELETED;
        SqliteStatement find(m_db, "SELECT id FROM reg_values WHERE key = ? AND name = ?");
        find.Bind(1, key).Bind(2, name);
        if (!find.Step())
            return ERROR_FILE_NOT_FOUND;
        SqliteStatement remove(m_db, "DELETE FROM reg_values WHERE id = ?");
        remove.Bind(1, find.Int(0)).Run();
        Touch(key);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::DeleteKey(std::int64_t key) {
    return Transact(true, [&]() -> LONG {
        SqliteStatement find(m_db, "SELECT parent FROM reg_keys WHERE id = ?");
        find.Bind(1, key);
        if (!find.Step())
            return ERROR_KEY_DELETED;
        std::int64_t parent = find.Int(0);
        if (parent == 0)
            return ERROR_ACCESS_DENIED;
        SqliteStatement children(m_db, "SELECT 1 FROM reg_keys WHERE parent = ? LIMIT 1");
        children.Bind(1, key);
        if (children.Step())
            return ERROR_ACCESS_DENIED;
        SqliteStatement(m_db, "DELETE FROM reg_values WHERE key = ?").Bind(1, key).Run();
        SqliteStatement(m_db, "DELETE FROM reg_keys WHERE id = ?").Bind(1, key).Run();
        Touch(parent);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::EnumKey(std::int64_t key, DWORD index, std::string& name) {
    return Transact(false, [&]() -> LONG {
        if (!KeyExists(key))
            return ERROR_KEY_DELETED;
        SqliteStatement query(m_db, "SELECT name FROM reg_keys WHERE parent = ? ORDER BY id LIMIT 1 OFFSET ?");
        query.Bind(1, key).Bind(2, static_cast<std::int64_t>(index));
        if (!query.Step())
            return ERROR_NO_MORE_ITEMS;
        name = query.Text(0);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::EnumValue(std::int64_t key, DWORD index, std::string& name, Value& value) {
    return Transact(false, [&]() -> LONG {
        if (!KeyExists(key))
            return ERROR_KEY_DELETED;
        SqliteStatement query(m_db,
                              "SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY id LIMIT 1 OFFSET ?");
        query.Bind(1, key).Bind(2, static_cast<std::int64_t>(index));
        if (!query.Step())
            return ERROR_NO_MORE_ITEMS;
        name = query.Text(0);
        value.type = static_cast<DWORD>(query.Int(1));
        value.data = query.Blob(2);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::QueryInfo(std::int64_t key, KeyInfo& info) {
    return Transact(false, [&]() -> LONG {
        SqliteStatement self(m_db, "SELECT class, written FROM reg_keys WHERE id = ?");
        self.Bind(1, key);
        if (!self.Step())
            return ERROR_KEY_DELETED;
        info.keyClass = self.Text(0);
        info.lastWriteTime = static_cast<std::uint64_t>(self.Int(1));
        // Lengths in bytes of the stored text: single-byte names, so bytes are chars.
        SqliteStatement keys(m_db, "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0), "
                                   "coalesce(max(length(CAST(class AS BLOB))), 0) FROM reg_keys WHERE parent = ?");
        keys.Bind(1, key);
        if (keys.Step()) {
            info.subKeys = ClampToDword(keys.Int(0));
            info.maxSubKeyLen = ClampToDword(keys.Int(1));
            info.maxClassLen = ClampToDword(keys.Int(2));
        }
        SqliteStatement values(m_db, "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0), "
                                     "coalesce(max(length(data)), 0) FROM reg_values WHERE key = ?");
        values.Bind(1, key);
        if (values.Step()) {
            info.values = ClampToDword(values.Int(0));
            info.maxValueNameLen = ClampToDword(values.Int(1));
            info.maxValueLen = ClampToDword(values.Int(2));
        }
        return ERROR_SUCCESS;
    });
}

} // namespace zarn
