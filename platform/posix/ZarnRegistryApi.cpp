// The exported registry functions: argument checks and access rights here, the data work in RegistryStore.
#include "ZarnRegistryApi.h"

#include "platform/posix/RegistryHandleTable.h"
#include "platform/posix/RegistryStorePool.h"

#include <cctype>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using zarn::platform::RegistryHandleTable;
using zarn::platform::RegistryStore;

namespace {

constexpr REGSAM kMaximumAllowed = 0x02000000u;
constexpr REGSAM kGenericAll = 0x10000000u;
constexpr REGSAM kGenericExecute = 0x20000000u;
constexpr REGSAM kGenericWrite = 0x40000000u;
constexpr REGSAM kGenericRead = 0x80000000u;
constexpr DWORD kKnownCreateOptions = 0xFu; // non-volatile/volatile, create link, backup-restore, open link

// Generic rights stand for the key rights as Windows maps them; the 32/64-bit view flags select nothing here.
REGSAM NormalizeAccess(REGSAM sam) {
    REGSAM access = sam & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    if (access & (kMaximumAllowed | kGenericAll))
        access |= KEY_ALL_ACCESS;
    if (access & kGenericRead)
        access |= KEY_READ;
    if (access & kGenericWrite)
        access |= KEY_WRITE;
    if (access & kGenericExecute)
        access |= KEY_EXECUTE;
    return access;
}

// A subkey path splits at backslashes; a trailing backslash is tolerated, a leading or doubled one is not. A name
// longer than Windows allows is refused, and so is a path with more names than keys can nest, before any of it is
// copied.
LONG SplitPath(LPCSTR subKey, std::vector<std::string>& names) {
    names.clear();
    if (subKey == nullptr)
        return ERROR_SUCCESS;
    std::string_view rest(subKey);
    if (!rest.empty() && rest.front() == '\\')
        return ERROR_BAD_PATHNAME;
    while (!rest.empty()) {
        std::size_t cut = rest.find('\\');
        std::string_view name = rest.substr(0, cut);
        if (name.empty())
            return ERROR_BAD_PATHNAME;
        if (name.size() > RegistryStore::kMaxKeyNameLength || names.size() == RegistryStore::kMaxDepth)
            return ERROR_INVALID_PARAMETER;
        names.emplace_back(name);
        if (cut == std::string_view::npos)
            break;
        rest.remove_prefix(cut + 1);
    }
    return ERROR_SUCCESS;
}

std::string_view ValueName(LPCSTR name) {
    return name == nullptr ? std::string_view() : std::string_view(name);
}

// No exception may leave an exported C function.
template <class Body> LONG Guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_REGISTRY_IO_FAILED;
    }
}

// Hands value data to a caller as RegQueryValueExA does: the size alone when there is no buffer, ERROR_MORE_DATA
// and the needed size when the buffer is too small.
LONG CopyData(const std::vector<BYTE>& data, LPBYTE lpData, LPDWORD lpcbData) {
    if (data.size() > std::numeric_limits<DWORD>::max())
        return ERROR_NOT_ENOUGH_MEMORY;
    if (lpcbData == nullptr)
        return ERROR_SUCCESS;
    DWORD size = static_cast<DWORD>(data.size());
    if (lpData == nullptr) {
        *lpcbData = size;
        return ERROR_SUCCESS;
    }
    DWORD room = *lpcbData;
    *lpcbData = size;
    if (room < size)
        return ERROR_MORE_DATA;
    if (size != 0)
        std::memcpy(lpData, data.data(), size);
    return ERROR_SUCCESS;
}

bool SameHostName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The local machine: no name, or this host's name (full or up to its first dot), with or without "\\".
bool IsLocalMachine(LPCSTR machine) {
    if (machine == nullptr || machine[0] == '\0')
        return true;
    std::string_view name(machine);
    if (name.starts_with("\\\\"))
        name.remove_prefix(2);
    std::vector<char> host(256);
    while (gethostname(host.data(), host.size()) != 0 || std::memchr(host.data(), '\0', host.size()) == nullptr) {
        if (host.size() >= 65536)
            return false;
        host.resize(host.size() * 2);
    }
    std::string_view full(host.data());
    std::string_view shortName = full.substr(0, full.find('.'));
    return !name.empty() && (SameHostName(name, full) || SameHostName(name, shortName));
}

// Resolves a handle that must have been opened with the `needed` rights (0: any).
LONG ResolveKey(HKEY hKey, REGSAM needed, RegistryHandleTable::Key& key) {
    const LONG result = RegistryHandleTable::Instance().Resolve(hKey, key);
    if (result == ERROR_SUCCESS && (key.access & needed) != needed)
        return ERROR_ACCESS_DENIED;
    return result;
}

// Resolves a handle and splits the subkey path below it.
LONG ResolveParent(HKEY hKey, LPCSTR subKey, RegistryHandleTable::Key& parent, std::vector<std::string>& names) {
    const LONG result = RegistryHandleTable::Instance().Resolve(hKey, parent);
    return result != ERROR_SUCCESS ? result : SplitPath(subKey, names);
}

// Finds the existing key at a subkey path below a handle.
LONG FindKey(HKEY hKey, LPCSTR subKey, RegistryHandleTable::Key& parent, RegistryStore::KeyRef& key) {
    std::vector<std::string> names;
    const LONG result = ResolveParent(hKey, subKey, parent, names);
    return result != ERROR_SUCCESS ? result : parent.store->OpenPath(parent.ref, names, key);
}

} // namespace

extern "C" {

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired, PHKEY phkResult) {
    return Guarded([&]() -> LONG {
        if (phkResult == nullptr)
            return ERROR_INVALID_PARAMETER;
        *phkResult = nullptr;
        RegistryHandleTable::Key parent;
        RegistryStore::KeyRef key;
        const LONG result = FindKey(hKey, lpSubKey, parent, key);
        if (result != ERROR_SUCCESS)
            return result;
        *phkResult = RegistryHandleTable::Instance().Add({parent.store, std::move(key), NormalizeAccess(samDesired)});
        return ERROR_SUCCESS;
    });
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*Reserved*/, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                     const LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, PHKEY phkResult, LPDWORD lpdwDisposition) {
    return Guarded([&]() -> LONG {
        if (phkResult == nullptr || (dwOptions & ~kKnownCreateOptions) != 0)
            return ERROR_INVALID_PARAMETER;
        *phkResult = nullptr;
        RegistryHandleTable::Key parent;
        std::vector<std::string> names;
        LONG result = ResolveParent(hKey, lpSubKey, parent, names);
        if (result != ERROR_SUCCESS)
            return result;
        RegistryStore::KeyRef key;
        bool created = false;
        bool mayCreate = (parent.access & KEY_CREATE_SUB_KEY) != 0;
        result = parent.store->CreatePath(parent.ref, names, ValueName(lpClass), mayCreate, key, created);
        if (result != ERROR_SUCCESS)
            return result;
        *phkResult = RegistryHandleTable::Instance().Add({parent.store, std::move(key), NormalizeAccess(samDesired)});
        if (lpdwDisposition != nullptr)
            *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
    return Guarded([&]() -> LONG {
        if (lpReserved != nullptr || (lpData != nullptr && lpcbData == nullptr))
            return ERROR_INVALID_PARAMETER;
        RegistryHandleTable::Key key;
        LONG result = ResolveKey(hKey, KEY_QUERY_VALUE, key);
        if (result != ERROR_SUCCESS)
            return result;
        RegistryStore::Value value;
        if ((result = key.store->QueryValue(key.ref, ValueName(lpValueName), value)) != ERROR_SUCCESS)
            return result;
        if (lpType != nullptr)
            *lpType = value.type;
        return CopyData(value.data, lpData, lpcbData);
    });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD /*Reserved*/, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    return Guarded([&]() -> LONG {
        if (lpData == nullptr && cbData != 0)
            return ERROR_INVALID_PARAMETER;
        const std::string_view name = ValueName(lpValueName);
        if (name.size() > RegistryStore::kMaxValueNameLength)
            return ERROR_INVALID_PARAMETER;
        RegistryHandleTable::Key key;
        LONG result = ResolveKey(hKey, KEY_SET_VALUE, key);
        if (result != ERROR_SUCCESS)
            return result;
        return key.store->SetValue(key.ref, name, dwType, lpData, cbData);
    });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    return Guarded([&]() -> LONG {
        RegistryHandleTable::Key key;
        LONG result = ResolveKey(hKey, KEY_SET_VALUE, key);
        if (result != ERROR_SUCCESS)
            return result;
        return key.store->DeleteValue(key.ref, ValueName(lpValueName));
    });
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    return Guarded([&]() -> LONG {
        if (lpSubKey == nullptr)
            return ERROR_INVALID_PARAMETER;
        RegistryHandleTable::Key parent;
        std::vector<std::string> names;
        const LONG result = ResolveParent(hKey, lpSubKey, parent, names);
        return result != ERROR_SUCCESS ? result : parent.store->DeleteKey(parent.ref, names);
    });
}

LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) {
    return Guarded([&]() -> LONG {
        RegistryHandleTable::Key parent;
        std::vector<std::string> names;
        const LONG result = ResolveParent(hKey, lpSubKey == nullptr ? "" : lpSubKey, parent, names);
        return result != ERROR_SUCCESS ? result : parent.store->DeleteTree(parent.ref, names, lpSubKey == nullptr);
    });
}

LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    return Guarded([&]() -> LONG {
        if (lpName == nullptr)
            return ERROR_INVALID_PARAMETER;
        RegistryHandleTable::Key key;
        LONG result = ResolveKey(hKey, KEY_ENUMERATE_SUB_KEYS, key);
        if (result != ERROR_SUCCESS)
            return result;
        std::string name;
        if ((result = key.store->EnumKey(key.ref, dwIndex, name)) != ERROR_SUCCESS)
            return result;
        if (name.size() >= cchName)
            return ERROR_MORE_DATA;
        std::memcpy(lpName, name.c_str(), name.size() + 1);
        return ERROR_SUCCESS;
    });
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    return Guarded([&]() -> LONG {
        if (lpValueName == nullptr || lpcchValueName == nullptr || lpReserved != nullptr ||
            (lpData != nullptr && lpcbData == nullptr))
            return ERROR_INVALID_PARAMETER;
        RegistryHandleTable::Key key;
        LONG result = ResolveKey(hKey, KEY_QUERY_VALUE, key);
        if (result != ERROR_SUCCESS)
            return result;
        std::string name;
        RegistryStore::Value value;
        if ((result = key.store->EnumValue(key.ref, dwIndex, name, value)) != ERROR_SUCCESS)
            return result;
        // A name that does not fit is not stored and its count is left as it was, as Windows does.
        if (name.size() >= *lpcchValueName)
            return ERROR_MORE_DATA;
        std::memcpy(lpValueName, name.c_str(), name.size() + 1);
        *lpcchValueName = static_cast<DWORD>(name.size());
        if (lpType != nullptr)
            *lpType = value.type;
        return CopyData(value.data, lpData, lpcbData);
    });
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                      LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    return Guarded([&]() -> LONG {
        if (lpReserved != nullptr || (lpClass != nullptr && lpcchClass == nullptr))
            return ERROR_INVALID_PARAMETER;
        RegistryHandleTable::Key key;
        LONG result = ResolveKey(hKey, KEY_QUERY_VALUE, key);
        if (result != ERROR_SUCCESS)
            return result;
        RegistryStore::KeyInfo info;
        if ((result = key.store->QueryInfo(key.ref, info)) != ERROR_SUCCESS)
            return result;
        if (lpcchClass != nullptr) {
            DWORD room = *lpcchClass;
            *lpcchClass = static_cast<DWORD>(info.keyClass.size());
            if (lpClass != nullptr) {
                if (info.keyClass.size() >= room)
                    return ERROR_MORE_DATA;
                std::memcpy(lpClass, info.keyClass.c_str(), info.keyClass.size() + 1);
            }
        }
        if (lpcSubKeys != nullptr)
            *lpcSubKeys = info.subKeys;
        if (lpcbMaxSubKeyLen != nullptr)
            *lpcbMaxSubKeyLen = info.maxSubKeyLen;
        if (lpcbMaxClassLen != nullptr)
            *lpcbMaxClassLen = info.maxClassLen;
        if (lpcValues != nullptr)
            *lpcValues = info.values;
        if (lpcbMaxValueNameLen != nullptr)
            *lpcbMaxValueNameLen = info.maxValueNameLen;
        if (lpcbMaxValueLen != nullptr)
            *lpcbMaxValueLen = info.maxValueLen;
        // The store keeps no security descriptors.
        if (lpcbSecurityDescriptor != nullptr)
            *lpcbSecurityDescriptor = 0;
        if (lpftLastWriteTime != nullptr) {
            lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(info.lastWriteTime & 0xFFFFFFFFu);
            lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(info.lastWriteTime >> 32);
        }
        return ERROR_SUCCESS;
    });
}

LONG RegCloseKey(HKEY hKey) {
    return Guarded([&]() -> LONG { return RegistryHandleTable::Instance().Close(hKey); });
}

LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
    return Guarded([&]() -> LONG {
        if (phkResult == nullptr)
            return ERROR_INVALID_PARAMETER;
        *phkResult = nullptr;
        if (!IsLocalMachine(lpMachineName))
            return ERROR_BAD_NETPATH;
        if (!RegistryHandleTable::IsPredefined(hKey))
            return ERROR_INVALID_HANDLE;
        RegistryHandleTable::Key root;
        LONG result = RegistryHandleTable::Instance().Resolve(hKey, root);
        if (result != ERROR_SUCCESS)
            return result;
        *phkResult = RegistryHandleTable::Instance().Add(std::move(root));
        return ERROR_SUCCESS;
    });
}

LONG ZarnRegGetDatabasePathA(LPSTR lpPath, LPDWORD lpcchPath) {
    return Guarded([&]() -> LONG {
        if (lpcchPath == nullptr)
            return ERROR_INVALID_PARAMETER;
        std::string path;
        LONG result = zarn::platform::RegistryStorePool::DatabasePath(false, path);
        if (result != ERROR_SUCCESS)
            return result;
        if (path.size() >= std::numeric_limits<DWORD>::max())
            return ERROR_NOT_ENOUGH_MEMORY;
        DWORD room = *lpcchPath;
        *lpcchPath = static_cast<DWORD>(path.size() + 1);
        if (lpPath == nullptr)
            return ERROR_SUCCESS;
        if (room < path.size() + 1)
            return ERROR_MORE_DATA;
        std::memcpy(lpPath, path.c_str(), path.size() + 1);
        return ERROR_SUCCESS;
    });
}

LONG ZarnRegBeginCapture(void) {
    return Guarded([]() -> LONG { return zarn::platform::RegistryStorePool::Instance().BeginCapture(); });
}

LONG ZarnRegEndCapture(BOOL bCommit) {
    return Guarded([&]() -> LONG { return zarn::platform::RegistryStorePool::Instance().EndCapture(bCommit != 0); });
}

} // extern "C"
