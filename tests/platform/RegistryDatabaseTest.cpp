// Where the registry database lives, how it comes into being, and what a damaged one does to every call.
#include "platform/RegistryApi.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchRegistry.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using zarn::test::ScopedEnv;

LONG SetString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

std::string GetString(HKEY key, const char* name) {
    char buffer[256] = {};
    DWORD size = sizeof buffer - 1;
    LONG result = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    if (result != ERROR_SUCCESS)
        return "<error " + std::to_string(result) + ">";
    return buffer;
}

std::string DatabasePathNow() {
    DWORD size = 0;
    if (ZarnRegGetDatabasePathA(nullptr, &size) != ERROR_SUCCESS)
        return "<error>";
    std::string path(size, '\0');
    if (ZarnRegGetDatabasePathA(path.data(), &size) != ERROR_SUCCESS)
        return "<error>";
    path.resize(size - 1);
    return path;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good());
}

// Every function, as reading and writing callers use them, must give `expected` and nothing may crash.
void ExpectEveryCallFails(LONG expected) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), expected);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              expected);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, ""), "<error " + std::to_string(expected) + ">");
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, "v", "1"), expected);
    EXPECT_EQ(RegDeleteValueA(HKEY_CURRENT_USER, "v"), expected);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software"), expected);
    char name[16];
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumKeyA(HKEY_LOCAL_MACHINE, 0, name, sizeof name), expected);
    EXPECT_EQ(RegEnumValueA(HKEY_LOCAL_MACHINE, 0, name, &size, nullptr, nullptr, nullptr, nullptr), expected);
    DWORD count = 0;
    EXPECT_EQ(RegQueryInfoKeyA(HKEY_USERS, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              expected);
}

TEST(RegistryDatabase, MissingFileIsCreatedOnFirstUse) {
    zarn::test::ScratchRegistry registry;
    EXPECT_FALSE(fs::exists(registry.Database()));
    EXPECT_EQ(DatabasePathNow(), registry.Database().string());
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(fs::exists(registry.Database()));
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, "v", "kept"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "v"), "kept");
}

TEST(RegistryDatabase, DefaultPathIsUnderXdgDataHomeWithItsDirectoriesMade) {
    zarn::test::ScratchRegistry scratch;
    fs::path dataHome = scratch.Directory() / "not" / "yet" / "there";
    ScopedEnv noOverride("ZARN_REGISTRY", std::nullopt);
    ScopedEnv xdg("XDG_DATA_HOME", dataHome.c_str());
    fs::path expected = dataHome / "Ostrevant" / "registry.sqlite3";
    EXPECT_EQ(DatabasePathNow(), expected.string());
    EXPECT_FALSE(fs::exists(dataHome)) << "asking for the path makes nothing";

    ASSERT_EQ(SetString(HKEY_CURRENT_USER, "where", "xdg"), ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_regular_file(expected));
    EXPECT_EQ(fs::status(dataHome / "Ostrevant").permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "where"), "xdg");
}

TEST(RegistryDatabase, DefaultPathFallsBackToHomeWhenXdgDataHomeIsUnsetOrRelative) {
    zarn::test::ScratchRegistry scratch;
    ScopedEnv noOverride("ZARN_REGISTRY", "");
    ScopedEnv home("HOME", scratch.Directory().c_str());
    fs::path expected = scratch.Directory() / ".local" / "share" / "Ostrevant" / "registry.sqlite3";
    {
        ScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
        EXPECT_EQ(DatabasePathNow(), expected.string());
    }
    ScopedEnv xdg("XDG_DATA_HOME", "relative/dir");
    EXPECT_EQ(DatabasePathNow(), expected.string());
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "where", "home"), ERROR_SUCCESS);
    EXPECT_TRUE(fs::is_regular_file(expected));
}

TEST(RegistryDatabase, EachPathIsItsOwnDatabaseAndHandlesStayWithTheirs) {
    zarn::test::ScratchRegistry first;
    HKEY firstKey = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &firstKey, nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(SetString(firstKey, "v", "first"), ERROR_SUCCESS);
    {
        zarn::test::ScratchRegistry second;
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
        ASSERT_EQ(SetString(HKEY_CURRENT_USER, "v", "second"), ERROR_SUCCESS);
        // A handle keeps its database whatever the environment says now.
        EXPECT_EQ(GetString(firstKey, "v"), "first");
        EXPECT_EQ(SetString(firstKey, "w", "through handle"), ERROR_SUCCESS);
        EXPECT_EQ(GetString(HKEY_CURRENT_USER, "w"), "<error 2>");
    }
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "v"), "<error 2>");
    EXPECT_EQ(GetString(firstKey, "w"), "through handle");
    EXPECT_EQ(RegCloseKey(firstKey), ERROR_SUCCESS);
}

TEST(RegistryDatabase, AfterAWriterExitsTheDatabaseFileAloneHoldsItsWrites) {
    zarn::test::ScratchRegistry scratch;
    // The child is the only process that opens this database; once it has exited, a copy of the main file
    // without its journal (as a backup tool makes) must still hold what it wrote.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::exit(SetString(HKEY_CURRENT_USER, "written", "by the child") == ERROR_SUCCESS ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    zarn::test::ScratchRegistry copy;
    fs::copy_file(scratch.Database(), copy.Database());
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "written"), "by the child");
}

TEST(RegistryDatabase, RemovedFileStartsAnEmptyDatabaseAndOldHandlesStop) {
    zarn::test::ScratchRegistry registry;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Old", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "v", "old"), ERROR_SUCCESS);
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(registry.Database().string() + suffix);

    HKEY again = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Old", 0, KEY_READ, &again), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(fs::exists(registry.Database()));
    EXPECT_EQ(GetString(key, "v"), "<error 1018>");
    EXPECT_EQ(SetString(key, "v", "lost"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// Writes a database as the store wrote it before names were folded beyond ASCII (schema version 1), with sql run
// on it after the tables are made.
void WriteVersion1Database(const fs::path& path, const std::string& sql) {
    const std::string schema = R"sql(
CREATE TABLE reg_keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,
    class TEXT NOT NULL DEFAULT '', written INTEGER NOT NULL DEFAULT 0,
    subkeys INTEGER NOT NULL DEFAULT 0, max_subkey_len INTEGER NOT NULL DEFAULT 0,
    max_class_len INTEGER NOT NULL DEFAULT 0, value_count INTEGER NOT NULL DEFAULT 0,
    max_value_name_len INTEGER NOT NULL DEFAULT 0, max_value_len INTEGER NOT NULL DEFAULT 0,
    UNIQUE(parent, name));
CREATE TABLE reg_values(
    id INTEGER PRIMARY KEY AUTOINCREMENT, key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL, data BLOB NOT NULL, UNIQUE(key, name));
CREATE INDEX reg_keys_by_parent ON reg_keys(parent);
CREATE INDEX reg_values_by_key ON reg_values(key);
INSERT INTO reg_keys(id, parent, name) VALUES
    (1, 0, 'HKEY_CLASSES_ROOT'), (2, 0, 'HKEY_CURRENT_USER'), (3, 0, 'HKEY_LOCAL_MACHINE'), (4, 0, 'HKEY_USERS');
PRAGMA application_id = 1515341127;
PRAGMA user_version = 1;
)sql";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, (schema + sql).c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
    sqlite3_free(error);
    sqlite3_close(db);
}

std::vector<std::string> SubKeyNames(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        names.emplace_back(name);
    return names;
}

TEST(RegistryDatabase, AFileOfTheFirstSchemaFoldsItsNamesOnOpen) {
    zarn::test::ScratchRegistry registry;
    // Under HKCU\Software two keys whose names differ only in the case of \xC4, the first made holding what it
    // had and the second more; the root's two values likewise; AUTOINCREMENT has gone up to 100 for keys.
    WriteVersion1Database(registry.Database(), R"sql(
INSERT INTO reg_keys(id, parent, name, subkeys, max_subkey_len) VALUES (5, 2, 'Software', 2, 6);
INSERT INTO reg_keys(id, parent, name, value_count, max_value_name_len, max_value_len)
    VALUES (6, 5, CAST(X'C470666C' AS TEXT), 1, 1, 6), (7, 5, CAST(X'E470666C' AS TEXT), 2, 1, 12);
INSERT INTO reg_keys(id, parent, name) VALUES (8, 7, 'Kern'), (9, 5, 'zz');
UPDATE reg_keys SET subkeys = 3 WHERE id = 5;
UPDATE reg_keys SET subkeys = 1, max_subkey_len = 4 WHERE id = 7;
INSERT INTO reg_values(key, name, type, data) VALUES
    (6, 'v', 1, CAST('first' || X'00' AS BLOB)), (7, 'v', 1, CAST('second' || X'00' AS BLOB)),
    (7, 'w', 1, CAST('only second' || X'00' AS BLOB)),
    (2, CAST(X'4EC4' AS TEXT), 1, CAST('upper' || X'00' AS BLOB)),
    (2, CAST(X'6EE4' AS TEXT), 1, CAST('lower' || X'00' AS BLOB));
UPDATE reg_keys SET value_count = 2, max_value_name_len = 2, max_value_len = 6 WHERE id = 2;
UPDATE sqlite_sequence SET seq = 100 WHERE name = 'reg_keys';
)sql");

    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE", 0, KEY_ALL_ACCESS, &software), ERROR_SUCCESS);
    EXPECT_EQ(SubKeyNames(software), (std::vector<std::string>{"zz", "\xC4pfl"}));
    DWORD subKeys = 0;
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(software, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 2u);
    HKEY merged = nullptr;
    ASSERT_EQ(RegOpenKeyExA(software, "\xE4PFL", 0, KEY_ALL_ACCESS, &merged), ERROR_SUCCESS);
    EXPECT_EQ(GetString(merged, "v"), "first");
    EXPECT_EQ(GetString(merged, "w"), "only second");
    EXPECT_EQ(SubKeyNames(merged), std::vector<std::string>{"Kern"});
    ASSERT_EQ(RegQueryInfoKeyA(merged, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 1u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "n\xC4"), "upper");
    ASSERT_EQ(RegQueryInfoKeyA(HKEY_CURRENT_USER, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 1u);

    // The file keeps working, and ids of keys deleted before it was brought up to date never come back.
    HKEY made = nullptr;
    ASSERT_EQ(RegCreateKeyExA(software, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &made, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(SetString(made, "x", "y"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(software, "zz"), ERROR_SUCCESS);
    EXPECT_EQ(SubKeyNames(software), (std::vector<std::string>{"New", "\xC4pfl"}));
    for (HKEY key : {made, merged, software})
        RegCloseKey(key);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(registry.Database().c_str(), &db), SQLITE_OK);
    std::string newId;
    auto first = [](void* out, int, char** row, char**) {
        *static_cast<std::string*>(out) = row[0] != nullptr ? row[0] : "";
        return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, "SELECT id FROM reg_keys WHERE name = 'New'", first, &newId, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_GT(std::atoi(newId.c_str()), 100);
}

TEST(RegistryDatabase, AnOldClassesRootTreeMovesUnderTheMachineClasses) {
    zarn::test::ScratchRegistry registry;
    // HKEY_CLASSES_ROOT's own tree (row 1) with {A} and {B}, and a machine registration of {B} already there.
    WriteVersion1Database(registry.Database(), R"sql(
INSERT INTO reg_keys(id, parent, name, subkeys, max_subkey_len) VALUES
    (10, 1, 'CLSID', 2, 3), (11, 10, '{A}', 0, 0), (12, 10, '{B}', 0, 0),
    (20, 3, 'Software', 1, 7), (21, 20, 'Classes', 1, 5), (22, 21, 'CLSID', 1, 3), (23, 22, '{b}', 0, 0);
UPDATE reg_keys SET subkeys = 1, max_subkey_len = 5 WHERE id = 1;
UPDATE reg_keys SET subkeys = 1, max_subkey_len = 8 WHERE id = 3;
INSERT INTO reg_values(key, name, type, data) VALUES
    (1, 'atRoot', 1, CAST('r' || X'00' AS BLOB)), (11, '', 1, CAST('old A' || X'00' AS BLOB)),
    (12, '', 1, CAST('old B' || X'00' AS BLOB)), (12, 'only old', 1, CAST('kept' || X'00' AS BLOB)),
    (23, '', 1, CAST('machine B' || X'00' AS BLOB));
UPDATE reg_keys SET value_count = 1 WHERE id IN (1, 11, 23);
UPDATE reg_keys SET value_count = 2 WHERE id = 12;
)sql");

    HKEY classes = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID", 0, KEY_READ, &classes), ERROR_SUCCESS);
    EXPECT_EQ(SubKeyNames(classes), (std::vector<std::string>{"{A}", "{b}"}));
    DWORD subKeys = 0;
    ASSERT_EQ(RegQueryInfoKeyA(classes, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 2u);
    RegCloseKey(classes);
    struct Read {
        HKEY root;
        const char* path;
        const char* name;
        const char* expected;
    };
    const Read reads[] = {
        {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{A}", "", "old A"},
        {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{B}", "", "machine B"},
        {HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{B}", "only old", "kept"},
        {HKEY_LOCAL_MACHINE, "Software\\Classes", "atRoot", "r"},
        {HKEY_CLASSES_ROOT, "CLSID\\{A}", "", "old A"},
        {HKEY_CLASSES_ROOT, "", "atRoot", "r"},
    };
    for (const Read& read : reads) {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(read.root, read.path, 0, KEY_READ, &key), ERROR_SUCCESS) << read.path;
        EXPECT_EQ(GetString(key, read.name), read.expected) << read.path << " " << read.name;
        RegCloseKey(key);
    }
    EXPECT_EQ(SubKeyNames(HKEY_CLASSES_ROOT), std::vector<std::string>{"CLSID"});
}

// A database of ours with a few hundred keys, written by a process that has ended (so the file alone holds it),
// then cut to its first half.
void WriteTruncatedDatabase(const fs::path& path) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool written = true;
        for (int i = 0; i < 300; ++i)
            written = written && SetString(HKEY_CURRENT_USER, ("value " + std::to_string(i)).c_str(),
                                           std::string(100, 'v')) == ERROR_SUCCESS;
        std::exit(written ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_FALSE(fs::exists(path.string() + "-wal"));
    fs::resize_file(path, fs::file_size(path) / 2);
}

void WriteForeignDatabase(const fs::path& path) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
}

// A file at the database's path that is not a sound database of ours fails every call and is left exactly as it
// was: neither written into nor given a journal beside it. Once it is gone, the next call starts a fresh database.
TEST(RegistryDatabase, DamagedOrForeignFileFailsEveryCallAndIsLeftAlone) {
    const struct {
        const char* what;
        void (*make)(const fs::path&);
    } cases[] = {
        {"garbage",
         [](const fs::path& path) {
             std::string garbage;
             for (int i = 0; i < 5000; ++i)
                 garbage += static_cast<char>((i * 7919) % 251);
             WriteFile(path, garbage);
         }},
        {"short text", [](const fs::path& path) { WriteFile(path, "not a database\n"); }},
        {"truncated", WriteTruncatedDatabase},
        {"another program's SQLite file", WriteForeignDatabase},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        zarn::test::ScratchRegistry registry;
        c.make(registry.Database());
        const std::string bytes = ReadFile(registry.Database());
        ASSERT_FALSE(bytes.empty());

        ExpectEveryCallFails(ERROR_BADDB);
        EXPECT_TRUE(ReadFile(registry.Database()) == bytes) << "the file was changed";
        EXPECT_FALSE(fs::exists(registry.Database().string() + "-wal"));

        fs::remove(registry.Database());
        EXPECT_EQ(SetString(HKEY_CURRENT_USER, "v", "fresh"), ERROR_SUCCESS);
        EXPECT_EQ(GetString(HKEY_CURRENT_USER, "v"), "fresh");
    }
}

TEST(RegistryDatabase, UnreachableLocationIsAnIoFailure) {
    zarn::test::ScratchRegistry scratch;
    fs::path missingDirectory = scratch.Directory() / "missing" / "registry.sqlite3";
    {
        ScopedEnv path("ZARN_REGISTRY", missingDirectory.c_str());
        ExpectEveryCallFails(ERROR_REGISTRY_IO_FAILED);
        EXPECT_FALSE(fs::exists(missingDirectory.parent_path())) << "only the default path gets its directories made";
    }
    ScopedEnv path("ZARN_REGISTRY", scratch.Directory().c_str());
    ExpectEveryCallFails(ERROR_REGISTRY_IO_FAILED);
}

} // namespace
