#include "components/Registry.h"

#include "platform/RegistryKey.h"

#include <algorithm>
#include <utility>

namespace zarn {

namespace {

// How often a read starts again because the value or key grew under it (another process writing).
constexpr int kGrowAttempts = 8;
// The block a value is first read into.
constexpr DWORD kFirstReadSize = 512;

struct KeyInfo {
    DWORD subKeys = 0;
    DWORD longestSubKeyName = 0;
    DWORD values = 0;
    DWORD longestValueName = 0;
    DWORD longestValueData = 0;
};

bool QueryKeyInfo(HKEY key, KeyInfo& info) {
    return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &info.subKeys, &info.longestSubKeyName, nullptr,
                            &info.values, &info.longestValueName, &info.longestValueData, nullptr,
                            nullptr) == ERROR_SUCCESS;
}

// Reads the name of subkey `index`. A key may hold a longer name than it reported when it was queried
// (a subkey was added since), so the buffer grows to what the key reports now and the read is repeated.
LONG EnumKeyName(HKEY key, DWORD index, std::vector<char>& name) {
    LONG rc = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kGrowAttempts && rc == ERROR_MORE_DATA; ++attempt) {
        rc = RegEnumKeyA(key, index, name.data(), static_cast<DWORD>(name.size()));
        if (rc == ERROR_MORE_DATA) {
            KeyInfo info;
            if (!QueryKeyInfo(key, info) || std::size_t{info.longestSubKeyName} + 1 <= name.size()) {
                return rc;
            }
            name.resize(std::size_t{info.longestSubKeyName} + 1);
        }
    }
    return rc;
}

} // namespace

CRegistry::CRegistry(HKEY rootKey) : m_hRootKey(rootKey) {}

CRegistry::~CRegistry() = default;

HKEY CRegistry::SetRootKey(HKEY key) {
    HKEY previous = m_hRootKey;
    m_hRootKey = key;
    return previous;
}

int CRegistry::Connect(const char* machineName, HKEY key) {
    HKEY connected = nullptr;
    if (RegConnectRegistryA(machineName, key, &connected) != ERROR_SUCCESS || connected == nullptr) {
        return 0;
    }
    // Replacing the shared pointer closes the previous connection once no copy of this object uses it.
    m_connection.reset(connected, [](HKEY handle) { RegCloseKey(handle); });
    m_hRootKey = connected;
    return 1;
}

int CRegistry::ReadValue(const char* subKey, const char* valueName, CRegistryValue& value) {
    platform::RegistryKey key;
    if (RegOpenKeyExA(m_hRootKey, subKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD type = REG_NONE;
    // Most values (paths, names, numbers) fit a first guess, read without asking the size first; a longer one
    // answers ERROR_MORE_DATA. Another writer may also grow the value between asking its size and reading it;
    // ask again then. `value` changes only once the value is known to exist.
    CRegistryValue read;
    DWORD size = kFirstReadSize;
    for (int attempt = 0; attempt < kGrowAttempts; ++attempt) {
        BYTE* block = read.Allocate(size);
        if (block == nullptr) {
            break;
        }
        DWORD filled = size;
        const LONG rc = RegQueryValueExA(key.Get(), valueName, nullptr, &type, block, &filled);
        if (rc == ERROR_SUCCESS) {
            read.SetType(type);
            read.SetFilledSize(filled);
            value = std::move(read);
            return 1;
        }
        if (rc != ERROR_MORE_DATA) {
            if (attempt == 0) {
                return 0;
            }
            break;
        }
        DWORD needed = 0;
        if (RegQueryValueExA(key.Get(), valueName, nullptr, &type, nullptr, &needed) != ERROR_SUCCESS) {
            break;
        }
        size = std::max({needed, filled, size});
    }
    value.Free();
    return 0;
}

int CRegistry::ReadString(const char* subKey, const char* valueName, std::string& value) {
    CRegistryValue read;
    return ReadValue(subKey, valueName, read) == 1 && read.GetString(value) == 1 ? 1 : 0;
}

int CRegistry::ReadDword(const char* subKey, const char* valueName, DWORD& value) {
    CRegistryValue read;
    return ReadValue(subKey, valueName, read) == 1 && read.GetDword(value) == 1 ? 1 : 0;
}

int CRegistry::ReadBinary(const char* subKey, const char* valueName, BYTE* buffer, DWORD count) {
    CRegistryValue read;
    return ReadValue(subKey, valueName, read) == 1 && read.GetBinary(buffer, count) == 1 ? 1 : 0;
}

int CRegistry::ReadMultiString(const char* subKey, const char* valueName, std::vector<std::string>& texts) {
    CRegistryValue read;
    return ReadValue(subKey, valueName, read) == 1 && read.GetMultiString(texts) == 1 ? 1 : 0;
}

int CRegistry::WriteValue(const char* subKey, const char* valueName, const CRegistryValue& value) {
    platform::RegistryKey key;
    if (RegCreateKeyExA(m_hRootKey, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.Receive(),
                        nullptr) != ERROR_SUCCESS) {
        return 0;
    }
    const LONG rc = RegSetValueExA(key.Get(), valueName, 0, value.GetType(), value.GetData(), value.GetSize());
    return rc == ERROR_SUCCESS ? 1 : 0;
}

int CRegistry::WriteDword(const char* subKey, const char* valueName, DWORD value) {
    return WriteValue(subKey, valueName, CRegistryValue(value));
}

int CRegistry::WriteString(const char* subKey, const char* valueName, const char* text) {
    return WriteValue(subKey, valueName, CRegistryValue(text));
}

int CRegistry::WriteBinary(const char* subKey, const char* valueName, const BYTE* data, DWORD length) {
    return WriteValue(subKey, valueName, CRegistryValue(data, length));
}

int CRegistry::WriteMultiString(const char* subKey, const char* valueName, const std::vector<std::string>& texts) {
    return WriteValue(subKey, valueName, CRegistryValue(texts));
}

int CRegistry::Delete(const char* subKey, const char* valueName) {
    if (valueName == nullptr) {
        // Without a subkey the tree would be the root itself: every key under it would go.
        if (subKey == nullptr || *subKey == '\0') {
            return 0;
        }
        // One call, so the registry removes the whole tree at once (in one transaction on POSIX).
        return RegDeleteTreeA(m_hRootKey, subKey) == ERROR_SUCCESS ? 1 : 0;
    }
    platform::RegistryKey key;
    if (RegOpenKeyExA(m_hRootKey, subKey, 0, KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, key.Receive()) !=
        ERROR_SUCCESS) {
        return 0;
    }
    return RegDeleteValueA(key.Get(), valueName) == ERROR_SUCCESS ? 1 : 0;
}

int CRegistry::QueryCounts(const char* subKey, DWORD* subKeyCount, DWORD* valueCount) {
    if (subKeyCount != nullptr) {
        *subKeyCount = 0;
    }
    if (valueCount != nullptr) {
        *valueCount = 0;
    }
    platform::RegistryKey key;
    if (RegOpenKeyExA(m_hRootKey, subKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
        return 0;
    }
    KeyInfo info;
    if (!QueryKeyInfo(key.Get(), info)) {
        return 0;
    }
    if (subKeyCount != nullptr) {
        *subKeyCount = info.subKeys;
    }
    if (valueCount != nullptr) {
        *valueCount = info.values;
    }
    return info.subKeys > 0 || info.values > 0 ? 1 : 0;
}

int CRegistry::Walk(const char* subKey, int flags) {
    if (subKey == nullptr) {
        return WalkKey(m_hRootKey, std::string(), 0, flags);
    }
    platform::RegistryKey key;
    if (RegOpenKeyExA(m_hRootKey, subKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS) {
        return 0;
    }
    return WalkKey(key.Get(), subKey, 0, flags);
}

int CRegistry::OnValue(const char*, const char*, const CRegistryValue&, std::uint16_t) {
    return 0;
}

int CRegistry::OnKey(const char*, std::uint16_t) {
    return 0;
}

LONG CRegistry::EnumValue(HKEY key, DWORD index, std::vector<char>& name, CRegistryValue& value) {
    LONG rc = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < kGrowAttempts && rc == ERROR_MORE_DATA; ++attempt) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = value.Capacity();
        DWORD type = REG_NONE;
        rc = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, value.m_pData.get(), &dataSize);
        if (rc == ERROR_SUCCESS) {
            value.SetType(type);
            value.SetFilledSize(dataSize);
        } else if (rc == ERROR_MORE_DATA) {
            // The value's data or name is longer than the longest the key reported (it changed since it
            // was queried): grow to what the key and the value report now and read the same index again.
            KeyInfo info;
            if (!QueryKeyInfo(key, info)) {
                return rc;
            }
            const std::size_t nameSize = std::max(name.size(), std::size_t{info.longestValueName} + 1);
            const DWORD capacity = std::max({value.Capacity(), info.longestValueData, dataSize});
            if (nameSize == name.size() && capacity == value.Capacity()) {
                return rc;
            }
            name.resize(nameSize);
            if (capacity != value.Capacity() && value.Allocate(capacity) == nullptr) {
                return ERROR_NOT_ENOUGH_MEMORY;
            }
        }
    }
    return rc;
}

int CRegistry::WalkKey(HKEY key, const std::string& path, std::uint16_t depth, int flags) {
    KeyInfo info;
    if (!QueryKeyInfo(key, info)) {
        return 0;
    }
    if (flags & kWalkValues) {
        CRegistryValue value;
        if (value.Allocate(info.longestValueData) == nullptr) {
            return 0;
        }
        std::vector<char> name(std::size_t{info.longestValueName} + 1);
        for (DWORD index = 0;; ++index) {
            const LONG rc = EnumValue(key, index, name, value);
            if (rc == ERROR_NO_MORE_ITEMS) {
                break;
            }
            if (rc == ERROR_NOT_ENOUGH_MEMORY) {
                return 0;
            }
            if (rc != ERROR_SUCCESS) {
                // Skip a value that cannot be read, but a key that fails past its last value has no end.
                if (index >= info.values) {
                    break;
                }
                continue;
            }
            if (!OnValue(path.c_str(), name.data(), value, depth)) {
                return 0;
            }
        }
    }
    std::vector<char> name(std::size_t{info.longestSubKeyName} + 1);
    for (DWORD index = 0;; ++index) {
        const LONG rc = EnumKeyName(key, index, name);
        if (rc == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (rc != ERROR_SUCCESS) {
            if (index >= info.subKeys) {
                break;
            }
            continue;
        }
        if ((flags & kWalkKeys) && !OnKey(name.data(), depth)) {
            return 0;
        }
        platform::RegistryKey child;
        if (RegOpenKeyExA(key, name.data(), 0, KEY_READ, child.Receive()) != ERROR_SUCCESS) {
            continue;
        }
        if (depth >= kMaxWalkDepth) {
            return 0;
        }
        const std::string childPath = path.empty() ? std::string(name.data()) : path + "\\" + name.data();
        if (!WalkKey(child.Get(), childPath, static_cast<std::uint16_t>(depth + 1), flags)) {
            return 0;
        }
    }
    return 1;
}

} // namespace zarn
