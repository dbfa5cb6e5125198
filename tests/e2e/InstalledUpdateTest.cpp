// The update road through the installed layout: `cmake --install` makes a fresh application directory for each
// test, zarn-serve serves a copy of the demo vendor repository (which a test may change), and QuillornaCC runs from
// the application directory with a registry database, a log folder and a settings folder of the test's own.
#include "tests/support/ProgramRun.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/ServeProcess.h"
#include "tests/support/StoredCabinet.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestKeys.h"
#include "tests/support/VersionedFile.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

const std::vector<std::string> kDemoCurrent = {
    "Quillorna Design Control:CURRENT",
    "Quillorna Geometry Library:CURRENT",
    "Quillorna Unit Converter:CURRENT",
    "Quillorna Drawing Templates:CURRENT",
};

// The plain table's rows as "Component:Status": its columns are apart by two blanks or more, and no text holds two.
// An empty line ends the table.
std::vector<std::string> Statuses(const std::string& table) {
    std::vector<std::string> rows;
    std::istringstream lines(table);
    std::string line;
    std::getline(lines, line); // the heading
    while (std::getline(lines, line) && !line.empty()) {
        const size_t descEnd = line.find("  ");
        const size_t statusStart = line.find_first_not_of(' ', line.rfind("  "));
        rows.push_back(descEnd == std::string::npos ? line : line.substr(0, descEnd) + ":" + line.substr(statusStart));
    }
    return rows;
}

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class InstalledUpdate : public testing::Test {
protected:
    InstalledUpdate() {
        // The application directory two levels down, so that "../../x" from it still lands inside the test's folder.
        const test::ProgramOutcome install = Run(ZARN_CMAKE, {"--install", ZARN_BUILD_DIR, "--prefix", App().string()});
        EXPECT_EQ(install.exitCode, 0) << install.out << install.err;
        fs::copy(ZARN_SAMPLES_REPOSITORY, m_vendor.Path(), fs::copy_options::recursive);
        const test::ProgramOutcome list =
            Run(ZARN_PUBLISH_PATH, {"build", ZARN_SAMPLES_MANIFEST, m_vendor.Path().string(), "--key",
                                    ZARN_SAMPLES_PRIVATE_KEY, "--server", m_server.Url()});
        EXPECT_EQ(list.exitCode, 0) << list.err;
    }

    fs::path App() const { return m_base.Path() / "home/app"; }
    std::string VendorList() const { return (m_vendor.Path() / "quillornacc/complist/complist.txt").string(); }
    fs::path VendorFile(const std::string& name) const { return m_vendor.Path() / "quillornacc/components" / name; }
    std::string VendorUrl(const std::string& name) const { return m_server.Url() + "/quillornacc/components/" + name; }
    std::string Log() const { return ReadFile((m_base.Path() / "state/Ostrevant/zarn/zarn.log").string()); }

    test::ProgramOutcome Run(const std::string& program, const std::vector<std::string>& arguments) const {
        test::ProgramOutcome run = test::RunProgram(program, arguments,
                                                    test::EnvironmentWith({
                                                        {"XDG_STATE_HOME", (m_base.Path() / "state").string()},
                                                        {"XDG_CONFIG_HOME", (m_base.Path() / "config").string()},
                                                        {"QT_QPA_PLATFORM", "no-such-platform"},
                                                    }),
                                                    m_base.File("stdout.txt"), m_base.File("stderr.txt"));
        EXPECT_EQ(run.problem, "");
        return run;
    }
    test::ProgramOutcome Launch(const std::string& mode) const {
        return Run((App() / "QuillornaCC").string(), {mode, "--quiet", "--server", m_server.Url()});
    }

    // The URLs the log says were downloaded (list and components), in order; the log starts afresh.
    std::vector<std::string> TakeDownloads() const {
        std::vector<std::string> urls;
        std::istringstream lines(Log());
        for (std::string line; std::getline(lines, line);) {
            for (const std::string what : {"Z list ", "Z download "}) {
                const size_t at = line.find(what);
                if (at != std::string::npos && line.ends_with(": downloaded")) {
                    urls.push_back(line.substr(at + what.size(), line.find(" -> ") - at - what.size()));
                }
            }
        }
        fs::remove(m_base.Path() / "state/Ostrevant/zarn/zarn.log");
        return urls;
    }

    test::ScratchRegistry m_registry;
    test::TempDir m_base;
    test::TempDir m_vendor;
    test::ServeProcess m_server{ZARN_SERVE_PATH, m_vendor.Path().string()};
};

TEST_F(InstalledUpdate, EveryKindInstallsOnceAndARaisedVersionInstallsAgain) {
    ASSERT_GT(m_server.Port(), 0);
    // The desktop entry names the launcher and the icon where they were installed.
    const std::string entry = ReadFile((App() / "com.ostrevant.Quillorna.desktop").string());
    EXPECT_NE(entry.find("\nExec=\"" + (App() / "QuillornaCC").string() + "\" %f\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=" + (App() / "icons/quillorna-256.png").string() + "\n"), std::string::npos) << entry;
    EXPECT_TRUE(fs::is_regular_file(App() / "icons/quillorna-256.png"));
    const std::string listUrl = m_server.Url() + "//quillornacc//complist//complist.txt";
    const test::ProgramOutcome first = Launch("--update");
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(Statuses(first.out), kDemoCurrent) << first.out;
    EXPECT_EQ(TakeDownloads(), (std::vector<std::string>{listUrl, VendorUrl("design.cab"), VendorUrl("geometry.cab"),
                                                         VendorUrl("qconvert"), VendorUrl("qtemplates-setup.exe")}));
    // The cabinets unpacked, the plain file in place, the installer's own file, and the control registered as the
    // installed registry tool reads it.
    EXPECT_TRUE(fs::is_regular_file(App() / "design/qdesign.ocx"));
    EXPECT_TRUE(fs::is_regular_file(App() / "geometry/libqgeometry.so"));
    EXPECT_EQ(ReadFile((App() / "converter/qconvert").string()), ReadFile(VendorFile("qconvert").string()));
    EXPECT_TRUE(fs::is_regular_file(App() / "templates/drawings/A4-landscape.qdt"));
    const test::ProgramOutcome control =
        Run((App() / "zarn-reg").string(),
            {"query", std::string("HKCR\\CLSID\\") + ZARN_DESIGN_CONTROL_CLSID + "\\InprocServer32", "/ve"});
    EXPECT_EQ(control.exitCode, 0) << control.err;
    EXPECT_NE(control.out.find("REG_SZ    " + (App() / "design/qdesign.ocx").string() + "\n"), std::string::npos)
        << control.out;

    const test::ProgramOutcome second = Launch("--update");
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(Statuses(second.out), kDemoCurrent) << second.out;
    EXPECT_EQ(TakeDownloads(), std::vector<std::string>{listUrl});

    // The vendor ships the converter at 1.1: the installed 1.0 is now out of date, and only it is fetched again.
    std::string list = ReadFile(VendorList());
    const std::string converter = "name=QuillornaConverter\nmajor_ver=1\nminor_ver=0\n";
    ASSERT_NE(list.find(converter), std::string::npos) << list;
    list.replace(list.find(converter), converter.size(), "name=QuillornaConverter\nmajor_ver=1\nminor_ver=1\n");
    ASSERT_TRUE(test::WriteVersionedPe(VendorFile("qconvert").string(), "1.1.0.0"));
    // The new file's hash and size in its block: the launcher checks them in any build.
    const std::string shipped = ReadFile(VendorFile("qconvert").string());
    const size_t integrity = list.find("sha256=", list.find("name=QuillornaConverter"));
    list.replace(integrity, list.find("[ENDCOMP]", integrity) - integrity,
                 "sha256=" + test::Sha256Hex(shipped) + "\nsize=" + std::to_string(shipped.size()) + "\n");
    WriteFile(VendorList(), list);
    const test::ProgramOutcome raised = Launch("--check");
    EXPECT_EQ(raised.exitCode, 3) << raised.err;
    std::vector<std::string> outOfDate = kDemoCurrent;
    outOfDate[2] = "Quillorna Unit Converter:OUT_OF_DATE";
    EXPECT_EQ(Statuses(raised.out), outOfDate) << raised.out;
    TakeDownloads();
    const test::ProgramOutcome again = Launch("--update");
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Statuses(again.out), kDemoCurrent) << again.out;
    EXPECT_EQ(TakeDownloads(), (std::vector<std::string>{listUrl, VendorUrl("qconvert")}));
    EXPECT_EQ(ReadFile((App() / "converter/qconvert").string()), ReadFile(VendorFile("qconvert").string()));
    const test::ProgramOutcome after = Launch("--check");
    EXPECT_EQ(after.exitCode, 0) << after.out;
}

// The demo repository as a folder, the way a site without internet gets it (its URLs still name the vendor's server):
// installed from its path, then read again through its file URL; the list and every component come from the folder.
TEST_F(InstalledUpdate, TheDemoRepositoryInstallsFromAFolder) {
    const std::string folder = m_vendor.Path().string();
    const test::ProgramOutcome first =
        Run((App() / "QuillornaCC").string(), {"--update", "--quiet", "--server", folder});
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(Statuses(first.out), kDemoCurrent) << first.out;
    const std::vector<std::string> downloads = TakeDownloads();
    EXPECT_EQ(downloads.size(), 5u);
    for (const std::string& url : downloads) {
        EXPECT_TRUE(url.starts_with("file://" + folder + "/")) << url;
    }
    EXPECT_TRUE(fs::is_regular_file(App() / "design/qdesign.ocx"));
    EXPECT_EQ(ReadFile((App() / "converter/qconvert").string()), ReadFile(VendorFile("qconvert").string()));

    const test::ProgramOutcome again =
        Run((App() / "QuillornaCC").string(), {"--check", "--quiet", "--server", "file://" + folder});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Statuses(again.out), kDemoCurrent) << again.out;
    EXPECT_EQ(TakeDownloads(), std::vector<std::string>{"file://" + folder + "//quillornacc//complist//complist.txt"});
}

// Every way a record can fail, next to the demo's good records, in one update: each failing record keeps its
// status and its step is in the log, the good ones install, and nothing lands outside the application directory.
TEST_F(InstalledUpdate, TheDesktopEntryPassesTheDesktopsValidator) {
    const std::string validator = "/usr/bin/desktop-file-validate";
    if (!fs::exists(validator))
        GTEST_SKIP() << validator << " is missing (scripts/setup installs the package desktop-file-utils)";
    // Silent and 0 when the entry is valid; every error and hint on standard output otherwise.
    const test::ProgramOutcome check = Run(validator, {(App() / "com.ostrevant.Quillorna.desktop").string()});
    EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
    EXPECT_EQ(check.out, "");
}

TEST_F(InstalledUpdate, FailingRecordsKeepTheirStatusWhileTheOthersInstall) {
    ASSERT_GT(m_server.Port(), 0);
    const auto cabinet = [&](const std::string& name, const std::string& entry, const std::string& content) {
        WriteFile(VendorFile(name).string(), test::StoredCabinet({{entry, content}}));
    };
    cabinet("noreg.cab", "other.ocx", ReadFile(ZARN_REGISTER_OK));
    cabinet("none.cab", "none.ocx", ReadFile(ZARN_REGISTER_NONE));
    cabinet("fail.cab", "fail.ocx", ReadFile(ZARN_REGISTER_FAIL));
    WriteFile(VendorFile("corrupt.cab").string(), test::StoredCabinet({{"lib.so", "bytes"}}).substr(0, 60));
    cabinet("climbs.cab", "..\\..\\x", "climbed");
    const std::string absoluteEntry = (m_base.Path() / "entry").string();
    cabinet("absolute.cab", absoluteEntry, "absolute");
    WriteFile(VendorFile("failing-setup.exe").string(), "#!/bin/sh\ntouch \"$(dirname \"$0\")/ran\"\nexit 1\n");

    const std::string outsideDir = (m_base.Path() / "abs").string();
    const std::string failedDownload = "Failed to receive a valid HTTP response from the server, Response Code:404";
    const auto refused = [&](const std::string& file, const std::string& entry, const std::string& why) {
        return "zarn-expand: " + (App() / file).string() + ": refused entry \"" + entry + "\": " + why +
               "; nothing was written";
    };
    const struct {
        std::string desc;
        std::string fields; // what follows desc= in the record
        std::string logged; // the log's line for the failed step
        std::string reason; // what the console says after the table, after "<desc>: "
    } records[] = {
        {"Missing", "dir=missing\nregfile=app\ncodebase=" + VendorUrl("missing.bin"),
         "download " + VendorUrl("missing.bin") + " -> " + (App() / "missing/missing.bin").string() +
             ": not downloaded: " + failedDownload,
         "not downloaded: " + failedDownload},
        {"NoRegFile",
         "classid={11111111-0000-0000-0000-000000000001}\ndir=noreg\nregfile=absent.ocx\ncodebase=" +
             VendorUrl("noreg.cab"),
         "DllRegisterServer of " + (App() / "noreg/absent.ocx").string() + ", result ",
         (App() / "noreg/absent.ocx").string() + " cannot be loaded, error " + std::to_string(ENOENT)},
        {"NoEntry",
         "classid={11111111-0000-0000-0000-000000000002}\ndir=none\nregfile=none.ocx\ncodebase=" +
             VendorUrl("none.cab"),
         "DllRegisterServer of " + (App() / "none/none.ocx").string() + ", result -1",
         (App() / "none/none.ocx").string() + " has no DllRegisterServer"},
        {"FailingEntry",
         "classid={11111111-0000-0000-0000-000000000003}\ndir=fail\nregfile=fail.ocx\ncodebase=" +
             VendorUrl("fail.cab"),
         "DllRegisterServer of " + (App() / "fail/fail.ocx").string() + ", result 0",
         "DllRegisterServer of " + (App() / "fail/fail.ocx").string() + " failed"},
        {"Corrupt",
         "classid={11111111-0000-0000-0000-000000000004}\ndir=corrupt\nregfile=lib\ncodebase=" +
             VendorUrl("corrupt.cab"),
         "zarn-expand exited with status 2", "zarn-expand: " + (App() / "corrupt/corrupt.cab").string() + ": "},
        {"Climbs",
         "classid={11111111-0000-0000-0000-000000000005}\ndir=climbs\nregfile=lib\ncodebase=" + VendorUrl("climbs.cab"),
         "zarn-expand exited with status 3",
         refused("climbs/climbs.cab", "..\\..\\x", "it has a \".\" or \"..\" path segment")},
        {"AbsoluteEntry",
         "classid={11111111-0000-0000-0000-000000000006}\ndir=absolute\nregfile=lib\ncodebase=" +
             VendorUrl("absolute.cab"),
         "zarn-expand exited with status 3", refused("absolute/absolute.cab", absoluteEntry, "the name is absolute")},
        {"FailingSetup",
         "classid={11111111-0000-0000-0000-000000000007}\ndir=setup\ncodebase=" + VendorUrl("failing-setup.exe"),
         (App() / "setup/failing-setup.exe").string() + " exited with status 1, result 0",
         (App() / "setup/failing-setup.exe").string() + " exited with status 1"},
        {"ClimbingDir", "dir=../../x\nregfile=app\ncodebase=" + VendorUrl("qconvert"),
         "refused, its paths would leave the application directory",
         "refused, its paths would leave the application directory"},
        {"AbsoluteDir", "dir=" + outsideDir + "\nregfile=app\ncodebase=" + VendorUrl("qconvert"),
         "refused, its paths would leave the application directory",
         "refused, its paths would leave the application directory"},
    };
    std::string list = ReadFile(VendorList());
    for (const auto& r : records) {
        list += "[STARTCOMP]\ndesc=" + r.desc + "\nname=" + r.desc + "\nmajor_ver=1\n" + r.fields + "\n[ENDCOMP]\n";
    }
    WriteFile(VendorList(), list);

    // Not quiet: the table is followed by why each record did not become current.
    const test::ProgramOutcome run = Run((App() / "QuillornaCC").string(), {"--update", "--server", m_server.Url()});
    EXPECT_EQ(run.exitCode, 3) << run.err;
    std::vector<std::string> statuses = kDemoCurrent;
    for (const auto& r : records) {
        statuses.push_back(r.desc + ":NOT_INSTALLED");
    }
    EXPECT_EQ(Statuses(run.out), statuses) << run.out;
    const std::string log = Log();
    for (const auto& r : records) {
        SCOPED_TRACE(r.desc);
        EXPECT_NE(log.find(r.logged), std::string::npos) << log;
        EXPECT_NE(run.out.find("\n" + r.desc + ": " + r.reason), std::string::npos) << run.out;
        // What the expander said is in the log, under its record's install step.
        if (r.reason.starts_with("zarn-expand: ")) {
            EXPECT_NE(log.find("install \"" + r.desc + "\": " + r.reason), std::string::npos) << log;
        }
    }
    EXPECT_EQ(log.find("DllRegisterServer of " + (App() / "noreg/absent.ocx").string() + ", result 1"),
              std::string::npos);
    // The failing installer ran; the hostile and corrupt cabinets left nothing, not even themselves.
    EXPECT_TRUE(fs::exists(App() / "setup/ran"));
    for (const char* dir : {"corrupt", "climbs", "absolute"}) {
        EXPECT_EQ(Entries(App() / dir), std::vector<std::string>{}) << dir;
    }
    EXPECT_FALSE(fs::exists(absoluteEntry));
    EXPECT_FALSE(fs::exists(outsideDir));
    EXPECT_FALSE(fs::exists(m_base.Path() / "x"));
    EXPECT_FALSE(fs::exists(m_base.Path() / "home/x"));
}

} // namespace
} // namespace zarn
