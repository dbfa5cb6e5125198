#include "platform/posix/RegistryStorePool.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <pthread.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zarn::platform {

namespace {

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    while (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == ERANGE)
        buffer.resize(buffer.size() * 2);
    if (found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/')
        return {};
    return found->pw_dir;
}

// Makes every missing directory of path (a directory path). Private to the user: it holds their settings.
bool MakeDirectories(const std::string& path) {
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        std::string prefix = path.substr(0, pos);
        if (prefix.empty())
            continue;
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::atomic<pid_t> g_processId{0};

} // namespace

pid_t RegistryStorePool::ProcessId() {
    // getpid() is a system call on every use; every registry call asks, so the answer is kept and renewed in the
    // child of a fork.
    static const bool renewedAtFork = [] {
        return pthread_atfork(nullptr, nullptr, [] { g_processId.store(getpid(), std::memory_order_relaxed); }) == 0;
    }();
    pid_t pid = g_processId.load(std::memory_order_relaxed);
    if (pid == 0 || !renewedAtFork) {
        pid = getpid();
        g_processId.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

RegistryStorePool& RegistryStorePool::Instance() {
    static auto* pool = [] {
        auto* made = new RegistryStorePool;
        // SQLite folds the write-ahead log back into the database file only when its last connection
        // closes; without this, committed writes would stay in the -wal file after the process ends.
        std::atexit([] { Instance().CloseAll(); });
        return made;
    }();
    return *pool;
}

void RegistryStorePool::CloseAll() {
    std::lock_guard lock(m_mutex);
    if (m_pid != ProcessId())
        return; // the stores belong to the parent of a fork
    for (auto& entry : m_stores)
        entry.second->Close();
    m_stores.clear();
}

LONG RegistryStorePool::DatabasePath(bool makeDirectories, std::string& path) {
    const char* named = std::getenv("ZARN_REGISTRY");
    if (named != nullptr && named[0] != '\0') {
        path = named;
        return ERROR_SUCCESS;
    }
    // The XDG rules ignore a relative XDG_DATA_HOME.
    std::string dataHome;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        dataHome = xdg;
    } else {
        std::string home = HomeDirectory();
        if (home.empty())
            return ERROR_REGISTRY_IO_FAILED;
        dataHome = home + "/.local/share";
    }
    std::string directory = dataHome + "/Ostrevant";
    if (makeDirectories && !MakeDirectories(directory))
        return ERROR_REGISTRY_IO_FAILED;
    path = directory + "/registry.sqlite3";
    return ERROR_SUCCESS;
}

LONG RegistryStorePool::Current(std::shared_ptr<RegistryStore>& store) {
    // The default database's folders are made only when its store is opened, not on every registry call.
    std::string path;
    LONG result = DatabasePath(false, path);
    if (result != ERROR_SUCCESS)
        return result;
    std::lock_guard lock(m_mutex);
    pid_t pid = ProcessId();
    if (m_pid != pid) {
        for (auto& entry : m_stores)
            m_inherited.push_back(std::move(entry.second));
        m_stores.clear();
        m_pid = pid;
    }
    auto found = m_stores.find(path);
    if (found != m_stores.end() && found->second->IsStale()) {
        // Handles still open on the old file stop working rather than write into a file nobody will read again.
        found->second->Close();
        m_stores.erase(found);
        found = m_stores.end();
    }
    if (found == m_stores.end()) {
        result = DatabasePath(true, path);
        if (result != ERROR_SUCCESS)
            return result;
        found = m_stores.emplace(path, std::make_shared<RegistryStore>(path)).first;
    }
    store = found->second;
    return ERROR_SUCCESS;
}

LONG RegistryStorePool::BeginCapture() {
    std::shared_ptr<RegistryStore> store;
    if (LONG result = Current(store); result != ERROR_SUCCESS)
        return result;
    std::lock_guard lock(m_mutex);
    if (m_capture)
        return ERROR_INVALID_FUNCTION;
    if (LONG result = store->BeginCapture(); result != ERROR_SUCCESS)
        return result;
    m_capture = std::move(store);
    return ERROR_SUCCESS;
}

LONG RegistryStorePool::EndCapture(bool commit) {
    std::shared_ptr<RegistryStore> store;
    {
        std::lock_guard lock(m_mutex);
        store = std::move(m_capture);
        m_capture.reset();
    }
    if (!store)
        return ERROR_INVALID_FUNCTION;
    return store->EndCapture(commit);
}

} // namespace zarn::platform
