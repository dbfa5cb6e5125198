// One registry database file: its SQLite connection and every operation on its keys and values.
#pragma once

#include "ZarnRegistryApi.h"
#include "platform/posix/SqliteStatement.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace zarn::platform {

class RegistryStore {
public:
    // The tree of every predefined key: rows made with the database, so their ids are fixed.
    static constexpr std::int64_t kClassesRootId = 1;
    static constexpr std::int64_t kCurrentUserId = 2;
    static constexpr std::int64_t kLocalMachineId = 3;
    static constexpr std::int64_t kUsersId = 4;

    // The limits the Windows registry documents: keys nest at most 512 levels below a predefined key, a key's name
    // has at most 255 chars and a value's 16,383.
    static constexpr std::size_t kMaxDepth = 512;
    static constexpr std::size_t kMaxKeyNameLength = 255;
    static constexpr std::size_t kMaxValueNameLength = 16383;

    struct Value {
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };

    // What RegQueryInfoKeyA reports. Lengths of names are in chars without the terminator, of data in bytes. The
    // longest lengths are those of the longest subkey or value the key has had since it last had none, as Windows
    // keeps them: deleting the longest does not shorten them.
    struct KeyInfo {
        std::string keyClass;
        DWORD subKeys = 0;
        DWORD maxSubKeyLen = 0;
        DWORD maxClassLen = 0;
        DWORD values = 0;
        DWORD maxValueNameLen = 0;
        DWORD maxValueLen = 0;
        std::uint64_t lastWriteTime = 0; // 100 ns units since 1601-01-01 UTC, as a FILETIME counts
    };

    // Remembers the path; the file is opened (and created when missing) by the first operation. Any thread.
    explicit RegistryStore(std::string path);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    const std::string& Path() const { return m_path; }

    // True when the file this store opened is no longer at its path (removed or replaced). Any thread.
    bool IsStale();
    // Closes the connection for good: later operations give ERROR_KEY_DELETED. Any thread.
    void Close();

    // Every operation below may be called from any thread and returns a Win32 error code (ERROR_SUCCESS when done).
    // A key id that no longer exists gives ERROR_KEY_DELETED; a damaged file ERROR_BADDB; a failing disk
    // ERROR_REGISTRY_IO_FAILED. Names compare without regard to case (RegistrySchema::Fold) and are stored as
    // written.

    // Finds the key at the path of names below base.
    LONG OpenPath(std::int64_t base, const std::vector<std::string>& names, std::int64_t& key);
    // Finds or makes the key at the path below base, making missing keys on the way (ERROR_ACCESS_DENIED when
    // mayCreate is false and one is missing; ERROR_INVALID_PARAMETER when the key would lie deeper than kMaxDepth).
    // created tells whether the last key was made by this call.
    LONG CreatePath(std::int64_t base, const std::vector<std::string>& names, std::string_view keyClass, bool mayCreate,
                    std::int64_t& key, bool& created);
    LONG QueryValue(std::int64_t key, std::string_view name, Value& value);
    LONG SetValue(std::int64_t key, std::string_view name, DWORD type, const BYTE* data, std::size_t size);
    LONG DeleteValue(std::int64_t key, std::string_view name);
    // Deletes the key at the path below base (base itself for no names) and its values; ERROR_ACCESS_DENIED for a
    // predefined key or a key that has subkeys.
    LONG DeleteKey(std::int64_t base, const std::vector<std::string>& names);
    // The index-th subkey, in the order of the names' upper-case forms as Windows keeps them, or the index-th value
    // in order of creation; ERROR_NO_MORE_ITEMS past the last.
    LONG EnumKey(std::int64_t key, DWORD index, std::string& name);
    LONG EnumValue(std::int64_t key, DWORD index, std::string& name, Value& value);
    LONG QueryInfo(std::int64_t key, KeyInfo& info);

private:
    // Where the last enumeration of a key's subkeys or values stood: the subkey's folded name or the value's row
    // found for index.
    struct KeyCursor {
        DWORD index;
        std::string folded;
    };
    struct ValueCursor {
        DWORD index;
        std::int64_t id;
    };

    template <class Body> LONG Transact(bool write, Body&& body);
    void Open();
    void DropConnection();
    // The statement for sql, prepared on first use and kept while the connection lives; sql must be a literal.
    SqliteStatement Statement(const char* sql);
    // SQLite's counter of changes to the file, by any connection, as this transaction sees it.
    unsigned DataVersion();
    // Forgets every remembered position when the file changed since they were found.
    void ForgetMovedCursors();
    // The remembered position of key at index or at index - 1, or null.
    const KeyCursor* FindKeyCursor(std::int64_t key, DWORD index);
    const ValueCursor* FindValueCursor(std::int64_t key, DWORD index);
    bool KeyExists(std::int64_t key);
    std::size_t KeyDepth(std::int64_t key);

    std::string m_path;
    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
    std::unordered_map<const char*, sqlite3_stmt*> m_statements;
    std::unordered_map<std::int64_t, KeyCursor> m_keyCursors;
    std::unordered_map<std::int64_t, ValueCursor> m_valueCursors;
    unsigned m_cursorVersion = 0;
    bool m_closed = false;
    pid_t m_pid;
    bool m_identityKnown = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

} // namespace zarn::platform
