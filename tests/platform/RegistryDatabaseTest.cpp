// Where the registry database lives, how it comes into being, and what a damaged one does to every call.
#include "platform/Registry.h"
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

// Sets (or with nullptr unsets) one environment variable for the life of the object.
class EnvironmentOverride {
public:
    EnvironmentOverride(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvironmentOverride() {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

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
    EnvironmentOverride noOverride("ZARN_REGISTRY", nullptr);
    EnvironmentOverride xdg("XDG_DATA_HOME", dataHome.c_str());
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
    EnvironmentOverride noOverride("ZARN_REGISTRY", "");
    EnvironmentOverride home("HOME", scratch.Directory().c_str());
    fs::path expected = scratch.Directory() / ".local" / "share" / "Ostrevant" / "registry.sqlite3";
    {
        EnvironmentOverride xdg("XDG_DATA_HOME", nullptr);
        EXPECT_EQ(DatabasePathNow(), expected.string());
    }
    EnvironmentOverride xdg("XDG_DATA_HOME", "relative/dir");
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

TEST(RegistryDatabase, GarbageFileFailsEveryCallAndIsLeftAlone) {
    zarn::test::ScratchRegistry registry;
    std::string garbage;
    for (int i = 0; i < 5000; ++i)
        garbage += static_cast<char>((i * 7919) % 251);
    WriteFile(registry.Database(), garbage);

    ExpectEveryCallFails(ERROR_BADDB);
    EXPECT_EQ(ReadFile(registry.Database()), garbage);

    // Once the damaged file is gone, the next call starts a fresh database.
    fs::remove(registry.Database());
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, "v", "fresh"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "v"), "fresh");
}

TEST(RegistryDatabase, ShortTextFileIsNotADatabase) {
    zarn::test::ScratchRegistry registry;
    WriteFile(registry.Database(), "not a database\n");
    ExpectEveryCallFails(ERROR_BADDB);
    EXPECT_EQ(ReadFile(registry.Database()), "not a database\n");
}

TEST(RegistryDatabase, AnotherProgramsSqliteFileIsNotTouched) {
    zarn::test::ScratchRegistry registry;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(registry.Database().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);

    ExpectEveryCallFails(ERROR_BADDB);

    ASSERT_EQ(sqlite3_open(registry.Database().c_str(), &db), SQLITE_OK);
    int tables = -1;
    auto count = [](void* out, int, char** values, char**) {
        *static_cast<int*>(out) = std::atoi(values[0]);
        return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", count, &tables, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_EQ(tables, 1);
}

TEST(RegistryDatabase, UnreachableLocationIsAnIoFailure) {
    zarn::test::ScratchRegistry scratch;
    fs::path missingDirectory = scratch.Directory() / "missing" / "registry.sqlite3";
    {
        EnvironmentOverride path("ZARN_REGISTRY", missingDirectory.c_str());
        ExpectEveryCallFails(ERROR_REGISTRY_IO_FAILED);
        EXPECT_FALSE(fs::exists(missingDirectory.parent_path())) << "only the default path gets its directories made";
    }
    EnvironmentOverride path("ZARN_REGISTRY", scratch.Directory().c_str());
    ExpectEveryCallFails(ERROR_REGISTRY_IO_FAILED);
}

} // namespace
