// Typed access to the registry under one root key: reads, writes, deletion of values and key trees,
// key statistics, connection to another machine and a depth-first walk with overridable visitors.
#pragma once

#include "components/RegistryValue.h"
#include "platform/RegistryApi.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zarn {

// Every subkey path is relative to the root key; an empty value name names the key's default value.
// Every operation is synchronous, shows nothing, throws nothing and returns 1 when done, 0 when not.
// Any thread may call the operations, one thread at a time per object. The root key is never closed by this class,
// except a root opened by Connect: that connection stays open while the object (or a copy of it) lives and is closed
// with the last of them or when a later Connect replaces it.
class CRegistry {
public:
    // Walk flags: call OnValue for every value, call OnKey for every subkey.
    static constexpr int kWalkValues = 1;
    static constexpr int kWalkKeys = 2;
    // Walk does not go deeper than the registry allows keys to nest.
    static constexpr std::uint16_t kMaxWalkDepth = 512;

    explicit CRegistry(HKEY rootKey);
    virtual ~CRegistry();
    CRegistry(const CRegistry&) = default;
    CRegistry& operator=(const CRegistry&) = default;

    // Makes `key` the root; returns the previous root. A connection made by Connect stays open (and the
    // handle returned for it valid) until the next successful Connect or the end of the object.
    HKEY SetRootKey(HKEY key);
    HKEY GetRootKey() const { return m_hRootKey; }

    // Connects to `key` on the named machine (null: this machine) and makes the connection the root.
    // Returns 1; 0 with the root unchanged when the connection fails (on POSIX every named machine fails).
    int Connect(const char* machineName, HKEY key);

    // Reads the value into `value` (data, size and type). 0 when the key or value is missing, or when a
    // read that had begun fails (the value then has no data block).
    int ReadValue(const char* subKey, const char* valueName, CRegistryValue& value);
    // Reads a REG_SZ, REG_EXPAND_SZ or REG_LINK value; 0 and `value` untouched otherwise.
    int ReadString(const char* subKey, const char* valueName, std::string& value);
    // Reads a REG_DWORD or REG_DWORD_BIG_ENDIAN value as stored; 0 and `value` untouched otherwise.
    int ReadDword(const char* subKey, const char* valueName, DWORD& value);
    // Reads a binary value of exactly `count` bytes into `buffer`; 0 and nothing copied otherwise.
    int ReadBinary(const char* subKey, const char* valueName, BYTE* buffer, DWORD count);
    // Reads a REG_MULTI_SZ value into `texts`; 0 and `texts` untouched otherwise.
    int ReadMultiString(const char* subKey, const char* valueName, std::vector<std::string>& texts);

    // Creates the subkey when needed and sets the value from `value`'s type, data and size; 0 on failure.
    int WriteValue(const char* subKey, const char* valueName, const CRegistryValue& value);
    // Writes a REG_DWORD value.
    int WriteDword(const char* subKey, const char* valueName, DWORD value);
    // Writes a REG_SZ value (a null text is written as the empty text).
    int WriteString(const char* subKey, const char* valueName, const char* text);
    // Writes a REG_BINARY value of `length` bytes.
    int WriteBinary(const char* subKey, const char* valueName, const BYTE* data, DWORD length);
    // Writes a REG_MULTI_SZ value.
    int WriteMultiString(const char* subKey, const char* valueName, const std::vector<std::string>& texts);

    // With a value name: deletes that value. With a null value name: deletes the subkey and every key below
    // it; a null or empty subkey is refused then (0), so the root itself is never emptied. 0 on failure.
    int Delete(const char* subKey, const char* valueName);
    // Stores the subkey's number of subkeys and of values (either output may be null; both are set to 0
    // first). 1 when the key was queried and has at least one of either; 0 otherwise.
    int QueryCounts(const char* subKey, DWORD* subKeyCount, DWORD* valueCount);

    // Walks the subkey (null: the root itself) depth first: for each key its values (OnValue, with
    // kWalkValues), then each subkey (OnKey, with kWalkKeys) which is then entered; subkeys are entered
    // whatever the flags. Returns 1 when it ran to the end; 0 when the subkey could not be opened, a key
    // could not be queried, a key lies deeper than kMaxWalkDepth, or a visitor returned 0.
    int Walk(const char* subKey, int flags);

    // Called by Walk for each value: `path` is the key's path from the root ("" for the root itself).
    // Nonzero continues the walk. The base class returns 0.
    virtual int OnValue(const char* path, const char* valueName, const CRegistryValue& value, std::uint16_t depth);
    // Called by Walk for each subkey before it is entered; nonzero continues. The base class returns 0.
    virtual int OnKey(const char* subKeyName, std::uint16_t depth);

private:
    // Reads value `index` of `key` into `name` and `value`, growing both when the key changed since it was
    // queried. Returns the platform's code (ERROR_NOT_ENOUGH_MEMORY when a larger block could not be had).
    static LONG EnumValue(HKEY key, DWORD index, std::vector<char>& name, CRegistryValue& value);
    int WalkKey(HKEY key, const std::string& path, std::uint16_t depth, int flags);

    HKEY m_hRootKey;
    // The connection Connect opened, shared by copies and closed with the last of them; null otherwise.
    std::shared_ptr<HKEY__> m_connection;
};

} // namespace zarn
