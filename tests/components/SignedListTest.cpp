// The signed list and the components' checks, through the real downloads of the console's host against
// zarn-serve, the real list file and the real installation steps.
#include "app/console/ConsoleHost.h"
#include "components/ZarnDoc.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/ServeProcess.h"
#include "tests/support/TempAppDir.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestKeys.h"
#include "tests/support/VersionedFile.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

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

// A component file with any one byte changed, or longer than listed, is refused before it is run or put in place.
TEST_F(SignedList, CorruptedOrOversizedComponentIsRefusedBeforeAnythingUsesIt) {
    ASSERT_NE(m_serve.Port(), 0);
    // An installer that leaves a mark when it runs: the corrupted copies must never get that far.
    const std::string marker = m_app.Path("ran").string();
    const std::string installer = "#!/bin/sh\ntouch '" + marker + "'\nexit 0\n" + std::string(4000, '#') + "\n";
    WriteFile((m_vendor.Path() / "files/setup.exe").string(), installer);
    const std::string list =
        "serial=5\nexpires=2099-01-01T00:00:00Z\n[STARTCOMP]\ndesc=Setup\ncodebase=" + m_serve.Url() +
        "/files/setup.exe\ndir=tools\nsha256=" + test::Sha256Hex(installer) +
        "\nsize=" + std::to_string(installer.size()) + "\n[ENDCOMP]\n";
    Publish(list);
    ASSERT_EQ(m_doc.DownloadComponentList(), 1);
    ASSERT_EQ(m_doc.ParseComponentList(), 1);
    CCompObj& setup = *m_doc.m_compList.front();
    const std::string local = m_app.Path("tools/setup.exe").string();

    std::mt19937 random(20261207);
    // Each refusal is one real download of a few kilobytes, about 0.6 ms: all thousand take well under a second.
    constexpr int kPositions = 1000;
    for (int i = 0; i < kPositions; ++i) {
        std::string corrupted = installer;
        const size_t at = std::uniform_int_distribution<size_t>(0, corrupted.size() - 1)(random);
        corrupted[at] = static_cast<char>(corrupted[at] ^ (1 + random() % 255));
        WriteFile((m_vendor.Path() / "files/setup.exe").string(), corrupted);
        m_host.messages.clear();
        EXPECT_EQ(m_doc.InstallComponent(&setup), 0) << at;
        EXPECT_FALSE(fs::exists(local)) << at;
        EXPECT_FALSE(fs::exists(marker)) << at;
        ASSERT_EQ(m_host.messages.size(), 1u);
        EXPECT_NE(m_host.messages[0].find("received " + std::to_string(installer.size()) + " bytes, SHA-256 " +
                                          test::Sha256Hex(corrupted)),
                  std::string::npos)
            << m_host.messages[0];
    }

    // Longer than listed: cut off, nothing kept or run.
    WriteFile((m_vendor.Path() / "files/setup.exe").string(), installer + "more");
    m_host.messages.clear();
    EXPECT_EQ(m_doc.InstallComponent(&setup), 0);
    EXPECT_FALSE(fs::exists(local));
    EXPECT_FALSE(fs::exists(marker));
    ASSERT_EQ(m_host.messages.size(), 1u);
    EXPECT_EQ(m_host.messages[0], "The file is larger than the component list says (" +
                                      std::to_string(installer.size()) +
                                      " bytes); the download was stopped and not kept");

    // The file itself installs and runs.
    WriteFile((m_vendor.Path() / "files/setup.exe").string(), installer);
    EXPECT_EQ(m_doc.InstallComponent(&setup), 1);
    EXPECT_TRUE(fs::exists(marker));
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
