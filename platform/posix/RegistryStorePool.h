// The open registry databases of this process, one store per database path.
#pragma once

#include "platform/posix/RegistryStore.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zarn::platform {

class RegistryStorePool {
public:
    // The process-wide pool; never destroyed, so registry calls from static destructors still work. Any thread.
    static RegistryStorePool& Instance();

    // The store for the database path as the environment names it now (see DatabasePath), making the default
    // path's missing directories. A store whose file was removed or replaced is closed and a fresh one made.
    // Any thread; ERROR_REGISTRY_IO_FAILED when no path can be formed or its directories cannot be made.
    LONG Current(std::shared_ptr<RegistryStore>& store);

    // $ZARN_REGISTRY when set and not empty, else $XDG_DATA_HOME/Ostrevant/registry.sqlite3 with XDG_DATA_HOME
    // defaulting to ~/.local/share. makeDirectories makes the default path's missing directories. Any thread;
    // ERROR_REGISTRY_IO_FAILED when no path can be formed or a directory cannot be made.
    static LONG DatabasePath(bool makeDirectories, std::string& path);

    // This process's id, also in the child of a fork. Any thread.
    static pid_t ProcessId();

    // Opens a capture (RegistryStore::BeginCapture) on the store Current() gives, which EndCapture then ends, whatever
    // the environment names meanwhile. Any thread; ERROR_INVALID_FUNCTION when this process has a capture open.
    LONG BeginCapture();
    // Ends the capture BeginCapture opened (RegistryStore::EndCapture). ERROR_INVALID_FUNCTION when none is open.
    LONG EndCapture(bool commit);

    // Closes this process's stores, folding their journals into the database files; a later call opens
    // them again. Run at exit. Any thread.
    void CloseAll();

private:
    RegistryStorePool() = default;

    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<RegistryStore>> m_stores;
    // Stores inherited through fork(): their connections belong to the parent and must be neither used nor closed.
    std::vector<std::shared_ptr<RegistryStore>> m_inherited;
    // The store of the open capture, if any.
    std::shared_ptr<RegistryStore> m_capture;
    pid_t m_pid = 0;
};

} // namespace zarn::platform
