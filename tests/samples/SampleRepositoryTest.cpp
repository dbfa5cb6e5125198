// The demo vendor repository as the launcher meets it: its list, written for a server, names one component of each
// install kind at a file the repository holds; the update driver installs every one of them (the cabinets unpacked
// by gcab behind a stand-in expander, the control registered, the installer run as a process) and they all end
// CURRENT by their own registrations and version notes, so a second check installs nothing.
#include "components/Registry.h"
#include "components/ZarnDoc.h"
#include "platform/Process.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempAppDir.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace zarn {
namespace {

namespace fs = std::filesystem;

constexpr const char* kServer = "http://vendor.test:8080";
constexpr const char* kListUrl = "http://vendor.test:8080//quillornacc//complist//complist.txt";
constexpr const char* kAllCurrent = "[Quillorna Design Control:CURRENT,Quillorna Geometry Library:CURRENT,"
                                    "Quillorna Unit Converter:CURRENT,Quillorna Drawing Templates:CURRENT]";

unsigned long WriteList(const std::string& server, const fs::path& output) {
    unsigned long exitCode = 0;
    const unsigned long started = platform::RunProgram(
        ZARN_CMAKE, {"-DSERVER=" + server, "-DOUTPUT=" + output.string(), "-P", ZARN_SAMPLES_WRITE_LIST},
        platform::ProgramWindow::None, exitCode);
    return started != 0 ? started : exitCode;
}

struct Expected {
    const char* installType;
    const char* dir;
    const char* fileName;
};

TEST(SampleRepository, EveryKindInstallsOnceAndIsThenCurrent) {
    test::ScratchRegistry registry;
    test::TempAppDir app;
    test::RecordingHost host;

    const fs::path listFile = app.Outside() / "complist.txt";
    ASSERT_EQ(WriteList(kServer, listFile), 0u);
    const std::string list = test::ReadFile(listFile.string());
    ASSERT_EQ(list.find("@SERVER@"), std::string::npos) << list;
    host.m_files[kListUrl] = list;

    ComponentList records;
    ComponentListReader::ParseText(list, records, {});
    const Expected expected[] = {
        {"REG", "design", "design.cab"},
        {"LIB", "geometry", "geometry.cab"},
        {"APP", "converter", "qconvert"},
        {"EXE", "templates", "qtemplates-setup.exe"},
    };
    ASSERT_EQ(records.size(), std::size(expected));
    auto record = records.begin();
    for (const Expected& e : expected) {
        const CCompObj& r = **record++;
        SCOPED_TRACE(r.m_desc);
        EXPECT_EQ(r.m_installType, e.installType);
        EXPECT_EQ(r.m_dir, e.dir);
        EXPECT_EQ(r.m_fileName, e.fileName);
        ASSERT_EQ(r.m_codebase.rfind(std::string(kServer) + "/", 0), 0u) << r.m_codebase;
        const fs::path file = fs::path(ZARN_SAMPLES_REPOSITORY) / r.m_codebase.substr(std::string(kServer).size() + 1);
        ASSERT_TRUE(fs::is_regular_file(file)) << file;
        host.m_files[r.m_codebase] = test::ReadFile(file.string());
    }

    // The installed layout: the empty list folder, the registry library at the application directory's root, where
    // the installer's RUNPATH looks, and the expander beside the launcher.
    fs::create_directory(app.Path("complist"));
    fs::copy_file(ZARN_REGISTRY_LIBRARY, app.Path("libzarn_registry.so"));
    std::ofstream(app.Path("zarn-expand"))
        << "#!/bin/sh\n[ \"$1\" = '-F:*' ] || exit 2\nexec '" << ZARN_GCAB << "' -x -C \"$3\" \"$2\"\n";
    fs::permissions(app.Path("zarn-expand"), fs::perms::owner_all);

    CZarnDoc doc(app.AppDir(), kServer, host);
    doc.CheckForUpdates();
    EXPECT_EQ(test::RecordingHost::Statuses(doc), kAllCurrent);
    for (const std::string& call : host.m_calls) {
        EXPECT_NE(call.rfind("message", 0), 0u) << call;
    }

    // What the installer and the control wrote.
    const fs::path drawings = app.Path("templates/drawings");
    ASSERT_TRUE(fs::is_regular_file(drawings / "A4-landscape.qdt"));
    std::string folder;
    EXPECT_EQ(CRegistry(HKEY_CURRENT_USER).ReadString("Software\\Ostrevant\\Quillorna\\Templates", "Folder", folder),
              1);
    EXPECT_EQ(fs::path(folder), fs::canonical(drawings));
    // The class the launcher's view creates.
    const std::string control = std::string("CLSID\\") + ZARN_DESIGN_CONTROL_CLSID + "\\InprocServer32";
    std::string server;
    std::string threading;
    EXPECT_EQ(CRegistry(HKEY_CLASSES_ROOT).ReadString(control.c_str(), "", server), 1);
    EXPECT_EQ(server, app.AppDir() + "design/qdesign.ocx");
    EXPECT_EQ(CRegistry(HKEY_CLASSES_ROOT).ReadString(control.c_str(), "ThreadingModel", threading), 1);
    EXPECT_EQ(threading, "Apartment");

    // Every version is found installed by the components' own registrations and files, so the next check
    // downloads nothing but the list.
    CZarnDoc detected(app.AppDir());
    ASSERT_EQ(detected.ParseComponentList(), 1);
    detected.CheckInstalledVersions();
    EXPECT_EQ(test::RecordingHost::Statuses(detected), kAllCurrent);
    host.m_calls.clear();
    doc.CheckForUpdates();
    const auto downloads = std::count_if(host.m_calls.begin(), host.m_calls.end(),
                                         [](const std::string& call) { return call.rfind("download ", 0) == 0; });
    EXPECT_EQ(downloads, 1) << "only the list";
}

TEST(SampleRepository, ListStepRefusesAServerItCannotUse) {
    test::TempDir dir;
    for (const char* server : {"", "ftp://vendor.test", "http://vendor.test/files", "vendor.test:8080"}) {
        SCOPED_TRACE(server);
        EXPECT_NE(WriteList(server, dir.Path() / "complist.txt"), 0u);
        EXPECT_FALSE(fs::exists(dir.Path() / "complist.txt"));
    }
}

} // namespace
} // namespace zarn
