#include "platform/RegistrationCapture.h"

#include "WindowsHeaders.h"
#include "platform/CrashPoint.h"
#include "platform/Library.h"
#include "platform/RegistryKey.h"
#include "platform/win32/PathText.h"

#include <cwchar>
#include <cwctype>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

// A capture redirects the three roots, for this process, to empty stand-ins below a scratch key; what the
// registration writes lands there. A commit first records, in an undo record, what the real roots hold of
// everything it is about to write (each key's existence, each value's previous type and data), then copies the
// captured tree onto the real roots, then writes the marker, then drops the record. A kill leaves either no
// complete record (nothing applied), a record and no marker (undone at the next start), or the marker.
//
// The registry behind the roots while capturing is the empty stand-in: a registration that reads the real
// registry sees nothing there, and one that deletes keys deletes them from its stand-in only. At the end the roots
// go back to where they led before Begin: the system's own keys, or a test's scratch registry.

namespace zarn::platform {

namespace {

// The launcher's own keys, in the real HKEY_CURRENT_USER.
constexpr const wchar_t* kInstallsKey = L"Software\\Ostrevant\\zarn\\Installs";
constexpr const wchar_t* kCaptureKey = L"Software\\Ostrevant\\zarn\\Capture";

// The roots a registration may write, in the order of their number in an undo record, with the names of their
// stand-ins below a capture's key.
struct Root {
    HKEY key;
    const wchar_t* name;
    const wchar_t* fullName;
};
const Root kRoots[] = {{HKEY_CLASSES_ROOT, L"HKCR", L"HKEY_CLASSES_ROOT"},
                       {HKEY_CURRENT_USER, L"HKCU", L"HKEY_CURRENT_USER"},
                       {HKEY_LOCAL_MACHINE, L"HKLM", L"HKEY_LOCAL_MACHINE"}};
constexpr DWORD kRootCount = static_cast<DWORD>(std::size(kRoots));
constexpr DWORD kClassesRoot = 0;
constexpr DWORD kCurrentUserRoot = 1;

struct Value {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// One key of a captured tree: its root's number, its path below the root ("" for the root itself) and the values
// the registration wrote into it.
struct Key {
    DWORD root = 0;
    std::wstring path;
    std::vector<Value> values;
};

bool Widen(const std::string& text, std::wstring& wide) {
    std::vector<wchar_t> buffer;
    if (!WidenAnsi(text, buffer)) {
        return false;
    }
    wide.assign(buffer.data());
    return true;
}

// An install id as the name of a value and of a key: not empty, and without the separator of key paths.
bool InstallName(const std::string& installId, std::wstring& name) {
    return !installId.empty() && installId.find('\\') == std::string::npos && Widen(installId, name);
}

std::wstring Join(const std::wstring& parent, const std::wstring& child) {
    return parent.empty() ? child : parent + L"\\" + child;
}

std::wstring UndoPath(const std::wstring& installId) {
    return Join(kInstallsKey, installId + L".undo");
}

LONG Create(HKEY parent, const std::wstring& path, RegistryKey& key, DWORD* disposition = nullptr,
            REGSAM access = KEY_ALL_ACCESS) {
    return ::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key.Receive(),
                             disposition);
}

LONG Open(HKEY parent, const std::wstring& path, RegistryKey& key) {
    return ::RegOpenKeyExW(parent, path.c_str(), 0, KEY_ALL_ACCESS, key.Receive());
}

LONG SetValue(HKEY key, const std::wstring& name, DWORD type, const std::vector<BYTE>& data) {
    // Some systems refuse a null data pointer even with a size of 0.
    static const BYTE nothing = 0;
    return ::RegSetValueExW(key, name.c_str(), 0, type, data.empty() ? &nothing : data.data(),
                            static_cast<DWORD>(data.size()));
}

LONG SetDword(HKEY key, const wchar_t* name, DWORD number) {
    return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
}

LONG SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LONG QueryValue(HKEY key, const std::wstring& name, Value& value) {
    value.name = name;
    for (;;) {
        DWORD size = 0;
        LONG result = ::RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        value.data.resize(size);
        DWORD read = size;
        result = ::RegQueryValueExW(key, name.c_str(), nullptr, &value.type,
                                    value.data.empty() ? nullptr : value.data.data(), &read);
        if (result == ERROR_SUCCESS && read <= size) {
            value.data.resize(read);
            return result;
        }
        if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) {
            return result;
        }
        // The value grew between the two calls: ask again.
    }
}

bool QueryDword(HKEY key, const wchar_t* name, DWORD& number) {
    DWORD type = 0;
    DWORD size = sizeof(number);
    return ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof(number);
}

bool QueryString(HKEY key, const wchar_t* name, std::wstring& text) {
    Value value;
    if (QueryValue(key, name, value) != ERROR_SUCCESS || value.type != REG_SZ) {
        return false;
    }
    text.assign(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return true;
}

LONG ReadValues(HKEY key, std::vector<Value>& values) {
    DWORD count = 0;
    DWORD nameMax = 0;
    DWORD dataMax = 0;
    LONG result = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &nameMax,
                                     &dataMax, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    std::vector<wchar_t> name(nameMax + 1);
    std::vector<BYTE> data(dataMax + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD size = static_cast<DWORD>(data.size());
        Value value;
        result = ::RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &value.type, data.data(), &size);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        value.name.assign(name.data(), nameLength);
        value.data.assign(data.begin(), data.begin() + size);
        values.push_back(std::move(value));
    }
    return ERROR_SUCCESS;
}

LONG ReadSubkeyNames(HKEY key, std::vector<std::wstring>& names) {
    DWORD count = 0;
    DWORD nameMax = 0;
    LONG result = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &nameMax, nullptr, nullptr, nullptr,
                                     nullptr, nullptr, nullptr);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    std::vector<wchar_t> name(nameMax + 1);
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        result = ::RegEnumKeyExW(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        names.emplace_back(name.data(), nameLength);
    }
    return ERROR_SUCCESS;
}

// Appends `key` and everything below it, each key before its subkeys, so that applying them in order creates
// every parent first.
LONG ReadTree(HKEY key, DWORD root, const std::wstring& path, std::vector<Key>& keys) {
    Key entry{root, path, {}};
    LONG result = ReadValues(key, entry.values);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    // A stand-in root without values of its own is only the place its subkeys hang from.
    if (!path.empty() || !entry.values.empty()) {
        keys.push_back(std::move(entry));
    }
    std::vector<std::wstring> names;
    result = ReadSubkeyNames(key, names);
    for (size_t i = 0; result == ERROR_SUCCESS && i < names.size(); ++i) {
        RegistryKey child;
        result = Open(key, names[i], child);
        if (result == ERROR_SUCCESS) {
            result = ReadTree(child.Get(), root, Join(path, names[i]), keys);
        }
    }
    return result;
}

LONG ReadCapture(const std::wstring& scratch, std::vector<Key>& keys) {
    for (DWORD root = 0; root < kRootCount; ++root) {
        RegistryKey standIn;
        LONG result = Open(HKEY_CURRENT_USER, Join(Join(kCaptureKey, scratch), kRoots[root].name), standIn);
        if (result == ERROR_SUCCESS) {
            result = ReadTree(standIn.Get(), root, L"", keys);
        }
        if (result != ERROR_SUCCESS) {
            return result;
        }
    }
    return ERROR_SUCCESS;
}

// The kernel's name of an open key ("\REGISTRY\MACHINE\..."), from ntdll, which every process has loaded.
bool KernelName(HKEY key, std::wstring& name) {
    using QueryKey = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    constexpr int kKeyNameInformation = 3;
    const auto query = reinterpret_cast<QueryKey>(Library::FindLoadedFunction("ntdll.dll", "NtQueryKey"));
    // The name's length in bytes, then its characters; room for the longest name a key can have.
    std::vector<ULONG> buffer(1 + 32768 * sizeof(wchar_t) / sizeof(ULONG));
    ULONG size = 0;
    if (query == nullptr ||
        query(key, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(ULONG)), &size) != 0 ||
        buffer[0] > (buffer.size() - 1) * sizeof(ULONG)) {
        return false;
    }
    name.assign(reinterpret_cast<const wchar_t*>(buffer.data() + 1), buffer[0] / sizeof(wchar_t));
    for (wchar_t& c : name) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    return true;
}

// Whether the upper-case kernel name `name` is where the system itself keeps the root numbered `root`.
bool IsSystemRoot(DWORD root, const std::wstring& name) {
    const std::wstring users = L"\\REGISTRY\\USER\\";
    const bool userHive = name.starts_with(users) && name.find(L'\\', users.size()) == std::wstring::npos;
    switch (root) {
    case 0:
        return name == L"\\REGISTRY\\MACHINE\\SOFTWARE\\CLASSES" || (userHive && name.ends_with(L"_CLASSES"));
    case 1:
        return userHive;
    default:
        return name == L"\\REGISTRY\\MACHINE";
    }
}

// The key the root numbered `root` is redirected to in this process now (a test's scratch registry), as a handle
// of our own; null when it is the system's own key, or when that cannot be told. Putting the system's own key
// back as a redirection would not do: Windows shows HKEY_CLASSES_ROOT merged from two keys only through its own.
HKEY RedirectionOf(DWORD root) {
    HKEY current = nullptr;
    if (::RegCreateKeyExW(kRoots[root].key, L"", 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr,
                          &current, nullptr) != ERROR_SUCCESS ||
        current == kRoots[root].key) {
        return nullptr;
    }
    std::wstring name;
    if (!KernelName(current, name) || IsSystemRoot(root, name)) {
        ::RegCloseKey(current);
        return nullptr;
    }
    return current;
}

// Gives the roots back to the keys they had before Begin (null: the system's own), and closes our handles to
// those keys (the system keeps its own).
bool RestoreRoots(void* (&previous)[kRootCount]) {
    bool restored = true;
    for (DWORD root = 0; root < kRootCount; ++root) {
        const HKEY key = static_cast<HKEY>(previous[root]);
        restored = ::RegOverridePredefKey(kRoots[root].key, key) == ERROR_SUCCESS && restored;
        if (key != nullptr) {
            ::RegCloseKey(key);
            previous[root] = nullptr;
        }
    }
    return restored;
}

// Deletes a capture's scratch key, and the key of all captures when it holds no other.
void DeleteScratch(const std::wstring& scratch) {
    RegistryKey captures;
    if (Open(HKEY_CURRENT_USER, kCaptureKey, captures) != ERROR_SUCCESS) {
        return;
    }
    // A scratch key that cannot be deleted now is an orphan that a later Settle sweeps.
    ::RegDeleteTreeW(captures.Get(), scratch.c_str());
    captures.Close();
    // Refused while another capture's key is below it, which is what should happen then.
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kCaptureKey);
}

bool ProcessRunning(DWORD id) {
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr) {
        // No process has that number; any other refusal means one does.
        return ::GetLastError() != ERROR_INVALID_PARAMETER;
    }
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

// Deletes the scratch keys of captures whose process has ended (killed while its registration ran). A scratch
// key is named "<process id>-<serial>".
void SweepOrphanScratch() {
    RegistryKey captures;
    std::vector<std::wstring> names;
    if (Open(HKEY_CURRENT_USER, kCaptureKey, captures) != ERROR_SUCCESS ||
        ReadSubkeyNames(captures.Get(), names) != ERROR_SUCCESS) {
        return;
    }
    for (const std::wstring& name : names) {
        const DWORD process = std::wcstoul(name.c_str(), nullptr, 10);
        if (process != ::GetCurrentProcessId() && !ProcessRunning(process)) {
            DeleteScratch(name);
        }
    }
}

// Writes below `undoPath` what the real roots hold now of everything `keys` will write: for each key whether it
// exists, and for an existing one each value's previous type and data ("Old") or that it is absent ("Absent").
// Its "Complete" value, written and flushed last, says the record may be relied on. ERROR_ALREADY_EXISTS when a
// record of that install is there already (the previous one was never settled).
LONG WriteUndo(const std::wstring& undoPath, const std::wstring& scratch, const std::vector<Key>& keys) {
    RegistryKey undo;
    DWORD disposition = 0;
    LONG result = Create(HKEY_CURRENT_USER, undoPath, undo, &disposition);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (disposition != REG_CREATED_NEW_KEY) {
        return ERROR_ALREADY_EXISTS;
    }
    result = SetString(undo.Get(), L"Scratch", scratch);
    for (size_t i = 0; result == ERROR_SUCCESS && i < keys.size(); ++i) {
        const Key& key = keys[i];
        RegistryKey entry;
        result = Create(undo.Get(), std::to_wstring(i), entry);
        if (result == ERROR_SUCCESS) {
            result = SetDword(entry.Get(), L"Root", key.root);
        }
        if (result == ERROR_SUCCESS) {
            result = SetString(entry.Get(), L"Path", key.path);
        }
        RegistryKey real;
        const LONG opened = ::RegOpenKeyExW(kRoots[key.root].key, key.path.c_str(), 0, KEY_QUERY_VALUE, real.Receive());
        if (result == ERROR_SUCCESS) {
            result = opened == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : opened;
        }
        if (result == ERROR_SUCCESS) {
            result = SetDword(entry.Get(), L"Existed", opened == ERROR_SUCCESS ? 1 : 0);
        }
        if (result != ERROR_SUCCESS || opened != ERROR_SUCCESS) {
            continue;
        }
        RegistryKey old;
        RegistryKey absent;
        result = Create(entry.Get(), L"Old", old);
        if (result == ERROR_SUCCESS) {
            result = Create(entry.Get(), L"Absent", absent);
        }
        for (size_t v = 0; result == ERROR_SUCCESS && v < key.values.size(); ++v) {
            Value previous;
            result = QueryValue(real.Get(), key.values[v].name, previous);
            if (result == ERROR_SUCCESS) {
                result = SetValue(old.Get(), previous.name, previous.type, previous.data);
            } else if (result == ERROR_FILE_NOT_FOUND) {
                result = SetValue(absent.Get(), key.values[v].name, REG_NONE, {});
            }
        }
        CrashPoint("registration-undo-entry");
    }
    if (result == ERROR_SUCCESS) {
        result = SetDword(undo.Get(), L"Complete", 1);
    }
    if (result == ERROR_SUCCESS) {
        result = ::RegFlushKey(undo.Get());
    }
    return result;
}

// Writes `keys` to the real roots; a failure's key goes to `failedKey`. Asks for no more than it writes (a user
// may set a key's values without being allowed to change its security, and may pass through a parent he may only
// read), so that a refusal names the key the user really may not change.
LONG Apply(const std::vector<Key>& keys, const Key*& failedKey) {
    for (const Key& key : keys) {
        RegistryKey real;
        LONG result =
            Create(kRoots[key.root].key, key.path, real, nullptr, key.values.empty() ? KEY_QUERY_VALUE : KEY_SET_VALUE);
        for (size_t v = 0; result == ERROR_SUCCESS && v < key.values.size(); ++v) {
            result = SetValue(real.Get(), key.values[v].name, key.values[v].type, key.values[v].data);
            CrashPoint("registration-apply-value");
        }
        if (result != ERROR_SUCCESS) {
            failedKey = &key;
            return result;
        }
    }
    return ERROR_SUCCESS;
}

// Whether this user may add classes to the machine's: a standard user may not. Any other failure to tell counts
// as may, and the commit then reports what really fails.
bool MachineClassesWritable() {
    RegistryKey classes;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_CREATE_SUB_KEY | KEY_SET_VALUE,
                           classes.Receive()) != ERROR_ACCESS_DENIED;
}

// Moves what was captured for HKEY_CLASSES_ROOT to this user's classes, where Windows' merged view of
// HKEY_CLASSES_ROOT shows it to this user only.
void MoveToUserClasses(std::vector<Key>& keys) {
    for (Key& key : keys) {
        if (key.root == kClassesRoot) {
            key.root = kCurrentUserRoot;
            key.path = Join(L"Software\\Classes", key.path);
        }
    }
}

std::string FullKeyName(const Key& key) {
    std::string name;
    const std::wstring wide = Join(kRoots[key.root].fullName, key.path);
    return NarrowAnsi(wide, name) ? name : std::string(wide.begin(), wide.end());
}

// Puts back what an undo record says the real roots held. Running it again after a kill half way puts back the
// same. True when everything was put back, or when the record never became complete (nothing was applied then).
bool Undo(HKEY undo) {
    DWORD complete = 0;
    if (!QueryDword(undo, L"Complete", complete) || complete != 1) {
        return true;
    }
    std::vector<std::wstring> entries;
    if (ReadSubkeyNames(undo, entries) != ERROR_SUCCESS) {
        return false;
    }
    bool undone = true;
    for (const std::wstring& name : entries) {
        RegistryKey entry;
        DWORD root = 0;
        DWORD existed = 0;
        std::wstring path;
        if (Open(undo, name, entry) != ERROR_SUCCESS || !QueryDword(entry.Get(), L"Root", root) || root >= kRootCount ||
            !QueryString(entry.Get(), L"Path", path) || !QueryDword(entry.Get(), L"Existed", existed)) {
            undone = false;
            continue;
        }
        if (existed == 0) {
            // A key the commit made: it goes with all it holds. (A root always exists, so its path is never "".)
            const LONG deleted = path.empty() ? ERROR_INVALID_DATA : ::RegDeleteTreeW(kRoots[root].key, path.c_str());
            undone = (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) && undone;
            continue;
        }
        RegistryKey real;
        const LONG opened = ::RegOpenKeyExW(kRoots[root].key, path.c_str(), 0, KEY_SET_VALUE, real.Receive());
        if (opened == ERROR_FILE_NOT_FOUND) {
            // Deleted since by someone else: there is nothing left to put a value back into.
            continue;
        }
        RegistryKey old;
        RegistryKey absent;
        std::vector<Value> oldValues;
        std::vector<Value> absentValues;
        if (opened != ERROR_SUCCESS || Open(entry.Get(), L"Old", old) != ERROR_SUCCESS ||
            Open(entry.Get(), L"Absent", absent) != ERROR_SUCCESS ||
            ReadValues(old.Get(), oldValues) != ERROR_SUCCESS ||
            ReadValues(absent.Get(), absentValues) != ERROR_SUCCESS) {
            undone = false;
            continue;
        }
        for (const Value& value : oldValues) {
            undone = SetValue(real.Get(), value.name, value.type, value.data) == ERROR_SUCCESS && undone;
        }
        for (const Value& value : absentValues) {
            const LONG deleted = ::RegDeleteValueW(real.Get(), value.name.c_str());
            undone = (deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND) && undone;
        }
    }
    return undone;
}

// Undoes what the record at `undoPath` says and deletes it with its capture's scratch key; a record that could
// not be fully undone stays for the next start to try again.
void UndoAndDrop(const std::wstring& undoPath, bool undo) {
    RegistryKey record;
    if (Open(HKEY_CURRENT_USER, undoPath, record) != ERROR_SUCCESS) {
        return;
    }
    const bool undone = !undo || Undo(record.Get());
    std::wstring scratch;
    if (QueryString(record.Get(), L"Scratch", scratch) && !scratch.empty()) {
        DeleteScratch(scratch);
    }
    record.Close();
    if (undone) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, undoPath.c_str());
    }
}

enum class Marker { Present, Absent, Unknown };

Marker FindMarker(const std::wstring& installId) {
    RegistryKey installs;
    const LONG opened = ::RegOpenKeyExW(HKEY_CURRENT_USER, kInstallsKey, 0, KEY_QUERY_VALUE, installs.Receive());
    if (opened == ERROR_FILE_NOT_FOUND) {
        return Marker::Absent;
    }
    if (opened != ERROR_SUCCESS) {
        return Marker::Unknown;
    }
    const LONG found = ::RegQueryValueExW(installs.Get(), installId.c_str(), nullptr, nullptr, nullptr, nullptr);
    if (found == ERROR_SUCCESS) {
        return Marker::Present;
    }
    return found == ERROR_FILE_NOT_FOUND ? Marker::Absent : Marker::Unknown;
}

LONG WriteMarker(const std::wstring& installId) {
    RegistryKey installs;
    LONG result = Create(HKEY_CURRENT_USER, kInstallsKey, installs);
    if (result == ERROR_SUCCESS) {
        result = SetString(installs.Get(), installId.c_str(), L"");
    }
    if (result == ERROR_SUCCESS) {
        result = ::RegFlushKey(installs.Get());
    }
    return result;
}

} // namespace

RegistrationCapture::~RegistrationCapture() {
    Abort();
}

int RegistrationCapture::Begin() {
    if (m_active) {
        return 0;
    }
    static unsigned serial = 0;
    const std::string name = std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(serial++);
    const std::wstring scratch(name.begin(), name.end());
    for (DWORD root = 0; root < kRootCount; ++root) {
        m_previousRoots[root] = RedirectionOf(root);
    }
    // Every stand-in is opened before any root is redirected: the scratch key itself lives in the real
    // HKEY_CURRENT_USER, which is out of reach once that root is redirected.
    RegistryKey standIns[kRootCount];
    for (DWORD root = 0; root < kRootCount; ++root) {
        if (Create(HKEY_CURRENT_USER, Join(Join(kCaptureKey, scratch), kRoots[root].name), standIns[root]) !=
            ERROR_SUCCESS) {
            RestoreRoots(m_previousRoots);
            DeleteScratch(scratch);
            return 0;
        }
    }
    for (DWORD root = 0; root < kRootCount; ++root) {
        // The system keeps a handle of its own to the stand-in, so ours may close.
        if (::RegOverridePredefKey(kRoots[root].key, standIns[root].Get()) != ERROR_SUCCESS) {
            RestoreRoots(m_previousRoots);
            DeleteScratch(scratch);
            return 0;
        }
    }
    m_scratchName = name;
    m_active = true;
    return 1;
}

int RegistrationCapture::Commit(const std::string& installId) {
    if (!m_active) {
        return 0;
    }
    m_active = false;
    m_refusedKey.clear();
    m_forThisUser = false;
    const std::wstring scratch(m_scratchName.begin(), m_scratchName.end());
    std::wstring id;
    std::vector<Key> keys;
    // A test's scratch registry has no merged view to place classes for one user in.
    const bool systemClasses = m_previousRoots[kClassesRoot] == nullptr;
    const bool restored = RestoreRoots(m_previousRoots);
    if (!restored || !InstallName(installId, id) || ReadCapture(scratch, keys) != ERROR_SUCCESS) {
        // Were a root still redirected, the scratch key would be out of reach; the next Settle sweeps it then.
        DeleteScratch(scratch);
        return 0;
    }
    if (systemClasses && !MachineClassesWritable()) {
        MoveToUserClasses(keys);
        m_forThisUser = true;
    }
    const std::wstring undoPath = UndoPath(id);
    LONG result = WriteUndo(undoPath, scratch, keys);
    if (result == ERROR_ALREADY_EXISTS) {
        // Another attempt's record, not ours to drop.
        DeleteScratch(scratch);
        return 0;
    }
    const Key* failedKey = nullptr;
    if (result == ERROR_SUCCESS) {
        CrashPoint("registration-undo-written");
        result = Apply(keys, failedKey);
    }
    if (result == ERROR_SUCCESS) {
        CrashPoint("registration-applied");
        result = WriteMarker(id);
    }
    if (result != ERROR_SUCCESS) {
        if (result == ERROR_ACCESS_DENIED && failedKey != nullptr) {
            m_refusedKey = FullKeyName(*failedKey);
        }
        m_forThisUser = false;
        UndoAndDrop(undoPath, true);
        DeleteScratch(scratch);
        return 0;
    }
    CrashPoint("registration-marked");
    UndoAndDrop(undoPath, false);
    return 1;
}

void RegistrationCapture::Abort() {
    if (!m_active) {
        return;
    }
    m_active = false;
    // Nothing else can be done if a root stays redirected; the scratch key is then swept at a later start.
    if (RestoreRoots(m_previousRoots)) {
        DeleteScratch(std::wstring(m_scratchName.begin(), m_scratchName.end()));
    }
}

int RegistrationCapture::Settle(const std::string& installId) {
    std::wstring id;
    if (!InstallName(installId, id)) {
        return 0;
    }
    const Marker marker = FindMarker(id);
    if (marker == Marker::Unknown) {
        return 0;
    }
    UndoAndDrop(UndoPath(id), marker == Marker::Absent);
    SweepOrphanScratch();
    return marker == Marker::Present ? 1 : 0;
}

int RegistrationCapture::Forget(const std::string& installId) {
    std::wstring id;
    if (!InstallName(installId, id)) {
        return 0;
    }
    RegistryKey installs;
    const LONG opened = ::RegOpenKeyExW(HKEY_CURRENT_USER, kInstallsKey, 0, KEY_SET_VALUE, installs.Receive());
    if (opened == ERROR_FILE_NOT_FOUND) {
        return 1;
    }
    const LONG deleted = opened == ERROR_SUCCESS ? ::RegDeleteValueW(installs.Get(), id.c_str()) : opened;
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND ? 1 : 0;
}

} // namespace zarn::platform
