#include "platform/posix/RegistryStore.h"

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

// Marks a database as ours, so that another program's SQLite file is reported as damaged instead of being
// extended with our tables.
constexpr std::int64_t kApplicationId = 0x5A524547; // "ZREG"

// Several seconds: another process may hold the write lock for the length of one value write, and a burst of
// writers queues behind it.
constexpr int kBusyTimeoutMs = 15000;

// The first schema; the steps below bring it to the current one. AUTOINCREMENT keeps ids of deleted keys from coming
// back, so a handle to a deleted key can never reach a key made later.
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

// The form in which names are compared and sorted: each char upper-cased and written as the UTF-8 of its Unicode
// code point, so that the order of the bytes is the order of the upper-case names' code points, as Windows sorts a
// key's subkeys ("_" after the letters, which a lower-case fold would put before them).
std::string FoldName(std::string_view name) {
    // Code page 1252 from 0x80 to 0x9F; the other chars are their own code points.
    static constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string folded;
    folded.reserve(name.size());
    for (const char c : name) {
        unsigned byte = static_cast<unsigned char>(c);
        if (byte >= 'a' && byte <= 'z')
            byte -= 0x20;
        const unsigned point = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
        if (point < 0x80) {
            folded += static_cast<char>(point);
        } else if (point < 0x800) {
            folded += static_cast<char>(0xC0 | point >> 6);
            folded += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            folded += static_cast<char>(0xE0 | point >> 12);
            folded += static_cast<char>(0x80 | (point >> 6 & 0x3F));
            folded += static_cast<char>(0x80 | (point & 0x3F));
        }
    }
    return folded;
}

// zarn_fold(name) in SQL, for the steps that fold the names already stored.
void FoldFunction(sqlite3_context* context, int, sqlite3_value** args) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    const std::string folded = FoldName(text == nullptr ? std::string_view() : std::string_view(text));
    sqlite3_result_text(context, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

// 1: each key keeps the counts and longest lengths of its subkeys and values, so RegQueryInfoKeyA reads one row
// instead of scanning every child; children can be listed in order of creation from an index.
constexpr const char* kCountsStep = R"sql(
ALTER TABLE reg_keys ADD COLUMN subkeys INTEGER NOT NULL DEFAULT 0;
ALTER TABLE reg_keys ADD COLUMN max_subkey_len INTEGER NOT NULL DEFAULT 0;
ALTER TABLE reg_keys ADD COLUMN max_class_len INTEGER NOT NULL DEFAULT 0;
ALTER TABLE reg_keys ADD COLUMN value_count INTEGER NOT NULL DEFAULT 0;
ALTER TABLE reg_keys ADD COLUMN max_value_name_len INTEGER NOT NULL DEFAULT 0;
ALTER TABLE reg_keys ADD COLUMN max_value_len INTEGER NOT NULL DEFAULT 0;
CREATE INDEX reg_keys_by_parent ON reg_keys(parent);
CREATE INDEX reg_values_by_key ON reg_values(key);
UPDATE reg_keys SET
    subkeys = (SELECT count(*) FROM reg_keys AS c WHERE c.parent = reg_keys.id),
    max_subkey_len = (SELECT coalesce(max(length(CAST(c.name AS BLOB))), 0) FROM reg_keys AS c
                      WHERE c.parent = reg_keys.id),
    max_class_len = (SELECT coalesce(max(length(CAST(c.class AS BLOB))), 0) FROM reg_keys AS c
                     WHERE c.parent = reg_keys.id),
    value_count = (SELECT count(*) FROM reg_values AS v WHERE v.key = reg_keys.id),
    max_value_name_len = (SELECT coalesce(max(length(CAST(v.name AS BLOB))), 0) FROM reg_values AS v
                          WHERE v.key = reg_keys.id),
    max_value_len = (SELECT coalesce(max(length(v.data)), 0) FROM reg_values AS v WHERE v.key = reg_keys.id);
)sql";

// 2: every name is stored beside its folded form, and the folded form is what is unique among siblings and what
// subkeys are listed by. SQLite cannot change a column's collation in place, so both tables are made again; their
// AUTOINCREMENT counters move with them, so no id of a deleted key comes back.
constexpr const char* kFoldedNamesStep = R"sql(
CREATE TABLE reg_keys_new(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER NOT NULL,
    name TEXT NOT NULL,
    folded TEXT NOT NULL,
    class TEXT NOT NULL DEFAULT '',
    written INTEGER NOT NULL DEFAULT 0,
    subkeys INTEGER NOT NULL DEFAULT 0,
    max_subkey_len INTEGER NOT NULL DEFAULT 0,
    max_class_len INTEGER NOT NULL DEFAULT 0,
    value_count INTEGER NOT NULL DEFAULT 0,
    max_value_name_len INTEGER NOT NULL DEFAULT 0,
    max_value_len INTEGER NOT NULL DEFAULT 0);
INSERT INTO reg_keys_new SELECT id, parent, name, zarn_fold(name), class, written, subkeys, max_subkey_len,
    max_class_len, value_count, max_value_name_len, max_value_len FROM reg_keys;
CREATE TABLE reg_values_new(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    key INTEGER NOT NULL,
    name TEXT NOT NULL,
    folded TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL);
INSERT INTO reg_values_new SELECT id, key, name, zarn_fold(name), type, data FROM reg_values;
DELETE FROM sqlite_sequence WHERE name IN ('reg_keys_new', 'reg_values_new');
UPDATE sqlite_sequence SET name = name || '_new' WHERE name IN ('reg_keys', 'reg_values');
DROP TABLE reg_keys;
DROP TABLE reg_values;
ALTER TABLE reg_keys_new RENAME TO reg_keys;
ALTER TABLE reg_values_new RENAME TO reg_values;
CREATE UNIQUE INDEX reg_keys_by_name ON reg_keys(parent, folded);
CREATE UNIQUE INDEX reg_values_by_name ON reg_values(key, folded);
CREATE INDEX reg_values_by_key ON reg_values(key);
)sql";

// Each step brings a file from the version before it (PRAGMA user_version) to the next, inside the transaction that
// opens it; a new file gets the first schema and then every step, so old and new files end up alike.
using Migration = void (*)(sqlite3*);
constexpr Migration kMigrations[] = {
    [](sqlite3* db) { SqliteStatement::Execute(db, kCountsStep); },
    [](sqlite3* db) { SqliteStatement::Execute(db, kFoldedNamesStep); },
};

constexpr std::int64_t kSchemaVersion = std::size(kMigrations);

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

RegistryStore::RegistryStore(std::string path) : m_path(std::move(path)), m_pid(getpid()) {}

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
        rc = sqlite3_create_function(db, "zarn_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, FoldFunction,
                                     nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw SqliteStatement::Error{rc};
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
        std::int64_t version = 0;
        {
            SqliteStatement query(db, "PRAGMA user_version");
            if (query.Step())
                version = query.Int(0);
        }
        if (version < kSchemaVersion) {
            for (std::int64_t step = std::max<std::int64_t>(version, 0); step < kSchemaVersion; ++step)
                kMigrations[step](db);
            SqliteStatement::Execute(db, ("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
        }
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
        if (!KeyExists(base))
            return ERROR_KEY_DELETED;
        std::int64_t current = base;
        for (const std::string& name : names) {
            SqliteStatement child = Statement("SELECT id FROM reg_keys WHERE parent = ? AND folded = ?");
            child.Bind(1, current).Bind(2, FoldName(name));
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
            SqliteStatement child = Statement("SELECT id FROM reg_keys WHERE parent = ? AND folded = ?");
            child.Bind(1, current).Bind(2, FoldName(names[i]));
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
            insert.Bind(1, current).Bind(2, names[i]).Bind(3, FoldName(names[i])).Bind(4, madeClass).Bind(5, now);
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
        query.Bind(1, key).Bind(2, FoldName(name));
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
        find.Bind(1, key).Bind(2, FoldName(name));
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
            .Bind(3, FoldName(name))
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
        find.Bind(1, key).Bind(2, FoldName(name));
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

LONG RegistryStore::DeleteKey(std::int64_t key) {
    return Transact(true, [&]() -> LONG {
        SqliteStatement find = Statement("SELECT parent, subkeys FROM reg_keys WHERE id = ?");
        find.Bind(1, key);
        if (!find.Step())
            return ERROR_KEY_DELETED;
        const std::int64_t parent = find.Int(0);
        if (parent == 0 || find.Int(1) > 0)
            return ERROR_ACCESS_DENIED;
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
