// Writers in several threads and several processes at once: every write must arrive.
#include "platform/RegistryApi.h"
#include "tests/support/ScratchRegistry.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kKeysPerWriter = 500;

// Creates kKeysPerWriter keys "prefix-i" under HKCU\Concurrent, each with a value naming it, each through its own
// open handle of the parent. Returns how many calls failed.
int WriteKeys(const std::string& prefix) {
    int failures = 0;
    HKEY parent = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Concurrent", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parent, nullptr) !=
        ERROR_SUCCESS)
        return kKeysPerWriter;
    for (int i = 0; i < kKeysPerWriter; ++i) {
        std::string name = prefix + "-" + std::to_string(i);
        HKEY key = nullptr;
        if (RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS) {
            ++failures;
            continue;
        }
        if (RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                           static_cast<DWORD>(name.size() + 1)) != ERROR_SUCCESS)
            ++failures;
        RegCloseKey(key);
    }
    RegCloseKey(parent);
    return failures;
}

// Checks that every key of every writer is there with its value.
void ExpectAllKeys(const std::vector<std::string>& prefixes) {
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Concurrent", 0, KEY_READ, &parent), ERROR_SUCCESS);
    DWORD subKeys = 0;
    ASSERT_EQ(RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, prefixes.size() * kKeysPerWriter);
    int missing = 0;
    for (const std::string& prefix : prefixes) {
        for (int i = 0; i < kKeysPerWriter; ++i) {
            std::string name = prefix + "-" + std::to_string(i);
            char value[64] = {};
            DWORD size = sizeof value;
            HKEY key = nullptr;
            if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
                ++missing;
                continue;
            }
            if (RegQueryValueExA(key, "", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
                name != value)
                ++missing;
            RegCloseKey(key);
        }
    }
    EXPECT_EQ(missing, 0);
    RegCloseKey(parent);
}

TEST(RegistryConcurrency, TwoThreadsWritingAtOnceLoseNothing) {
    zarn::test::ScratchRegistry registry;
    int failures[2] = {-1, -1};
    std::thread first([&] { failures[0] = WriteKeys("T0"); });
    std::thread second([&] { failures[1] = WriteKeys("T1"); });
    first.join();
    second.join();
    EXPECT_EQ(failures[0], 0);
    EXPECT_EQ(failures[1], 0);
    ExpectAllKeys({"T0", "T1"});
}

TEST(RegistryConcurrency, DeletingAKeyOthersDeleteAndMakeAgainFindsItOrNot) {
    zarn::test::ScratchRegistry registry;
    // Each thread makes the same key and deletes it again: a deletion either finds a key at the path and deletes
    // it, or finds none. It never reports a key deleted under its feet, which it could if the key were found in one
    // transaction and deleted in another.
    auto churn = [] {
        std::vector<LONG> odd;
        for (int i = 0; i < 1500; ++i) {
            HKEY key = nullptr;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, "Churn\\k", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
                ERROR_SUCCESS)
                RegCloseKey(key);
            const LONG result = RegDeleteKeyA(HKEY_CURRENT_USER, "Churn\\k");
            if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND)
                odd.push_back(result);
        }
        return odd;
    };
    std::vector<LONG> odd[2];
    std::thread first([&] { odd[0] = churn(); });
    std::thread second([&] { odd[1] = churn(); });
    first.join();
    second.join();
    EXPECT_EQ(odd[0], std::vector<LONG>{});
    EXPECT_EQ(odd[1], std::vector<LONG>{});
}

TEST(RegistryConcurrency, TwoProcessesWritingAtOnceLoseNothing) {
    zarn::test::ScratchRegistry registry;
    // The parent has the database open before the fork: the child must not reuse that connection.
    ASSERT_EQ(
        RegSetValueExA(HKEY_CURRENT_USER, "before fork", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4),
        ERROR_SUCCESS);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        close(ready[0]);
        char go = 'g';
        bool told = write(ready[1], &go, 1) == 1;
        int failures = WriteKeys("P1");
        _exit(told && failures == 0 ? 0 : 1);
    }
    close(ready[1]);
    char go = 0;
    ASSERT_EQ(read(ready[0], &go, 1), 1);
    close(ready[0]);
    int failures = WriteKeys("P0");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(failures, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ExpectAllKeys({"P0", "P1"});
}

TEST(RegistryConcurrency, ProcessesAndThreadsTogether) {
    zarn::test::ScratchRegistry registry;
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        int failures[2] = {-1, -1};
        std::thread helper([&] { failures[1] = WriteKeys("C1"); });
        failures[0] = WriteKeys("C0");
        helper.join();
        _exit(failures[0] == 0 && failures[1] == 0 ? 0 : 1);
    }
    int failures[2] = {-1, -1};
    std::thread helper([&] { failures[1] = WriteKeys("M1"); });
    failures[0] = WriteKeys("M0");
    helper.join();
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(failures[0], 0);
    EXPECT_EQ(failures[1], 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ExpectAllKeys({"M0", "M1", "C0", "C1"});
}

TEST(RegistryConcurrency, ProcessesMakingANewDatabaseAtOnceAllSucceed) {
    constexpr int kRounds = 10;
    constexpr int kProcesses = 6;
    for (int round = 0; round < kRounds; ++round) {
        zarn::test::ScratchRegistry registry;
        int start[2];
        ASSERT_EQ(pipe(start), 0);
        std::vector<pid_t> children;
        for (int i = 0; i < kProcesses; ++i) {
            pid_t child = fork();
            ASSERT_NE(child, -1);
            if (child == 0) {
                close(start[1]);
                char go = 0;
                bool released = read(start[0], &go, 1) == 0; // end of file: every writer starts now
                std::string name = "First-" + std::to_string(i);
                HKEY key = nullptr;
                bool made = RegCreateKeyExA(HKEY_LOCAL_MACHINE, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                            &key, nullptr) == ERROR_SUCCESS;
                _exit(released && made ? 0 : 1);
            }
            children.push_back(child);
        }
        close(start[0]);
        close(start[1]);
        int failed = 0;
        for (pid_t child : children) {
            int status = 0;
            if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
                ++failed;
        }
        EXPECT_EQ(failed, 0) << "round " << round;
        DWORD subKeys = 0;
        EXPECT_EQ(RegQueryInfoKeyA(HKEY_LOCAL_MACHINE, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(subKeys, static_cast<DWORD>(kProcesses)) << "round " << round;
    }
}

// The server path registered for a class, as version detection reads it, or the error.
std::string ClassServer(const std::string& classId) {
    const std::string path = "CLSID\\" + classId + "\\InprocServer32";
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key);
    char value[64] = {};
    DWORD size = sizeof value - 1;
    if (result == ERROR_SUCCESS) {
        result = RegQueryValueExA(key, "", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
        RegCloseKey(key);
    }
    return result == ERROR_SUCCESS ? value : "<error " + std::to_string(result) + ">";
}

LONG SetClassServer(const std::string& classId, const std::string& server) {
    const std::string path = "CLSID\\" + classId + "\\InprocServer32";
    HKEY key = nullptr;
    LONG result =
        RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    result = RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                            static_cast<DWORD>(server.size() + 1));
    RegCloseKey(key);
    return result;
}

// The subkeys of HKEY_CLASSES_ROOT\CLSID by enumeration, and their count as the key reports it.
std::string ClassList() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<no CLSID>";
    std::string list;
    char name[64];
    for (DWORD index = 0; RegEnumKeyA(key, index, name, sizeof name) == ERROR_SUCCESS; ++index)
        list += std::string(name) + " ";
    DWORD count = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return list + std::to_string(count);
}

// An installer registers its class from its own process while the launcher runs: every read of the launcher after
// that commit sees it, however the launcher read the same keys before.
TEST(RegistryConcurrency, ReadsSeeWhatAnotherProcessCommittedBeforeThem) {
    zarn::test::ScratchRegistry registry;
    ASSERT_EQ(SetClassServer("{B}", "old.so"), ERROR_SUCCESS);
    const struct {
        std::string (*read)();
        const char* before;
        const char* after;
    } reads[] = {
        {[] { return ClassServer("{A}"); }, "<error 2>", "made.so"},
        {[] { return ClassServer("{B}"); }, "old.so", "changed.so"},
        {ClassList, "{B} 1", "{A} {B} 2"},
    };
    // Twice before, so that whatever the store keeps of a read is in place when the other process writes.
    for (int round = 0; round < 2; ++round) {
        for (const auto& read : reads)
            EXPECT_EQ(read.read(), read.before);
    }
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0)
        _exit(SetClassServer("{A}", "made.so") == ERROR_SUCCESS && SetClassServer("{B}", "changed.so") == ERROR_SUCCESS
                  ? 0
                  : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const auto& read : reads)
        EXPECT_EQ(read.read(), read.after);
}

TEST(RegistryConcurrency, ForkedChildReachesTheDatabaseThroughItsOwnConnection) {
    zarn::test::ScratchRegistry registry;
    HKEY parentsKey = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, "Parent", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &parentsKey, nullptr),
        ERROR_SUCCESS);
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // A handle of the parent would drive the parent's SQLite connection, which must not be used across fork.
        bool refused = RegSetValueExA(parentsKey, "from child", 0, REG_BINARY, nullptr, 0) == ERROR_INVALID_HANDLE;
        HKEY own = nullptr;
        bool reopened = RegOpenKeyExA(HKEY_CURRENT_USER, "Parent", 0, KEY_ALL_ACCESS, &own) == ERROR_SUCCESS &&
                        RegSetValueExA(own, "from child", 0, REG_BINARY, nullptr, 0) == ERROR_SUCCESS;
        _exit(refused && reopened ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(RegQueryValueExA(parentsKey, "from child", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(parentsKey), ERROR_SUCCESS);
}

} // namespace
