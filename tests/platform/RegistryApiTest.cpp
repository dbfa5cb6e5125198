// The Win32 registry functions over the POSIX store, driven through their exported C interface.
#include "platform/RegistryApi.h"

#include "tests/support/RegistryDump.h"
#include "tests/support/ScratchRegistry.h"

#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class RegistryApi : public ::testing::Test {
protected:
    // Creates (or opens) root\path with every right; fails the test when that does not work.
    HKEY Create(HKEY root, const char* path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                  disposition),
                  ERROR_SUCCESS);
        m_open.push_back(key);
        return key;
    }

    HKEY Open(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(root, path, 0, access, &key), ERROR_SUCCESS);
        m_open.push_back(key);
        return key;
    }

    static LONG SetString(HKEY key, const char* name, const std::string& text) {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }

    // The value's bytes as text (without the terminator the store keeps), or "<error N>".
    static std::string GetString(HKEY key, const char* name) {
        DWORD size = 0;
        DWORD type = 0;
        LONG result = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
        if (result != ERROR_SUCCESS)
            return "<error " + std::to_string(result) + ">";
        std::string text(size, '\0');
        result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
        if (result != ERROR_SUCCESS)
            return "<error " + std::to_string(result) + ">";
        if (!text.empty() && text.back() == '\0')
            text.pop_back();
        return text;
    }

    static std::vector<std::string> SubKeys(HKEY key) {
        std::vector<std::string> names;
        char name[256];
        for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
            names.emplace_back(name);
        return names;
    }

    static std::vector<std::string> ValueNames(HKEY key) {
        std::vector<std::string> names;
        char name[256];
        DWORD size = sizeof name;
        for (DWORD i = 0; RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++i, size = sizeof name)
            names.emplace_back(name);
        return names;
    }

    void TearDown() override {
        for (HKEY key : m_open)
            RegCloseKey(key);
    }

    zarn::test::ScratchRegistry m_registry;
    std::vector<HKEY> m_open;
};

TEST_F(RegistryApi, CreateMakesIntermediateKeysAndReportsWhetherTheKeyIsNew) {
    DWORD disposition = 0;
    Create(HKEY_CURRENT_USER, "Software\\Ostrevant\\zarn", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    Create(HKEY_CURRENT_USER, "Software\\Ostrevant\\zarn", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    Create(HKEY_CURRENT_USER, "Software\\Ostrevant", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    HKEY middle = Open(HKEY_CURRENT_USER, "Software");
    EXPECT_EQ(SubKeys(middle), std::vector<std::string>{"Ostrevant"});
    // A trailing backslash names the same key.
    HKEY same = Open(HKEY_CURRENT_USER, "Software\\Ostrevant\\zarn\\");
    EXPECT_EQ(SetString(same, "x", "1"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(Open(HKEY_CURRENT_USER, "Software\\Ostrevant\\zarn"), "x"), "1");
}

TEST_F(RegistryApi, OpenFindsOnlyExistingKeysAndRejectsBadArguments) {
    HKEY key = reinterpret_cast<HKEY>(0x1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Missing\\Key", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "a\\\\b", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "a\\\\b", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "a", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND)
        << "a refused path must not have made any key";
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "a", 0, nullptr, 0x100, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "a", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
}

// A path of `levels` names "k" joined by backslashes.
std::string Chain(std::size_t levels) {
    std::string path;
    for (std::size_t i = 0; i < levels; ++i)
        path += i == 0 ? "k" : "\\k";
    return path;
}

TEST_F(RegistryApi, LimitsAreThoseWindowsDocuments) {
    struct Case {
        const char* what;
        HKEY root;
        std::string path;
        LONG expected;
    };
    const Case cases[] = {
        {"512 levels in one call", HKEY_CURRENT_USER, Chain(512), ERROR_SUCCESS},
        {"a 513th level below them", HKEY_CURRENT_USER, Chain(513), ERROR_INVALID_PARAMETER},
        {"513 levels from a fresh root", HKEY_USERS, Chain(513), ERROR_INVALID_PARAMETER},
        {"100,001 levels in one call", HKEY_LOCAL_MACHINE, Chain(100001), ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(c.root, c.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  c.expected);
        if (key != nullptr)
            m_open.push_back(key);
        // A refused path makes none of its keys.
        if (c.expected != ERROR_SUCCESS && c.root != HKEY_CURRENT_USER) {
            EXPECT_EQ(RegOpenKeyExA(c.root, "k", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
        }
    }
    EXPECT_EQ(SubKeys(Open(HKEY_CURRENT_USER, Chain(512).c_str())).size(), 0u);
    // The limit counts from the predefined key, whatever handle the path starts at.
    HKEY deep = Open(HKEY_CURRENT_USER, Chain(511).c_str());
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(deep, "k\\k", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    // Names: a key's up to 255 characters, a value's up to 16,383.
    EXPECT_EQ(RegCreateKeyExA(HKEY_USERS, std::string(255, 'n').c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    m_open.push_back(key);
    EXPECT_EQ(RegCreateKeyExA(HKEY_USERS, std::string(256, 'n').c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetString(HKEY_USERS, std::string(16383, 'v').c_str(), "longest"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(HKEY_USERS, std::string(16384, 'v').c_str(), "too long"), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryApi, EmptyOrNullSubkeyGivesANewHandleToTheSameKey) {
    HKEY root = Open(HKEY_LOCAL_MACHINE, "");
    HKEY rootAgain = Open(HKEY_LOCAL_MACHINE, nullptr);
    EXPECT_NE(root, HKEY_LOCAL_MACHINE);
    EXPECT_NE(root, rootAgain);
    EXPECT_EQ(SetString(root, "atRoot", "r"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, "atRoot"), "r");
    EXPECT_EQ(GetString(rootAgain, "atRoot"), "r");

    HKEY child = Create(HKEY_LOCAL_MACHINE, "Child");
    HKEY childAgain = Open(child, "");
    EXPECT_EQ(SetString(childAgain, "v", "c"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(child, "v"), "c");
    DWORD disposition = 0;
    Create(child, "", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
}

TEST_F(RegistryApi, PredefinedRootsAreSeparateTreesButClassesRootIsAView) {
    const HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(SetString(Create(roots[i], "Same\\Path"), "", std::to_string(i)), ERROR_SUCCESS);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(GetString(Open(roots[i], "Same\\Path"), ""), std::to_string(i));
    // HKEY_CLASSES_ROOT writes into the machine's classes and reads the user's first.
    EXPECT_EQ(SetString(Create(HKEY_CLASSES_ROOT, "Same\\Path"), "", "classes"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(Open(HKEY_LOCAL_MACHINE, "Software\\Classes\\Same\\Path"), ""), "classes");
    EXPECT_EQ(SetString(Create(HKEY_CURRENT_USER, "Software\\Classes\\Same\\Path"), "", "user"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(Open(HKEY_CLASSES_ROOT, "Same\\Path"), ""), "user");
}

TEST_F(RegistryApi, ClassesRootMergesTheUserClassesOverTheMachineClasses) {
    // The machine registers {2} and {4}, the user {1} and {4}, each with some values and server keys.
    auto set = [&](HKEY root, const char* path, const char* name, const char* text) {
        ASSERT_EQ(SetString(Create(root, path), name, text), ERROR_SUCCESS) << path;
    };
    set(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{2}\\InprocServer32", "", "m2");
    set(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{4}", "", "machine 4");
    set(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{4}", "ThreadingModel", "Both");
    set(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\{4}\\InprocServer32", "", "m4");
    set(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{1}", "", "u1");
    set(HKEY_CURRENT_USER, "Software\\Classes\\CLSID\\{4}", "", "user 4");
    set(HKEY_CURRENT_USER, "Software\\Classes\\clsid\\{4}\\LocalServer32", "", "u4");

    HKEY classes = Open(HKEY_CLASSES_ROOT, "CLSID");
    EXPECT_EQ(SubKeys(classes), (std::vector<std::string>{"{1}", "{2}", "{4}"}));
    HKEY four = Open(classes, "{4}");
    EXPECT_EQ(SubKeys(four), (std::vector<std::string>{"InprocServer32", "LocalServer32"}));
    EXPECT_EQ(ValueNames(four), (std::vector<std::string>{"", "ThreadingModel"}));
    DWORD subKeys = 0;
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKeyA(four, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 2u);
    EXPECT_EQ(values, 2u);
    ASSERT_EQ(RegQueryInfoKeyA(classes, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 3u);

    struct Read {
        const char* path;
        const char* name;
        const char* expected;
    };
    const Read reads[] = {
        {"CLSID\\{4}", "", "user 4"},
        {"CLSID\\{4}", "ThreadingModel", "Both"},
        {"CLSID\\{4}\\InprocServer32", "", "m4"},
        {"clsid\\{4}\\localserver32", "", "u4"},
        {"CLSID\\{1}", "", "u1"},
        {"CLSID\\{2}\\InprocServer32", "", "m2"},
    };
    for (const Read& read : reads)
        EXPECT_EQ(GetString(Open(HKEY_CLASSES_ROOT, read.path), read.name), read.expected) << read.path;

    // Writes through the view: a value goes to the per-user key where there is one, else to the machine key; a
    // new key goes to the machine layer, also below a handle opened through the view.
    struct Write {
        HKEY base;
        const char* path;    // made through the view below base
        const char* landsAt; // where the value is found afterwards, below HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE
        HKEY layer;
    };
    const Write writes[] = {
        {HKEY_CLASSES_ROOT, "CLSID\\{4}", "Software\\Classes\\CLSID\\{4}", HKEY_CURRENT_USER},
        {HKEY_CLASSES_ROOT, "CLSID\\{2}", "Software\\Classes\\CLSID\\{2}", HKEY_LOCAL_MACHINE},
        {HKEY_CLASSES_ROOT, "CLSID\\{1}\\New", "Software\\Classes\\CLSID\\{1}\\New", HKEY_LOCAL_MACHINE},
        {classes, "{9}\\InprocServer32", "Software\\Classes\\CLSID\\{9}\\InprocServer32", HKEY_LOCAL_MACHINE},
        {classes, "{1}", "Software\\Classes\\CLSID\\{1}", HKEY_CURRENT_USER},
        {HKEY_CLASSES_ROOT, "", "Software\\Classes", HKEY_CURRENT_USER},
    };
    for (const Write& write : writes) {
        SCOPED_TRACE(write.landsAt);
        EXPECT_EQ(SetString(Create(write.base, write.path), "written", write.landsAt), ERROR_SUCCESS);
        EXPECT_EQ(GetString(Open(write.layer, write.landsAt), "written"), write.landsAt);
        HKEY other = write.layer == HKEY_CURRENT_USER ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        HKEY key = nullptr;
        if (RegOpenKeyExA(other, write.landsAt, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            m_open.push_back(key);
            EXPECT_EQ(GetString(key, "written"), "<error 2>");
        }
    }
    EXPECT_EQ(SubKeys(Open(HKEY_CLASSES_ROOT, "CLSID\\{1}")), std::vector<std::string>{"New"});

    // Deleting through the view takes the per-user key first; the machine key of that name then shows through.
    ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{4}\\LocalServer32"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{4}"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(Open(HKEY_CLASSES_ROOT, "CLSID\\{4}"), ""), "machine 4");
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{4}"), ERROR_ACCESS_DENIED) << "the machine key has a subkey";
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{3}"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SubKeys(classes), (std::vector<std::string>{"{1}", "{2}", "{4}", "{9}"}));
}

TEST_F(RegistryApi, NamesCompareWithoutCaseButKeepTheCaseFirstWritten) {
    HKEY key = Create(HKEY_CLASSES_ROOT, "CLSID\\{ABCDEF}\\InprocServer32");
    ASSERT_EQ(SetString(key, "ThreadingModel", "Apartment"), ERROR_SUCCESS);

    HKEY lower = Open(HKEY_CLASSES_ROOT, "clsid\\{abcdef}\\inprocserver32");
    EXPECT_EQ(GetString(lower, "THREADINGMODEL"), "Apartment");
    DWORD disposition = 0;
    Create(HKEY_CLASSES_ROOT, "CLSID\\{abcdef}", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    // Writing through another spelling replaces the value without renaming it.
    EXPECT_EQ(SetString(lower, "threadingmodel", "Both"), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(key), std::vector<std::string>{"ThreadingModel"});
    EXPECT_EQ(GetString(key, "ThreadingModel"), "Both");
    EXPECT_EQ(SubKeys(Open(HKEY_CLASSES_ROOT, "clsid")), std::vector<std::string>{"{ABCDEF}"});
    EXPECT_EQ(SubKeys(HKEY_CLASSES_ROOT), std::vector<std::string>{"CLSID"});
}

TEST_F(RegistryApi, LettersOfCodePage1252CompareWithoutCaseAndSortByTheirCapitals) {
    struct Case {
        const char* first;
        const char* second;
        bool same;
    };
    const Case cases[] = {
        {"\xC4pfel", "\xE4PFEL", true}, {"\x8A", "\x9A", true},  {"\x8C", "\x9C", true},  {"\x8E", "\x9E", true},
        {"\x9F", "\xFF", true},         {"\xC0", "\xE0", true},  {"\xDE", "\xFE", true},  {"\xD7", "\xF7", false},
        {"\xDF", "\xFF", false},        {"\xB5", "\xDF", false}, {"\x83", "\x9F", false}, {"\xC4", "A", false},
    };
    HKEY parent = Create(HKEY_CURRENT_USER, "Fold");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " / " + c.second);
        HKEY key = Create(parent, (std::string("k") + c.first).c_str());
        DWORD disposition = 0;
        Create(parent, (std::string("k") + c.second).c_str(), &disposition);
        EXPECT_EQ(disposition, c.same ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY);
        ASSERT_EQ(SetString(key, c.first, "v"), ERROR_SUCCESS);
        EXPECT_EQ(GetString(key, c.second), c.same ? "v" : "<error 2>");
        ASSERT_EQ(RegDeleteKeyA(parent, (std::string("k") + c.first).c_str()), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteKeyA(parent, (std::string("k") + c.second).c_str()),
                  c.same ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);
    }
    // Sorted by the capitals' code points: U+005A, U+005F, U+00C4, U+0160, U+20AC (not by the bytes 5A 5F 80 9A E4).
    for (const char* name : {"\x80", "\xE4", "_", "\x9A", "Z"})
        Create(parent, name);
    EXPECT_EQ(SubKeys(parent), (std::vector<std::string>{"Z", "_", "\xE4", "\x9A", "\x80"}));
}

TEST_F(RegistryApi, ValuesKeepTheirTypeAndBytesAsGiven) {
    HKEY key = Create(HKEY_CURRENT_USER, "Types");
    const DWORD number = 0x12345678;
    const BYTE binary[] = {0x00, 0xFF, 0x10, 0x00};
    const char multi[] = "one\0two\0";
    const char unterminated[] = {'a', 'b', 'c'};
    ASSERT_EQ(RegSetValueExA(key, "dword", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "binary", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated), 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "odd", 0, 0x1234, binary, 2), ERROR_SUCCESS);

    struct Expected {
        const char* name;
        DWORD type;
        std::vector<BYTE> bytes;
    };
    const Expected expected[] = {
        {"dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {"binary", REG_BINARY, {0x00, 0xFF, 0x10, 0x00}},
        {"multi", REG_MULTI_SZ, {'o', 'n', 'e', 0, 't', 'w', 'o', 0, 0}},
        {"raw", REG_SZ, {'a', 'b', 'c'}}, // no terminator added: the size says what is stored
        {"empty", REG_BINARY, {}},
        {"odd", 0x1234, {0x00, 0xFF}},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        std::vector<BYTE> data(64, 0xAA);
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        ASSERT_EQ(RegQueryValueExA(key, e.name, nullptr, &type, data.data(), &size), ERROR_SUCCESS);
        EXPECT_EQ(type, e.type);
        data.resize(size);
        EXPECT_EQ(data, e.bytes);
    }
    EXPECT_EQ(RegSetValueExA(key, "bad", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetString(key, "bad"), "<error 2>");
}

TEST_F(RegistryApi, QueryValueSizeNegotiation) {
    HKEY key = Create(HKEY_CURRENT_USER, "Sizes");
    ASSERT_EQ(SetString(key, "path", "C:\\Program Files\\Quillorna"), ERROR_SUCCESS);
    const DWORD needed = sizeof "C:\\Program Files\\Quillorna";

    DWORD size = 0;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(type, REG_SZ);

    std::vector<BYTE> small(needed - 1, 0xAA);
    size = static_cast<DWORD>(small.size());
    type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, &type, small.data(), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, needed);
    EXPECT_EQ(type, REG_SZ);

    std::vector<BYTE> exact(needed);
    size = needed;
    EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, nullptr, exact.data(), &size), ERROR_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<const char*>(exact.data()), "C:\\Program Files\\Quillorna");

    // Existence check only, and the argument checks.
    EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, nullptr, exact.data(), nullptr), ERROR_INVALID_PARAMETER);
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExA(key, "path", &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "nothing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApi, DefaultValueIsTheEmptyNameAndMayBeUnset) {
    HKEY key = Create(HKEY_CLASSES_ROOT, "Quillorna.Design");
    EXPECT_EQ(GetString(key, ""), "<error 2>");
    EXPECT_EQ(GetString(key, nullptr), "<error 2>");
    ASSERT_EQ(SetString(key, nullptr, "Quillorna Design"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, ""), "Quillorna Design");
    EXPECT_EQ(ValueNames(key), std::vector<std::string>{""});
    EXPECT_EQ(RegDeleteValueA(key, ""), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, nullptr), "<error 2>");
}

TEST_F(RegistryApi, BigValuesRoundTrip) {
    HKEY key = Create(HKEY_CURRENT_USER, "Big");
    std::vector<BYTE> data(24 * 1024 * 1024 + 3);
    std::mt19937 random(7);
    for (BYTE& b : data)
        b = static_cast<BYTE>(random());
    ASSERT_EQ(RegSetValueExA(key, "blob", 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    std::string longName(5000, 'n');
    ASSERT_EQ(SetString(key, longName.c_str(), std::string(100000, 's')), ERROR_SUCCESS);

    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "blob", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    ASSERT_EQ(size, data.size());
    std::vector<BYTE> back(size);
    ASSERT_EQ(RegQueryValueExA(key, "blob", nullptr, nullptr, back.data(), &size), ERROR_SUCCESS);
    EXPECT_TRUE(back == data);
    EXPECT_EQ(GetString(key, longName.c_str()), std::string(100000, 's'));

    DWORD maxName = 0;
    DWORD maxData = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(maxName, 5000u);
    EXPECT_EQ(maxData, data.size());
}

TEST_F(RegistryApi, SubkeysComeSortedByTheirUpperCaseValuesInOrderOfCreation) {
    HKEY key = Create(HKEY_CURRENT_USER, "Order");
    // Upper-cased, "_" (0x5F) sorts after every letter and "[" (0x5B) just after "Z".
    for (const char* name : {"zeta", "_under", "Alpha", "mid", "[bracket", "b"})
        Create(key, name);
    for (const char* name : {"z", "A", ""})
        ASSERT_EQ(SetString(key, name, name), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"Alpha", "b", "mid", "zeta", "[bracket", "_under"}));
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"z", "A", ""}));

    // Overwriting keeps a value's place; deleting closes the gap; a key made again takes its sorted place.
    ASSERT_EQ(SetString(key, "z", "again"), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"z", "A", ""}));
    ASSERT_EQ(RegDeleteValueA(key, "A"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(key, "Alpha"), ERROR_SUCCESS);
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"z", ""}));
    EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"b", "mid", "zeta", "[bracket", "_under"}));
    Create(key, "alpha");
    EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"alpha", "b", "mid", "zeta", "[bracket", "_under"}));

    char name[16];
    EXPECT_EQ(RegEnumKeyA(key, 6, name, sizeof name), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyA(key, 3, name, sizeof name), ERROR_SUCCESS) << "an index asked for out of turn";
    EXPECT_STREQ(name, "zeta");
    DWORD size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 2, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryApi, EnumerationIndicesFollowChangesBetweenCalls) {
    // Each step changes the key (or not) and then asks for one index of its subkeys and of its values.
    struct Step {
        const char* change; // "+name" adds a subkey and a value of that name, "-name" deletes both, "" nothing
        DWORD index;
        const char* expected; // the name at index after the change, or nullptr for ERROR_NO_MORE_ITEMS
    };
    const Step steps[] = {
        {"+a", 0, "a"}, {"+b", 1, "b"}, {"+c", 2, "c"}, {"", 0, "a"},     {"", 1, "b"},       {"-a", 1, "c"},
        {"", 0, "b"},   {"+d", 2, "d"}, {"", 2, "d"},   {"", 3, nullptr}, {"-d", 2, nullptr}, {"", 1, "c"},
    };
    HKEY key = Create(HKEY_CURRENT_USER, "Moving");
    for (const Step& step : steps) {
        SCOPED_TRACE(std::string(step.change) + " then index " + std::to_string(step.index));
        const std::string name = step.change[0] == '\0' ? "" : step.change + 1;
        if (step.change[0] == '+') {
            Create(key, name.c_str());
            ASSERT_EQ(SetString(key, name.c_str(), name), ERROR_SUCCESS);
        } else if (step.change[0] == '-') {
            ASSERT_EQ(RegDeleteKeyA(key, name.c_str()), ERROR_SUCCESS);
            ASSERT_EQ(RegDeleteValueA(key, name.c_str()), ERROR_SUCCESS);
        }
        char found[16] = {};
        DWORD size = sizeof found;
        const LONG keyResult = RegEnumKeyA(key, step.index, found, sizeof found);
        EXPECT_EQ(keyResult, step.expected != nullptr ? ERROR_SUCCESS : ERROR_NO_MORE_ITEMS);
        if (step.expected != nullptr && keyResult == ERROR_SUCCESS) {
            EXPECT_STREQ(found, step.expected);
        }
        const LONG valueResult = RegEnumValueA(key, step.index, found, &size, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(valueResult, step.expected != nullptr ? ERROR_SUCCESS : ERROR_NO_MORE_ITEMS);
        if (step.expected != nullptr && valueResult == ERROR_SUCCESS) {
            EXPECT_STREQ(found, step.expected);
        }
    }
}

TEST_F(RegistryApi, EnumerationBuffersThatAreTooSmall) {
    HKEY key = Create(HKEY_CURRENT_USER, "Small");
    Create(key, "abcd");
    ASSERT_EQ(SetString(key, "name", "0123456789"), ERROR_SUCCESS);

    char buffer[16];
    EXPECT_EQ(RegEnumKeyA(key, 0, buffer, 4), ERROR_MORE_DATA); // room for "abc" and the terminator only
    EXPECT_EQ(RegEnumKeyA(key, 0, buffer, 5), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(RegEnumKeyA(key, 0, nullptr, 5), ERROR_INVALID_PARAMETER);

    DWORD nameSize = 4;
    EXPECT_EQ(RegEnumValueA(key, 0, buffer, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(nameSize, 4u);

    BYTE data[4];
    DWORD dataSize = sizeof data;
    DWORD type = 0;
    nameSize = sizeof buffer;
    EXPECT_EQ(RegEnumValueA(key, 0, buffer, &nameSize, nullptr, &type, data, &dataSize), ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 11u);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_STREQ(buffer, "name");
    EXPECT_EQ(nameSize, 4u);

    nameSize = sizeof buffer;
    dataSize = 0;
    EXPECT_EQ(RegEnumValueA(key, 0, buffer, &nameSize, nullptr, nullptr, nullptr, &dataSize), ERROR_SUCCESS);
    EXPECT_EQ(dataSize, 11u);
    EXPECT_EQ(RegEnumValueA(key, 0, buffer, &nameSize, nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryApi, QueryInfoCountsAndLongestNames) {
    HKEY key = Create(HKEY_CURRENT_USER, "Info");
    DWORD subKeys = 99, maxSubKey = 99, values = 99, maxName = 99, maxData = 99;
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values, &maxName,
                               &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys + maxSubKey + values + maxName + maxData, 0u);

    Create(key, "ab");
    Create(key, "abcdef\\deeper\\than\\counted");
    ASSERT_EQ(SetString(key, "v", "12345"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "longer", "1"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "n", 0, REG_BINARY, reinterpret_cast<const BYTE*>("0123456789"), 10), ERROR_SUCCESS);
    FILETIME written{};
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values, &maxName,
                               &maxData, nullptr, &written),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 2u);
    EXPECT_EQ(maxSubKey, 6u);
    EXPECT_EQ(values, 3u);
    EXPECT_EQ(maxName, 6u);
    EXPECT_EQ(maxData, 10u);
    // 100 ns units since 1601: any time after 2020 has a high word above 0x01D5.
    EXPECT_GT(written.dwHighDateTime, 0x01D50000u);

    // The longest lengths stay while any subkey or value is left, as Windows keeps them, and the counts follow.
    ASSERT_EQ(RegDeleteValueA(key, "longer"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(key, "abcdef\\deeper\\than\\counted"), ERROR_SUCCESS);
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values, &maxName,
                               &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 2u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(maxName, 6u);
    for (const char* path : {"abcdef\\deeper\\than", "abcdef\\deeper", "abcdef", "ab"})
        ASSERT_EQ(RegDeleteKeyA(key, path), ERROR_SUCCESS) << path;
    ASSERT_EQ(RegDeleteValueA(key, "v"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueA(key, "n"), ERROR_SUCCESS);
    ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values, &maxName,
                               &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys + maxSubKey + values + maxName + maxData, 0u);

    DWORD reserved = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, &reserved, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryApi, KeyClassIsKeptAndReported) {
    char cls[] = "QuillornaClass";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Parent\\Classy", 0, cls, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    m_open.push_back(key);
    char buffer[32];
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegQueryInfoKeyA(key, buffer, &size, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "QuillornaClass");
    EXPECT_EQ(size, 14u);
    size = 14;
    EXPECT_EQ(RegQueryInfoKeyA(key, buffer, &size, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_MORE_DATA);
    DWORD maxClass = 0;
    ASSERT_EQ(RegQueryInfoKeyA(Open(HKEY_CURRENT_USER, "Parent"), nullptr, nullptr, nullptr, nullptr, nullptr,
                               &maxClass, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(maxClass, 14u);
}

TEST_F(RegistryApi, DeleteKeyRefusesKeysWithSubkeysAndDeleteTreeTakesThemAll) {
    HKEY parent = Create(HKEY_CURRENT_USER, "Tree");
    ASSERT_EQ(SetString(Create(parent, "Leaf"), "v", "1"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Tree"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Tree\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(parent, "leaf"), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(parent).size(), 0u);
    // The deleted key's values went with it.
    EXPECT_EQ(GetString(Create(parent, "Leaf"), "v"), "<error 2>");
    EXPECT_EQ(RegDeleteKeyA(parent, "Leaf"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Tree"), ERROR_SUCCESS);
    HKEY gone = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Tree", 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED) << "a predefined key is never deleted";
    EXPECT_EQ(RegDeleteValueA(HKEY_CURRENT_USER, "never set"), ERROR_FILE_NOT_FOUND);

    // A tree goes whole: the named key with every key and value below it, and nothing beside it.
    HKEY top = Create(HKEY_CURRENT_USER, "Top");
    HKEY deep = Create(top, "Branch\\Twig\\Leaf");
    ASSERT_EQ(SetString(deep, "v", "1"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(Create(top, "Branch\\Other"), "w", "2"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(Create(top, "Sibling"), "s", "3"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "top\\BRANCH"), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(top), std::vector<std::string>{"Sibling"});
    EXPECT_EQ(GetString(deep, "v"), "<error 1018>") << "a handle into the deleted tree";
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Top\\Branch"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetString(Create(top, "Branch\\Other"), "w"), "<error 2>") << "its values went with it";
    // Without a subkey the key stays and only what it holds goes; a predefined key itself is never deleted.
    ASSERT_EQ(SetString(top, "t", "4"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTreeA(top, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(top).size(), 0u);
    EXPECT_EQ(ValueNames(top).size(), 0u);
    EXPECT_EQ(SetString(top, "t", "5"), ERROR_SUCCESS) << "the key itself stays";
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Top"), ERROR_SUCCESS);
    EXPECT_EQ(SubKeys(HKEY_CURRENT_USER).size(), 0u);
}

TEST_F(RegistryApi, HandleToADeletedKeyStopsWorking) {
    HKEY key = Create(HKEY_CURRENT_USER, "Doomed");
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Doomed"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, "v", "1"), ERROR_KEY_DELETED);
    EXPECT_EQ(GetString(key, "v"), "<error 1018>");
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_KEY_DELETED);
    // A key made later under the same name is another key: the old handle does not reach it.
    HKEY reborn = Create(HKEY_CURRENT_USER, "Doomed");
    ASSERT_EQ(SetString(reborn, "v", "new"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, "v"), "<error 1018>");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryApi, AccessRightsOfTheHandleAreEnforced) {
    HKEY writable = Create(HKEY_CURRENT_USER, "Rights");
    ASSERT_EQ(SetString(writable, "v", "1"), ERROR_SUCCESS);
    Create(writable, "Existing");

    HKEY reader = Open(HKEY_CURRENT_USER, "Rights", KEY_READ);
    EXPECT_EQ(GetString(reader, "v"), "1");
    EXPECT_EQ(SetString(reader, "v", "2"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader, "v"), ERROR_ACCESS_DENIED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExA(reader, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_ACCESS_DENIED);
    // Opening an existing subkey needs no right to create one.
    EXPECT_EQ(RegCreateKeyExA(reader, "Existing", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
              ERROR_SUCCESS);
    m_open.push_back(sub);
    EXPECT_EQ(SubKeys(reader), std::vector<std::string>{"Existing"});
    EXPECT_EQ(GetString(writable, "v"), "1");

    HKEY writer = Open(HKEY_CURRENT_USER, "Rights", KEY_WRITE);
    EXPECT_EQ(SetString(writer, "v", "3"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(writer, "v"), "<error 5>");
    char name[16];
    EXPECT_EQ(RegEnumKeyA(writer, 0, name, sizeof name), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryInfoKeyA(writer, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_ACCESS_DENIED);

    // Generic rights map onto the key rights.
    HKEY generic = Open(HKEY_CURRENT_USER, "Rights", 0x80000000u);
    EXPECT_EQ(GetString(generic, "v"), "3");
    EXPECT_EQ(SetString(generic, "v", "4"), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryApi, InvalidHandlesAreRefusedWithoutHarm) {
    HKEY key = Create(HKEY_CURRENT_USER, "Closed");
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    m_open.clear();
    const HKEY bad[] = {key, nullptr, reinterpret_cast<HKEY>(0xDEADBEEF), reinterpret_cast<HKEY>(0x80000005u)};
    for (HKEY handle : bad) {
        SCOPED_TRACE(reinterpret_cast<std::uintptr_t>(handle));
        HKEY out = nullptr;
        char name[8];
        DWORD size = sizeof name;
        EXPECT_EQ(RegOpenKeyExA(handle, "x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCreateKeyExA(handle, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetString(handle, "v", "1"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(GetString(handle, "v"), "<error 6>");
        EXPECT_EQ(RegDeleteValueA(handle, "v"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteKeyA(handle, "x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumKeyA(handle, 0, name, sizeof name), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumValueA(handle, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(handle), ERROR_INVALID_HANDLE);
        EXPECT_EQ(out, nullptr);
    }
}

TEST_F(RegistryApi, ClosingAPredefinedKeyDoesNothing) {
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    EXPECT_EQ(SetString(HKEY_CURRENT_USER, "still", "usable"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "still"), "usable");
}

TEST_F(RegistryApi, ConnectReachesOnlyTheLocalMachine) {
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, "where", "here"), ERROR_SUCCESS);
    const std::string local[] = {"", std::string("\\\\") + host, host};
    for (const std::string& name : local) {
        SCOPED_TRACE(name);
        HKEY remote = nullptr;
        ASSERT_EQ(RegConnectRegistryA(name.c_str(), HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);
        EXPECT_EQ(GetString(remote, "where"), "here");
        EXPECT_EQ(RegCloseKey(remote), ERROR_SUCCESS);
        EXPECT_EQ(GetString(remote, "where"), "<error 6>");
    }
    HKEY remote = nullptr;
    ASSERT_EQ(RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, &remote), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(remote), ERROR_SUCCESS);

    EXPECT_EQ(RegConnectRegistryA("\\\\no-such-host.invalid", HKEY_LOCAL_MACHINE, &remote), ERROR_BAD_NETPATH);
    EXPECT_EQ(remote, nullptr);
    HKEY ordinary = Create(HKEY_LOCAL_MACHINE, "Ordinary");
    EXPECT_EQ(RegConnectRegistryA(nullptr, ordinary, &remote), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
}

// A capture's writes are this process's alone until it ends: a commit applies all of them at once; an abort, or a
// process killed with the capture open, leaves the registry exactly as before it began.
TEST_F(RegistryApi, CaptureAppliesEverythingAtItsCommitAndNothingOtherwise) {
    enum class End { Commit, Abort, Killed };
    // Writes of every kind into the registry as it was, with a failing one among them.
    const auto writeAll = [] {
        HKEY classKey = nullptr;
        HKEY kept = nullptr;
        return RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{C}\\InprocServer32", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &classKey, nullptr) == ERROR_SUCCESS &&
               SetString(classKey, nullptr, "new.ocx") == ERROR_SUCCESS && RegCloseKey(classKey) == ERROR_SUCCESS &&
               RegOpenKeyExA(HKEY_CURRENT_USER, "Kept", 0, KEY_ALL_ACCESS, &kept) == ERROR_SUCCESS &&
               SetString(kept, "old", "changed") == ERROR_SUCCESS && RegDeleteValueA(kept, "gone") == ERROR_SUCCESS &&
               RegDeleteKeyA(HKEY_CURRENT_USER, "Kept") == ERROR_ACCESS_DENIED &&
               SetString(kept, "added", "value") == ERROR_SUCCESS && RegCloseKey(kept) == ERROR_SUCCESS;
    };
    for (const End end : {End::Commit, End::Abort, End::Killed}) {
        SCOPED_TRACE(static_cast<int>(end));
        RegDeleteTreeA(HKEY_CURRENT_USER, nullptr);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, nullptr);
        HKEY kept = Create(HKEY_CURRENT_USER, "Kept\\Child");
        ASSERT_EQ(SetString(Open(HKEY_CURRENT_USER, "Kept"), "old", "before"), ERROR_SUCCESS);
        ASSERT_EQ(SetString(Open(HKEY_CURRENT_USER, "Kept"), "gone", "before"), ERROR_SUCCESS);
        ASSERT_EQ(SetString(kept, "deep", "before"), ERROR_SUCCESS);
        const std::string before = zarn::test::RegistryDump();

        if (end == End::Killed) {
            const pid_t child = fork();
            ASSERT_NE(child, -1);
            if (child == 0) {
                if (ZarnRegBeginCapture() == ERROR_SUCCESS && writeAll())
                    std::raise(SIGKILL);
                _exit(1);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFSIGNALED(status)) << "the child's capture did not get as far as its writes";
            EXPECT_EQ(zarn::test::RegistryDump(), before);
            continue;
        }
        ASSERT_EQ(ZarnRegBeginCapture(), ERROR_SUCCESS);
        EXPECT_EQ(ZarnRegBeginCapture(), ERROR_INVALID_FUNCTION);
        ASSERT_TRUE(writeAll());
        const std::string during = zarn::test::RegistryDump();
        EXPECT_NE(during, before);
        // Another process reads the registry as it was.
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0)
            _exit(zarn::test::RegistryDump() == before ? 0 : 1);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

        ASSERT_EQ(ZarnRegEndCapture(end == End::Commit ? TRUE : FALSE), ERROR_SUCCESS);
        EXPECT_EQ(ZarnRegEndCapture(TRUE), ERROR_INVALID_FUNCTION);
        EXPECT_EQ(zarn::test::RegistryDump(), end == End::Commit ? during : before);
        if (end == End::Abort) {
            // The rollback takes the ids of the keys it removed back too; keys made next get them, and a class looked
            // up before must not be found in them.
            HKEY other = Create(HKEY_LOCAL_MACHINE, "Other\\Keys\\Made\\Next\\Over\\Them\\All");
            EXPECT_EQ(SetString(other, "v", "1"), ERROR_SUCCESS);
            HKEY gone = nullptr;
            EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{C}\\InprocServer32", 0, KEY_READ, &gone),
                      ERROR_FILE_NOT_FOUND);
        }
    }
}

} // namespace
