#include "platform/posix/RegistryHandleTable.h"

#include "platform/posix/RegistryStorePool.h"

namespace zarn::platform {

namespace {

// The predefined key's root in the tree: 0 for HKEY_CLASSES_ROOT, which is a view, and -1 for any other handle.
std::int64_t PredefinedRootId(HKEY handle) {
    if (handle == HKEY_CLASSES_ROOT)
        return 0;
    if (handle == HKEY_CURRENT_USER)
        return RegistryStore::kCurrentUserId;
    if (handle == HKEY_LOCAL_MACHINE)
        return RegistryStore::kLocalMachineId;
    if (handle == HKEY_USERS)
        return RegistryStore::kUsersId;
    return -1;
}

// The values the predefined keys use, which a counter must step over.
constexpr std::uintptr_t kPredefinedFirst = 0x80000000u;
constexpr std::uintptr_t kPredefinedLast = 0x800000FFu;

} // namespace

RegistryHandleTable& RegistryHandleTable::Instance() {
    static auto* table = new RegistryHandleTable;
    return *table;
}

bool RegistryHandleTable::IsPredefined(HKEY handle) {
    return PredefinedRootId(handle) >= 0;
}

LONG RegistryHandleTable::Resolve(HKEY handle, Key& key) {
    if (std::int64_t root = PredefinedRootId(handle); root >= 0) {
        std::shared_ptr<RegistryStore> store;
        LONG result = RegistryStorePool::Instance().Current(store);
        if (result != ERROR_SUCCESS)
            return result;
        key = Key{std::move(store), {root, {}}, KEY_ALL_ACCESS};
        return ERROR_SUCCESS;
    }
    std::lock_guard lock(m_mutex);
    auto found = m_keys.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == m_keys.end())
        return ERROR_INVALID_HANDLE;
    key = found->second;
    return ERROR_SUCCESS;
}

HKEY RegistryHandleTable::Add(Key key) {
    std::lock_guard lock(m_mutex);
    m_next += 4;
    if (m_next >= kPredefinedFirst && m_next <= kPredefinedLast)
        m_next = kPredefinedLast + 1;
    m_keys.emplace(m_next, std::move(key));
    return reinterpret_cast<HKEY>(m_next);
}

LONG RegistryHandleTable::Close(HKEY handle) {
    if (IsPredefined(handle))
        return ERROR_SUCCESS;
    // Declared before the lock: a store whose last handle goes is closed after the table is unlocked.
    std::shared_ptr<RegistryStore> last;
    std::lock_guard lock(m_mutex);
    auto found = m_keys.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == m_keys.end())
        return ERROR_INVALID_HANDLE;
    last = std::move(found->second.store);
    m_keys.erase(found);
    return ERROR_SUCCESS;
}

} // namespace zarn::platform
