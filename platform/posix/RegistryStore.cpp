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
    m_classesKeys.clear();
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

std::uint64_t RegistryStore::DataVersion() {
    // The pragma reads the file inside the open transaction, so it starts the read and sees every commit made
    // before it by other connections; this connection's own commits it leaves out, so they are counted here.
    SqliteStatement query = Statement("PRAGMA data_version");
    if (!query.Step())
        throw SqliteStatement::Error{SQLITE_IOERR};
    return static_cast<std::uint64_t>(query.Int(0)) << 32 ^ m_ownCommits;
}

void RegistryStore::ForgetMovedCursors() {
    // Any change to the file, by this connection or another, may have moved every position.
    const std::uint64_t version = DataVersion();
    if (version != m_cursorVersion || m_keyCursors.size() > kMaxCursors || m_valueCursors.size() > kMaxCursors) {
        m_keyCursors.clear();
        m_valueCursors.clear();
        m_cursorVersion = version;
    }
}

const RegistryStore::KeyCursor* RegistryStore::FindKeyCursor(const Layers& layers, DWORD index) {
    ForgetMovedCursors();
    auto found = m_keyCursors.find({layers.user, layers.machine});
    if (found == m_keyCursors.end() || (found->second.index != index && found->second.index + 1 != index))
        return nullptr;
    return &found->second;
}

const RegistryStore::ValueCursor* RegistryStore::FindValueCursor(const Layers& layers, DWORD index) {
    ForgetMovedCursors();
    auto found = m_valueCursors.find({layers.user, layers.machine});
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
        // Switching to WAL rewrites the file's header: another program's file, or a damaged one, must be refused
        // before that, so it is left exactly as it was.
        RegistrySchema::CheckOwner(db);
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
        if (m_capturing) {
            // Inside the capture's transaction: one operation that fails takes back only its own writes.
            Statement("SAVEPOINT zarn_operation").Run();
            LONG result = body();
            if (result != ERROR_SUCCESS && write) {
                Statement("ROLLBACK TO zarn_operation").Run();
                ForgetRolledBack();
            }
            Statement("RELEASE zarn_operation").Run();
            // Positions and cached layers remembered before may have moved, though nothing was committed.
            if (write)
                ++m_ownCommits;
            return result;
        }
        Statement(write ? "BEGIN IMMEDIATE" : "BEGIN").Run();
        LONG result = body();
        Statement(result == ERROR_SUCCESS || !write ? "COMMIT" : "ROLLBACK").Run();
        if (write && result == ERROR_SUCCESS)
            ++m_ownCommits;
        else if (write)
            ForgetRolledBack();
        return result;
    } catch (const SqliteStatement::Error& error) {
        AbandonOperation();
        return ErrorFromSqlite(error.code);
    } catch (const std::bad_alloc&) {
        AbandonOperation();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

void RegistryStore::ForgetRolledBack() {
    // A rollback takes the AUTOINCREMENT counters back too, so ids remembered from the rolled-back writes may be
    // given to other keys later.
    m_keyCursors.clear();
    m_valueCursors.clear();
    m_classesKeys.clear();
}

void RegistryStore::AbandonOperation() {
    ForgetRolledBack();
    if (m_db == nullptr || sqlite3_get_autocommit(m_db)) {
        // SQLite rolled the whole transaction back itself (a full disk, an I/O error): a capture's writes are gone.
        m_captureLost = m_capturing;
        return;
    }
    if (!m_capturing) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return;
    }
    ++m_ownCommits;
    if (sqlite3_exec(m_db, "ROLLBACK TO zarn_operation; RELEASE zarn_operation", nullptr, nullptr, nullptr) !=
        SQLITE_OK) {
        // The operation's writes cannot be told apart from the capture's others: none may be committed.
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_captureLost = true;
    }
}

LONG RegistryStore::BeginCapture() {
    if (RegistryStorePool::ProcessId() != m_pid)
        return ERROR_INVALID_HANDLE;
    std::lock_guard lock(m_mutex);
    if (m_closed)
        return ERROR_KEY_DELETED;
    if (m_capturing)
        return ERROR_INVALID_FUNCTION;
    try {
        if (m_db == nullptr)
            Open();
        Statement("BEGIN IMMEDIATE").Run();
    } catch (const SqliteStatement::Error& error) {
        return ErrorFromSqlite(error.code);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    m_capturing = true;
    m_captureLost = false;
    return ERROR_SUCCESS;
}

LONG RegistryStore::EndCapture(bool commit) {
    if (RegistryStorePool::ProcessId() != m_pid)
        return ERROR_INVALID_HANDLE;
    std::lock_guard lock(m_mutex);
    if (!m_capturing)
        return ERROR_INVALID_FUNCTION;
    m_capturing = false;
    ++m_ownCommits;
    const bool transactionOpen = m_db != nullptr && !sqlite3_get_autocommit(m_db);
    if (commit && !m_captureLost && transactionOpen) {
        const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            return ERROR_SUCCESS;
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        ForgetRolledBack();
        return ErrorFromSqlite(rc & 0xff);
    }
    if (transactionOpen)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    ForgetRolledBack();
    return commit ? ERROR_REGISTRY_IO_FAILED : ERROR_SUCCESS;
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

std::int64_t RegistryStore::Child(std::int64_t parent, std::string_view name) {
    SqliteStatement child = Statement("SELECT id FROM reg_keys WHERE parent = ? AND folded = ?");
    child.Bind(1, parent).Bind(2, RegistrySchema::Fold(name));
    return child.Step() ? child.Int(0) : 0;
}

std::int64_t RegistryStore::Find(std::int64_t base, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (base == 0)
            break;
        base = Child(base, name);
    }
    return base;
}

namespace {

// Where HKEY_CLASSES_ROOT's two layers lie below HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
const std::vector<std::string>& ClassesPath() {
    static const std::vector<std::string> path{"Software", "Classes"};
    return path;
}

std::vector<std::string> Joined(const std::vector<std::string>& first, const std::vector<std::string>& second) {
    std::vector<std::string> joined = first;
    joined.insert(joined.end(), second.begin(), second.end());
    return joined;
}

} // namespace

LONG RegistryStore::Locate(const KeyRef& ref, bool cached, Layers& layers) {
    if (!ref.IsClasses()) {
        layers = Layers{ref.id, 0};
        return KeyExists(ref.id) ? ERROR_SUCCESS : ERROR_KEY_DELETED;
    }
    std::string folded;
    for (const std::string& name : ref.path)
        folded += RegistrySchema::Fold(name) + '\\';
    const std::uint64_t version = DataVersion();
    auto found = m_classesKeys.find(folded);
    if (found != m_classesKeys.end() && cached && found->second.version == version) {
        layers = found->second.layers;
    } else {
        // A layer's key found before is still the key at this path while its row exists: keys never move and ids
        // never come back. Only a layer that lacks it, or lost it, is looked up again.
        const Layers known = found != m_classesKeys.end() ? found->second.layers : Layers{};
        layers.user =
            known.user != 0 && KeyExists(known.user) ? known.user : Find(Find(kCurrentUserId, ClassesPath()), ref.path);
        layers.machine = known.machine != 0 && KeyExists(known.machine)
                             ? known.machine
                             : Find(Find(kLocalMachineId, ClassesPath()), ref.path);
        if (found == m_classesKeys.end() && m_classesKeys.size() >= kMaxCursors)
            m_classesKeys.clear();
        m_classesKeys[folded] = ClassesKey{layers, version};
    }
    // The root of the view stands even while neither of its keys has been made.
    return layers.user == 0 && layers.machine == 0 && !ref.path.empty() ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

LONG RegistryStore::MakePath(std::int64_t base, const std::vector<std::string>& names, std::string_view keyClass,
                             bool mayCreate, std::int64_t& key, bool& created) {
    std::int64_t current = base;
    bool madeLast = false;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (const std::int64_t child = Child(current, names[i]); child != 0) {
            current = child;
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
}

LONG RegistryStore::WriteTarget(const KeyRef& ref, std::int64_t& key) {
    Layers layers;
    if (LONG result = Locate(ref, false, layers); result != ERROR_SUCCESS)
        return result;
    // Through HKEY_CLASSES_ROOT a write goes to the per-user key where it exists, else to the machine key.
    key = layers.user != 0 ? layers.user : layers.machine;
    if (key != 0)
        return ERROR_SUCCESS;
    bool created = false;
    return MakePath(kLocalMachineId, ClassesPath(), "", true, key, created);
}

LONG RegistryStore::OpenPath(const KeyRef& base, const std::vector<std::string>& names, KeyRef& key) {
    return Transact(false, [&]() -> LONG {
        if (base.IsClasses()) {
            KeyRef found{0, Joined(base.path, names)};
            Layers layers;
            if (Locate(found, true, layers) != ERROR_SUCCESS)
                return Locate(base, true, layers) == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
            key = std::move(found);
            return ERROR_SUCCESS;
        }
        // Whether base still exists matters only when no child of it was found.
        if (names.empty() && !KeyExists(base.id))
            return ERROR_KEY_DELETED;
        std::int64_t current = base.id;
        for (const std::string& name : names) {
            const std::int64_t child = Child(current, name);
            if (child == 0)
                return current == base.id && !KeyExists(base.id) ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
            current = child;
        }
        key = KeyRef{current, {}};
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::CreatePath(const KeyRef& base, const std::vector<std::string>& names, std::string_view keyClass,
                               bool mayCreate, KeyRef& key, bool& created) {
    return Transact(true, [&]() -> LONG {
        if (!base.IsClasses()) {
            if (!KeyExists(base.id))
                return ERROR_KEY_DELETED;
            if (KeyDepth(base.id) + names.size() > kMaxDepth)
                return ERROR_INVALID_PARAMETER;
            std::int64_t made = 0;
            const LONG result = MakePath(base.id, names, keyClass, mayCreate, made, created);
            if (result == ERROR_SUCCESS)
                key = KeyRef{made, {}};
            return result;
        }
        Layers layers;
        if (LONG result = Locate(base, false, layers); result != ERROR_SUCCESS)
            return result;
        const std::vector<std::string> path = Joined(base.path, names);
        if (ClassesPath().size() + path.size() > kMaxDepth)
            return ERROR_INVALID_PARAMETER;
        // Down the names as long as either layer has them; the first name that neither has is made, with the rest,
        // in the machine layer, as Windows stores new keys written through HKEY_CLASSES_ROOT.
        std::size_t known = base.path.size();
        while (known < path.size()) {
            const std::int64_t user = layers.user != 0 ? Child(layers.user, path[known]) : 0;
            const std::int64_t machine = layers.machine != 0 ? Child(layers.machine, path[known]) : 0;
            if (user == 0 && machine == 0)
                break;
            layers = Layers{user, machine};
            ++known;
        }
        created = false;
        if (known < path.size()) {
            if (!mayCreate)
                return ERROR_ACCESS_DENIED;
            std::int64_t machine = 0;
            const LONG result =
                MakePath(kLocalMachineId, Joined(ClassesPath(), path), keyClass, true, machine, created);
            if (result != ERROR_SUCCESS)
                return result;
        }
        key = KeyRef{0, path};
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::QueryValue(const KeyRef& ref, std::string_view name, Value& value) {
    return Transact(false, [&]() -> LONG {
        Layers layers;
        if (LONG result = Locate(ref, true, layers); result != ERROR_SUCCESS)
            return result;
        // The per-user layer first: its values hide the machine key's of the same name.
        for (const std::int64_t key : {layers.user, layers.machine}) {
            if (key == 0)
                continue;
            SqliteStatement query = Statement("SELECT type, data FROM reg_values WHERE key = ? AND folded = ?");
            query.Bind(1, key).Bind(2, RegistrySchema::Fold(name));
            if (query.Step()) {
                value.type = static_cast<DWORD>(query.Int(0));
                value.data = query.Blob(1);
                return ERROR_SUCCESS;
            }
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

LONG RegistryStore::SetValue(const KeyRef& ref, std::string_view name, DWORD type, const BYTE* data, std::size_t size) {
    return Transact(true, [&]() -> LONG {
        std::int64_t key = 0;
        if (LONG result = WriteTarget(ref, key); result != ERROR_SUCCESS)
            return result;
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

LONG RegistryStore::DeleteValue(const KeyRef& ref, std::string_view name) {
    return Transact(true, [&]() -> LONG {
        Layers layers;
        if (LONG result = Locate(ref, false, layers); result != ERROR_SUCCESS)
            return result;
        const std::int64_t key = layers.user != 0 ? layers.user : layers.machine;
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

// Finds the key that deleting `names` below `base` would remove; its row says whether it has subkeys or values.
// Inside a transaction.
LONG RegistryStore::FindForDelete(const KeyRef& base, const std::vector<std::string>& names, DeleteTarget& target) {
    target.key = base.id;
    if (base.IsClasses() || names.empty()) {
        if (base.IsClasses()) {
            // Through HKEY_CLASSES_ROOT the key is deleted where it is found, the per-user layer first.
            Layers layers;
            const KeyRef path{0, Joined(base.path, names)};
            if (path.path.empty())
                return ERROR_ACCESS_DENIED;
            if (Locate(path, false, layers) != ERROR_SUCCESS)
                return Locate(base, false, layers) == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
            target.key = layers.user != 0 ? layers.user : layers.machine;
        }
        SqliteStatement self = Statement("SELECT parent, subkeys, value_count FROM reg_keys WHERE id = ?");
        self.Bind(1, target.key);
        if (!self.Step())
            return ERROR_KEY_DELETED;
        target.parent = self.Int(0);
        target.subkeys = self.Int(1);
        target.values = self.Int(2);
    }
    for (std::size_t i = 0; !base.IsClasses() && i < names.size(); ++i) {
        SqliteStatement child = Statement("SELECT id, subkeys, value_count FROM reg_keys "
                                          "WHERE parent = ? AND folded = ?");
        child.Bind(1, target.key).Bind(2, RegistrySchema::Fold(names[i]));
        if (!child.Step())
            return target.key == base.id && !KeyExists(base.id) ? ERROR_KEY_DELETED : ERROR_FILE_NOT_FOUND;
        target.parent = target.key;
        target.key = child.Int(0);
        target.subkeys = child.Int(1);
        target.values = child.Int(2);
    }
    return target.parent == 0 ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

// Counts a deleted subkey off its parent.
void RegistryStore::CountOffParent(std::int64_t parent) {
    // The longest lengths stay as they were until the last subkey goes, as Windows keeps them.
    Statement("UPDATE reg_keys SET subkeys = subkeys - 1, "
              "max_subkey_len = CASE WHEN subkeys > 1 THEN max_subkey_len ELSE 0 END, "
              "max_class_len = CASE WHEN subkeys > 1 THEN max_class_len ELSE 0 END, written = ? WHERE id = ?")
        .Bind(1, static_cast<std::int64_t>(FileTimeNow()))
        .Bind(2, parent)
        .Run();
}

// One write transaction and, for a key without values, three statements: find it, delete it, count it off its
// parent.
LONG RegistryStore::DeleteKey(const KeyRef& base, const std::vector<std::string>& names) {
    return Transact(true, [&]() -> LONG {
        DeleteTarget target;
        const LONG found = FindForDelete(base, names, target);
        if (found != ERROR_SUCCESS)
            return found;
        if (target.subkeys > 0)
            return ERROR_ACCESS_DENIED;
        if (target.values > 0)
            Statement("DELETE FROM reg_values WHERE key = ?").Bind(1, target.key).Run();
        Statement("DELETE FROM reg_keys WHERE id = ?").Bind(1, target.key).Run();
        CountOffParent(target.parent);
        return ERROR_SUCCESS;
    });
}

// One write transaction for the whole tree, however large: its keys are found by one recursive query.
LONG RegistryStore::DeleteTree(const KeyRef& base, const std::vector<std::string>& names, bool keepKey) {
    return Transact(true, [&]() -> LONG {
        DeleteTarget target;
        const LONG found = FindForDelete(base, names, target);
        if (found != ERROR_SUCCESS && !(found == ERROR_ACCESS_DENIED && keepKey && target.key != 0))
            return found;
#define ZARN_KEY_TREE                                                                                                  \
    "WITH RECURSIVE tree(id) AS (SELECT ? UNION ALL SELECT k.id FROM reg_keys AS k JOIN tree ON k.parent = tree.id) "
        Statement(ZARN_KEY_TREE "DELETE FROM reg_values WHERE key IN tree").Bind(1, target.key).Run();
        Statement(ZARN_KEY_TREE "DELETE FROM reg_keys WHERE id IN tree AND id <> ?1").Bind(1, target.key).Run();
#undef ZARN_KEY_TREE
        if (!keepKey) {
            Statement("DELETE FROM reg_keys WHERE id = ?").Bind(1, target.key).Run();
            CountOffParent(target.parent);
        } else {
            Statement("UPDATE reg_keys SET subkeys = 0, max_subkey_len = 0, max_class_len = 0, value_count = 0, "
                      "max_value_name_len = 0, max_value_len = 0, written = ? WHERE id = ?")
                .Bind(1, static_cast<std::int64_t>(FileTimeNow()))
                .Bind(2, target.key)
                .Run();
        }
        return ERROR_SUCCESS;
    });
}

bool RegistryStore::FirstSubKey(std::int64_t parent, const std::string& bound, bool inclusive, SubKey& found) {
    if (parent == 0)
        return false;
    SqliteStatement query =
        inclusive
            ? Statement("SELECT name, folded FROM reg_keys WHERE parent = ? AND folded >= ? ORDER BY folded LIMIT 1")
            : Statement("SELECT name, folded FROM reg_keys WHERE parent = ? AND folded > ? ORDER BY folded LIMIT 1");
    query.Bind(1, parent).Bind(2, bound);
    if (!query.Step())
        return false;
    found = SubKey{query.Text(0), query.Text(1)};
    return true;
}

bool RegistryStore::FirstOfLayers(const Layers& layers, const std::string& bound, bool inclusive, SubKey& found) {
    SubKey user;
    SubKey machine;
    const bool inUser = FirstSubKey(layers.user, bound, inclusive, user);
    const bool inMachine = FirstSubKey(layers.machine, bound, inclusive, machine);
    if (!inUser && !inMachine)
        return false;
    // A name in both layers is one subkey, under the per-user key's spelling.
    found = inUser && (!inMachine || user.folded <= machine.folded) ? std::move(user) : std::move(machine);
    return true;
}

// An enumeration asks for index 0, 1, 2, ... in turn: the subkey found last is remembered, so the next index is one
// step along an index instead of a count from the start. Subkeys come in the order of their folded names, those of
// both layers of HKEY_CLASSES_ROOT's view merged into one list; values in the order of creation.
LONG RegistryStore::EnumKey(const KeyRef& ref, DWORD index, std::string& name) {
    return Transact(false, [&]() -> LONG {
        Layers layers;
        if (LONG result = Locate(ref, true, layers); result != ERROR_SUCCESS)
            return result;
        if (layers.user == 0 && layers.machine == 0)
            return ERROR_NO_MORE_ITEMS;
        const KeyCursor* cursor = FindKeyCursor(layers, index);
        SubKey found;
        if (cursor != nullptr) {
            if (!FirstOfLayers(layers, cursor->folded, cursor->index == index, found))
                return ERROR_NO_MORE_ITEMS;
        } else if (layers.user == 0 || layers.machine == 0) {
            SqliteStatement query =
                Statement("SELECT name, folded FROM reg_keys WHERE parent = ? ORDER BY folded LIMIT 1 OFFSET ?");
            query.Bind(1, layers.user != 0 ? layers.user : layers.machine).Bind(2, static_cast<std::int64_t>(index));
            if (!query.Step())
                return ERROR_NO_MORE_ITEMS;
            found = SubKey{query.Text(0), query.Text(1)};
        } else {
            if (!FirstOfLayers(layers, "", true, found))
                return ERROR_NO_MORE_ITEMS;
            for (DWORD step = 0; step < index; ++step) {
                if (!FirstOfLayers(layers, std::string(found.folded), false, found))
                    return ERROR_NO_MORE_ITEMS;
            }
        }
        name = found.name;
        m_keyCursors[{layers.user, layers.machine}] = KeyCursor{index, std::move(found.folded)};
        return ERROR_SUCCESS;
    });
}

bool RegistryStore::NextValue(std::int64_t key, std::int64_t shadow, Bound how, std::int64_t bound, ValueRow& row) {
    // shadow: the per-user key whose values hide those of key with the same name, or 0.
    const char* sql = nullptr;
    if (shadow == 0) {
        sql = how == Bound::Offset      ? "SELECT id, name, type, data FROM reg_values WHERE key = ?1 "
                                          "ORDER BY id LIMIT 1 OFFSET ?2"
              : how == Bound::AtOrAfter ? "SELECT id, name, type, data FROM reg_values WHERE key = ?1 AND id >= ?2 "
                                          "ORDER BY id LIMIT 1"
                                        : "SELECT id, name, type, data FROM reg_values WHERE key = ?1 AND id > ?2 "
                                          "ORDER BY id LIMIT 1";
    } else {
        sql = how == Bound::Offset ? "SELECT id, name, type, data FROM reg_values AS v WHERE key = ?1 AND NOT EXISTS "
                                     "(SELECT 1 FROM reg_values AS u WHERE u.key = ?3 AND u.folded = v.folded) "
                                     "ORDER BY id LIMIT 1 OFFSET ?2"
              : how == Bound::AtOrAfter
                  ? "SELECT id, name, type, data FROM reg_values AS v WHERE key = ?1 AND id >= ?2 AND NOT EXISTS "
                    "(SELECT 1 FROM reg_values AS u WHERE u.key = ?3 AND u.folded = v.folded) ORDER BY id LIMIT 1"
                  : "SELECT id, name, type, data FROM reg_values AS v WHERE key = ?1 AND id > ?2 AND NOT EXISTS "
                    "(SELECT 1 FROM reg_values AS u WHERE u.key = ?3 AND u.folded = v.folded) ORDER BY id LIMIT 1";
    }
    SqliteStatement query = Statement(sql);
    query.Bind(1, key).Bind(2, bound);
    if (shadow != 0)
        query.Bind(3, shadow);
    if (!query.Step())
        return false;
    row.id = query.Int(0);
    row.name = query.Text(1);
    row.value.type = static_cast<DWORD>(query.Int(2));
    row.value.data = query.Blob(3);
    return true;
}

LONG RegistryStore::EnumValue(const KeyRef& ref, DWORD index, std::string& name, Value& value) {
    return Transact(false, [&]() -> LONG {
        Layers layers;
        if (LONG result = Locate(ref, true, layers); result != ERROR_SUCCESS)
            return result;
        // The per-user layer's values, then those of the machine key that it does not hide.
        const std::int64_t first = layers.user != 0 ? layers.user : layers.machine;
        const std::int64_t second = layers.user != 0 ? layers.machine : 0;
        const ValueCursor* cursor = FindValueCursor(layers, index);
        ValueRow row;
        std::int64_t key = first;
        bool found = false;
        if (cursor != nullptr) {
            key = cursor->key;
            const Bound how = cursor->index == index ? Bound::AtOrAfter : Bound::After;
            found = NextValue(key, key == first ? 0 : first, how, cursor->id, row);
            if (!found && key == first && second != 0) {
                key = second;
                found = NextValue(key, first, Bound::After, 0, row);
            }
        } else {
            SqliteStatement count = Statement("SELECT value_count FROM reg_keys WHERE id = ?");
            count.Bind(1, first);
            const std::int64_t inFirst = count.Step() ? count.Int(0) : 0;
            if (static_cast<std::int64_t>(index) < inFirst || second == 0) {
                found = NextValue(key, 0, Bound::Offset, index, row);
            } else {
                key = second;
                found = NextValue(key, first, Bound::Offset, index - inFirst, row);
            }
        }
        if (!found)
            return ERROR_NO_MORE_ITEMS;
        m_valueCursors[{layers.user, layers.machine}] = ValueCursor{index, key, row.id};
        name = std::move(row.name);
        value = std::move(row.value);
        return ERROR_SUCCESS;
    });
}

LONG RegistryStore::QueryInfo(const KeyRef& ref, KeyInfo& info) {
    return Transact(false, [&]() -> LONG {
        Layers layers;
        if (LONG result = Locate(ref, true, layers); result != ERROR_SUCCESS)
            return result;
        info = KeyInfo{};
        bool first = true;
        for (const std::int64_t key : {layers.user, layers.machine}) {
            if (key == 0)
                continue;
            SqliteStatement self =
                Statement("SELECT class, written, subkeys, max_subkey_len, max_class_len, value_count, "
                          "max_value_name_len, max_value_len FROM reg_keys WHERE id = ?");
            self.Bind(1, key);
            if (!self.Step())
                return ERROR_KEY_DELETED;
            // The class is the per-user key's where it exists, as a write through the view would reach it.
            if (first)
                info.keyClass = self.Text(0);
            first = false;
            info.lastWriteTime = std::max(info.lastWriteTime, static_cast<std::uint64_t>(self.Int(1)));
            info.subKeys += ClampToDword(self.Int(2));
            info.maxSubKeyLen = std::max(info.maxSubKeyLen, ClampToDword(self.Int(3)));
            info.maxClassLen = std::max(info.maxClassLen, ClampToDword(self.Int(4)));
            info.values += ClampToDword(self.Int(5));
            info.maxValueNameLen = std::max(info.maxValueNameLen, ClampToDword(self.Int(6)));
            info.maxValueLen = std::max(info.maxValueLen, ClampToDword(self.Int(7)));
        }
        if (layers.user != 0 && layers.machine != 0) {
            // What both layers have counts once; counted from the per-user layer, usually the smaller.
            SqliteStatement keys =
                Statement("SELECT count(*) FROM reg_keys AS a WHERE a.parent = ?1 AND EXISTS "
                          "(SELECT 1 FROM reg_keys AS b WHERE b.parent = ?2 AND b.folded = a.folded)");
            keys.Bind(1, layers.user).Bind(2, layers.machine);
            if (keys.Step())
                info.subKeys -= ClampToDword(keys.Int(0));
            SqliteStatement values =
                Statement("SELECT count(*) FROM reg_values AS a WHERE a.key = ?1 AND EXISTS "
                          "(SELECT 1 FROM reg_values AS b WHERE b.key = ?2 AND b.folded = a.folded)");
            values.Bind(1, layers.user).Bind(2, layers.machine);
            if (values.Step())
                info.values -= ClampToDword(values.Int(0));
        }
        return ERROR_SUCCESS;
    });
}

} // namespace zarn::platform
