#include "platform/posix/RegistrySchema.h"

#include "platform/posix/SqliteStatement.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <sqlite3.h>
#include <utility>
#include <vector>

namespace zarn::platform {

namespace {

// Marks a database as ours, so that another program's SQLite file is reported as damaged instead of being
// extended with our tables.
constexpr std::int64_t kApplicationId = 0x5A524547; // "ZREG"

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

// zarn_fold(name) in SQL, for the steps that fold the names already stored.
void FoldFunction(sqlite3_context* context, int, sqlite3_value** args) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    const int size = sqlite3_value_bytes(args[0]);
    const std::string folded = RegistrySchema::Fold(
        text == nullptr ? std::string_view() : std::string_view(text, static_cast<std::size_t>(size)));
    sqlite3_result_text(context, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
}

// Sets the counts and longest lengths of each key in keys from its children.
void Recount(sqlite3* db, std::vector<std::int64_t>& keys) {
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    for (const std::int64_t key : keys) {
        SqliteStatement(db, R"sql(
UPDATE reg_keys SET
    subkeys = (SELECT count(*) FROM reg_keys AS c WHERE c.parent = reg_keys.id),
    max_subkey_len = max(max_subkey_len, (SELECT coalesce(max(length(CAST(c.name AS BLOB))), 0) FROM reg_keys AS c
                                          WHERE c.parent = reg_keys.id)),
    max_class_len = max(max_class_len, (SELECT coalesce(max(length(CAST(c.class AS BLOB))), 0) FROM reg_keys AS c
                                        WHERE c.parent = reg_keys.id)),
    value_count = (SELECT count(*) FROM reg_values AS v WHERE v.key = reg_keys.id),
    max_value_name_len = max(max_value_name_len, (SELECT coalesce(max(length(CAST(v.name AS BLOB))), 0)
                                                  FROM reg_values AS v WHERE v.key = reg_keys.id)),
    max_value_len = max(max_value_len, (SELECT coalesce(max(length(v.data)), 0) FROM reg_values AS v
                                        WHERE v.key = reg_keys.id))
WHERE id = ?)sql")
            .Bind(1, key)
            .Run();
        // A key left without subkeys or values forgets their longest lengths, as it does when the last is deleted.
        SqliteStatement(db, "UPDATE reg_keys SET max_subkey_len = 0, max_class_len = 0 WHERE id = ? AND subkeys = 0")
            .Bind(1, key)
            .Run();
        SqliteStatement(db, "UPDATE reg_keys SET max_value_name_len = 0, max_value_len = 0 "
                            "WHERE id = ? AND value_count = 0")
            .Bind(1, key)
            .Run();
    }
}

// Moves what key `from` holds into key `into` and deletes `from` (unless keepFrom): values and subkeys that `into`
// lacks move over whole, a subkey that both have is merged the same way, and on a conflict what `into` has stays.
// A list of pairs rather than recursion, so a tree of any depth is merged. Adds every key whose children changed to
// touched.
void MergeKey(sqlite3* db, std::int64_t from, std::int64_t into, std::vector<std::int64_t>& touched,
              bool keepFrom = false) {
    std::vector<std::pair<std::int64_t, std::int64_t>> pending{{from, into}};
    while (!pending.empty()) {
        const auto [source, target] = pending.back();
        pending.pop_back();
        touched.push_back(target);
        SqliteStatement(db, "UPDATE reg_values SET key = ?1 WHERE key = ?2 AND folded NOT IN "
                            "(SELECT folded FROM reg_values WHERE key = ?1)")
            .Bind(1, target)
            .Bind(2, source)
            .Run();
        SqliteStatement(db, "DELETE FROM reg_values WHERE key = ?").Bind(1, source).Run();
        std::vector<std::pair<std::int64_t, std::string>> children;
        {
            SqliteStatement list(db, "SELECT id, folded FROM reg_keys WHERE parent = ? ORDER BY id");
            list.Bind(1, source);
            while (list.Step())
                children.emplace_back(list.Int(0), list.Text(1));
        }
        for (const auto& [child, folded] : children) {
            SqliteStatement same(db, "SELECT id FROM reg_keys WHERE parent = ? AND folded = ?");
            same.Bind(1, target).Bind(2, folded);
            if (same.Step())
                pending.emplace_back(child, same.Int(0));
            else
                SqliteStatement(db, "UPDATE reg_keys SET parent = ? WHERE id = ?").Bind(1, target).Bind(2, child).Run();
        }
        if (!keepFrom || source != from)
            SqliteStatement(db, "DELETE FROM reg_keys WHERE id = ?").Bind(1, source).Run();
    }
}

// The child of parent with that name, made when missing.
std::int64_t MadeChild(sqlite3* db, std::int64_t parent, std::string_view name, std::vector<std::int64_t>& touched) {
    SqliteStatement find(db, "SELECT id FROM reg_keys WHERE parent = ? AND folded = ?");
    find.Bind(1, parent).Bind(2, RegistrySchema::Fold(name));
    if (find.Step())
        return find.Int(0);
    SqliteStatement insert(db, "INSERT INTO reg_keys(parent, name, folded) VALUES(?, ?, ?) RETURNING id");
    insert.Bind(1, parent).Bind(2, name).Bind(3, RegistrySchema::Fold(name));
    if (!insert.Step())
        throw SqliteStatement::Error{SQLITE_ERROR};
    touched.push_back(parent);
    return insert.Int(0);
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

// 2: every name is stored beside its folded form (RegistrySchema::Fold), which is what is unique among siblings and
// what subkeys are listed by. SQLite cannot change a column's collation in place, so both tables are made again;
// their AUTOINCREMENT counters move with them, so no id of a deleted key comes back.
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
CREATE INDEX reg_keys_by_name ON reg_keys(parent, folded);
CREATE INDEX reg_values_by_key ON reg_values(key);
)sql";

// Siblings whose names were told apart only by the case of letters beyond ASCII are one key now: the one made
// first takes in the other's values and subkeys that it lacks; of two such values of one key, the first stays.
void FoldNames(sqlite3* db) {
    SqliteStatement::Execute(db, kFoldedNamesStep);
    std::vector<std::int64_t> touched;
    {
        SqliteStatement twins(db, "SELECT key FROM reg_values GROUP BY key, folded HAVING count(*) > 1");
        while (twins.Step())
            touched.push_back(twins.Int(0));
    }
    SqliteStatement::Execute(db, "DELETE FROM reg_values WHERE id NOT IN "
                                 "(SELECT min(id) FROM reg_values GROUP BY key, folded)");
    for (;;) {
        SqliteStatement twin(db, "SELECT a.id, b.id, a.parent FROM reg_keys AS a JOIN reg_keys AS b "
                                 "ON b.parent = a.parent AND b.folded = a.folded AND b.id > a.id LIMIT 1");
        if (!twin.Step())
            break;
        touched.push_back(twin.Int(2));
        MergeKey(db, twin.Int(1), twin.Int(0), touched);
    }
    Recount(db, touched);
    SqliteStatement::Execute(db, "DROP INDEX reg_keys_by_name;"
                                 "CREATE UNIQUE INDEX reg_keys_by_name ON reg_keys(parent, folded);"
                                 "CREATE UNIQUE INDEX reg_values_by_name ON reg_values(key, folded);");
}

// 3: HKEY_CLASSES_ROOT is a view of HKEY_CURRENT_USER\Software\Classes over HKEY_LOCAL_MACHINE\Software\Classes
// instead of a tree of its own: the tree that older files keep under row 1 moves under the machine key, whatever is
// there already staying where both have a value or key.
void MoveClassesRoot(sqlite3* db) {
    constexpr std::int64_t kOldClassesRoot = 1;
    constexpr std::int64_t kLocalMachine = 3;
    SqliteStatement held(db, "SELECT EXISTS(SELECT 1 FROM reg_keys WHERE parent = ?1) OR "
                             "EXISTS(SELECT 1 FROM reg_values WHERE key = ?1)");
    held.Bind(1, kOldClassesRoot);
    if (!held.Step() || held.Int(0) == 0)
        return;
    std::vector<std::int64_t> touched{kOldClassesRoot};
    const std::int64_t software = MadeChild(db, kLocalMachine, "Software", touched);
    const std::int64_t classes = MadeChild(db, software, "Classes", touched);
    MergeKey(db, kOldClassesRoot, classes, touched, true);
    Recount(db, touched);
}

// Each step brings a file from the version before it (PRAGMA user_version) to the next, inside the transaction that
// opens it; a new file gets the first schema and then every step, so old and new files end up alike.
using Migration = void (*)(sqlite3*);
constexpr Migration kMigrations[] = {
    [](sqlite3* db) { SqliteStatement::Execute(db, kCountsStep); },
    FoldNames,
    MoveClassesRoot,
};

constexpr std::int64_t kSchemaVersion = std::size(kMigrations);

} // namespace

bool RegistrySchema::CheckOwner(sqlite3* db) {
    std::int64_t appId = 0;
    std::int64_t objects = 0;
    SqliteStatement query(db, "PRAGMA application_id");
    if (query.Step())
        appId = query.Int(0);
    SqliteStatement count(db, "SELECT count(*) FROM sqlite_master");
    if (count.Step())
        objects = count.Int(0);
    if (appId == kApplicationId)
        return true;
    if (appId != 0 || objects != 0)
        throw SqliteStatement::Error{SQLITE_NOTADB};
    return false;
}

void RegistrySchema::Prepare(sqlite3* db) {
    const int rc = sqlite3_create_function(db, "zarn_fold", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                           FoldFunction, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw SqliteStatement::Error{rc};
    // A file in the current schema is only read, so that opening it never waits for a writer: another process may
    // hold the write lock for as long as a component's registration runs inside one transaction.
    SqliteStatement::Execute(db, "BEGIN");
    try {
        bool current = CheckOwner(db);
        if (current) {
            SqliteStatement query(db, "PRAGMA user_version");
            current = query.Step() && query.Int(0) >= kSchemaVersion;
        }
        SqliteStatement::Execute(db, "COMMIT");
        if (current)
            return;
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    SqliteStatement::Execute(db, "BEGIN IMMEDIATE");
    if (!CheckOwner(db))
        SqliteStatement::Execute(db, kSchema);
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
}

std::string RegistrySchema::Fold(std::string_view name) {
    // Code page 1252 from 0x80 to 0x9F; the other chars are their own code points.
    static constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string folded;
    folded.reserve(name.size());
    for (const char c : name) {
        unsigned byte = static_cast<unsigned char>(c);
        // The letters whose upper case is another char of the code page: ASCII, the accented letters of
        // 0xE0-0xFE but the division sign, and the four of 0x9A-0xFF whose capitals lie below 0xA0.
        if ((byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7))
            byte -= 0x20;
        else if (byte == 0x9A || byte == 0x9C || byte == 0x9E)
            byte -= 0x10;
        else if (byte == 0xFF)
            byte = 0x9F;
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

} // namespace zarn::platform
