// The Windows launcher under Wine, as its user runs it: `cmake --install` of the Windows tree makes a fresh
// application directory for each test, zarn-serve serves the vendor's folder on loopback, and QuillornaCC.exe goes
// through Wine's registry, version API, WinInet, CreateProcessW and LoadLibraryExW. The components are built for
// Windows while the test runs (e2e/WineComponent.c with a version resource), the cabinets by gcab. The cases share
// one Wine prefix, so each uses class identifiers of its own and finds its lines in the shared log by its own paths.
// The lists are unsigned (the Windows tree is configured without ZARN_LIST_KEYS); their blocks carry sha256= and
// size=, which the launcher checks in any build.
#include "tests/support/ProgramRun.h"
#include "tests/support/ServeProcess.h"
#include "tests/support/StoredCabinet.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestKeys.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

// The path as a Windows program under Wine sees it: Wine maps the Unix root to drive Z:.
std::string WinPath(const fs::path& path) {
    std::string text = "Z:" + path.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

// The --json table's rows as "desc:status", or one row naming what could not be read.
std::vector<std::string> Statuses(const std::string& json) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json));
    std::vector<std::string> rows;
    for (const QJsonValue component : document.object().value("components").toArray()) {
        rows.push_back(component["desc"].toString().toStdString() + ":" + component["status"].toString().toStdString());
    }
    return rows.empty() ? std::vector<std::string>{"no table in: " + json} : rows;
}

// The --json table's "reason" of each row, empty for a row without one.
std::vector<std::string> Reasons(const std::string& json) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json));
    std::vector<std::string> reasons;
    for (const QJsonValue component : document.object().value("components").toArray()) {
        reasons.push_back(component["reason"].toString().toStdString());
    }
    return reasons;
}

class WineUpdate : public testing::Test {
protected:
    WineUpdate() {
        const test::ProgramOutcome install =
            RunLinux(ZARN_CMAKE, {"--install", ZARN_WINDOWS_BUILD_DIR, "--prefix", App().string()});
        EXPECT_EQ(install.exitCode, 0) << install.out << install.err;
        fs::create_directories(m_vendor.Path() / "quillornacc/complist");
        fs::create_directories(m_vendor.Path() / "quillornacc/components");
        fs::create_directories(m_base.Path() / "build");
    }

    fs::path App() const { return m_base.Path() / "app"; }
    fs::path VendorFile(const std::string& name) const { return m_vendor.Path() / "quillornacc/components" / name; }
    std::string VendorUrl(const std::string& name) const { return m_server.Url() + "/quillornacc/components/" + name; }

    test::ProgramOutcome RunLinux(const std::string& program, const std::vector<std::string>& arguments) const {
        test::ProgramOutcome run = test::RunProgram(program, arguments, test::EnvironmentWith({}),
                                                    m_base.File("out.txt"), m_base.File("err.txt"));
        EXPECT_EQ(run.problem, "");
        return run;
    }
    // A program of the application directory under Wine, headless; Wine's own noise goes to stderr only.
    static std::vector<std::string> WineEnvironment(const std::string& crashAt = "") {
        return test::EnvironmentWith({
            {"WINEPREFIX", ZARN_WINE_PREFIX},
            {"WINEDEBUG", "-all"},
            {"WINEDLLOVERRIDES", "mscoree,mshtml="},
            {"DISPLAY", ""},
            {"WAYLAND_DISPLAY", ""},
            {"ZARN_CRASH_AT", crashAt},
        });
    }
    // `crashAt`: the launcher's step at which it kills itself, as a kill at that moment would.
    test::ProgramOutcome Wine(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string& crashAt = "") const {
        std::vector<std::string> wineArguments = {(App() / program).string()};
        wineArguments.insert(wineArguments.end(), arguments.begin(), arguments.end());
        test::ProgramOutcome run = test::RunProgram(ZARN_WINE64, wineArguments, WineEnvironment(crashAt),
                                                    m_base.File("out.txt"), m_base.File("err.txt"));
        EXPECT_EQ(run.problem, "");
        return run;
    }
    test::ProgramOutcome Launch(const std::string& mode, const std::string& crashAt = "") const {
        return Wine("QuillornaCC.exe", {mode, "--json", "--server", m_server.Url()}, crashAt);
    }
    // The default value of HKCR\CLSID\{id}\InprocServer32 (or of the same key under `root`), as zarn-reg reads it.
    std::string RegisteredServer(const std::string& classId, const std::string& root = "HKCR") const {
        const test::ProgramOutcome query =
            Wine("zarn-reg.exe", {"query", root + "\\CLSID\\{" + classId + "}\\InprocServer32", "/ve"});
        const std::string marker = "REG_SZ    ";
        const size_t at = query.out.find(marker);
        if (query.exitCode != 0 || at == std::string::npos) {
            return "not registered: " + query.out;
        }
        return query.out.substr(at + marker.size(), query.out.find_first_of("\r\n", at) - at - marker.size());
    }
    // The launcher's lines in the prefix's shared log (in the user's LOCALAPPDATA, which Wine sets to its own
    // profile whatever the Unix environment says) that name this test's application directory or server.
    std::string Log() const {
        std::string lines;
        const fs::path users = fs::path(ZARN_WINE_PREFIX) / "drive_c/users";
        for (const auto& user : fs::directory_iterator(users)) {
            const std::string log = ReadFile((user.path() / "AppData/Local/Ostrevant/zarn/zarn.log").string());
            for (size_t start = 0, end; start < log.size(); start = end + 1) {
                end = std::min(log.find('\n', start), log.size());
                const std::string line = log.substr(start, end - start);
                if (line.find(WinPath(App())) != std::string::npos || line.find(m_server.Url()) != std::string::npos) {
                    lines += line + "\n";
                }
            }
        }
        return lines;
    }

    // Builds a component for Windows at `out` with the FileVersion `version`: a program when its name ends in
    // ".exe", else a library; `defines` say what its registration does (see WineComponent.c).
    void BuildComponent(const fs::path& out, const std::string& version, const std::vector<std::string>& defines) {
        std::string numbers = version;
        std::replace(numbers.begin(), numbers.end(), '.', ',');
        const std::string stem = (m_base.Path() / "build" / out.filename()).string();
        WriteFile(stem + ".rc", "1 VERSIONINFO\nFILEVERSION " + numbers + "\nPRODUCTVERSION " + numbers +
                                    "\nBEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\n  BLOCK \"040904B0\"\n  BEGIN\n"
                                    "   VALUE \"FileVersion\", \"" +
                                    version +
                                    "\"\n  END\n END\n BLOCK \"VarFileInfo\"\n BEGIN\n"
                                    "  VALUE \"Translation\", 0x409, 1200\n END\nEND\n");
        const test::ProgramOutcome resource =
            RunLinux(ZARN_MINGW_WINDRES, {stem + ".rc", "-O", "coff", "-o", stem + ".res.o"});
        ASSERT_EQ(resource.exitCode, 0) << resource.err;
        std::vector<std::string> arguments = {"-O1",        "-static-libgcc",           "-o",
                                              out.string(), ZARN_WINE_COMPONENT_SOURCE, stem + ".res.o"};
        if (out.extension() != ".exe") {
            arguments.insert(arguments.begin(), {"-shared", "-DZC_LIBRARY"});
        }
        for (const std::string& define : defines) {
            arguments.push_back("-D" + define);
        }
        const test::ProgramOutcome compile = RunLinux(ZARN_MINGW_GCC, arguments);
        ASSERT_EQ(compile.exitCode, 0) << compile.err;
    }
    // A cabinet of the vendor's made by gcab from `files`, stored under their own names, compressed or not.
    void MakeCabinet(const std::string& name, const std::vector<fs::path>& files, bool compress) {
        std::vector<std::string> arguments = {compress ? "-cnz" : "-cn", VendorFile(name).string()};
        for (const fs::path& file : files) {
            arguments.push_back(file.string());
        }
        const test::ProgramOutcome made = RunLinux(ZARN_GCAB, arguments);
        ASSERT_EQ(made.exitCode, 0) << made.err;
    }
    // One block of the list; the vendor's file is hashed and sized when it exists, as zarn-publish does.
    std::string Record(const std::string& desc, const std::string& classId, int major, int minor,
                       const std::string& file, const std::string& dir, const std::string& regFile) const {
        std::string block = "[STARTCOMP]\ndesc=" + desc + "\nname=" + desc + "\nmajor_ver=" + std::to_string(major) +
                            "\nminor_ver=" + std::to_string(minor) + "\ncodebase=" + VendorUrl(file) + "\ndir=" + dir +
                            "\n";
        if (!classId.empty()) {
            block += "classid={" + classId + "}\n";
        }
        if (!regFile.empty()) {
            block += "regfile=" + regFile + "\n";
        }
        if (fs::exists(VendorFile(file))) {
            const std::string bytes = ReadFile(VendorFile(file).string());
            block += "sha256=" + test::Sha256Hex(bytes) + "\nsize=" + std::to_string(bytes.size()) + "\n";
        }
        return block + "[ENDCOMP]\n";
    }
    // Class identifiers of this test's own in the shared prefix: a registration left by an earlier run, whose
    // folder is gone, is never one of them.
    std::string ClassId(int n) const {
        char text[40];
        std::snprintf(
            text, sizeof text, "0E2E%04X-57A1-4B2C-9D3E-%012llX", n,
            static_cast<unsigned long long>(std::hash<std::string>{}(m_base.Path().string()) & 0xFFFFFFFFFFFFull));
        return text;
    }
    void ServeList(const std::string& list) const {
        WriteFile((m_vendor.Path() / "quillornacc/complist/complist.txt").string(), list);
    }

    // The Windows build's demo vendor repository, published by the Linux zarn-publish as scripts/wine-demo does.
    void PublishDemo() const {
        const test::ProgramOutcome published =
            RunLinux(ZARN_PUBLISH_PATH,
                     {"build", std::string(ZARN_WINDOWS_BUILD_DIR) + "/samples/repository.manifest",
                      m_vendor.Path().string(), "--key", ZARN_SAMPLES_PRIVATE_KEY, "--server", m_server.Url()});
        ASSERT_EQ(published.exitCode, 0) << published.err;
    }
    static std::string DesignClass() {
        const std::string braced = ZARN_DESIGN_CONTROL_CLSID;
        return braced.substr(1, braced.size() - 2);
    }
    // What a component "Wine Kill" in the folder "kill" is, as a whole: its folder's files (not its downloaded
    // cabinet) by their hashes, the server registered for each of its two classes, the registration capture's markers,
    // undo records and scratch keys, the install journals, and what the last --check said of it.
    struct Installed {
        std::map<std::string, std::string> files;
        std::vector<std::string> servers;
        std::string capture;
        std::vector<std::string> journals;
        std::string status;
        bool operator==(const Installed&) const = default;
        friend std::ostream& operator<<(std::ostream& out, const Installed& installed) {
            for (const auto& [name, hash] : installed.files) {
                out << "\n  file " << name << " " << hash;
            }
            for (const std::string& server : installed.servers) {
                out << "\n  server " << server;
            }
            for (const std::string& journal : installed.journals) {
                out << "\n  journal " << journal;
            }
            return out << "\n  capture " << installed.capture << "\n  status " << installed.status;
        }
    };
    static std::map<std::string, std::string> FolderFiles(const fs::path& folder) {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            const std::string name = fs::relative(entry.path(), folder).string();
            if (entry.is_regular_file() && !name.ends_with(".cab") && name.find(".cab.") == std::string::npos) {
                files[name] = test::Sha256Hex(ReadFile(entry.path().string()));
            }
        }
        return files;
    }
    Installed Measure(const std::string& checkOutput) const {
        Installed installed{FolderFiles(App() / "kill"), {}, "", {}, Statuses(checkOutput).front()};
        for (const std::string& classId : {ClassId(1), ClassId(2)}) {
            installed.servers.push_back(RegisteredServer(classId));
        }
        for (const char* key : {"Installs", "Capture"}) {
            installed.capture +=
                Wine("zarn-reg.exe", {"query", std::string("HKCU\\Software\\Ostrevant\\zarn\\") + key, "/s"}).out;
        }
        for (const auto& entry : fs::directory_iterator(App() / "complist")) {
            if (entry.path().filename().string().starts_with("zarn-install-")) {
                installed.journals.push_back(entry.path().filename().string());
            }
        }
        return installed;
    }
    // Version 1 of "Wine Kill": a control registering its class and a data file. Version 2 replaces both, adds a
    // file, and its control also registers a second class, so that each version's registration is its own.
    void BuildKillVersions() {
        const fs::path build = m_base.Path() / "build";
        for (const int v : {1, 2}) {
            const fs::path folder = build / ("v" + std::to_string(v));
            fs::create_directories(folder);
            std::vector<std::string> defines = {"ZC_CLSID=\"" + ClassId(1) + "\"", "ZC_RESULT=0"};
            if (v == 2) {
                defines.insert(defines.end(),
                               {"ZC_ALSO_CLSID=\"" + ClassId(2) + "\"", "ZC_ALSO_FILE=\"kill\\\\data.txt\""});
                WriteFile((folder / "added.txt").string(), "added in version 2\n");
            }
            ASSERT_NO_FATAL_FAILURE(BuildComponent(folder / "ctl.ocx", std::to_string(v) + ".0.0.0", defines));
            WriteFile((folder / "data.txt").string(), "data of version " + std::to_string(v) + "\n");
            std::vector<fs::path> files = {folder / "ctl.ocx", folder / "data.txt"};
            if (v == 2) {
                files.push_back(folder / "added.txt");
            }
            ASSERT_NO_FATAL_FAILURE(MakeCabinet("kill" + std::to_string(v) + ".cab", files, true));
        }
    }
    void ServeKillVersion(int v) const {
        ServeList(Record("Wine Kill", ClassId(1), v, 0, "kill" + std::to_string(v) + ".cab", "kill", "ctl.ocx"));
    }
    // Installs version 1 and serves version 2; returns version 1 as installed, which the check finds out of date.
    Installed InstallKillVersion1() {
        ServeKillVersion(1);
        const test::ProgramOutcome update = Launch("--update");
        EXPECT_EQ(update.exitCode, 0) << update.err << Log();
        ServeKillVersion(2);
        Installed old = Measure(Launch("--check").out);
        EXPECT_EQ(old.status, "Wine Kill:OUT_OF_DATE");
        EXPECT_EQ(old.servers[0], WinPath(App() / "kill/ctl.ocx"));
        return old;
    }
    // Version 2 as its update leaves it: the markers and records as version 1's install left them.
    Installed KillVersion2(const Installed& old) const {
        return Installed{FolderFiles(m_base.Path() / "build/v2"),
                         {WinPath(App() / "kill/ctl.ocx"), WinPath(App() / "kill/data.txt")},
                         old.capture,
                         {},
                         "Wine Kill:CURRENT"};
    }

    // The test's key-lock program (e2e/WineKeyLock.c), built at its first use, run with `arguments` under Wine.
    test::ProgramOutcome RunKeyLock(const std::vector<std::string>& arguments) {
        const fs::path keyLock = m_base.Path() / "build/key-lock.exe";
        if (!fs::exists(keyLock)) {
            const test::ProgramOutcome built =
                RunLinux(ZARN_MINGW_GCC, {"-O1", "-Wall", "-Wextra", "-Werror", "-municode", "-static-libgcc", "-o",
                                          keyLock.string(), ZARN_WINE_KEY_LOCK_SOURCE});
            EXPECT_EQ(built.exitCode, 0) << built.err;
        }
        std::vector<std::string> withProgram = {keyLock.string()};
        withProgram.insert(withProgram.end(), arguments.begin(), arguments.end());
        return test::RunProgram(ZARN_WINE64, withProgram, WineEnvironment(), m_base.File("lock-out.txt"),
                                m_base.File("lock-err.txt"));
    }
    std::function<test::ProgramOutcome(const std::vector<std::string>&)> KeyLocker() {
        return [this](const std::vector<std::string>& arguments) { return RunKeyLock(arguments); };
    }
    // Drops the classes registered for this prefix's user: only a standard user's cases write there, and one left
    // would hide the machine's registration of the same class from every later case.
    void ForgetUserClasses() const { Wine("zarn-reg.exe", {"delete", "HKCU\\Software\\Classes", "/f"}); }

    const std::vector<std::string> m_demoCurrent = {
        "Quillorna Design Control:CURRENT", "Quillorna Geometry Library:CURRENT", "Quillorna Unit Converter:CURRENT",
        "Quillorna Drawing Templates:CURRENT"};

    test::TempDir m_base;
    test::TempDir m_vendor;
    test::ServeProcess m_server{ZARN_SERVE_PATH, m_vendor.Path().string()};
};

// A key of HKEY_LOCAL_MACHINE that a standard user may read but not change, for as long as this lives: the test's
// key-lock program sets its access list so, and puts the one it had back at the end.
class LockedMachineKey {
public:
    LockedMachineKey(std::function<test::ProgramOutcome(const std::vector<std::string>&)> run, const std::string& key)
        : m_run(std::move(run)), m_key(key) {
        const test::ProgramOutcome locked = m_run({m_key, "D:(A;;KR;;;WD)"});
        EXPECT_EQ(locked.exitCode, 0) << locked.out << locked.err;
        m_previous = locked.out.substr(0, locked.out.find_first_of("\r\n"));
    }
    ~LockedMachineKey() {
        const test::ProgramOutcome restored = m_run({m_key, m_previous});
        EXPECT_EQ(restored.exitCode, 0) << restored.out << restored.err;
    }
    LockedMachineKey(const LockedMachineKey&) = delete;
    LockedMachineKey& operator=(const LockedMachineKey&) = delete;

private:
    std::function<test::ProgramOutcome(const std::vector<std::string>&)> m_run;
    std::string m_key;
    std::string m_previous;
};

TEST_F(WineUpdate, EveryKindInstallsAndARaisedVersionReplacesTheControl) {
    ASSERT_GT(m_server.Port(), 0);
    const fs::path build = m_base.Path() / "build";
    const std::string controlId = ClassId(1), libraryId = ClassId(2), setupId = ClassId(3);
    // The control also registers the library's class, whose cabinet nobody registers.
    const std::vector<std::string> control = {"ZC_CLSID=\"" + controlId + "\"", "ZC_RESULT=0",
                                              "ZC_ALSO_CLSID=\"" + libraryId + "\"",
                                              "ZC_ALSO_FILE=\"library\\\\geom.dll\""};
    BuildComponent(build / "ctl.ocx", "2.1.0.0", control);
    MakeCabinet("ctl.cab", {build / "ctl.ocx"}, true);
    BuildComponent(build / "geom.dll", "1.4.0.0", {});
    MakeCabinet("lib.cab", {build / "geom.dll"}, false);
    BuildComponent(VendorFile("tool.dll"), "3.2.0.7", {});
    // 3010: installed, a restart is needed, which counts as success.
    BuildComponent(VendorFile("setup.exe"), "5.0.0.0", {"ZC_CLSID=\"" + setupId + "\"", "ZC_RESULT=3010"});
    // Folders with blanks: the expander's arguments and the installer's quoted path must reach them whole.
    const std::string others = Record("Wine Library", libraryId, 1, 4, "lib.cab", "library", "lib") +
                               Record("Wine Tool", "", 3, 2, "tool.dll", "tools", "app") +
                               Record("Wine Setup", setupId, 5, 0, "setup.exe", "set up", "");
    ServeList(Record("Wine Control", controlId, 2, 1, "ctl.cab", "the control", "ctl.ocx") + others);

    const std::vector<std::string> current = {"Wine Control:CURRENT", "Wine Library:CURRENT", "Wine Tool:CURRENT",
                                              "Wine Setup:CURRENT"};
    const test::ProgramOutcome update = Launch("--update");
    EXPECT_EQ(update.exitCode, 0) << update.err;
    EXPECT_EQ(Statuses(update.out), current);
    const std::string log = Log();
    EXPECT_NE(log.find("DllRegisterServer of " + WinPath(App() / "the control/ctl.ocx") + ", result 1"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(WinPath(App() / "set up/setup.exe") + " exited with status 3010, result 1"), std::string::npos)
        << log;
    EXPECT_EQ(ReadFile((App() / "library/geom.dll").string()), ReadFile((build / "geom.dll").string()));
    // Each class's server as the components' own code registered it, with the path Wine gave the loaded file.
    EXPECT_EQ(RegisteredServer(controlId), WinPath(App() / "the control/ctl.ocx"));
    EXPECT_EQ(RegisteredServer(libraryId), WinPath(App() / "library/geom.dll"));
    EXPECT_EQ(RegisteredServer(setupId), WinPath(App() / "set up/setup.exe"));
    // Wine runs every program elevated; Windows, too, puts an elevated process's HKCR writes in HKLM\Software\Classes.
    EXPECT_EQ(RegisteredServer(controlId, "HKLM\\Software\\Classes"), WinPath(App() / "the control/ctl.ocx"));

    // Found again through the registry and the version resources: everything current, every kind as listed.
    const test::ProgramOutcome check = Launch("--check");
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(Statuses(check.out), current);
    for (const char* kind :
         {"\"installType\":\"REG\"", "\"installType\":\"LIB\"", "\"installType\":\"APP\"", "\"installType\":\"EXE\""}) {
        EXPECT_NE(check.out.find(kind), std::string::npos) << kind << check.out;
    }

    // The vendor ships the control at 2.2: the new cabinet replaces the loaded-and-freed 2.1 file in place.
    BuildComponent(build / "ctl.ocx", "2.2.0.0", control);
    MakeCabinet("ctl.cab", {build / "ctl.ocx"}, true);
    ServeList(Record("Wine Control", controlId, 2, 2, "ctl.cab", "the control", "ctl.ocx") + others);
    const test::ProgramOutcome raised = Launch("--check");
    EXPECT_EQ(raised.exitCode, 3) << raised.err;
    std::vector<std::string> outOfDate = current;
    outOfDate[0] = "Wine Control:OUT_OF_DATE";
    EXPECT_EQ(Statuses(raised.out), outOfDate);
    EXPECT_EQ(Launch("--update").exitCode, 0);
    const test::ProgramOutcome after = Launch("--check");
    EXPECT_EQ(after.exitCode, 0) << after.err;
    EXPECT_EQ(Statuses(after.out), current);
    EXPECT_EQ(ReadFile((App() / "the control/ctl.ocx").string()), ReadFile((build / "ctl.ocx").string()));
}

// Failing components beside each other in one update: each keeps its status and its failed step is in the log. A
// failing installer and a failing DllRegisterServer both wrote their registration first, so only the exit code
// and the entry point's result can have told the launcher; the next check then finds them.
TEST_F(WineUpdate, FailingComponentsKeepTheirStatus) {
    ASSERT_GT(m_server.Port(), 0);
    const fs::path build = m_base.Path() / "build";
    const std::string setupId = ClassId(1), failingId = ClassId(2);
    BuildComponent(VendorFile("failing-setup.exe"), "1.0.0.0", {"ZC_CLSID=\"" + setupId + "\"", "ZC_RESULT=1"});
    BuildComponent(build / "fail.ocx", "1.0.0.0", {"ZC_CLSID=\"" + failingId + "\"", "ZC_RESULT=0x80004005"});
    MakeCabinet("fail.cab", {build / "fail.ocx"}, true);
    BuildComponent(build / "none.ocx", "1.0.0.0", {});
    MakeCabinet("none.cab", {build / "none.ocx"}, true);
    WriteFile(VendorFile("climbs.cab").string(), test::StoredCabinet({{"..\\x", "climbed"}}));
    const std::string missing = "not downloaded: Failed to receive a valid HTTP response from the server, Response "
                                "Code:404";
    const std::string refusal = "zarn-expand: " + WinPath(App() / "climbs/climbs.cab") +
                                ": refused entry \"..\\x\": it has a \".\" or \"..\" path segment; nothing was written";
    const struct {
        std::string desc;
        std::string classId;
        std::string file;
        std::string dir;
        std::string regFile;
        std::string logged;  // the log's line for the failed step
        std::string reason;  // why the update's table says it did not become current
        std::string checked; // the status the next check finds
    } cases[] = {
        {"Failing Setup", setupId, "failing-setup.exe", "setup", "",
         WinPath(App() / "setup/failing-setup.exe") + " exited with status 1, result 0",
         WinPath(App() / "setup/failing-setup.exe") + " exited with status 1", "CURRENT"},
        {"Failing Entry", failingId, "fail.cab", "fail", "fail.ocx",
         "DllRegisterServer of " + WinPath(App() / "fail/fail.ocx") + ", result 0",
         "DllRegisterServer of " + WinPath(App() / "fail/fail.ocx") + " failed", "NOT_INSTALLED"},
        {"No Entry", ClassId(3), "none.cab", "none", "none.ocx",
         "DllRegisterServer of " + WinPath(App() / "none/none.ocx") + ", result -1",
         WinPath(App() / "none/none.ocx") + " has no DllRegisterServer", "NOT_INSTALLED"},
        {"Missing", ClassId(4), "missing.cab", "missing", "lib", missing, missing, "NOT_INSTALLED"},
        // The expander's refusal, which it writes to its standard error, reaches the log.
        {"Hostile Cabinet", ClassId(5), "climbs.cab", "climbs", "lib", "install \"Hostile Cabinet\": " + refusal,
         refusal, "NOT_INSTALLED"},
    };
    std::string list;
    std::vector<std::string> notInstalled;
    std::vector<std::string> reasons;
    std::vector<std::string> checked;
    for (const auto& c : cases) {
        list += Record(c.desc, c.classId, 1, 0, c.file, c.dir, c.regFile);
        notInstalled.push_back(c.desc + ":NOT_INSTALLED");
        reasons.push_back(c.reason);
        checked.push_back(c.desc + ":" + c.checked);
    }
    ServeList(list);

    const test::ProgramOutcome update = Launch("--update");
    EXPECT_EQ(update.exitCode, 3) << update.err;
    EXPECT_EQ(Statuses(update.out), notInstalled);
    EXPECT_EQ(Reasons(update.out), reasons);
    const std::string log = Log();
    for (const auto& c : cases) {
        EXPECT_NE(log.find(c.logged), std::string::npos) << c.logged << "\n" << log;
    }
    EXPECT_FALSE(fs::exists(App() / "missing/missing.cab"));
    EXPECT_FALSE(fs::exists(App() / "x"));
    const test::ProgramOutcome check = Launch("--check");
    EXPECT_EQ(check.exitCode, 3) << check.err;
    EXPECT_EQ(Statuses(check.out), checked);
}

// A link planted in a component's folder, to a folder outside: the Windows expander sees it as a reparse point and
// refuses the cabinet, so nothing is written outside, the component stays NOT_INSTALLED and its cabinet does not
// stay behind.
TEST_F(WineUpdate, APlantedLinkRefusesTheCabinet) {
    ASSERT_GT(m_server.Port(), 0);
    const fs::path outside = m_base.Path() / "outside";
    fs::create_directories(outside);
    fs::create_directories(App() / "design");
    fs::create_directory_symlink(outside, App() / "design/sub");
    WriteFile(VendorFile("planted.cab").string(), test::StoredCabinet({{"sub\\planted.txt", "planted\n"}}));
    ServeList(Record("Planted", ClassId(1), 1, 0, "planted.cab", "design", "lib"));

    const test::ProgramOutcome update = Launch("--update");
    EXPECT_EQ(update.exitCode, 3) << update.err;
    EXPECT_EQ(Statuses(update.out), std::vector<std::string>{"Planted:NOT_INSTALLED"});
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_FALSE(fs::exists(App() / "design/planted.cab"));
}

// The demo repository: every sample installs, and the design control, an ActiveX control, registers itself where it
// was unpacked with the class the launcher's view creates.
// The demo repository installed by a user who may add classes to the machine's, and by a standard user (the
// machine's classes key made unwritable), whose launcher registers the design control for that user alone, where
// detection finds it once the key is writable again too.
class WineDemo : public WineUpdate, public testing::WithParamInterface<bool> {};

TEST_P(WineDemo, InstallsAndRegistersTheDesignControl) {
    ASSERT_GT(m_server.Port(), 0);
    ASSERT_NO_FATAL_FAILURE(PublishDemo());
    const bool standardUser = GetParam();
    const std::vector<std::string>& current = m_demoCurrent;
    test::ProgramOutcome update;
    {
        std::optional<LockedMachineKey> classes;
        if (standardUser) {
            classes.emplace(KeyLocker(), "Software\\Classes");
        }
        update = Launch("--update");
    }
    EXPECT_EQ(update.exitCode, 0) << update.err << Log();
    EXPECT_EQ(Statuses(update.out), current);
    const std::string designClass = DesignClass();
    const std::string root = standardUser ? "HKCU\\Software\\Classes" : "HKCR";
    EXPECT_EQ(RegisteredServer(designClass, root), WinPath(App() / "design/qdesign.ocx"));
    const test::ProgramOutcome threading = Wine(
        "zarn-reg.exe", {"query", root + "\\CLSID\\{" + designClass + "}\\InprocServer32", "/v", "ThreadingModel"});
    EXPECT_NE(threading.out.find("Apartment"), std::string::npos) << threading.out;

    const test::ProgramOutcome check = Launch("--check");
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(Statuses(check.out), current);
    if (standardUser) {
        ForgetUserClasses();
    }
}

INSTANTIATE_TEST_SUITE_P(, WineDemo, testing::Values(false, true), [](const testing::TestParamInfo<bool>& user) {
    return user.param ? "StandardUser" : "MachineClasses";
});

// The window, started without switches in an application directory with no list, driven from another Windows
// process as its user would: the missing list's box, the update check through the download dialog, "Start
// Designing", and the design control the check installed, shown in the view.
TEST_F(WineUpdate, TheWindowInstallsTheDemoRepositoryAndShowsTheDesignControl) {
    ASSERT_GT(m_server.Port(), 0);
    ASSERT_NO_FATAL_FAILURE(PublishDemo());
    const fs::path driver = m_base.Path() / "build/window-driver.exe";
    const test::ProgramOutcome built =
        RunLinux(ZARN_MINGW_GCC, {"-O1", "-Wall", "-Wextra", "-Werror", "-static-libgcc", "-o", driver.string(),
                                  ZARN_WINE_WINDOW_DRIVER_SOURCE});
    ASSERT_EQ(built.exitCode, 0) << built.err;

    const test::ProgramOutcome driven = Wine(driver.string(), {WinPath(App() / "QuillornaCC.exe"), m_server.Url()});
    EXPECT_EQ(driven.exitCode, 0) << driven.out << driven.err;
    EXPECT_EQ(driven.out,
              "message box: Online System Update Required | Please ensure a connection to the internet is present\n"
              "download dialogs seen: yes\n"
              "start dialog, button: Start Designing\n"
              "design host: \"cad design\", sized, control window QuillornaDesignControl\n"
              "start dialog, button: Start Designing\n"
              "design control still shown\n"
              "exit code: 0\n")
        << Log();
    EXPECT_EQ(RegisteredServer(DesignClass()), WinPath(App() / "design/qdesign.ocx"));
    const test::ProgramOutcome check = Launch("--check");
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(Statuses(check.out), m_demoCurrent);
}

// A component folder so deep that its files' paths pass MAX_PATH (260 characters): a cabinet's files are put in
// place there as anywhere, while a program or a control there, which Windows starts and loads only from shorter
// paths, is refused for that reason and no other.
TEST_F(WineUpdate, AFolderBeyondMaxPathHoldsFilesButNoProgramOrControl) {
    ASSERT_GT(m_server.Port(), 0);
    const fs::path build = m_base.Path() / "build";
    const std::string deep(230, 'd');
    ASSERT_GT(WinPath(App() / deep / "geom.dll").size(), 260u);
    BuildComponent(build / "geom.dll", "1.4.0.0", {});
    MakeCabinet("lib.cab", {build / "geom.dll"}, false);
    BuildComponent(VendorFile("setup.exe"), "5.0.0.0", {"ZC_CLSID=\"" + ClassId(2) + "\"", "ZC_RESULT=0"});
    BuildComponent(build / "ctl.ocx", "2.1.0.0", {"ZC_CLSID=\"" + ClassId(1) + "\"", "ZC_RESULT=0"});
    MakeCabinet("ctl.cab", {build / "ctl.ocx"}, true);
    BuildComponent(VendorFile("tool.dll"), "3.2.0.7", {});
    ServeList(Record("Deep Library", "", 1, 4, "lib.cab", deep, "lib") +
              Record("Deep Tool", "", 3, 2, "tool.dll", deep, "app") +
              Record("Deep Setup", ClassId(2), 5, 0, "setup.exe", deep, "") +
              Record("Deep Control", ClassId(1), 2, 1, "ctl.cab", deep, "ctl.ocx"));

    const test::ProgramOutcome update = Launch("--update");
    EXPECT_EQ(update.exitCode, 3) << update.err;
    // A library that nothing registers is never found, as the check's closing detection says.
    const std::vector<std::string> statuses = {"Deep Library:NOT_INSTALLED", "Deep Tool:CURRENT",
                                               "Deep Setup:NOT_INSTALLED", "Deep Control:NOT_INSTALLED"};
    EXPECT_EQ(Statuses(update.out), statuses);
    const std::string tooLong = ": its path is too long for this system";
    EXPECT_EQ(Reasons(update.out), (std::vector<std::string>{
                                       "installed, but no version of it can be found",
                                       "",
                                       "cannot start " + WinPath(App() / deep / "setup.exe") + tooLong,
                                       WinPath(App() / deep / "ctl.ocx") + " cannot be loaded" + tooLong,
                                   }));
    // The plain file's version is read where it lies: the next check finds it current too.
    EXPECT_EQ(Statuses(Launch("--check").out), statuses);
    EXPECT_EQ(ReadFile((App() / deep / "geom.dll").string()), ReadFile((build / "geom.dll").string()));
    EXPECT_FALSE(fs::exists(App() / deep / "ctl.ocx"));
    const std::string log = Log();
    EXPECT_NE(log.find(" -> " + WinPath(App() / deep / "lib.cab") + ": downloaded"), std::string::npos) << log;
}

// A file of an installed control held open with no sharing by another program while --update installs the newer
// version: Wine, as Windows, refuses to rename the held file aside, so the install fails naming it and puts back the
// control it had already swapped; once the holder ends, the next --update installs the new version.
TEST_F(WineUpdate, AFileHeldOpenKeepsThePreviousVersionWhole) {
    ASSERT_GT(m_server.Port(), 0);
    ASSERT_NO_FATAL_FAILURE(BuildKillVersions());
    const Installed old = InstallKillVersion1();
    const fs::path holder = m_base.Path() / "build/file-holder.exe";
    const test::ProgramOutcome built =
        RunLinux(ZARN_MINGW_GCC, {"-O1", "-Wall", "-Wextra", "-Werror", "-municode", "-static-libgcc", "-o",
                                  holder.string(), ZARN_WINE_FILE_HOLDER_SOURCE});
    ASSERT_EQ(built.exitCode, 0) << built.err;

    const fs::path data = App() / "kill/data.txt";
    const fs::path ready = m_base.Path() / "held", stop = m_base.Path() / "stop";
    test::ProgramOutcome update;
    const test::ProgramOutcome held =
        test::RunProgram(ZARN_WINE64, {holder.string(), WinPath(data), WinPath(ready), WinPath(stop)},
                         WineEnvironment(), m_base.File("holder-out.txt"), m_base.File("holder-err.txt"), nullptr, [&] {
                             for (int i = 0; i < 600 && !fs::exists(ready); ++i) {
                                 std::this_thread::sleep_for(std::chrono::milliseconds(50));
                             }
                             update = Launch("--update");
                             WriteFile(stop.string(), "");
                         });
    EXPECT_EQ(held.exitCode, 0) << held.out << held.err;
    // Its C runtime writes text with Windows line ends.
    EXPECT_EQ(held.out, "read: data of version 1\r\n");

    const std::string reason = WinPath(data) + " cannot be replaced, error 32";
    EXPECT_EQ(update.exitCode, 3) << update.err;
    EXPECT_EQ(Reasons(update.out), std::vector<std::string>{reason});
    EXPECT_NE(update.err.find("The component \"Wine Kill\" was not installed: " + WinPath(data) +
                              " could not be replaced (error 32); the previous version is kept"),
              std::string::npos)
        << update.err;
    EXPECT_NE(Log().find(reason), std::string::npos) << Log();
    EXPECT_EQ(Measure(Launch("--check").out), old);

    EXPECT_EQ(Launch("--update").exitCode, 0);
    EXPECT_EQ(Measure(Launch("--check").out), KillVersion2(old));
}

// A standard user's update: the machine's classes key may not be changed, so the control "Wine Own" is registered
// for this user alone and detection finds it there; "Wine Machine" must also write a key of the machine the user
// may not change, so its install is undone and one message says which key, and the update does not end as done.
TEST_F(WineUpdate, AStandardUserRegistersForHimselfAndIsToldOnceOfAMachineKey) {
    ASSERT_GT(m_server.Port(), 0);
    const fs::path build = m_base.Path() / "build";
    const std::string machineKey = "Software\\ZarnTest-" + ClassId(3);
    for (const char* name : {"own", "machine"}) {
        fs::create_directories(build / name);
        std::vector<std::string> defines = {"ZC_CLSID=\"" + ClassId(name[0] == 'o' ? 1 : 2) + "\"", "ZC_RESULT=0"};
        if (name[0] == 'm') {
            std::string escaped = machineKey;
            escaped.insert(escaped.find('\\'), "\\");
            defines.push_back("ZC_MACHINE_KEY=\"" + escaped + "\"");
        }
        ASSERT_NO_FATAL_FAILURE(BuildComponent(build / name / "ctl.ocx", "1.0.0.0", defines));
        ASSERT_NO_FATAL_FAILURE(MakeCabinet(std::string(name) + ".cab", {build / name / "ctl.ocx"}, true));
    }
    ServeList(Record("Wine Own", ClassId(1), 1, 0, "own.cab", "own", "ctl.ocx") +
              Record("Wine Machine", ClassId(2), 1, 0, "machine.cab", "machine", "ctl.ocx"));
    test::ProgramOutcome update;
    {
        const LockedMachineKey classes(KeyLocker(), "Software\\Classes");
        const LockedMachineKey other(KeyLocker(), machineKey);
        update = Launch("--update");
    }
    const std::string refused = "needs the right to change the registry key HKEY_LOCAL_MACHINE\\" + machineKey;
    EXPECT_EQ(update.exitCode, 5) << update.err << Log();
    EXPECT_EQ(Statuses(update.out), (std::vector<std::string>{"Wine Own:CURRENT", "Wine Machine:NOT_INSTALLED"}));
    EXPECT_EQ(Reasons(update.out), (std::vector<std::string>{"", refused}));
    const std::string told = "You do not have the rights these updates need, so they were not installed:\n\"Wine "
                             "Machine\": " +
                             refused + "\nAsk your administrator to install them, or to give you those rights.\n";
    // Its C runtime writes text with Windows line ends.
    std::string err = update.err;
    err.erase(std::remove(err.begin(), err.end(), '\r'), err.end());
    const size_t at = err.find(told);
    EXPECT_NE(at, std::string::npos) << err;
    EXPECT_EQ(err.rfind("You do not have"), at) << err;
    EXPECT_NE(Log().find(WinPath(App() / "own/ctl.ocx") + " registered for this user only"), std::string::npos)
        << Log();

    EXPECT_EQ(RegisteredServer(ClassId(1), "HKCU\\Software\\Classes"), WinPath(App() / "own/ctl.ocx"));
    EXPECT_EQ(RegisteredServer(ClassId(1), "HKLM\\Software\\Classes").substr(0, 14), "not registered");
    EXPECT_EQ(RegisteredServer(ClassId(2), "HKCU\\Software\\Classes").substr(0, 14), "not registered");
    EXPECT_FALSE(fs::exists(App() / "machine/ctl.ocx"));
    const test::ProgramOutcome check = Launch("--check");
    EXPECT_EQ(Statuses(check.out), (std::vector<std::string>{"Wine Own:CURRENT", "Wine Machine:NOT_INSTALLED"}));
    Wine("zarn-reg.exe", {"delete", "HKLM\\" + machineKey, "/f"});
    ForgetUserClasses();
}

// The launcher killed at one step of installing version 2 over version 1 of a control (its own steps, the swap's,
// and the registration capture's): the next start's check finds the control exactly old or exactly new, and the
// next --update makes it new.
struct KillPoint {
    std::string step;
    bool isNew; // what the check after the kill finds
};
void PrintTo(const KillPoint& point, std::ostream* out) {
    *out << point.step;
}

class WineUpdateKill : public WineUpdate, public testing::WithParamInterface<KillPoint> {};

TEST_P(WineUpdateKill, LeavesTheControlOldOrNew) {
    ASSERT_GT(m_server.Port(), 0);
    ASSERT_NO_FATAL_FAILURE(BuildKillVersions());
    const Installed old = InstallKillVersion1();
    const Installed updated = KillVersion2(old);

    const test::ProgramOutcome killed = Launch("--update", GetParam().step);
    EXPECT_EQ(killed.exitCode, 137) << killed.err;
    EXPECT_EQ(Measure(Launch("--check").out), GetParam().isNew ? updated : old) << Log();

    EXPECT_EQ(Launch("--update").exitCode, 0);
    EXPECT_EQ(Measure(Launch("--check").out), updated) << Log();
}

INSTANTIATE_TEST_SUITE_P(
    , WineUpdateKill,
    testing::Values(KillPoint{"Wine Kill:journal", false}, KillPoint{"Wine Kill:aside-2", false},
                    KillPoint{"Wine Kill:placed-3", false}, KillPoint{"Wine Kill:swapped", false},
                    KillPoint{"Wine Kill:before-register", false}, KillPoint{"Wine Kill:after-register", false},
                    KillPoint{"registration-undo-entry", false}, KillPoint{"registration-undo-written", false},
                    KillPoint{"registration-apply-value", false}, KillPoint{"registration-applied", false},
                    KillPoint{"registration-marked", true}, KillPoint{"Wine Kill:registered", true},
                    KillPoint{"Wine Kill:committed", true}),
    [](const testing::TestParamInfo<KillPoint>& point) {
        std::string name = point.param.step.substr(point.param.step.find(':') + 1);
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

} // namespace
} // namespace zarn
