// The signed list and the components' checks, through the real downloads of the console's host against
// zarn-serve, the real list file and the real installation steps.
#include "app/console/ConsoleHost.h"
#include "components/ZarnDoc.h"
#include "platform/RegistryApi.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/ServeProcess.h"
#include "tests/support/StoredCabinet.h"
#include "tests/support/TempAppDir.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestKeys.h"
#include "tests/support/VersionedFile.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// A figure of this process's memory from /proc/self/status ("VmRSS", "VmHWM"), in KiB; 0 when it is not there.
unsigned long long MemoryKiB(const std::string& field) {
    std::istringstream lines(ReadFile("/proc/self/status"));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stoull(line.substr(field.size() + 1));
        }
    }
    return 0;
}

// The console's host with the messages it shows kept for the test.
class RecordingConsoleHost : public ConsoleHost {
public:
    RecordingConsoleHost() : ConsoleHost(Settings{.quiet = true, .progress = false, .mayAsk = false, .caFile = {}}) {}
    void ShowMessageBox(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

class SignedList : public testing::Test {
public:
    SignedList() : m_serve(ZARN_SERVE_PATH, m_vendor.Path().string()), m_doc(m_app.AppDir(), m_serve.Url(), m_host) {
        fs::create_directories(m_vendor.Path() / "quillornacc/complist");
        fs::create_directories(m_vendor.Path() / "files");
        fs::create_directory(m_app.Path("complist"));
        m_doc.SetListKeys({test::PublicKeyPem("first"), test::PublicKeyPem("second")});
        const std::vector<uint8_t> pe = test::MakeVersionedPe("1.0.0.0");
        m_tool.assign(pe.begin(), pe.end());
        WriteFile((m_vendor.Path() / "files/tool.exe").string(), m_tool);
    }

    // A list of one "APP" component served from files/, with the given top lines and integrity lines.
    std::string ListText(const std::string& top, const std::string& integrity) const {
        return top + "[STARTCOMP]\ndesc=Tool\ncodebase=" + m_serve.Url() +
               "/files/tool.exe\nregfile=app\ndir=tools\nmajor_ver=1\n" + integrity + "[ENDCOMP]\n";
    }
    std::string Integrity() const {
        return "sha256=" + test::Sha256Hex(m_tool) + "\nsize=" + std::to_string(m_tool.size()) + "\n";
    }
    std::string Good(int serial) const {
        return ListText("serial=" + std::to_string(serial) + "\nexpires=2099-01-01T00:00:00Z\n", Integrity());
    }

    // Puts `list` and its signature by `signer` on the server; `signature` may change the signature's bytes.
    void Publish(const std::string& list, const std::string& signer = "first",
                 const std::function<void(std::string&)>& signature = {}) const {
        WriteFile(ServedList(), list);
        std::string bytes = test::Sign(signer, list);
        if (signature) {
            signature(bytes);
        }
        WriteFile(ServedList() + ".sig", bytes);
    }
    std::string ServedList() const { return (m_vendor.Path() / "quillornacc/complist/complist.txt").string(); }
    std::string ListFile() const { return m_doc.GetComponentListPath(); }
    std::string ToolFile() const { return m_app.Path("tools/tool.exe").string(); }

    // Each case is an installation of its own that never accepted a list: cases run in parallel, and the highest
    // accepted serial lives in the registry.
    test::ScratchRegistry m_registry;
    test::TempDir m_vendor;
    test::TempAppDir m_app;
    test::ServeProcess m_serve;
    RecordingConsoleHost m_host;
    CZarnDoc m_doc;
    std::string m_tool;
};

TEST_F(SignedList, AcceptedListInstallsItsCheckedComponentAndRaisesTheSerial) {
    ASSERT_NE(m_serve.Port(), 0);
    Publish(Good(5));
    m_doc.CheckForUpdates();
    EXPECT_TRUE(m_doc.LastListLoaded());
    EXPECT_TRUE(m_doc.LastListRefusal().empty());
    EXPECT_EQ(ReadFile(ListFile()), Good(5));
    EXPECT_EQ(ReadFile(ToolFile()), m_tool);
    ASSERT_EQ(m_doc.m_compList.size(), 1u);
    EXPECT_EQ(m_doc.m_compList.front()->m_status, "CURRENT");
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_FALSE(fs::exists(ListFile() + ".new"));

    // The same serial again is accepted (a mirror may serve it twice), and so is the rotation key.
    Publish(Good(5), "second");
    EXPECT_EQ(m_doc.DownloadComponentList(), 1);
    Publish(Good(6), "second");
    EXPECT_EQ(m_doc.DownloadComponentList(), 1);
    EXPECT_EQ(ReadFile(ListFile()), Good(6));
}

// Every list refused keeps the previous list byte for byte, installs nothing, shows the previous list's statuses and
// tells which check failed.
TEST_F(SignedList, RefusedListsKeepThePreviousListAndInstallNothing) {
    ASSERT_NE(m_serve.Port(), 0);
    struct Case {
        const char* name;
        std::function<void(SignedList&)> publish;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"one byte changed",
         [](SignedList& t) {
             t.Publish(t.Good(9));
             std::string list = t.Good(9);
             list[list.find("desc=Tool") + 5] = 't';
             WriteFile(t.ServedList(), list);
         },
         "its signature does not verify with the vendor's keys"},
        {"unknown key", [](SignedList& t) { t.Publish(t.Good(9), "stranger"); },
         "its signature does not verify with the vendor's keys"},
        {"missing signature",
         [](SignedList& t) {
             t.Publish(t.Good(9));
             fs::remove(t.ServedList() + ".sig");
         },
         "its signature complist.txt.sig could not be fetched"},
        {"empty signature", [](SignedList& t) { t.Publish(t.Good(9), "first", [](std::string& s) { s.clear(); }); },
         "its signature is empty"},
        {"truncated signature",
         [](SignedList& t) { t.Publish(t.Good(9), "first", [](std::string& s) { s.resize(s.size() - 3); }); },
         "its signature does not verify with the vendor's keys"},
        {"lower serial", [](SignedList& t) { t.Publish(t.Good(4)); },
         "its serial 4 is below 5, the highest this installation has accepted"},
        {"expired",
         [](SignedList& t) { t.Publish(t.ListText("serial=9\nexpires=2020-02-29T12:00:00Z\n", t.Integrity())); },
         "it expired at 2020-02-29T12:00:00Z"},
        {"no serial", [](SignedList& t) { t.Publish(t.ListText("expires=2099-01-01T00:00:00Z\n", t.Integrity())); },
         "it has no serial="},
        {"no expiry", [](SignedList& t) { t.Publish(t.ListText("serial=9\n", t.Integrity())); }, "it has no expires="},
        {"malformed serial",
         [](SignedList& t) { t.Publish(t.ListText("serial=9x\nexpires=2099-01-01T00:00:00Z\n", t.Integrity())); },
         "its serial= or expires= line is malformed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The previous list: accepted at serial 5, its component then removed so that it is NOT_INSTALLED.
        Publish(Good(5));
        ASSERT_EQ(m_doc.DownloadComponentList(), 1);
        fs::remove(ToolFile());
        m_host.messages.clear();

        c.publish(*this);
        m_doc.CheckForUpdates();
        EXPECT_FALSE(m_doc.LastListLoaded());
        EXPECT_EQ(ReadFile(ListFile()), Good(5));
        EXPECT_FALSE(fs::exists(ListFile() + ".new"));
        EXPECT_FALSE(fs::exists(ToolFile()));
        ASSERT_EQ(m_doc.m_compList.size(), 1u);
        EXPECT_EQ(m_doc.m_compList.front()->m_status, "NOT_INSTALLED");
        const std::string expected =
            "The component list from the server was refused, and the previous one is kept: " + c.reason;
        ASSERT_FALSE(m_host.messages.empty());
        EXPECT_EQ(m_host.messages.back(), expected);
        EXPECT_EQ(m_doc.LastListRefusal(), expected);
    }
}

TEST_F(SignedList, ComponentsWithoutAValidHashAndSizeAreRefusedOneByOne) {
    ASSERT_NE(m_serve.Port(), 0);
    for (const std::string& integrity :
         {std::string(), "size=" + std::to_string(m_tool.size()) + "\n", "sha256=" + test::Sha256Hex(m_tool) + "\n",
          "sha256=" + test::Sha256Hex(m_tool) + "\nsize=12k\n",
          "sha256=abc\nsize=" + std::to_string(m_tool.size()) + "\n"}) {
        SCOPED_TRACE(integrity);
        m_host.messages.clear();
        Publish(ListText("serial=5\nexpires=2099-01-01T00:00:00Z\n", integrity));
        m_doc.CheckForUpdates();
        EXPECT_TRUE(m_doc.LastListLoaded());
        EXPECT_FALSE(fs::exists(ToolFile()));
        EXPECT_EQ(m_doc.m_compList.front()->m_status, "NOT_INSTALLED");
        EXPECT_EQ(m_host.messages, std::vector<std::string>{"The component \"Tool\" was refused: its block in the "
                                                            "signed list lacks a valid sha256= and size="});
    }
}

// A component file or cabinet with any one byte changed, or longer than listed, is refused before it is run,
// unpacked or registered.
TEST_F(SignedList, CorruptedOrOversizedComponentIsRefusedBeforeAnythingUsesIt) {
    ASSERT_NE(m_serve.Port(), 0);
    // An installer and an expander that leave a mark when they run: the corrupted copies must never get that far.
    const std::string marker = m_app.Path("ran").string();
    const std::string installer = "#!/bin/sh\ntouch '" + marker + "'\nexit 0\n" + std::string(4000, '#') + "\n";
    WriteFile(m_app.Path("zarn-expand").string(),
              "#!/bin/sh\ntouch '" + marker + "'\nexec '" ZARN_EXPAND_PATH "' \"$@\"\n");
    fs::permissions(m_app.Path("zarn-expand"), fs::perms::owner_all);
    const std::string cabinet = test::StoredCabinet({{"ok.ocx", ReadFile(ZARN_REGISTER_OK)}});
    const struct {
        const char* name;
        std::string file;
        std::string kindLines;
        std::string installed; // what the genuine file leaves under the application directory
    } components[] = {
        {"setup.exe", installer, "", "tools/setup.exe"},
        {"ok.cab", cabinet, "classid={0B5C1F00-0000-4000-8000-00000000A11B}\nregfile=ok.ocx\n", "tools/ok.ocx"},
    };
    std::mt19937 random(20261207);
    for (const auto& c : components) {
        SCOPED_TRACE(c.name);
        const std::string served = (m_vendor.Path() / "files" / c.name).string();
        const std::string list =
            "serial=5\nexpires=2099-01-01T00:00:00Z\n[STARTCOMP]\ndesc=Part\ncodebase=" + m_serve.Url() + "/files/" +
            c.name + "\ndir=tools\n" + c.kindLines + "sha256=" + test::Sha256Hex(c.file) +
            "\nsize=" + std::to_string(c.file.size()) + "\n[ENDCOMP]\n";
        Publish(list);
        ASSERT_EQ(m_doc.DownloadComponentList(), 1);
        ASSERT_EQ(m_doc.ParseComponentList(), 1);
        CCompObj& part = *m_doc.m_compList.front();
        const std::string local = m_app.Path(std::string("tools/") + c.name).string();

        // Each refusal is one real download of a few kilobytes: the thousand take a few seconds on a busy machine.
        constexpr int kPositions = 1000;
        for (int i = 0; i < kPositions; ++i) {
            std::string corrupted = c.file;
            const size_t at = std::uniform_int_distribution<size_t>(0, corrupted.size() - 1)(random);
            corrupted[at] = static_cast<char>(corrupted[at] ^ (1 + random() % 255));
            WriteFile(served, corrupted);
            m_host.messages.clear();
            EXPECT_EQ(m_doc.InstallComponent(&part), 0) << at;
            EXPECT_FALSE(fs::exists(local)) << at;
            EXPECT_FALSE(fs::exists(marker)) << at;
            ASSERT_EQ(m_host.messages.size(), 1u);
            EXPECT_NE(m_host.messages[0].find("received " + std::to_string(c.file.size()) + " bytes, SHA-256 " +
                                              test::Sha256Hex(corrupted)),
                      std::string::npos)
                << m_host.messages[0];
        }

        // Longer than listed: cut off, nothing kept, run or unpacked.
        WriteFile(served, c.file + "more");
        m_host.messages.clear();
        EXPECT_EQ(m_doc.InstallComponent(&part), 0);
        EXPECT_FALSE(fs::exists(local));
        EXPECT_FALSE(fs::exists(marker));
        ASSERT_EQ(m_host.messages.size(), 1u);
        EXPECT_EQ(m_host.messages[0], "The file is larger than the component list says (" +
                                          std::to_string(c.file.size()) +
                                          " bytes); the download was stopped and not kept");

        // The file itself installs: the installer runs, the cabinet is unpacked and its control registered.
        WriteFile(served, c.file);
        EXPECT_EQ(m_doc.InstallComponent(&part), 1);
        EXPECT_TRUE(fs::exists(marker));
        EXPECT_TRUE(fs::exists(m_app.Path(c.installed)));
        fs::remove(marker);
    }
}

// Every list that differs from the signed one in a single byte, wherever that byte is, is refused, and the
// previous list stays as it was.
TEST_F(SignedList, EverySingleByteChangeOfASignedListIsRefused) {
    ASSERT_NE(m_serve.Port(), 0);
    Publish(Good(5));
    ASSERT_EQ(m_doc.DownloadComponentList(), 1);
    const std::string signedList = Good(6);
    Publish(signedList);
    std::mt19937 random(7);
    for (size_t at = 0; at < signedList.size(); ++at) {
        std::string changed = signedList;
        changed[at] = static_cast<char>(changed[at] ^ (1 + random() % 255));
        WriteFile(ServedList(), changed);
        EXPECT_EQ(m_doc.DownloadComponentList(), 0) << at;
        EXPECT_EQ(m_doc.LastListRefusal(),
                  "The component list from the server was refused, and the previous one is kept: its signature "
                  "does not verify with the vendor's keys")
            << at;
        ASSERT_EQ(ReadFile(ListFile()), Good(5)) << at;
    }
    WriteFile(ServedList(), signedList);
    EXPECT_EQ(m_doc.DownloadComponentList(), 1);
    EXPECT_EQ(ReadFile(ListFile()), signedList);
}

// A component that never ends (a sparse file of a terabyte, served whole) is cut off once it passes its size=,
// without the memory growing with what arrived.
TEST_F(SignedList, EndlessComponentIsCutOffJustPastItsSizeWithFlatMemory) {
    ASSERT_NE(m_serve.Port(), 0);
    const std::string endless = (m_vendor.Path() / "files/endless.bin").string();
    WriteFile(endless, "");
    fs::resize_file(endless, std::uintmax_t{1} << 40);
    constexpr std::uint64_t kListed = 64u << 20;
    Publish("serial=5\nexpires=2099-01-01T00:00:00Z\n[STARTCOMP]\ndesc=Endless\ncodebase=" + m_serve.Url() +
            "/files/endless.bin\ndir=tools\nregfile=app\nsha256=" + std::string(64, 'a') +
            "\nsize=" + std::to_string(kListed) + "\n[ENDCOMP]\n");
    ASSERT_EQ(m_doc.DownloadComponentList(), 1);
    ASSERT_EQ(m_doc.ParseComponentList(), 1);
    const unsigned long long before = MemoryKiB("VmRSS");
    EXPECT_EQ(m_doc.InstallComponent(m_doc.m_compList.front().get()), 0);
    const unsigned long long after = MemoryKiB("VmRSS");
    ASSERT_GT(before, 0u);
    ASSERT_EQ(m_host.messages.size(), 1u);
    EXPECT_EQ(m_host.messages[0], "The file is larger than the component list says (" + std::to_string(kListed) +
                                      " bytes); the download was stopped and not kept");
    EXPECT_FALSE(fs::exists(m_app.Path("tools/endless.bin")));
    EXPECT_LT(after, before + 16 * 1024) << "KiB resident before and after a " << (kListed >> 20)
                                         << " MiB transfer: " << before << ", " << after;
}

// An endless list or signature (here a body of four times the list's cap) is cut off at its cap with a message that
// names it, and neither is read into memory; the previous list stays.
TEST_F(SignedList, EndlessListOrSignatureIsCutOffAtItsCapWithFlatMemory) {
    ASSERT_NE(m_serve.Port(), 0);
    Publish(Good(5));
    ASSERT_EQ(m_doc.DownloadComponentList(), 1);
    const struct {
        const char* name;
        std::string served;
        std::string cap;
    } cases[] = {
        {"list", ServedList(), std::to_string(16 << 20)},
        {"signature", ServedList() + ".sig", "4096"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Publish(Good(6));
        WriteFile(c.served, "");
        fs::resize_file(c.served, std::uintmax_t{64} << 20);
        m_host.messages.clear();
        // The peak resident memory starts again from what is resident now.
        WriteFile("/proc/self/clear_refs", "5");
        const unsigned long long before = MemoryKiB("VmHWM");
        EXPECT_EQ(m_doc.DownloadComponentList(), 0);
        const unsigned long long peak = MemoryKiB("VmHWM");
        ASSERT_GT(before, 0u);
        ASSERT_FALSE(m_host.messages.empty());
        EXPECT_EQ(m_host.messages[0],
                  "The file is larger than its limit of " + c.cap + " bytes; the download was stopped and not kept");
        EXPECT_EQ(ReadFile(ListFile()), Good(5));
        EXPECT_LT(peak, before + 8 * 1024)
            << "KiB at the peak before and during the download: " << before << ", " << peak;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(m_app.Path("complist")), fs::directory_iterator()), 2);
}

// Settings that lost the highest accepted serial (a deleted database, a value written back lower) do not
// let an older signed list back in: the signed list on disk still carries it.
TEST_F(SignedList, TheSerialFloorSurvivesLostSettings) {
    ASSERT_NE(m_serve.Port(), 0);
    const struct {
        const char* name;
        std::function<void(const SignedList&)> lose;
    } cases[] = {
        {"database deleted", [](const SignedList& t) { fs::remove(t.m_registry.Database()); }},
        {"value lowered",
         [](const SignedList&) {
             HKEY key = nullptr;
             ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Ostrevant\\zarn", 0, KEY_WRITE, &key),
                       ERROR_SUCCESS);
             EXPECT_EQ(RegSetValueExA(key, "ListSerial", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2),
                       ERROR_SUCCESS);
             RegCloseKey(key);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Publish(Good(5));
        ASSERT_EQ(m_doc.DownloadComponentList(), 1);
        c.lose(*this);
        Publish(Good(3));
        EXPECT_EQ(m_doc.DownloadComponentList(), 0);
        EXPECT_EQ(m_doc.LastListRefusal(), "The component list from the server was refused, and the previous one is "
                                           "kept: its serial 3 is below 5, the highest this installation has accepted");
        EXPECT_EQ(ReadFile(ListFile()), Good(5));
    }
}

// Without keys the document reads an unsigned list as it always has.
TEST_F(SignedList, WithoutKeysAnUnsignedListIsReadAsBefore) {
    ASSERT_NE(m_serve.Port(), 0);
    m_doc.SetListKeys({});
    WriteFile(ServedList(), ListText("", ""));
    m_doc.CheckForUpdates();
    EXPECT_TRUE(m_doc.LastListLoaded());
    EXPECT_EQ(ReadFile(ToolFile()), m_tool);
    EXPECT_EQ(m_doc.m_compList.front()->m_status, "CURRENT");
}

} // namespace
} // namespace zarn
