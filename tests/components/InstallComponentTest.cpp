#include "components/CompObj.h"
#include "components/UpdateLog.h"
#include "components/ZarnDoc.h"
#include "platform/RegistryApi.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/RegistryDump.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/StoredCabinet.h"
#include "tests/support/TempAppDir.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every test gets an application directory with its list folder (where install journals go) and a component
// directory whose name holds a blank.
class InstallComponent : public testing::Test {
protected:
    InstallComponent() : m_doc(m_app.AppDir(), "http://127.0.0.1:9", m_host) {
        fs::create_directory(m_app.Path(kDir));
        fs::create_directory(m_app.Path("complist"));
    }

    static constexpr const char* kDir = "comp dir";

    CCompObj Record(const std::string& kind, const std::string& fileName, const std::string& regFile = {},
                    const std::string& dir = kDir) const {
        CCompObj record;
        record.m_installType = kind;
        record.m_dir = dir;
        record.m_fileName = fileName;
        record.m_regFile = regFile;
        record.m_codebase = "http://vendor.test/files/" + fileName;
        return record;
    }

    std::string LocalFile(const std::string& fileName) const { return m_app.AppDir() + kDir + "/" + fileName; }

    // The stand-in for zarn-expand: records its arguments one a line, starts the list of staged files ($5) empty,
    // runs `body`, exits with `status`.
    void WriteExpander(int status, const std::string& body = {}) const {
        const fs::path path = m_app.Path("zarn-expand");
        std::ofstream(path) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << ExpanderLog().string() << "'\n: > \"$5\"\n"
                            << body << "\nexit " << status << "\n";
        fs::permissions(path, fs::perms::owner_all);
    }
    fs::path ExpanderLog() const { return m_app.Outside() / "expand-args.txt"; }

    test::TempAppDir m_app;
    test::RecordingHost m_host;
    CZarnDoc m_doc;
};

struct KindCase {
    const char* kind;
    bool served;      // the download completes
    int expanderExit; // the stand-in expander's exit status
    int result;
    bool downloads;
    bool expands;
    bool kept; // the downloaded file stays in the component's folder
};

TEST_F(InstallComponent, EachKindDownloadsAndUnpacksAsItSays) {
    const KindCase cases[] = {
        {"", true, 0, 1, false, false, false},    {"Lib", true, 0, 1, false, false, false},
        {"APP", true, 0, 1, true, false, true},   {"APP", false, 0, 0, true, false, false},
        {"EXE", false, 0, 0, true, false, false}, {"LIB", true, 0, 1, true, true, true},
        {"LIB", true, 3, 0, true, true, false},   {"LIB", false, 0, 0, true, false, false},
        {"REG", false, 0, 0, true, false, false}, {"REG", true, 5, 0, true, true, false},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(std::string("kind '") + c.kind + "' served " + std::to_string(c.served));
        fs::remove(LocalFile("part.cab"));
        fs::remove(ExpanderLog());
        m_host.m_calls.clear();
        m_host.m_files.clear();
        WriteExpander(c.expanderExit);
        CCompObj record = Record(c.kind, "part.cab", "ctrl.ocx");
        if (c.served) {
            m_host.m_files[record.m_codebase] = "cabinet bytes";
        }

        EXPECT_EQ(m_doc.InstallComponent(&record), c.result);
        const std::vector<std::string> downloads = {"download " + record.m_codebase + " -> " + LocalFile("part.cab")};
        EXPECT_EQ(m_host.m_calls, c.downloads ? downloads : std::vector<std::string>{});
        EXPECT_EQ(fs::exists(LocalFile("part.cab")), c.kept);
        // The list of staged files is named by the process, beside the cabinet.
        const std::string expected = c.expands ? "-F:*\n" + LocalFile("part.cab") + "\n" + m_app.AppDir() + kDir +
                                                     "\n--stage\n" + LocalFile("part.cab") + ".staged"
                                               : std::string();
        EXPECT_EQ(ReadFile(ExpanderLog()).substr(0, expected.size()), expected);
    }
}

// A POSIX exit status is eight bits: "exit 3010" and "exit 1641" end with 194 and 105, which are failures, and
// the log and the failure reason show the status the system gave, or the signal.
TEST_F(InstallComponent, InstallerRunsByItsPathAndItsExitStatusDecides) {
    const struct {
        std::string ending;
        int result;
        std::string ended; // how the log line after the installer's path goes on
    } cases[] = {
        {"exit 0", 1, " exited with status 0, result 1"},
        {"exit 3010", 0, " exited with status 194, result 0"},
        {"exit 1641", 0, " exited with status 105, result 0"},
        {"exit 2", 0, " exited with status 2, result 0"},
        {"kill -KILL $$", 0, " was killed by signal 9 (SIGKILL), result 0"},
    };
    std::vector<std::string> lines;
    UpdateLog log("");
    log.SetEcho([&lines](const std::string& line) { lines.push_back(line); });
    m_doc.SetLog(&log);
    CCompObj record = Record("EXE", "setup.exe");
    const fs::path ran = m_app.Path(kDir) / "ran.txt";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ending);
        fs::remove(ran);
        lines.clear();
        // Downloaded without any execute permission; $0 and $# show how it was started.
        m_host.m_files[record.m_codebase] =
            "#!/bin/sh\nprintf '%s|%s\\n' \"$0\" \"$#\" > \"$(dirname \"$0\")/ran.txt\"\n" + c.ending + "\n";
        EXPECT_EQ(m_doc.InstallComponent(&record), c.result);
        EXPECT_EQ(ReadFile(ran), LocalFile("setup.exe") + "|0\n");
        ASSERT_FALSE(lines.empty());
        EXPECT_TRUE(lines.back().ends_with("Z install \"\": " + LocalFile("setup.exe") + c.ended)) << lines.back();
        const std::string reason = c.result == 1 ? "" : LocalFile("setup.exe") + c.ended.substr(0, c.ended.find(','));
        EXPECT_EQ(m_doc.LastInstallFailure(), reason);
    }
    EXPECT_EQ(m_host.m_calls.size(), std::size(cases)) << "downloads only, no message";
}

// The expander's standard output and error reach the log under the install step, and its last line is the reason;
// of a flood only the last few KB are kept, starting at a whole line, and reading it never stalls the expander.
TEST_F(InstallComponent, ExpanderMessagesReachTheLogAndItsLastOneIsTheReason) {
    const struct {
        std::string body;
        int status;
        std::string reason;
    } cases[] = {
        {"echo 'zarn-expand: x.cab: refused entry \"..\\\\x\"' >&2", 3, "zarn-expand: x.cab: refused entry \"..\\x\""},
        {"seq -f 'filler %05g' 1 8000; echo 'zarn-expand: last words' >&2", 2, "zarn-expand: last words"},
        {"echo 'zarn-expand: unpacked'", 0, ""},
    };
    std::vector<std::string> lines;
    UpdateLog log("");
    log.SetEcho([&lines](const std::string& line) { lines.push_back(line.substr(line.find(' ') + 1)); });
    m_doc.SetLog(&log);
    CCompObj record = Record("LIB", "part.cab");
    m_host.m_files[record.m_codebase] = "cabinet bytes";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        lines.clear();
        WriteExpander(c.status, c.body);
        EXPECT_EQ(m_doc.InstallComponent(&record), c.status == 0 ? 1 : 0);
        EXPECT_EQ(m_doc.LastInstallFailure(), c.reason);
        std::vector<std::string> said;
        for (const std::string& line : lines) {
            if (const std::string step = "install \"\": "; line.starts_with(step)) {
                said.push_back(line.substr(step.size()));
            }
        }
        ASSERT_GE(said.size(), 2u);
        EXPECT_EQ(said.back(),
                  c.status == 0 ? "unpacked, result 1" : "zarn-expand exited with status " + std::to_string(c.status));
        const std::string last = said[said.size() - (c.status == 0 ? 3 : 2)];
        EXPECT_EQ(last, c.status == 0 ? "zarn-expand: unpacked" : c.reason);
        if (c.status == 2) {
            // About 4 KB of 13-byte lines: the last ones, each whole.
            const auto fillers = std::count_if(said.begin(), said.end(),
                                               [](const std::string& line) { return line.starts_with("filler "); });
            EXPECT_GT(fillers, 250);
            EXPECT_LT(fillers, 320);
            EXPECT_EQ(said[said.size() - 3], "filler 08000");
            for (auto line = said.begin(); line + 2 < said.end(); ++line) {
                EXPECT_TRUE(line->size() == 12 && line->starts_with("filler 0")) << *line;
            }
        }
    }
}

TEST_F(InstallComponent, ProgramThatCannotStartIsReported) {
    CCompObj notAProgram = Record("EXE", "setup.exe");
    m_host.m_files[notAProgram.m_codebase] = std::string("MZ\x90\0\x03", 5);
    EXPECT_EQ(m_doc.InstallComponent(&notAProgram), 0);
    CCompObj noExpander = Record("LIB", "part.cab");
    m_host.m_files[noExpander.m_codebase] = "cabinet bytes";
    EXPECT_EQ(m_doc.InstallComponent(&noExpander), 0);
    EXPECT_FALSE(fs::exists(LocalFile("part.cab")));
    EXPECT_EQ(m_host.m_calls, (std::vector<std::string>{
                                  "download " + notAProgram.m_codebase + " -> " + LocalFile("setup.exe"),
                                  "message CreateProcess failed.",
                                  "download " + noExpander.m_codebase + " -> " + LocalFile("part.cab"),
                                  "message CreateProcess failed.",
                              }));
}

TEST_F(InstallComponent, RegisterServerChecksTheEntryPointAndItsResult) {
    std::ofstream(m_app.Path("text.ocx")) << "not a library";
    const struct {
        std::string path;
        int result;
    } cases[] = {
        {ZARN_REGISTER_OK, 1},
        {ZARN_REGISTER_FALSE, 1},
        {ZARN_REGISTER_FAIL, 0},
        {ZARN_REGISTER_NONE, -1},
        {m_app.AppDir() + "absent.ocx", ENOENT},
        {fs::path(ZARN_REGISTER_OK).filename().string(), EINVAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(m_doc.RegisterServer(c.path.c_str()), c.result);
    }
    const int notLibrary = m_doc.RegisterServer(m_app.Path("text.ocx").c_str());
    EXPECT_TRUE(notLibrary != 0 && notLibrary != 1 && notLibrary != -1) << notLibrary;
}

TEST_F(InstallComponent, RegistersTheControlTheCabinetHeld) {
    const struct {
        std::string library; // what the expander places as ctrl.ocx; empty: nothing
        int result;
    } cases[] = {{ZARN_REGISTER_OK, 1}, {ZARN_REGISTER_FAIL, 0}, {ZARN_REGISTER_NONE, -1}, {"", ENOENT}};
    CCompObj record = Record("REG", "ctrl.cab", "ctrl.ocx");
    m_host.m_files[record.m_codebase] = "cabinet bytes";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        fs::remove(m_app.Path(kDir) / "ctrl.ocx");
        WriteExpander(0, c.library.empty() ? std::string()
                                           : "cp '" + c.library +
                                                 "' \"$3/ctrl.new\" && printf '%s\\0%s\\0' "
                                                 "\"$3/ctrl.ocx\" \"$3/ctrl.new\" > \"$5\"");
        EXPECT_EQ(m_doc.InstallComponent(&record), c.result);
    }
}

TEST_F(InstallComponent, RecordLeavingTheApplicationDirectoryIsRefusedBeforeAnyDownload) {
    fs::create_directory(m_app.Outside() / "elsewhere");
    fs::create_directory_symlink(m_app.Outside() / "elsewhere", m_app.Path("link"));
    WriteExpander(0);
    CCompObj cases[] = {
        Record("LIB", "x.cab", "", "../elsewhere"),
        Record("APP", "x.bin", "", m_app.Outside().string()),
        Record("APP", "..", "", kDir),
        Record("EXE", "setup.exe", "", "link"),
        Record("REG", "x.cab", "../../evil.ocx"),
        Record("", "x.bin", "", "../elsewhere"),
    };
    for (CCompObj& record : cases) {
        SCOPED_TRACE(record.m_dir + " | " + record.m_fileName + " | " + record.m_regFile);
        m_host.m_files[record.m_codebase] = "payload";
        EXPECT_EQ(m_doc.InstallComponent(&record), 0);
    }
    EXPECT_EQ(m_host.m_calls, std::vector<std::string>{});
    EXPECT_TRUE(fs::is_empty(m_app.Outside() / "elsewhere"));
    EXPECT_FALSE(fs::exists(ExpanderLog()));
}

// The files of the component's folder with their contents, but the downloaded cabinet.
std::map<std::string, std::string> ComponentFiles(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().extension() != ".cab") {
            files[fs::relative(entry.path(), folder).generic_string()] = ReadFile(entry.path());
        }
    }
    return files;
}

// With the real expander: a control whose DllRegisterServer writes several keys and then fails leaves the registry
// byte for byte as it was and gets its previous files back; one that succeeds keeps its writes and its files, and
// no install marker stays behind. Files the cabinet does not bring are never touched.
TEST_F(InstallComponent, ARegistrationIsAppliedWholeWithItsFilesOrNotAtAll) {
    test::ScratchRegistry registry;
    fs::copy_file(ZARN_EXPAND_PATH, m_app.Path("zarn-expand"));
    const std::map<std::string, std::string> old = {
        {"ctrl.ocx", "the previous control"}, {"data.txt", "previous data"}, {"user.txt", "the user's own"}};
    const struct {
        const char* library;
        int result;
    } cases[] = {{ZARN_REGISTER_WRITES_FAIL, 0}, {ZARN_REGISTER_WRITES_OK, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        fs::remove_all(m_app.Path(kDir));
        fs::create_directory(m_app.Path(kDir));
        for (const auto& [name, bytes] : old) {
            std::ofstream(m_app.Path(kDir) / name, std::ios::binary) << bytes;
        }
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vendor\\Control", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("1.0"), 4), ERROR_SUCCESS);
        RegCloseKey(key);
        const std::string before = test::RegistryDump();
        const std::map<std::string, std::string> brought = {
            {"ctrl.ocx", ReadFile(c.library)}, {"data.txt", "new data"}, {"sub/added.txt", "a new file"}};
        CCompObj record = Record("REG", "ctrl.cab", "ctrl.ocx");
        m_host.m_files[record.m_codebase] = test::StoredCabinet({{"ctrl.ocx", brought.at("ctrl.ocx")},
                                                                 {"data.txt", brought.at("data.txt")},
                                                                 {"sub\\added.txt", brought.at("sub/added.txt")}});

        EXPECT_EQ(m_doc.InstallComponent(&record), c.result) << m_doc.LastInstallFailure();
        std::map<std::string, std::string> expected = old;
        if (c.result == 1) {
            expected.insert_or_assign("ctrl.ocx", brought.at("ctrl.ocx"));
            expected.insert_or_assign("data.txt", brought.at("data.txt"));
            expected.insert_or_assign("sub/added.txt", brought.at("sub/added.txt"));
        }
        EXPECT_EQ(ComponentFiles(m_app.Path(kDir)), expected);
        const std::string after = test::RegistryDump();
        if (c.result == 1) {
            EXPECT_NE(after.find("written.ocx"), std::string::npos) << after;
            EXPECT_NE(after.find("Version 1 2.0"), std::string::npos) << after;
            EXPECT_EQ(after.find("Installs\n  "), std::string::npos) << "the install's marker stayed:\n" << after;
        } else {
            EXPECT_EQ(after, before);
        }
        EXPECT_TRUE(fs::is_empty(m_app.Path("complist"))) << "an install journal stayed";
    }
}

// On POSIX a file is renamed in a folder one may write to, whatever the file's own permissions: the install
// completes, and whoever holds the previous file open goes on reading it.
TEST_F(InstallComponent, AnUnwritableFileInUseIsReplacedAndTheOldOneStillReads) {
    fs::copy_file(ZARN_EXPAND_PATH, m_app.Path("zarn-expand"));
    const fs::path held = m_app.Path(kDir) / "geometry.so";
    std::ofstream(held, std::ios::binary) << "the previous library";
    fs::permissions(held, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::ifstream reader(held, std::ios::binary);
    CCompObj record = Record("LIB", "geometry.cab");
    m_host.m_files[record.m_codebase] = test::StoredCabinet({{"geometry.so", "the new library"}});

    EXPECT_EQ(m_doc.InstallComponent(&record), 1) << m_doc.LastInstallFailure();
    EXPECT_EQ(ReadFile(held), "the new library");
    std::ostringstream stillOpen;
    stillOpen << reader.rdbuf();
    EXPECT_EQ(stillOpen.str(), "the previous library");
    EXPECT_EQ(ComponentFiles(m_app.Path(kDir)).size(), 1u) << "the previous file was not removed";
}

// From a web server the record's URL is fetched as it stands, but never a file: URL, which would let a list from the
// network read any file of this computer. From a folder each http(s) URL is read at its path under the folder, a path
// that could leave it refused; a file: URL there is the folder's own list's and stands.
TEST_F(InstallComponent, SourceOfTheFileFollowsTheServer) {
    test::RecordingHost folderHost;
    CZarnDoc folderDoc(m_app.AppDir(), "file:///media/repo", folderHost);
    struct Case {
        CZarnDoc& doc;
        std::string url;
        std::string fetched; // empty: refused
    };
    const Case cases[] = {
        {m_doc, "http://vendor.test/files/x.bin", "http://vendor.test/files/x.bin"},
        {m_doc, "file:///etc/passwd", ""},
        {m_doc, "FILE://vendor.test/x.bin", ""},
        {m_doc, " \tfile:///etc/passwd", ""},
        {folderDoc, "http://vendor.test/quillornacc/components/x.bin",
         "file:///media/repo/quillornacc/components/x.bin"},
        {folderDoc, "https://cdn.test:8443/a%20b/x.bin?v=2#top", "file:///media/repo/a%20b/x.bin"},
        {folderDoc, "file:///elsewhere/x.bin", "file:///elsewhere/x.bin"},
        {folderDoc, "http://vendor.test/quillornacc/../../etc/x.bin", ""},
        {folderDoc, "http://vendor.test/quillornacc/%2E%2e/x.bin", ""},
        {folderDoc, "http://vendor.test/quillornacc/..%2fx.bin", ""},
        {folderDoc, "http://vendor.test/quillornacc\\..\\x.bin", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        test::RecordingHost& host = &c.doc == &m_doc ? m_host : folderHost;
        host.m_calls.clear();
        CCompObj record = Record("APP", "x.bin");
        record.m_codebase = c.url;
        host.m_files[c.fetched] = "payload";
        EXPECT_EQ(c.doc.InstallComponent(&record), c.fetched.empty() ? 0 : 1);
        if (c.fetched.empty()) {
            EXPECT_EQ(host.m_calls, std::vector<std::string>{});
            EXPECT_NE(c.doc.LastInstallFailure().find("refused, "), std::string::npos) << c.doc.LastInstallFailure();
        } else {
            EXPECT_EQ(host.m_calls, std::vector<std::string>{"download " + c.fetched + " -> " + LocalFile("x.bin")});
        }
    }
}

} // namespace
} // namespace zarn
