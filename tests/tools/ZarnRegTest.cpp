// The zarn-reg tool, run as a process against a registry database of each test's own.
#include "platform/RegistryApi.h"
#include "tests/support/ScratchRegistry.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ZarnReg : public ::testing::Test {
protected:
    // Runs zarn-reg with args (no shell), its output captured in files of the scratch directory.
    Outcome Run(const std::vector<std::string>& args) {
        fs::path out = m_registry.Directory() / "stdout";
        fs::path err = m_registry.Directory() / "stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<std::string> all{ZARN_REG_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        Outcome outcome;
        int spawned = posix_spawn(&pid, ZARN_REG_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << ZARN_REG_PATH;
            return outcome;
        }
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            outcome.exitCode = WEXITSTATUS(status);
        outcome.out = ReadFile(out);
        outcome.err = ReadFile(err);
        return outcome;
    }

    // Runs a command that must succeed with the usual confirmation.
    void Do(const std::vector<std::string>& args) {
        Outcome outcome = Run(args);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_EQ(outcome.out, "The operation completed successfully.\n");
        EXPECT_EQ(outcome.err, "");
    }

    // The raw bytes and type of a value, read through the library.
    static std::vector<BYTE> Bytes(HKEY root, const char* path, const char* name, DWORD* type = nullptr) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return {'?'};
        DWORD size = 0;
        std::vector<BYTE> data;
        if (RegQueryValueExA(key, name, nullptr, type, nullptr, &size) == ERROR_SUCCESS) {
            data.resize(size);
            RegQueryValueExA(key, name, nullptr, type, data.data(), &size);
        } else {
            data = {'?'};
        }
        RegCloseKey(key);
        return data;
    }

    static bool KeyExists(HKEY root, const char* path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    zarn::test::ScratchRegistry m_registry;
};

const char* const kNotFound = "ERROR: The system was unable to find the specified registry key or value.\n";

TEST_F(ZarnReg, QueryShowsValuesOfEveryTypeThenSubkeys) {
    Do({"add", "HKCU\\Software\\Test", "/ve", "/d", "hello"});
    Do({"add", "HKCU\\Software\\Test", "/v", "num", "/t", "REG_DWORD", "/d", "42"});
    Do({"add", "HKCU\\Software\\Test", "/v", "hex", "/t", "reg_dword", "/d", "0xDEADbeef"});
    Do({"add", "HKCU\\Software\\Test", "/v", "big", "/t", "REG_QWORD", "/d", "0x100000000"});
    Do({"add", "HKCU\\Software\\Test", "/v", "list", "/t", "REG_MULTI_SZ", "/d", "a\\0bc"});
    Do({"add", "HKCU\\Software\\Test", "/v", "path", "/t", "REG_EXPAND_SZ", "/d", "%HOME%/x"});
    Do({"add", "HKCU\\Software\\Test", "/v", "bin", "/t", "REG_BINARY", "/d", "00ff10"});
    Do({"add", "HKCU\\Software\\Test\\Sub"});
    Do({"add", "HKCU\\Software\\Test\\other"});

    Outcome outcome = Run({"query", "HKCU\\Software\\Test"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out, "\n"
                           "HKEY_CURRENT_USER\\Software\\Test\n"
                           "    (Default)    REG_SZ    hello\n"
                           "    num    REG_DWORD    0x2a\n"
                           "    hex    REG_DWORD    0xdeadbeef\n"
                           "    big    REG_QWORD    0x100000000\n"
                           "    list    REG_MULTI_SZ    a\\0bc\n"
                           "    path    REG_EXPAND_SZ    %HOME%/x\n"
                           "    bin    REG_BINARY    00FF10\n"
                           "\n"
                           "HKEY_CURRENT_USER\\Software\\Test\\other\n"
                           "HKEY_CURRENT_USER\\Software\\Test\\Sub\n"
                           "\n");
    EXPECT_EQ(outcome.err, "");
}

TEST_F(ZarnReg, AddStoresBytesAsTheLibraryExpectsThem) {
    Do({"add", "HKEY_LOCAL_MACHINE\\S", "/v", "sz", "/d", "ab"});
    Do({"add", "HKLM\\S", "/v", "multi", "/t", "REG_MULTI_SZ", "/d", "x\\0yz"});
    Do({"add", "HKLM\\S", "/v", "emptyMulti", "/t", "REG_MULTI_SZ"});
    Do({"add", "HKLM\\S", "/v", "sep", "/t", "REG_MULTI_SZ", "/s", "#", "/d", "p#q"});
    Do({"add", "HKLM\\S", "/v", "dw", "/t", "REG_DWORD", "/d", "0x01020304"});
    Do({"add", "HKLM\\S", "/v", "none", "/t", "REG_NONE", "/d", "AB"});
    DWORD type = 0;
    EXPECT_EQ(Bytes(HKEY_LOCAL_MACHINE, "S", "sz", &type), (std::vector<BYTE>{'a', 'b', 0}));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(Bytes(HKEY_LOCAL_MACHINE, "S", "multi", &type), (std::vector<BYTE>{'x', 0, 'y', 'z', 0, 0}));
    EXPECT_EQ(type, REG_MULTI_SZ);
    EXPECT_EQ(Bytes(HKEY_LOCAL_MACHINE, "S", "emptyMulti"), (std::vector<BYTE>{0, 0}));
    EXPECT_EQ(Bytes(HKEY_LOCAL_MACHINE, "S", "sep"), (std::vector<BYTE>{'p', 0, 'q', 0, 0}));
    EXPECT_EQ(Bytes(HKEY_LOCAL_MACHINE, "S", "dw", &type), (std::vector<BYTE>{4, 3, 2, 1}));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(Bytes(HKEY_LOCAL_MACHINE, "S", "none", &type), (std::vector<BYTE>{0xAB}));
    EXPECT_EQ(type, REG_NONE);

    // Adding again replaces without asking, /f or not.
    Do({"add", "HKLM\\S", "/v", "sz", "/t", "REG_DWORD", "/d", "7"});
    Do({"add", "HKLM\\S", "/v", "SZ", "/d", "new", "/f"});
    EXPECT_EQ(Bytes(HKEY_LOCAL_MACHINE, "S", "sz", &type), (std::vector<BYTE>{'n', 'e', 'w', 0}));
    EXPECT_EQ(type, REG_SZ);
}

TEST_F(ZarnReg, QueryShowsWhatTheLibraryWrote) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{1}", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const BYTE be[] = {0x01, 0x02, 0x03, 0x04};
    ASSERT_EQ(RegSetValueExA(key, "be", 0, REG_DWORD_BIG_ENDIAN, be, 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "odd", 0, 0x99, be, 2), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "short", 0, REG_DWORD, be, 2), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "raw", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
    RegCloseKey(key);

    Outcome outcome = Run({"query", "hkcr\\clsid\\{1}"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out, "\n"
                           "HKEY_CLASSES_ROOT\\clsid\\{1}\n"
                           "    be    REG_DWORD_BIG_ENDIAN    0x1020304\n"
                           "    odd    0x99    0102\n"
                           "    short    REG_DWORD    0102\n"
                           "    raw    REG_SZ    abc\n"
                           "\n");
}

TEST_F(ZarnReg, ClassesRootShowsTheUserClassesOverTheMachineClasses) {
    Do({"add", "HKLM\\Software\\Classes\\X", "/v", "a", "/d", "machine"});
    Do({"add", "HKLM\\Software\\Classes\\X", "/v", "b", "/d", "m"});
    Do({"add", "HKLM\\Software\\Classes\\X\\Machine"});
    Do({"add", "HKCU\\Software\\Classes\\X", "/v", "A", "/d", "user"});
    Do({"add", "HKCU\\Software\\Classes\\X\\User"});
    Outcome outcome = Run({"query", "HKCR\\X", "/s"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "\n"
                           "HKEY_CLASSES_ROOT\\X\n"
                           "    A    REG_SZ    user\n"
                           "    b    REG_SZ    m\n"
                           "\n"
                           "HKEY_CLASSES_ROOT\\X\\Machine\n"
                           "\n"
                           "HKEY_CLASSES_ROOT\\X\\User\n"
                           "\n");
}

TEST_F(ZarnReg, QueryOneValueAndTheDefaultValue) {
    Do({"add", "HKU\\K", "/v", "name", "/d", "text"});
    Outcome one = Run({"query", "HKU\\K", "/v", "NAME"});
    EXPECT_EQ(one.exitCode, 0);
    EXPECT_EQ(one.out, "\nHKEY_USERS\\K\n    NAME    REG_SZ    text\n\n");

    Outcome unset = Run({"query", "HKU\\K", "/ve"});
    EXPECT_EQ(unset.exitCode, 1);
    EXPECT_EQ(unset.out, "");
    EXPECT_EQ(unset.err, kNotFound);

    Do({"add", "HKU\\K", "/d", "default without /ve"});
    Outcome set = Run({"query", "HKU\\K", "/ve"});
    EXPECT_EQ(set.exitCode, 0);
    EXPECT_EQ(set.out, "\nHKEY_USERS\\K\n    (Default)    REG_SZ    default without /ve\n\n");

    Outcome missingKey = Run({"query", "HKU\\Nowhere"});
    EXPECT_EQ(missingKey.exitCode, 1);
    EXPECT_EQ(missingKey.err, kNotFound);
}

TEST_F(ZarnReg, RecursiveQueryAndSearch) {
    Do({"add", "HKCU\\T\\D"});
    Do({"add", "HKCU\\T", "/v", "a", "/d", "1"});
    Do({"add", "HKCU\\T\\B", "/v", "x", "/d", "top"});
    Do({"add", "HKCU\\T\\B\\C", "/v", "x", "/d", "deep"});

    Outcome tree = Run({"query", "HKCU\\T", "/s"});
    EXPECT_EQ(tree.exitCode, 0);
    EXPECT_EQ(tree.out, "\n"
                        "HKEY_CURRENT_USER\\T\n"
                        "    a    REG_SZ    1\n"
                        "\n"
                        "HKEY_CURRENT_USER\\T\\B\n"
                        "    x    REG_SZ    top\n"
                        "\n"
                        "HKEY_CURRENT_USER\\T\\B\\C\n"
                        "    x    REG_SZ    deep\n"
                        "\n"
                        "HKEY_CURRENT_USER\\T\\D\n"
                        "\n");

    Outcome search = Run({"query", "HKCU\\T", "/v", "x", "/s"});
    EXPECT_EQ(search.exitCode, 0);
    EXPECT_EQ(search.out, "\n"
                          "HKEY_CURRENT_USER\\T\\B\n"
                          "    x    REG_SZ    top\n"
                          "\n"
                          "HKEY_CURRENT_USER\\T\\B\\C\n"
                          "    x    REG_SZ    deep\n"
                          "\n"
                          "End of search: 2 match(es) found.\n");
}

TEST_F(ZarnReg, TheDeepestTreesAreListedAndDeleted) {
    // What one registration call may ask for is refused; the deepest tree the registry holds is walked whole.
    std::string chain = "Chain";
    for (int level = 1; level <= 100000; ++level)
        chain += "\\k";
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, chain.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    chain.resize(std::string("Chain").size() + 2 * 511);
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, chain.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>("d"), 2), ERROR_SUCCESS);
    RegCloseKey(key);

    for (const std::vector<std::string>& args : {std::vector<std::string>{"query", "HKCU\\Chain", "/s"},
                                                 std::vector<std::string>{"query", "HKCU", "/ve", "/s"}}) {
        Outcome outcome = Run(args);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
        EXPECT_NE(outcome.out.find("HKEY_CURRENT_USER\\" + chain + "\n"), std::string::npos) << args[2];
    }
    Do({"delete", "HKCU\\Chain"});
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Chain"));
}

TEST_F(ZarnReg, DeleteValuesAndWholeTrees) {
    Do({"add", "HKCU\\Del", "/ve", "/d", "d"});
    Do({"add", "HKCU\\Del", "/v", "a", "/d", "1"});
    Do({"add", "HKCU\\Del", "/v", "b", "/d", "2"});
    Do({"add", "HKCU\\Del\\Sub\\Deeper", "/v", "c", "/d", "3"});
    Do({"add", "HKCU\\Keep", "/v", "k", "/d", "kept"});

    Do({"delete", "HKCU\\Del", "/v", "A", "/f"});
    EXPECT_EQ(Bytes(HKEY_CURRENT_USER, "Del", "a"), std::vector<BYTE>{'?'});
    EXPECT_EQ(Bytes(HKEY_CURRENT_USER, "Del", "b"), (std::vector<BYTE>{'2', 0}));
    Do({"delete", "HKCU\\Del", "/ve"});
    EXPECT_EQ(Bytes(HKEY_CURRENT_USER, "Del", ""), std::vector<BYTE>{'?'});
    Do({"delete", "HKCU\\Del\\Sub\\Deeper", "/va"});
    EXPECT_EQ(Bytes(HKEY_CURRENT_USER, "Del\\Sub\\Deeper", "c"), std::vector<BYTE>{'?'});
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Del\\Sub\\Deeper"));

    Outcome missing = Run({"delete", "HKCU\\Del", "/v", "a"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, kNotFound);

    Do({"delete", "HKCU\\Del"});
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Del"));
    EXPECT_EQ(Bytes(HKEY_CURRENT_USER, "Keep", "k"), (std::vector<BYTE>{'k', 'e', 'p', 't', 0}));

    Outcome again = Run({"delete", "HKCU\\Del", "/f"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.err, kNotFound);
}

TEST_F(ZarnReg, PredefinedKeysAreNeverDeleted) {
    Do({"add", "HKCU\\Keep", "/v", "k", "/d", "kept"});
    Outcome outcome = Run({"delete", "HKEY_CURRENT_USER", "/f"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("ERROR:"), std::string::npos);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Keep"));
}

TEST_F(ZarnReg, BadRootsArgumentsAndData) {
    struct Case {
        std::vector<std::string> args;
        std::string errorStart;
    };
    const Case cases[] = {
        {{"query", "HKXX\\Software"}, "ERROR: Invalid key name."},
        {{"query", "Software\\Test"}, "ERROR: Invalid key name."},
        {{"add", "HKEY_CURRENT\\x"}, "ERROR: Invalid key name."},
        {{"query"}, "ERROR: Invalid syntax."},
        {{"frob", "HKCU\\x"}, "ERROR: Invalid syntax."},
        {{"query", "HKCU\\x", "/t", "REG_SZ"}, "ERROR: Invalid syntax."},
        {{"add", "HKCU\\x", "/v"}, "ERROR: Invalid syntax."},
        {{"add", "HKCU\\x", "/v", "a", "/ve"}, "ERROR: Invalid syntax."},
        {{"add", "HKCU\\x", "/v", "a", "/t", "REG_FOO"}, "ERROR: Invalid syntax."},
        {{"add", "HKCU\\x", "/v", "a", "/t", "REG_DWORD", "/d", "12z"}, "ERROR: Invalid REG_DWORD data"},
        {{"add", "HKCU\\x", "/v", "a", "/t", "REG_DWORD", "/d", "4294967296"}, "ERROR: REG_DWORD data"},
        {{"add", "HKCU\\x", "/v", "a", "/t", "REG_DWORD", "/d", "-1"}, "ERROR: Invalid REG_DWORD data"},
        {{"add", "HKCU\\x", "/v", "a", "/t", "REG_BINARY", "/d", "abc"}, "ERROR: Invalid REG_BINARY data"},
        {{"add", "HKCU\\x", "/v", "a", "/t", "REG_MULTI_SZ", "/d", "a\\0\\0b"}, "ERROR: Invalid syntax."},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& arg : c.args)
            joined += arg + " ";
        SCOPED_TRACE(joined);
        Outcome outcome = Run(c.args);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err.rfind(c.errorStart, 0), 0u) << outcome.err;
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "x")) << "a refused add makes no key";
}

TEST_F(ZarnReg, DamagedDatabaseIsNamedInTheMessage) {
    std::string garbage(3000, '\x5A');
    {
        std::ofstream out(m_registry.Database(), std::ios::binary);
        out << garbage;
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"query", "HKCU"}, std::vector<std::string>{"add", "HKCU\\x", "/v", "a", "/d", "1"},
          std::vector<std::string>{"delete", "HKCU\\x"}}) {
        SCOPED_TRACE(args[0]);
        Outcome outcome = Run(args);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, "ERROR: The registry database file " + m_registry.Database().string() +
                                   " is damaged or is not a registry database.\n");
    }
    EXPECT_EQ(ReadFile(m_registry.Database()), garbage);
}

TEST_F(ZarnReg, OtherMachinesAreNotReachable) {
    Outcome remote = Run({"query", "\\\\elsewhere.invalid\\HKLM\\Software"});
    EXPECT_EQ(remote.exitCode, 1);
    EXPECT_EQ(remote.err, "ERROR: The network path was not found.\n");
}

TEST_F(ZarnReg, HelpDescribesTheCommands) {
    Outcome help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"query", "add", "delete", "/ve", "REG_MULTI_SZ", "replaces", "ZARN_REGISTRY"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

} // namespace
