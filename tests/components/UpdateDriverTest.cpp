#include "components/CompObj.h"
#include "components/LauncherPolicy.h"
#include "components/Registry.h"
#include "components/UpdateLog.h"
#include "components/ZarnDoc.h"
#include "platform/File.h"
#include "platform/FileLock.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/SystemTraits.h"
#include "tests/support/TempAppDir.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestKeys.h"
#include "tests/support/VersionedFile.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;
using test::ReadFile;

constexpr const char* kServer = "http://127.0.0.1:9";
constexpr const char* kListUrl = "http://127.0.0.1:9//quillornacc//complist//complist.txt";

// A: nothing to download (empty install type); B: a plain file the server does not have; C: a plain file
// already current; D: a plain file out of date that the server has.
constexpr const char* kList = "[STARTCOMP]\ndesc=A\n[ENDCOMP]\n"
                              "[STARTCOMP]\ndesc=B\ncodebase=http://vendor.test/tools/b.bin\nregfile=app\n"
                              "dir=tools\nmajor_ver=1\n[ENDCOMP]\n"
                              "[STARTCOMP]\ndesc=C\ncodebase=http://vendor.test/tools/current.exe\nregfile=app\n"
                              "dir=tools\nmajor_ver=2\nminor_ver=1\n[ENDCOMP]\n"
                              "[STARTCOMP]\ndesc=D\ncodebase=http://vendor.test/tools/old.exe\nregfile=app\n"
                              "dir=tools\nmajor_ver=2\n[ENDCOMP]\n";

class UpdateDriver : public testing::Test {
protected:
    UpdateDriver() : m_doc(m_app.AppDir(), kServer, m_host) {
        fs::create_directory(m_app.Path("complist"));
        fs::create_directory(m_app.Path("tools"));
    }

    std::string ListDownload() const { return std::string("download ") + kListUrl + " -> " + ListPath(); }
    std::string ListPath() const { return m_app.Path("complist/complist.txt").string(); }

    test::TempAppDir m_app;
    test::RecordingHost m_host;
    CZarnDoc m_doc;
};

TEST_F(UpdateDriver, InstallsWhatIsMissingOrOldInListOrderAndOffersTheStartDialog) {
    ASSERT_TRUE(test::WriteVersionedPe(m_app.Path("tools/current.exe").string(), "2.1.0.0"));
    ASSERT_TRUE(test::WriteVersionedPe(m_app.Path("tools/old.exe").string(), "1.0.0.0"));
    m_host.m_files[kListUrl] = kList;
    const std::vector<uint8_t> newer = test::MakeVersionedPe("2.0.0.0");
    m_host.m_files["http://vendor.test/tools/old.exe"].assign(newer.begin(), newer.end());

    m_doc.CheckForUpdates();
    const std::string tools = (m_app.Path("tools") / "").string();
    const std::string afterA = "update 1 [A:CURRENT,B:NOT_INSTALLED,C:CURRENT,D:OUT_OF_DATE]";
    EXPECT_EQ(m_host.m_calls, (Calls{
                                  "fill []",
                                  "hide",
                                  ListDownload(),
                                  "update 1 [A:NOT_INSTALLED,B:NOT_INSTALLED,C:CURRENT,D:OUT_OF_DATE]",
                                  "front",
                                  afterA,
                                  "download http://vendor.test/tools/b.bin -> " + tools + "b.bin",
                                  "front",
                                  afterA,
                                  "front",
                                  afterA,
                                  "download http://vendor.test/tools/old.exe -> " + tools + "old.exe",
                                  "front",
                                  "update 1 [A:CURRENT,B:NOT_INSTALLED,C:CURRENT,D:CURRENT]",
                                  "start 0",
                              }));
    // Planned ahead: exactly the component downloads that follow, in their order; the plan is dropped at the end.
    EXPECT_EQ(m_host.m_plans, (std::vector<Calls>{{"http://vendor.test/tools/b.bin -> " + tools + "b.bin",
                                                   "http://vendor.test/tools/old.exe -> " + tools + "old.exe"},
                                                  {}}));

    // A second check starts from the records of the first and replaces them with what the list now says.
    m_host.m_calls.clear();
    m_host.m_files[kListUrl] = "[STARTCOMP]\ndesc=E\n[ENDCOMP]\n";
    m_doc.CheckForUpdates();
    EXPECT_EQ(m_host.m_calls, (Calls{
                                  "fill [A:CURRENT,B:NOT_INSTALLED,C:CURRENT,D:CURRENT]",
                                  "hide",
                                  ListDownload(),
                                  "update 1 [E:NOT_INSTALLED]",
                                  "front",
                                  "update 1 [E:CURRENT]",
                                  "start 0",
                              }));
}

// With updates switched off by policy the list is fetched and shown, nothing is downloaded or installed, the user is
// told once, and the start dialog still comes back.
TEST_F(UpdateDriver, UpdatesDisabledByPolicyInstallNothingAndSaySoOnce) {
    test::ScratchRegistry registry;
    ASSERT_EQ(CRegistry(HKEY_LOCAL_MACHINE).WriteDword("Software\\Policies\\Ostrevant\\zarn", "UpdatesDisabled", 1), 1);
    m_doc.SetPolicy(LauncherPolicy::Read());
    ASSERT_TRUE(test::WriteVersionedPe(m_app.Path("tools/current.exe").string(), "2.1.0.0"));
    ASSERT_TRUE(test::WriteVersionedPe(m_app.Path("tools/old.exe").string(), "1.0.0.0"));
    m_host.m_files[kListUrl] = kList;
    const std::string statuses = "update 1 [A:NOT_INSTALLED,B:NOT_INSTALLED,C:CURRENT,D:OUT_OF_DATE]";
    const Calls oneRecord{"front", statuses};
    Calls expected{"fill []", "hide", ListDownload(), statuses,
                   "message Updates are switched off by your administrator's policy.\nThe components' statuses are "
                   "shown; nothing is downloaded or installed."};
    for (int i = 0; i < 4; ++i) {
        expected.insert(expected.end(), oneRecord.begin(), oneRecord.end());
    }
    expected.push_back("start 0");
    m_doc.CheckForUpdates();
    EXPECT_EQ(m_host.m_calls, expected);
    EXPECT_EQ(m_host.m_plans, (std::vector<Calls>{{}, {}}));

    m_host.m_calls.clear();
    m_doc.CheckForUpdates();
    expected.erase(expected.begin() + 4);
    expected[0] = "fill [A:NOT_INSTALLED,B:NOT_INSTALLED,C:CURRENT,D:OUT_OF_DATE]";
    EXPECT_EQ(m_host.m_calls, expected);
}

TEST_F(UpdateDriver, FailedListDownloadGoesOnWithTheFileOnDisk) {
    EXPECT_EQ(m_doc.DownloadComponentList(), 0);
    m_host.m_calls.clear();
    m_doc.CheckForUpdates();
    EXPECT_EQ(m_host.m_calls, (Calls{"fill []", "hide", ListDownload(), "update 1 []", "start 0"}));

    m_app.WriteList("[STARTCOMP]\ndesc=Old\n[ENDCOMP]\n");
    m_host.m_calls.clear();
    m_doc.CheckForUpdates();
    EXPECT_EQ(m_host.m_calls, (Calls{"fill []", "hide", ListDownload(), "update 1 [Old:NOT_INSTALLED]", "front",
                                     "update 1 [Old:CURRENT]", "start 0"}));
}

// The list is asked for with the validators of the copy on disk; a server that confirms it leaves it as it is, and
// a signed one is checked again as a new one would be.
TEST_F(UpdateDriver, AnUnchangedListIsConfirmedAndStillChecked) {
    const std::string validatorFile = ListPath() + ".validator";
    const std::string date = "Sat, 05 Dec 2026 10:00:00 GMT";
    for (const bool signedList : {false, true}) {
        SCOPED_TRACE(signedList ? "signed" : "unsigned");
        if (signedList && test::RunningUnderWine()) {
            continue; // Wine cannot sign (its crypt32 reads no PKCS #8 key); the signed road is checked on POSIX
        }
        const std::string list = signedList ? std::string("serial=3\nexpires=2099-01-01T00:00:00Z\n") + kList : kList;
        fs::remove(ListPath());
        fs::remove(validatorFile);
        m_doc.SetListKeys(signedList ? std::vector<std::string>{test::PublicKeyPem("first")}
                                     : std::vector<std::string>{});
        m_host.m_files[kListUrl] = list;
        if (signedList) {
            m_host.m_files[std::string(kListUrl) + ".sig"] = test::Sign("first", list);
        }
        m_host.m_validators[kListUrl] = {false, "\"l1\"", date};
        m_host.m_notModified.clear();

        ASSERT_EQ(m_doc.DownloadComponentList(), 1);
        EXPECT_TRUE(m_host.m_checks[kListUrl].ifNoneMatch.empty());
        EXPECT_TRUE(m_host.m_checks[kListUrl].ifModifiedSince.empty());
        EXPECT_EQ(ReadFile(validatorFile), "\"l1\"\n" + date + "\n");

        // Confirmed: whatever the server would now send, the copy on disk stays and is read.
        m_host.m_files[kListUrl] = "[STARTCOMP]\ndesc=Other\n[ENDCOMP]\n";
        m_host.m_notModified.insert(kListUrl);
        ASSERT_EQ(m_doc.DownloadComponentList(), 1);
        EXPECT_EQ(m_host.m_checks[kListUrl].ifNoneMatch, "\"l1\"");
        EXPECT_EQ(m_host.m_checks[kListUrl].ifModifiedSince, date);
        EXPECT_EQ(ReadFile(ListPath()), list);
        EXPECT_EQ(ReadFile(validatorFile), "\"l1\"\n" + date + "\n");
        m_doc.LoadComponentList();
        ASSERT_EQ(m_doc.m_compList.size(), 4u);

        if (signedList) {
            // A signature that no longer verifies refuses the confirmed list too, and the next check asks for it whole.
            m_host.m_files[std::string(kListUrl) + ".sig"] = test::Sign("first", "another list");
            EXPECT_EQ(m_doc.DownloadComponentList(), 0);
            EXPECT_EQ(ReadFile(ListPath()), list);
            EXPECT_FALSE(fs::exists(validatorFile));
        }
    }
    m_doc.SetListKeys({});
}

#ifndef _WIN32
// The window hears of a registry database that cannot be read from the host's message box: once per check, before
// the list is fetched, however many components the check then cannot detect.
TEST_F(UpdateDriver, AnUnreadableRegistryDatabaseIsToldOncePerCheck) {
    test::ScratchRegistry registry;
    test::WriteFile(registry.Database().string(), "not a database\n");
    m_host.m_files[kListUrl] = kList;
    m_doc.CheckForUpdates();
    const std::string message = "message The registry database " + registry.Database().string() +
                                " cannot be read: it is damaged, or it is not a registry database. Component "
                                "versions cannot be detected.";
    ASSERT_GE(m_host.m_calls.size(), 4u);
    EXPECT_EQ(Calls(m_host.m_calls.begin(), m_host.m_calls.begin() + 4),
              (Calls{"fill []", "hide", message, ListDownload()}));
    EXPECT_EQ(std::count(m_host.m_calls.begin(), m_host.m_calls.end(), message), 1);
}

// At the end of the check everything installed is detected again: only what reads current (or newer) stays
// "CURRENT"; the rest keep what detection gives and are named in one message, and nothing is undone. The geometry
// library is found only through a class that the design control installed after it registers (both samples are
// newer than the 2.0 listed).
TEST_F(UpdateDriver, InstalledComponentsAreDetectedAgainAtTheEnd) {
    test::ScratchRegistry registry;
    const std::string tools = (m_app.Path("tools") / "").string();
    const std::string older = (m_app.Outside() / "older.dll").string();
    ASSERT_TRUE(test::WriteVersionedPe(older, "1.5.0.0"));
    const std::vector<uint8_t> newer = test::MakeVersionedPe("2.3.0.0");
    const struct {
        std::string desc;
        std::string dir;
        std::string lines; // the list's classid= and regfile=
        std::string file;  // served at http://vendor.test/<file>
        std::string served;
        std::string status;
        std::string reads; // what the message and m_failure say the version reads; empty: not named
    } cases[] = {
        // Installers that leave the registered 1.0 as it was, or put 1.5 in its place.
        {"Idle", "tools", "classid={1D1E}", "idle-setup.exe", "#!/bin/sh\nexit 0\n", "OUT_OF_DATE",
         "its version still reads 1.0.0.0"},
        {"Older", "tools", "classid={01DE}", "older-setup.exe",
         "#!/bin/sh\ncp '" + older + "' '" + tools + "older.dll'\n", "OUT_OF_DATE", "its version still reads 1.5.0.0"},
        {"Blank", "tools", "regfile=app", "blank.bin", "no version here", "NOT_INSTALLED",
         "no version of it can be found"},
        {"Newer", "tools", "regfile=app", "newer.bin", std::string(newer.begin(), newer.end()), "CURRENT", ""},
        {"Geometry", "geometry", "classid={" ZARN_SAMPLES_GEOMETRY_CLSID "}\nregfile=lib", "geometry.cab", "cabinet",
         "CURRENT", ""},
        {"Design", "design", "classid=" ZARN_DESIGN_CONTROL_CLSID "\nregfile=qdesign.ocx", "design.cab", "cabinet",
         "CURRENT", ""},
    };
    std::string list;
    for (const auto& c : cases) {
        const std::string url = "http://vendor.test/" + c.file;
        list += "[STARTCOMP]\ndesc=" + c.desc + "\n" + c.lines + "\ncodebase=" + url + "\ndir=" + c.dir +
                "\nmajor_ver=2\n[ENDCOMP]\n";
        m_host.m_files[url] = c.served;
        fs::create_directories(m_app.Path(c.dir));
    }
    m_host.m_files[kListUrl] = list;
    CRegistry classes(HKEY_CLASSES_ROOT);
    for (const std::string id : {"1D1E", "01DE"}) {
        const std::string server = tools + (id == "1D1E" ? "idle.dll" : "older.dll");
        ASSERT_TRUE(test::WriteVersionedPe(server, "1.0.0.0"));
        ASSERT_EQ(classes.WriteString(("CLSID\\{" + id + "}\\ProgID").c_str(), "", "Quill.Setup"), 1);
        ASSERT_EQ(classes.WriteString(("CLSID\\{" + id + "}\\InprocServer32").c_str(), "", server.c_str()), 1);
    }
    // The stand-in expander stages the sample files beside where their cabinets put them, listing each in $5.
    const fs::path expander = m_app.Path("zarn-expand");
    test::WriteFile(expander.string(),
                    "#!/bin/sh\ncase \"$2\" in\n*geometry.cab) from='" ZARN_SAMPLE_GEOMETRY
                    "' to=\"$3/$(basename '" ZARN_SAMPLE_GEOMETRY "')\" ;;\n*design.cab) from='" ZARN_SAMPLE_DESIGN
                    "' to=\"$3/qdesign.ocx\" ;;\nesac\ncp \"$from\" \"$to.new\" || exit 2\n"
                    "printf '%s\\0%s\\0' \"$to\" \"$to.new\" > \"$5\"\n");
    fs::permissions(expander, fs::perms::owner_all);
    std::vector<std::string> lines;
    UpdateLog log("");
    log.SetEcho([&lines](const std::string& line) { lines.push_back(line); });
    m_doc.SetLog(&log);

    m_doc.CheckForUpdates();
    m_doc.SetLog(nullptr);
    ASSERT_EQ(m_doc.m_compList.size(), std::size(cases));
    std::string named;
    auto record = m_doc.m_compList.begin();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.desc);
        const CCompObj& r = **record++;
        EXPECT_EQ(r.m_status, c.status);
        EXPECT_EQ(r.m_failure, c.reads.empty() ? "" : "installed, but " + c.reads);
        if (!c.reads.empty()) {
            named += (named.empty() ? "\"" : "\n\"") + c.desc + "\": installed, but " + c.reads;
        }
    }
    EXPECT_EQ(ReadFile(tools + "older.dll"), ReadFile(older)) << "nothing is undone";
    // Once, after the last install's views and before the start dialog.
    ASSERT_GE(m_host.m_calls.size(), 3u);
    EXPECT_EQ(Calls(m_host.m_calls.end() - 3, m_host.m_calls.end()),
              (Calls{"update 1 " + test::RecordingHost::Statuses(m_doc), "message " + named, "start 0"}));
    EXPECT_EQ(std::count_if(m_host.m_calls.begin(), m_host.m_calls.end(),
                            [](const std::string& call) { return call.starts_with("message"); }),
              1);
    // The log has why, with how the installer ended.
    const std::string why = "Z verify \"Idle\": " + tools +
                            "idle-setup.exe exited with status 0, yet detection reads "
                            "1.0.0.0 where the list names 2.0.0.0, so it is OUT_OF_DATE; nothing was undone";
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(), [&why](const std::string& line) { return line.ends_with(why); }), 1);
}
#endif

// While another holder has the application directory's update lock, a check waits for it: one that outlasts the wait
// is given up (nothing fetched or installed, the list on disk shown), one that sees it released runs.
TEST_F(UpdateDriver, AnotherCheckOfTheDirectoryIsWaitedForThenGivenUp) {
    m_app.WriteList("[STARTCOMP]\ndesc=Old\n[ENDCOMP]\n");
    m_host.m_files[kListUrl] = "[STARTCOMP]\ndesc=New\n[ENDCOMP]\n";
    platform::FileLock other;
    ASSERT_EQ(other.TryLock(m_doc.GetCheckLockPath()).state, platform::FileLock::State::Held);
    const std::string running = "Another update check of this application directory is running";

    m_doc.SetOtherCheckWait(std::chrono::seconds(1));
    m_doc.CheckForUpdates();
    EXPECT_TRUE(m_doc.LastCheckBusy());
    EXPECT_EQ(m_host.m_calls,
              (Calls{"fill []", "hide", "wait " + running + "; waiting up to 1 second for it to end", "wait ",
                     "message " + running + "; this check was given up after 1 second, and the previous list is kept",
                     "update 1 [Old:NOT_INSTALLED]", "start 0"}));
    // The console's --check reads the list the same way.
    m_host.m_calls.clear();
    EXPECT_EQ(m_doc.LoadComponentList(), 1);
    EXPECT_TRUE(m_doc.LastCheckBusy());
    EXPECT_FALSE(m_doc.LastListLoaded());
    EXPECT_EQ(m_host.m_calls.size(), 3u);
    EXPECT_EQ(test::RecordingHost::Statuses(m_doc), "[Old:NOT_INSTALLED]");

    m_host.m_calls.clear();
    m_doc.SetOtherCheckWait(std::chrono::seconds(30));
    m_host.m_onWaitNote = [&other](const std::string& text) {
        if (!text.empty()) {
            other.Unlock();
        }
    };
    m_doc.CheckForUpdates();
    EXPECT_FALSE(m_doc.LastCheckBusy());
    EXPECT_EQ(
        m_host.m_calls,
        (Calls{"fill [Old:NOT_INSTALLED]", "hide", "wait " + running + "; waiting up to 30 seconds for it to end",
               "wait ", ListDownload(), "update 1 [New:NOT_INSTALLED]", "front", "update 1 [New:CURRENT]", "start 0"}));
    // The check released the lock at its end.
    EXPECT_EQ(other.TryLock(m_doc.GetCheckLockPath()).state, platform::FileLock::State::Held);
}

// A check removes what killed downloads left in the list folder and in every folder its list names, also where it
// downloads nothing this time; the temporary file of a download still running stays.
TEST_F(UpdateDriver, CheckRemovesLeftoverDownloadsFromEveryFolderTheListNames) {
    ASSERT_TRUE(test::WriteVersionedPe(m_app.Path("tools/current.exe").string(), "2.1.0.0"));
    m_host.m_files[kListUrl] = "[STARTCOMP]\ndesc=C\ncodebase=http://vendor.test/tools/current.exe\nregfile=app\n"
                               "dir=tools\nmajor_ver=2\nminor_ver=1\n[ENDCOMP]\n";
    const fs::path leftovers[] = {m_app.Path("tools/current.exe.zarn-a1b2c3"),
                                  m_app.Path("complist/complist.txt.new.zarn-d4e5f6")};
    for (const fs::path& leftover : leftovers) {
        test::WriteFile(leftover.string(), "partial");
    }
    platform::File running;
    std::string runningPath;
    ASSERT_EQ(running.CreateBeside(m_app.Path("tools/current.exe").string(), runningPath), 0u);

    m_doc.CheckForUpdates();
    EXPECT_EQ(test::RecordingHost::Statuses(m_doc), "[C:CURRENT]");
    for (const fs::path& leftover : leftovers) {
        EXPECT_FALSE(fs::exists(leftover)) << leftover;
    }
    EXPECT_TRUE(fs::exists(runningPath));
}

TEST_F(UpdateDriver, PresenceCheckAsksForAnUpdateOnlyWithoutAListFile) {
    m_host.m_files[kListUrl] = "[STARTCOMP]\ndesc=A\n[ENDCOMP]\n";
    EXPECT_EQ(m_doc.CheckComponentListPresent(), 1);
    EXPECT_EQ(m_host.m_calls,
              (Calls{"message Online System Update Required \nPlease ensure a connection to the internet is present ",
                     "fill []", "hide", ListDownload(), "update 1 [A:NOT_INSTALLED]", "front", "update 1 [A:CURRENT]",
                     "start 0"}));

    m_host.m_calls.clear();
    EXPECT_EQ(m_doc.CheckComponentListPresent(), 1);
    EXPECT_EQ(m_host.m_calls, Calls{});
}

TEST_F(UpdateDriver, NewDocumentAndSerializeLeaveEverythingAsItIs) {
    m_doc.m_compList.push_back(std::make_unique<CCompObj>());
    m_doc.m_listMode = 1;
    EXPECT_EQ(m_doc.OnNewDocument(), 1);
    EXPECT_EQ(m_doc.m_compList.size(), 1u);
    EXPECT_EQ(m_doc.m_listMode, 1);

    std::stringstream archive("kept");
    m_doc.Serialize(archive);
    EXPECT_EQ(archive.str(), "kept");
    EXPECT_EQ(archive.tellg(), 0);
    EXPECT_EQ(m_host.m_calls, Calls{});
}

} // namespace
} // namespace zarn
