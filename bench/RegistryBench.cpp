// Times the registry operations whose cost grows with the number of subkeys or values of one key: enumerating
// them, asking for the key's statistics at every step as callers do, deleting the key with all its subkeys, and
// zarn-reg listing a class tree. The time per item should stay flat as the counts grow.
#include "components/Registry.h"
#include "platform/RegistryApi.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string ClassId(int i) {
    const std::string n = std::to_string(i);
    return "{B0000000-0000-4000-8000-" + std::string(12 - n.size(), '0') + n + "}";
}

// `count` classes under HKCR\CLSID, each with its server key; `count` values on one key; `count` subkeys without
// subkeys of their own under another.
bool Prepare(int count) {
    zarn::CRegistry classes(HKEY_CLASSES_ROOT);
    for (int i = 0; i < count; ++i) {
        const std::string key = "CLSID\\" + ClassId(i) + "\\InprocServer32";
        if (!classes.WriteString(key.c_str(), "", "/opt/quillorna/ctl.so") ||
            !classes.WriteString(("Values\\" + std::to_string(count)).c_str(), ClassId(i).c_str(), "v") ||
            !classes.WriteString(("Flat\\" + ClassId(i)).c_str(), "", "v")) {
            return false;
        }
    }
    return true;
}

// Every subkey of HKCR\CLSID by index, with RegQueryInfoKeyA before each step as zarn-reg and CRegistry do.
bool EnumerateKeys(int count) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    int seen = 0;
    for (DWORD index = 0;; ++index) {
        DWORD longest = 0;
        char name[256];
        if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr) != ERROR_SUCCESS ||
            RegEnumKeyA(key, index, name, sizeof name) != ERROR_SUCCESS) {
            break;
        }
        ++seen;
    }
    RegCloseKey(key);
    return seen == count;
}

bool EnumerateValues(int count) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, ("Values\\" + std::to_string(count)).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    int seen = 0;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        BYTE data[64];
        DWORD dataSize = sizeof data;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, nullptr, data, &dataSize) != ERROR_SUCCESS) {
            break;
        }
        ++seen;
    }
    RegCloseKey(key);
    return seen == count;
}

bool RunZarnReg(const std::vector<std::string>& args) {
    std::vector<std::string> all{ZARN_REG_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, ZARN_REG_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        counts.push_back(std::atoi(argv[i]));
    }
    if (counts.empty()) {
        counts = {1000, 10000};
    }
    std::random_device random;
    const fs::path root = fs::temp_directory_path() / ("zarn-registry-bench-" + std::to_string(random()));
    std::printf("%8s %14s %14s %14s %14s %14s %14s\n", "keys", "enum keys ms", "enum values ms", "zarn-reg q ms",
                "zarn-reg /s ms", "delete ms", "delete flat ms");
    for (const int count : counts) {
        const fs::path dir = root / std::to_string(count);
        fs::create_directories(dir);
        ::setenv("ZARN_REGISTRY", (dir / "registry.sqlite3").string().c_str(), 1);
        if (!Prepare(count)) {
            std::fprintf(stderr, "could not prepare %d classes in %s\n", count, dir.string().c_str());
            return 1;
        }
        auto start = Clock::now();
        const bool keys = EnumerateKeys(count);
        const double enumKeysMs = MsSince(start);
        start = Clock::now();
        const bool values = EnumerateValues(count);
        const double enumValuesMs = MsSince(start);
        start = Clock::now();
        const bool query = RunZarnReg({"query", "HKCR\\CLSID"});
        const double queryMs = MsSince(start);
        start = Clock::now();
        const bool tree = RunZarnReg({"query", "HKCR\\CLSID", "/s"});
        const double treeMs = MsSince(start);
        start = Clock::now();
        const bool deleted = zarn::CRegistry(HKEY_CLASSES_ROOT).Delete("CLSID", nullptr) == 1;
        const double deleteMs = MsSince(start);
        start = Clock::now();
        const bool flat = zarn::CRegistry(HKEY_CLASSES_ROOT).Delete("Flat", nullptr) == 1;
        const double flatMs = MsSince(start);
        if (!keys || !values || !query || !tree || !deleted || !flat) {
            std::fprintf(stderr, "a step failed for %d classes\n", count);
            return 1;
        }
        std::printf("%8d %14.1f %14.1f %14.1f %14.1f %14.1f %14.1f\n", count, enumKeysMs, enumValuesMs, queryMs, treeMs,
                    deleteMs, flatMs);
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
