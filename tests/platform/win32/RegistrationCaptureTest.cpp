// A component's registration captured in the real registry (the Wine prefix's): a failed or abandoned one leaves
// every key it wrote exactly as before, a committed one lands in the real roots with its marker, and a commit
// killed at any step is either undone or kept whole by the next start's Settle. The registry is compared as a full
// dump (every key, value, type and byte) of the areas the test library writes and of the launcher's own keys.
#include "platform/RegistrationCapture.h"

#include "platform/Library.h"
#include "platform/win32/WindowsHeaders.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempDir.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zarn {
namespace {

using platform::RegistrationCapture;

constexpr const char* kClassKey = "CLSID\\{" ZARN_CAPTURE_CLSID "}";
constexpr const char* kTestKey = "Software\\Ostrevant\\CaptureTest";
constexpr const char* kInstallsKey = "Software\\Ostrevant\\zarn\\Installs";
constexpr const char* kInstallId = "capture-test-install";

// A build path as Windows takes it: under Wine the build tree's POSIX paths are on drive Z:.
std::string WindowsPath(std::string path) {
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path.starts_with("\\") ? "Z:" + path : path;
}

void DumpKey(HKEY key, const std::string& name, std::string& out) {
    out += "[" + name + "]\n";
    std::vector<char> valueName(16384);
    std::vector<BYTE> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(valueName.size());
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, i, valueName.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (result != ERROR_SUCCESS) {
            out += result == ERROR_NO_MORE_ITEMS ? "" : "(values unreadable)\n";
            break;
        }
        out += "  \"" + std::string(valueName.data(), nameLength) + "\" type " + std::to_string(type) + ":";
        for (DWORD b = 0; b < size; ++b) {
            out += " " + std::to_string(data[b]);
        }
        out += "\n";
    }
    for (DWORD i = 0;; ++i) {
        char child[256];
        DWORD length = sizeof(child);
        if (RegEnumKeyExA(key, i, child, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        HKEY childKey = nullptr;
        if (RegOpenKeyExA(key, child, 0, KEY_READ, &childKey) != ERROR_SUCCESS) {
            out += "(" + std::string(child) + " unreadable)\n";
            continue;
        }
        DumpKey(childKey, name + "\\" + child, out);
        RegCloseKey(childKey);
    }
}

void DumpArea(HKEY root, const char* rootName, const std::string& path, std::string& out) {
    HKEY key = nullptr;
    const std::string name = std::string(rootName) + "\\" + path;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        out += "[" + name + "] absent\n";
        return;
    }
    DumpKey(key, name, out);
    RegCloseKey(key);
}

// Everything the test library writes, the install's marker and undo record, and every capture's scratch key.
std::string Dump() {
    std::string out;
    DumpArea(HKEY_CLASSES_ROOT, "HKCR", kClassKey, out);
    DumpArea(HKEY_LOCAL_MACHINE, "HKLM", kTestKey, out);
    DumpArea(HKEY_CURRENT_USER, "HKCU", kTestKey, out);
    DumpArea(HKEY_CURRENT_USER, "HKCU", "Software\\Ostrevant\\zarn\\Capture", out);
    DumpArea(HKEY_CURRENT_USER, "HKCU", std::string(kInstallsKey) + "\\" + kInstallId + ".undo", out);
    char marker[256];
    DWORD size = sizeof(marker);
    const bool marked =
        RegGetValueA(HKEY_CURRENT_USER, kInstallsKey, kInstallId, RRF_RT_ANY, nullptr, marker, &size) == ERROR_SUCCESS;
    out += marked ? "marker present\n" : "marker absent\n";
    return out;
}

std::string Text(HKEY root, const char* path, const char* name) {
    char data[256];
    DWORD size = sizeof(data);
    if (RegGetValueA(root, path, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
        return "(none)";
    }
    return data;
}

void SetText(HKEY root, const char* path, const char* name, const char* text) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                             static_cast<DWORD>(std::strlen(text) + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// The cases share the Wine prefix's registry, so CTest runs them one at a time; each starts from the same keys:
// the user's test key with a value the library overwrites, the machine's test key with a value it keeps, and none
// of the class's keys.
class RegistrationCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        Clean();
        SetText(HKEY_CURRENT_USER, kTestKey, "Shared", "before");
        SetText(HKEY_LOCAL_MACHINE, kTestKey, "Kept", "yes");
        m_before = Dump();
    }
    void TearDown() override { Clean(); }

    static void Clean() {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTestKey);
        RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
        RegDeleteTreeA(HKEY_CURRENT_USER, (std::string(kInstallsKey) + "\\" + kInstallId + ".undo").c_str());
        RegistrationCapture::Forget(kInstallId);
    }

    // Runs the library's DllRegisterServer in this process; its HRESULT.
    static long Register(const char* library) {
        platform::Library loaded;
        EXPECT_EQ(loaded.Load(WindowsPath(library)), 0u) << library;
        return loaded.CallEntryPoint("DllRegisterServer").value_or(-1);
    }

    // The registration run and committed in a child process, with ZARN_CRASH_AT set to `crashAt`; its exit code.
    int RunChild(const std::string& crashAt) {
        const std::vector<std::string> environment = test::EnvironmentWith({{"ZARN_CRASH_AT", crashAt}});
        const test::ProgramOutcome outcome =
            test::RunProgram(WindowsPath(ZARN_CAPTURE_CHILD), {WindowsPath(ZARN_CAPTURE_WRITER_OK), kInstallId},
                             environment, m_files.File("out.txt"), m_files.File("err.txt"));
        EXPECT_EQ(outcome.problem, "");
        return outcome.exitCode;
    }

    std::string m_before;
    test::TempDir m_files;
};

TEST_F(RegistrationCaptureTest, AnAbandonedCaptureLeavesTheRegistryAsItWas) {
    enum class End { Abort, Destructor, CommitUnderAKeyPath };
    const struct {
        const char* library;
        long result;
        End end;
    } cases[] = {
        {ZARN_CAPTURE_WRITER_FAIL, E_FAIL, End::Abort},
        {ZARN_CAPTURE_WRITER_FAIL, E_FAIL, End::Destructor},
        {ZARN_CAPTURE_WRITER_OK, S_OK, End::Abort},
        {ZARN_CAPTURE_WRITER_OK, S_OK, End::CommitUnderAKeyPath},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.library) + ", end " + std::to_string(static_cast<int>(c.end)));
        {
            RegistrationCapture capture;
            ASSERT_EQ(capture.Begin(), 1);
            EXPECT_EQ(Register(c.library), c.result);
            // While capturing, the process sees what it wrote: the writes went somewhere, and not to the real keys.
            EXPECT_EQ(Text(HKEY_CURRENT_USER, kTestKey, "Shared"), "after");
            if (c.end == End::Abort) {
                capture.Abort();
            } else if (c.end == End::CommitUnderAKeyPath) {
                EXPECT_EQ(capture.Commit("install\\with a key path"), 0);
            }
        }
        EXPECT_EQ(Dump(), m_before);
        EXPECT_EQ(RegistrationCapture::Settle(kInstallId), 0);
    }
}

TEST_F(RegistrationCaptureTest, ACommitAppliesEveryWriteWithItsMarker) {
    RegistrationCapture idle;
    EXPECT_EQ(idle.Commit(kInstallId), 0) << "nothing was captured";
    // An unsettled record of the same install is never overwritten: that commit is refused and applies nothing.
    const std::string undoKey = std::string(kInstallsKey) + "\\" + kInstallId + ".undo";
    SetText(HKEY_CURRENT_USER, undoKey.c_str(), "Stale", "record");
    const std::string withStaleRecord = Dump();
    {
        RegistrationCapture refused;
        ASSERT_EQ(refused.Begin(), 1);
        EXPECT_EQ(Register(ZARN_CAPTURE_WRITER_OK), S_OK);
        EXPECT_EQ(refused.Commit(kInstallId), 0);
    }
    EXPECT_EQ(Dump(), withStaleRecord);
    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, undoKey.c_str()), ERROR_SUCCESS);

    RegistrationCapture capture;
    ASSERT_EQ(capture.Begin(), 1);
    EXPECT_EQ(Register(ZARN_CAPTURE_WRITER_OK), S_OK);
    ASSERT_EQ(capture.Commit(kInstallId), 1);

    const std::string committed = Dump();
    EXPECT_NE(committed.find("marker present"), std::string::npos);
    EXPECT_NE(committed.find("[HKCU\\Software\\Ostrevant\\zarn\\Capture] absent"), std::string::npos) << committed;
    EXPECT_NE(committed.find(".undo] absent"), std::string::npos) << committed;
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, (std::string(kClassKey) + "\\InprocServer32").c_str(), nullptr),
              "capture-test.dll");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kTestKey, "Shared"), "after");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kTestKey, "Kept"), "yes");
    DWORD count = 0;
    DWORD size = sizeof(count);
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Ostrevant\\CaptureTest\\Component", "Count", RRF_RT_REG_DWORD,
                           nullptr, &count, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(count, 7u);
    HKEY empty = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Ostrevant\\CaptureTest\\Empty", 0, KEY_READ, &empty),
              ERROR_SUCCESS);
    RegCloseKey(empty);

    EXPECT_EQ(RegistrationCapture::Settle(kInstallId), 1);
    EXPECT_EQ(Dump(), committed) << "settling a committed install changes nothing";
    EXPECT_EQ(RegistrationCapture::Forget(kInstallId), 1);
    EXPECT_EQ(RegistrationCapture::Settle(kInstallId), 0);
    EXPECT_EQ(RegistrationCapture::Forget(kInstallId), 1) << "a marker already gone";
}

// Inside a test's scratch registry a capture ends in it: what it commits lands there, and the scratch registry is
// still in place afterwards, so the real registry never sees any of it.
TEST_F(RegistrationCaptureTest, ACaptureInsideAScratchRegistryEndsInIt) {
    {
        test::ScratchRegistry scratch;
        const std::string empty = Dump();
        RegistrationCapture abandoned;
        ASSERT_EQ(abandoned.Begin(), 1);
        EXPECT_EQ(Register(ZARN_CAPTURE_WRITER_FAIL), E_FAIL);
        abandoned.Abort();
        EXPECT_EQ(Dump(), empty);

        RegistrationCapture capture;
        ASSERT_EQ(capture.Begin(), 1);
        EXPECT_EQ(Register(ZARN_CAPTURE_WRITER_OK), S_OK);
        ASSERT_EQ(capture.Commit(kInstallId), 1);
        EXPECT_EQ(Text(HKEY_CURRENT_USER, kTestKey, "Shared"), "after");
        EXPECT_EQ(RegistrationCapture::Settle(kInstallId), 1);
    }
    EXPECT_EQ(Dump(), m_before);
}

TEST_F(RegistrationCaptureTest, ACommitKilledAtAnyStepIsSettledWholeOrUndone) {
    ASSERT_EQ(RunChild(""), 0);
    const std::string committed = Dump();
    ASSERT_NE(committed, m_before);
    RegistrationCapture::Forget(kInstallId);

    const struct {
        const char* step;
        int settled;
    } cases[] = {
        {"test-registered", 0},          {"registration-undo-entry", 0}, {"registration-undo-written", 0},
        {"registration-apply-value", 0}, {"registration-applied", 0},    {"registration-marked", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        SetUp();
        ASSERT_EQ(Dump(), m_before);
        EXPECT_EQ(RunChild(c.step), 137);
        const std::string killed = Dump();
        const std::string& expected = c.settled == 1 ? committed : m_before;
        EXPECT_NE(killed, expected) << "the kill left something for Settle to do";
        EXPECT_EQ(RegistrationCapture::Settle(kInstallId), c.settled);
        EXPECT_EQ(Dump(), expected);
        EXPECT_EQ(RegistrationCapture::Settle(kInstallId), c.settled) << "settling again";
        EXPECT_EQ(Dump(), expected);
    }
}

} // namespace
} // namespace zarn
