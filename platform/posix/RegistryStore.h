// One registry database file: its SQLite connection and every operation on its keys and values.
#pragma once

#include "ZarnRegistryApi.h"
#include "platform/posix/SqliteStatement.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace zarn::platform {

class RegistryStore {
public:
    // The tree of every predefined key but HKEY_CLASSES_ROOT: rows made with the database, so their ids are fixed.
    // (Row 1 held HKEY_CLASSES_ROOT's tree in older files; it holds nothing now.)
    static constexpr std::int64_t kCurrentUserId = 2;
    static constexpr std::int64_t kLocalMachineId = 3;
    static constexpr std::int64_t kUsersId = 4;

    // What a handle refers to: a key of the tree (id), or a key of HKEY_CLASSES_ROOT's view (id 0), named by its
    // path below the view's root, where HKEY_CURRENT_USER\Software\Classes lies over
    // HKEY_LOCAL_MACHINE\Software\Classes. A key of the view is one merged key where both layers have it.
    struct KeyRef {
        std::int64_t id = 0;
        std::vector<std::string> path;
        bool IsClasses() const { return id == 0; }
    };

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

    // Opens one write transaction (holding the database's write lock) that every later operation of this store
    // joins, each as a savepoint of its own that is released when it succeeds and rolled back to when it fails,
    // until EndCapture. Every thread of the process that uses this store joins it meanwhile. ERROR_INVALID_FUNCTION
    // when a capture is open already.
    LONG BeginCapture();
    // Ends the capture: with commit, commits everything done since BeginCapture in one step (ERROR_REGISTRY_IO_FAILED
    // and nothing applied when the transaction was lost on the way, e.g. to a failing disk); without, rolls it all
    // back. ERROR_INVALID_FUNCTION when no capture is open.
    LONG EndCapture(bool commit);

    // Every operation below may be called from any thread and returns a Win32 error code (ERROR_SUCCESS when done).
    // A key id that no longer exists gives ERROR_KEY_DELETED; a damaged file ERROR_BADDB; a failing disk
    // ERROR_REGISTRY_IO_FAILED. Names compare without regard to case (RegistrySchema::Fold) and are stored as
    // written.

    // Finds the key at the path of names below base.
    LONG OpenPath(const KeyRef& base, const std::vector<std::string>& names, KeyRef& key);
    // Finds or makes the key at the path below base, making missing keys on the way (ERROR_ACCESS_DENIED when
    // mayCreate is false and one is missing; ERROR_INVALID_PARAMETER when the key would lie deeper than kMaxDepth).
    // created tells whether the last key was made by this call. Through HKEY_CLASSES_ROOT's view, new keys are made
    // in the machine layer.
    LONG CreatePath(const KeyRef& base, const std::vector<std::string>& names, std::string_view keyClass,
                    bool mayCreate, KeyRef& key, bool& created);
    // Reads through the view see the per-user layer's value first; writes through it go to the per-user key where
    // it exists, else to the machine key, as Windows sends them.
    LONG QueryValue(const KeyRef& key, std::string_view name, Value& value);
    LONG SetValue(const KeyRef& key, std::string_view name, DWORD type, const BYTE* data, std::size_t size);
    LONG DeleteValue(const KeyRef& key, std::string_view name);
    // Deletes the key at the path below base (base itself for no names) and its values, through the view the
    // per-user key where it exists, else the machine key; ERROR_ACCESS_DENIED for a predefined key or a key that
    // has subkeys.
    LONG DeleteKey(const KeyRef& base, const std::vector<std::string>& names);
    // The same for the key with every key and value below it (ERROR_ACCESS_DENIED only for a predefined key); with
    // keepKey what the key holds goes and the key itself stays (a predefined key too, but not the classes' view).
    LONG DeleteTree(const KeyRef& base, const std::vector<std::string>& names, bool keepKey);
    // The index-th subkey, in the order of the names' upper-case forms as Windows keeps them, or the index-th value
    // in order of creation (through the view the per-user key's, then the machine key's it does not hide);
    // ERROR_NO_MORE_ITEMS past the last.
    LONG EnumKey(const KeyRef& key, DWORD index, std::string& name);
    LONG EnumValue(const KeyRef& key, DWORD index, std::string& name, Value& value);
    // Through the view: the counts of the merged key, the longest lengths of either layer.
    LONG QueryInfo(const KeyRef& key, KeyInfo& info);

private:
    // The keys a reference stands for now: a key of the tree itself (machine 0); for HKEY_CLASSES_ROOT's view its
    // per-user and machine keys, each 0 where that layer lacks it.
    struct Layers {
        std::int64_t user = 0;
        std::int64_t machine = 0;
    };
    // Where the last enumeration of a key's subkeys or values stood: the subkey's folded name, or the value's key
    // and row, found for index.
    struct KeyCursor {
        DWORD index;
        std::string folded;
    };
    struct ValueCursor {
        DWORD index;
        std::int64_t key;
        std::int64_t id;
    };
    struct SubKey {
        std::string name;
        std::string folded;
    };
    struct ValueRow {
        std::int64_t id = 0;
        std::string name;
        Value value;
    };
    enum class Bound { Offset, AtOrAfter, After };

    template <class Body> LONG Transact(bool write, Body&& body);
    // After an operation failed with an exception: rolls back what it wrote (outside a capture its transaction,
    // inside one its savepoint), marking the capture lost when that cannot be done.
    void AbandonOperation();
    // Forgets every remembered position and layer, after a rollback.
    void ForgetRolledBack();
    void Open();
    void DropConnection();
    // The statement for sql, prepared on first use and kept while the connection lives; sql must be a literal.
    SqliteStatement Statement(const char* sql);

    // The key a deletion removes and what its row says.
    struct DeleteTarget {
        std::int64_t key = 0;
        std::int64_t parent = 0;
        std::int64_t subkeys = 0;
        std::int64_t values = 0;
    };
    LONG FindForDelete(const KeyRef& base, const std::vector<std::string>& names, DeleteTarget& target);
    void CountOffParent(std::int64_t parent);
    // A number that changes with every commit to the file, by this connection or any other, as this transaction
    // sees it. Inside a transaction.
    std::uint64_t DataVersion();
    // Forgets every remembered position when the file changed since they were found.
    void ForgetMovedCursors();
    // The remembered position of a key at index or at index - 1, or null.
    const KeyCursor* FindKeyCursor(const Layers& layers, DWORD index);
    const ValueCursor* FindValueCursor(const Layers& layers, DWORD index);
    bool KeyExists(std::int64_t key);
    std::size_t KeyDepth(std::int64_t key);
    // The child of parent with that name, or 0; the key at the path below base, or 0.
    std::int64_t Child(std::int64_t parent, std::string_view name);
    std::int64_t Find(std::int64_t base, const std::vector<std::string>& names);
    // The layers of ref; ERROR_KEY_DELETED when ref's key is gone (for the view: neither layer has it). cached takes
    // what was found before as it is while the file is unchanged; otherwise (and always for writes) it is checked.
    LONG Locate(const KeyRef& ref, bool cached, Layers& layers);
    // Finds or makes the key at names below base, as CreatePath does, in the open transaction.
    LONG MakePath(std::int64_t base, const std::vector<std::string>& names, std::string_view keyClass, bool mayCreate,
                  std::int64_t& key, bool& created);
    // The key a value write through ref goes to, making the view's machine root when it is missing.
    LONG WriteTarget(const KeyRef& ref, std::int64_t& key);
    // The first subkey of parent (0: none) whose folded name is above bound (or equal, when inclusive), and the
    // first of either layer.
    bool FirstSubKey(std::int64_t parent, const std::string& bound, bool inclusive, SubKey& found);
    bool FirstOfLayers(const Layers& layers, const std::string& bound, bool inclusive, SubKey& found);
    bool NextValue(std::int64_t key, std::int64_t shadow, Bound how, std::int64_t bound, ValueRow& row);

    std::string m_path;
    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
    std::unordered_map<const char*, sqlite3_stmt*> m_statements;
    std::map<std::pair<std::int64_t, std::int64_t>, KeyCursor> m_keyCursors;
    std::map<std::pair<std::int64_t, std::int64_t>, ValueCursor> m_valueCursors;
    // The layers found for view paths (their folded names, each followed by "\\"), and the file's version then.
    struct ClassesKey {
        Layers layers;
        std::uint64_t version;
    };
    std::unordered_map<std::string, ClassesKey> m_classesKeys;
    std::uint64_t m_cursorVersion = 0;
    // Write transactions this connection committed: the data version leaves them out.
    std::uint32_t m_ownCommits = 0;
    bool m_closed = false;
    // A capture is open (BeginCapture); lost when its transaction ended under it, so that it cannot commit.
    bool m_capturing = false;
    bool m_captureLost = false;
    pid_t m_pid;
    bool m_identityKnown = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

} // namespace zarn::platform
