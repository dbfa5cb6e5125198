// The open registry key handles of this process: what each one refers to and with which rights.
#pragma once

#include "platform/posix/RegistryStore.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace zarn::platform {

class RegistryHandleTable {
public:
    struct Key {
        std::shared_ptr<RegistryStore> store;
        RegistryStore::KeyRef ref;
        REGSAM access = 0;
    };

    // The process-wide table; never destroyed, so handles closed by static destructors still close. Any thread.
    static RegistryHandleTable& Instance();

    // True for the four predefined keys this store keeps.
    static bool IsPredefined(HKEY handle);

    // What handle refers to: a predefined key resolves to the current database's root (for HKEY_CLASSES_ROOT the
    // root of its view) with every right. Any
    // thread; ERROR_INVALID_HANDLE for a handle that is not open, or the pool's error for a predefined key.
    LONG Resolve(HKEY handle, Key& key);
    // Registers a new open handle. Any thread; never fails but by std::bad_alloc.
    HKEY Add(Key key);
    // Forgets handle; a predefined key is left as it is. Any thread; ERROR_INVALID_HANDLE when not open.
    LONG Close(HKEY handle);

private:
    RegistryHandleTable() = default;

    std::mutex m_mutex;
    std::unordered_map<std::uintptr_t, Key> m_keys;
    // Handles are never reused, so a stale copy of a closed handle is always recognised as invalid.
    std::uintptr_t m_next = 0x1000;
};

} // namespace zarn::platform
