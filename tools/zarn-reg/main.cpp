// zarn-reg: reads and writes the registry store from the command line, in the manner of Windows' reg.exe.
// Uses only the exported registry functions, so it sees exactly what components and the launcher see.
#include "platform/RegistryApi.h"
#include "platform/RegistryKey.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kUsage = R"(Usage:
  zarn-reg query  KEY [/v NAME | /ve] [/s]
  zarn-reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
  zarn-reg delete KEY [/v NAME | /ve | /va] [/f]

KEY      ROOT[\SUBKEY], ROOT one of HKCR, HKCU, HKLM, HKU or HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,
         HKEY_LOCAL_MACHINE, HKEY_USERS; \\MACHINE\ROOT\SUBKEY names another machine's registry.
/v NAME  the value NAME; /ve the key's default value, shown as (Default); /va every value of the key.
/s       query: the key and every key below it. With /v or /ve: every key below that holds the value.
/t TYPE  REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE.
/d DATA  REG_DWORD and REG_QWORD: decimal or 0x hexadecimal; REG_BINARY and REG_NONE: hexadecimal digits;
         REG_MULTI_SZ: items separated by the two characters \0 (or by /s SEPARATOR).
/f       accepted for compatibility: add always replaces an existing value and delete never asks, since
         there is no terminal to ask on in scripts.

add without /v, /ve, /t or /d only creates the key. delete without /v, /ve or /va deletes the key and every
key below it. The database is the file named by ZARN_REGISTRY, else $XDG_DATA_HOME/Ostrevant/registry.sqlite3.
Exit status: 0 on success, 1 on failure (the reason on standard error).
)";

enum class Operation { Query, Add, Delete };

struct Command {
    Operation operation = Operation::Query;
    std::string machine;
    HKEY root = nullptr;
    std::string rootName;
    std::string subKey;
    std::optional<std::string> valueName; // "" for /ve
    bool allValues = false;
    bool recurse = false;
    std::optional<std::string> type;
    std::optional<std::string> data;
    std::optional<std::string> separator;
};

// A failure with its message, or success.
struct Failure {
    std::string message;
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
        char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

std::string DatabasePath() {
    DWORD size = 0;
    if (ZarnRegGetDatabasePathA(nullptr, &size) != ERROR_SUCCESS || size == 0)
        return "(unknown)";
    std::string path(size, '\0');
    if (ZarnRegGetDatabasePathA(path.data(), &size) != ERROR_SUCCESS)
        return "(unknown)";
    path.resize(size - 1);
    return path;
}

std::string ErrorText(LONG code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return "ERROR: The system was unable to find the specified registry key or value.";
    case ERROR_ACCESS_DENIED:
        return "ERROR: Access is denied.";
    case ERROR_BAD_NETPATH:
        return "ERROR: The network path was not found.";
    case ERROR_BADDB:
        return "ERROR: The registry database file " + DatabasePath() + " is damaged or is not a registry database.";
    case ERROR_REGISTRY_IO_FAILED:
        return "ERROR: The registry database file " + DatabasePath() + " could not be opened, read or written.";
    case ERROR_NOT_ENOUGH_MEMORY:
        return "ERROR: Not enough memory.";
    case ERROR_KEY_DELETED:
        return "ERROR: The key was deleted by another program while in use.";
    case ERROR_BAD_PATHNAME:
        return "ERROR: Invalid key name.";
    default:
        return "ERROR: The operation failed (registry error " + std::to_string(code) + ").";
    }
}

Failure Syntax(const std::string& why) {
    return {"ERROR: Invalid syntax. " + why + "\nType \"zarn-reg --help\" for usage."};
}

// Splits [\\MACHINE\]ROOT[\SUBKEY] into the command.
std::optional<Failure> ParseKey(std::string_view text, Command& command) {
    if (text.starts_with("\\\\")) {
        text.remove_prefix(2);
        std::size_t cut = text.find('\\');
        if (cut == 0 || cut == std::string_view::npos)
            return Failure{"ERROR: Invalid key name."};
        command.machine = std::string(text.substr(0, cut));
        text.remove_prefix(cut + 1);
    }
    std::size_t cut = text.find('\\');
    std::string_view root = text.substr(0, cut);
    struct Root {
        const char* shortName;
        const char* fullName;
        HKEY handle;
    };
    const Root roots[] = {{"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                          {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                          {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                          {"HKU", "HKEY_USERS", HKEY_USERS}};
    for (const Root& candidate : roots) {
        if (EqualsIgnoringCase(root, candidate.shortName) || EqualsIgnoringCase(root, candidate.fullName)) {
            command.root = candidate.handle;
            command.rootName = candidate.fullName;
        }
    }
    if (command.root == nullptr)
        return Failure{"ERROR: Invalid key name."};
    if (cut != std::string_view::npos) {
        std::string_view sub = text.substr(cut + 1);
        while (!sub.empty() && sub.back() == '\\')
            sub.remove_suffix(1);
        command.subKey = std::string(sub);
    }
    return std::nullopt;
}

std::optional<Failure> ParseArguments(const std::vector<std::string>& args, Command& command) {
    if (args.size() < 2)
        return Syntax("An operation and a key are needed.");
    if (EqualsIgnoringCase(args[0], "query"))
        command.operation = Operation::Query;
    else if (EqualsIgnoringCase(args[0], "add"))
        command.operation = Operation::Add;
    else if (EqualsIgnoringCase(args[0], "delete"))
        command.operation = Operation::Delete;
    else
        return Syntax("Unknown operation \"" + args[0] + "\".");
    if (auto failure = ParseKey(args[1], command))
        return failure;

    auto takeParameter = [&](std::size_t& i, std::optional<std::string>& into) -> std::optional<Failure> {
        if (into)
            return Syntax(args[i] + " is given twice.");
        if (i + 1 >= args.size())
            return Syntax(args[i] + " needs a parameter.");
        into = args[++i];
        return std::nullopt;
    };
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::optional<Failure> failure;
        if (EqualsIgnoringCase(arg, "/v")) {
            failure = takeParameter(i, command.valueName);
        } else if (EqualsIgnoringCase(arg, "/ve")) {
            if (command.valueName)
                return Syntax("/v and /ve exclude each other.");
            command.valueName = "";
        } else if (EqualsIgnoringCase(arg, "/va") && command.operation == Operation::Delete) {
            command.allValues = true;
        } else if (EqualsIgnoringCase(arg, "/s") && command.operation == Operation::Query) {
            command.recurse = true;
        } else if (EqualsIgnoringCase(arg, "/s") && command.operation == Operation::Add) {
            failure = takeParameter(i, command.separator);
        } else if (EqualsIgnoringCase(arg, "/t") && command.operation == Operation::Add) {
            failure = takeParameter(i, command.type);
        } else if (EqualsIgnoringCase(arg, "/d") && command.operation == Operation::Add) {
            failure = takeParameter(i, command.data);
        } else if (EqualsIgnoringCase(arg, "/f") && command.operation != Operation::Query) {
            // Nothing is ever asked; see the usage text.
        } else {
            return Syntax("Unexpected argument \"" + arg + "\".");
        }
        if (failure)
            return failure;
    }
    if (command.allValues && command.valueName)
        return Syntax("/va excludes /v and /ve.");
    if (command.separator && command.separator->size() != 1)
        return Syntax("/s takes a single character.");
    return std::nullopt;
}

using zarn::platform::RegistryKey;

const char* TypeName(DWORD type) {
    static const char* const names[] = {"REG_NONE",
                                        "REG_SZ",
                                        "REG_EXPAND_SZ",
                                        "REG_BINARY",
                                        "REG_DWORD",
                                        "REG_DWORD_BIG_ENDIAN",
                                        "REG_LINK",
                                        "REG_MULTI_SZ",
                                        "REG_RESOURCE_LIST",
                                        "REG_FULL_RESOURCE_DESCRIPTOR",
                                        "REG_RESOURCE_REQUIREMENTS_LIST",
                                        "REG_QWORD"};
    return type < std::size(names) ? names[type] : nullptr;
}

std::string Hex(const std::vector<BYTE>& data) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (BYTE b : data) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::string HexNumber(unsigned long long n) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%llx", n);
    return buffer;
}

std::string FormatData(DWORD type, const std::vector<BYTE>& data) {
    auto textUpToZero = [&](std::size_t from) {
        std::size_t end = from;
        while (end < data.size() && data[end] != 0)
            ++end;
        return std::string(data.begin() + static_cast<std::ptrdiff_t>(from),
                           data.begin() + static_cast<std::ptrdiff_t>(end));
    };
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_LINK:
        return textUpToZero(0);
    case REG_MULTI_SZ: {
        std::string text;
        for (std::size_t at = 0; at < data.size();) {
            std::string item = textUpToZero(at);
            if (item.empty())
                break;
            if (at != 0)
                text += "\\0";
            text += item;
            at += item.size() + 1;
        }
        return text;
    }
    case REG_DWORD:
        if (data.size() == 4)
            return HexNumber(data[0] | data[1] << 8 | data[2] << 16 | static_cast<unsigned long long>(data[3]) << 24);
        break;
    case REG_DWORD_BIG_ENDIAN:
        if (data.size() == 4)
            return HexNumber(data[3] | data[2] << 8 | data[1] << 16 | static_cast<unsigned long long>(data[0]) << 24);
        break;
    case REG_QWORD:
        if (data.size() == 8) {
            unsigned long long n = 0;
            for (int i = 7; i >= 0; --i)
                n = n << 8 | data[static_cast<std::size_t>(i)];
            return HexNumber(n);
        }
        break;
    default:
        break;
    }
    return Hex(data);
}

std::string ValueLine(const std::string& name, DWORD type, const std::vector<BYTE>& data) {
    const char* typeName = TypeName(type);
    std::string typeText = typeName != nullptr ? typeName : HexNumber(type);
    return "    " + (name.empty() ? std::string("(Default)") : name) + "    " + typeText + "    " +
           FormatData(type, data);
}

// Calls body for every value of key in order; stops at and returns the first error.
LONG ForEachValue(HKEY key, const std::function<void(const std::string&, DWORD, const std::vector<BYTE>&)>& body) {
    for (DWORD index = 0;;) {
        DWORD maxName = 0;
        DWORD maxData = 0;
        LONG result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName,
                                       &maxData, nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            return result;
        std::string name(maxName + 1, '\0');
        std::vector<BYTE> data(maxData);
        DWORD nameSize = maxName + 1;
        DWORD dataSize = maxData;
        DWORD type = 0;
        result = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (result == ERROR_MORE_DATA)
            continue; // another program made the value longer between the two calls
        if (result != ERROR_SUCCESS)
            return result;
        name.resize(nameSize);
        data.resize(dataSize);
        body(name, type, data);
        ++index;
    }
}

// The name of key's subkey at index; ERROR_NO_MORE_ITEMS past the last.
LONG SubKeyName(HKEY key, DWORD index, std::string& name) {
    for (;;) {
        DWORD maxName = 0;
        LONG result = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, &maxName, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS)
            return result;
        name.assign(maxName + 1, '\0');
        result = RegEnumKeyA(key, index, name.data(), maxName + 1);
        if (result == ERROR_MORE_DATA)
            continue; // another program added a longer name between the two calls
        if (result == ERROR_SUCCESS)
            name.resize(name.find('\0'));
        return result;
    }
}

// The names of key's subkeys in order.
LONG SubKeyNames(HKEY key, std::vector<std::string>& names) {
    names.clear();
    for (DWORD index = 0;; ++index) {
        std::string name;
        LONG result = SubKeyName(key, index, name);
        if (result == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (result != ERROR_SUCCESS)
            return result;
        names.push_back(std::move(name));
    }
}

LONG ReadValue(HKEY key, const std::string& name, DWORD& type, std::vector<BYTE>& data) {
    for (;;) {
        DWORD size = 0;
        LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (result != ERROR_SUCCESS)
            return result;
        data.resize(size);
        result = RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result == ERROR_SUCCESS)
            data.resize(size);
        return result;
    }
}

std::string JoinPath(const std::string& parent, const std::string& child) {
    return child.empty() ? parent : parent + "\\" + child;
}

class Tool {
public:
    explicit Tool(const Command& command) : m_command(command) {}

    // Runs the command; the output goes to standard output, a failure's message is returned.
    std::optional<Failure> Run() {
        HKEY root = m_command.root;
        if (!m_command.machine.empty()) {
            if (LONG result = RegConnectRegistryA(m_command.machine.c_str(), root, m_remote.Receive());
                result != ERROR_SUCCESS)
                return Failure{ErrorText(result)};
            root = m_remote.Get();
        }
        std::string path = m_command.rootName;
        if (!m_command.machine.empty())
            path = "\\\\" + m_command.machine + "\\" + path;
        path = JoinPath(path, m_command.subKey);
        switch (m_command.operation) {
        case Operation::Query:
            return Query(root, path);
        case Operation::Add:
            return Add(root);
        case Operation::Delete:
            return Delete(root);
        }
        return std::nullopt;
    }

private:
    std::optional<Failure> Query(HKEY root, const std::string& path) {
        RegistryKey key;
        if (LONG result = RegOpenKeyExA(root, m_command.subKey.c_str(), 0, KEY_READ, key.Receive());
            result != ERROR_SUCCESS)
            return Failure{ErrorText(result)};
        m_out = "\n";
        LONG result = ERROR_SUCCESS;
        if (m_command.valueName && m_command.recurse) {
            int matches = 0;
            result = SearchValue(key.Get(), path, matches);
            m_out += "End of search: " + std::to_string(matches) + " match(es) found.\n";
        } else if (m_command.valueName) {
            DWORD type = 0;
            std::vector<BYTE> data;
            result = ReadValue(key.Get(), *m_command.valueName, type, data);
            m_out += path + "\n" + ValueLine(*m_command.valueName, type, data) + "\n\n";
        } else if (m_command.recurse) {
            result = ListTree(key.Get(), path);
        } else {
            result = ListKey(key.Get(), path);
        }
        if (result != ERROR_SUCCESS)
            return Failure{ErrorText(result)};
        std::fputs(m_out.c_str(), stdout);
        return std::nullopt;
    }

    // The key's path, then a line for each of its values.
    LONG AppendKeyAndValues(HKEY key, const std::string& path) {
        m_out += path + "\n";
        return ForEachValue(key, [&](const std::string& name, DWORD type, const std::vector<BYTE>& data) {
            m_out += ValueLine(name, type, data) + "\n";
        });
    }

    // The key's values, then its subkeys' paths.
    LONG ListKey(HKEY key, const std::string& path) {
        LONG result = AppendKeyAndValues(key, path);
        if (result != ERROR_SUCCESS)
            return result;
        std::vector<std::string> subKeys;
        if ((result = SubKeyNames(key, subKeys)) != ERROR_SUCCESS)
            return result;
        if (!subKeys.empty())
            m_out += "\n";
        for (const std::string& name : subKeys)
            m_out += JoinPath(path, name) + "\n";
        m_out += "\n";
        return ERROR_SUCCESS;
    }

    // Calls visit for key and for every key below it, depth first, each subkey in enumeration order. The keys on
    // the way down are held in a list rather than on the call stack, so a tree of any depth is walked. Stops at and
    // returns the first error.
    static LONG VisitTree(HKEY key, const std::string& path,
                          const std::function<LONG(HKEY, const std::string&)>& visit) {
        struct Level {
            RegistryKey key;
            HKEY handle;
            std::string path;
            std::vector<std::string> subKeys;
            std::size_t next = 0;
        };
        std::vector<Level> levels;
        auto enter = [&](RegistryKey owned, HKEY handle, std::string keyPath) -> LONG {
            if (LONG result = visit(handle, keyPath); result != ERROR_SUCCESS)
                return result;
            std::vector<std::string> subKeys;
            if (LONG result = SubKeyNames(handle, subKeys); result != ERROR_SUCCESS)
                return result;
            levels.push_back({std::move(owned), handle, std::move(keyPath), std::move(subKeys)});
            return ERROR_SUCCESS;
        };
        LONG result = enter(RegistryKey(), key, path);
        while (result == ERROR_SUCCESS && !levels.empty()) {
            Level& top = levels.back();
            if (top.next == top.subKeys.size()) {
                levels.pop_back();
                continue;
            }
            const std::string& name = top.subKeys[top.next++];
            RegistryKey child;
            if ((result = RegOpenKeyExA(top.handle, name.c_str(), 0, KEY_READ, child.Receive())) != ERROR_SUCCESS)
                break;
            HKEY handle = child.Get();
            std::string childPath = JoinPath(top.path, name);
            result = enter(std::move(child), handle, std::move(childPath));
        }
        return result;
    }

    // Every key below and including key, each with its values.
    LONG ListTree(HKEY key, const std::string& path) {
        return VisitTree(key, path, [&](HKEY each, const std::string& eachPath) {
            LONG result = AppendKeyAndValues(each, eachPath);
            m_out += "\n";
            return result;
        });
    }

    LONG SearchValue(HKEY key, const std::string& path, int& matches) {
        return VisitTree(key, path, [&](HKEY each, const std::string& eachPath) {
            DWORD type = 0;
            std::vector<BYTE> data;
            LONG result = ReadValue(each, *m_command.valueName, type, data);
            if (result == ERROR_SUCCESS) {
                m_out += eachPath + "\n" + ValueLine(*m_command.valueName, type, data) + "\n\n";
                ++matches;
            }
            return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
        });
    }

    std::optional<Failure> Add(HKEY root) {
        DWORD type = REG_SZ;
        std::vector<BYTE> data;
        bool setsValue = m_command.valueName || m_command.type || m_command.data;
        if (setsValue) {
            if (auto failure = EncodeData(type, data))
                return failure;
        }
        RegistryKey key;
        LONG result = RegCreateKeyExA(root, m_command.subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
        if (result == ERROR_SUCCESS && setsValue) {
            std::string name = m_command.valueName.value_or("");
            result = RegSetValueExA(key.Get(), name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
        }
        if (result != ERROR_SUCCESS)
            return Failure{ErrorText(result)};
        std::puts("The operation completed successfully.");
        return std::nullopt;
    }

    std::optional<Failure> EncodeData(DWORD& type, std::vector<BYTE>& data) const {
        std::string typeName = m_command.type.value_or("REG_SZ");
        std::string text = m_command.data.value_or("");
        auto bytesOf = [](const std::string& s) { return std::vector<BYTE>(s.begin(), s.end()); };
        if (EqualsIgnoringCase(typeName, "REG_SZ") || EqualsIgnoringCase(typeName, "REG_EXPAND_SZ")) {
            type = EqualsIgnoringCase(typeName, "REG_SZ") ? REG_SZ : REG_EXPAND_SZ;
            data = bytesOf(text);
            data.push_back(0);
        } else if (EqualsIgnoringCase(typeName, "REG_MULTI_SZ")) {
            type = REG_MULTI_SZ;
            std::string separator = m_command.separator ? *m_command.separator : std::string("\\0");
            std::vector<std::string> items;
            for (std::size_t from = 0; !text.empty();) {
                std::size_t cut = text.find(separator, from);
                items.push_back(text.substr(from, cut - from));
                if (cut == std::string::npos)
                    break;
                from = cut + separator.size();
            }
            for (const std::string& item : items) {
                // An empty item would end the list early for every reader.
                if (item.empty())
                    return Syntax("REG_MULTI_SZ data has an empty item.");
                data.insert(data.end(), item.begin(), item.end());
                data.push_back(0);
            }
            data.push_back(0);
            if (items.empty())
                data.push_back(0);
        } else if (EqualsIgnoringCase(typeName, "REG_DWORD") || EqualsIgnoringCase(typeName, "REG_QWORD")) {
            bool quad = EqualsIgnoringCase(typeName, "REG_QWORD");
            type = quad ? REG_QWORD : REG_DWORD;
            unsigned long long n = 0;
            if (!text.empty()) {
                bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
                std::string digits = hex ? text.substr(2) : text;
                const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
                if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos || digits.size() > 20)
                    return Failure{"ERROR: Invalid " + typeName + " data \"" + text + "\"."};
                errno = 0;
                n = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
                if (errno == ERANGE || (!quad && n > 0xFFFFFFFFull))
                    return Failure{"ERROR: " + typeName + " data \"" + text + "\" is out of range."};
            }
            for (int i = 0; i < (quad ? 8 : 4); ++i)
                data.push_back(static_cast<BYTE>(n >> (8 * i)));
        } else if (EqualsIgnoringCase(typeName, "REG_BINARY") || EqualsIgnoringCase(typeName, "REG_NONE")) {
            type = EqualsIgnoringCase(typeName, "REG_BINARY") ? REG_BINARY : REG_NONE;
            if (text.size() % 2 != 0 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return Failure{"ERROR: Invalid " + typeName + " data \"" + text +
                               "\": an even number of hexadecimal digits is needed."};
            for (std::size_t i = 0; i < text.size(); i += 2)
                data.push_back(static_cast<BYTE>(std::stoul(text.substr(i, 2), nullptr, 16)));
        } else {
            return Syntax("Unknown type \"" + typeName + "\".");
        }
        return std::nullopt;
    }

    std::optional<Failure> Delete(HKEY root) {
        LONG result = ERROR_SUCCESS;
        if (m_command.valueName || m_command.allValues) {
            RegistryKey key;
            result = RegOpenKeyExA(root, m_command.subKey.c_str(), 0, KEY_ALL_ACCESS, key.Receive());
            if (result == ERROR_SUCCESS && m_command.valueName) {
                result = RegDeleteValueA(key.Get(), m_command.valueName->c_str());
            } else if (result == ERROR_SUCCESS) {
                std::vector<std::string> names;
                result = ForEachValue(key.Get(), [&](const std::string& name, DWORD, const std::vector<BYTE>&) {
                    names.push_back(name);
                });
                for (std::size_t i = 0; result == ERROR_SUCCESS && i < names.size(); ++i)
                    result = RegDeleteValueA(key.Get(), names[i].c_str());
            }
        } else if (m_command.subKey.empty()) {
            // Deleting the tree under a predefined key would wipe the whole hive.
            return Failure{"ERROR: A predefined key cannot be deleted."};
        } else {
            result = RegDeleteTreeA(root, m_command.subKey.c_str());
        }
        if (result != ERROR_SUCCESS)
            return Failure{ErrorText(result)};
        std::puts("The operation completed successfully.");
        return std::nullopt;
    }

    const Command& m_command;
    RegistryKey m_remote;
    std::string m_out;
};

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "/?")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    Command command;
    std::optional<Failure> failure = ParseArguments(args, command);
    if (!failure)
        failure = Tool(command).Run();
    if (failure) {
        std::fprintf(stderr, "%s\n", failure->message.c_str());
        return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
