// The demo vendor repository as the launcher meets it: zarn-publish builds it for a server from the samples'
// manifest, its list is signed with the demo key and names one component of each install kind at a file the
// repository holds, with that file's hash and size; the update driver of a document holding the demo's public key
// installs every one of them (the cabinets unpacked
// by gcab behind a stand-in expander, the control registered, the installer run as a process) and they all end
// CURRENT by their own registrations and version notes, so a second check installs nothing.
#include "components/Registry.h"
#include "components/ZarnDoc.h"
#include "platform/Process.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempAppDir.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;

constexpr const char* kServer = "http://vendor.test:8080";
constexpr const char* kListUrl = "http://vendor.test:8080//quillornacc//complist//complist.txt";
constexpr const char* kAllCurrent = "[Quillorna Design Control:CURRENT,Quillorna Geometry Library:CURRENT,"
                                    "Quillorna Unit Converter:CURRENT,Quillorna Drawing Templates:CURRENT]";

// Publishes the samples' repository for `server` into `root`; zarn-publish's exit code.
unsigned long Publish(const std::string& server, const fs::path& root) {
    platform::ProgramEnd end;
    const unsigned long started = platform::RunProgram(
        ZARN_PUBLISH_PATH,
        {"build", ZARN_SAMPLES_MANIFEST, root.string(), "--key", ZARN_SAMPLES_PRIVATE_KEY, "--server", server},
        platform::ProgramWindow::None, platform::ProgramOutput::Own, end);
    return started != 0 ? started : end.code;
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

    const fs::path repository = app.Outside() / "repository";
    ASSERT_EQ(Publish(kServer, repository), 0u);
    const std::string list = test::ReadFile((repository / "quillornacc/complist/complist.txt").string());
    host.m_files[kListUrl] = list;
    host.m_files[std::string(kListUrl) + ".sig"] =
        test::ReadFile((repository / "quillornacc/complist/complist.txt.sig").string());

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
        const fs::path file = repository / r.m_codebase.substr(std::string(kServer).size() + 1);
        ASSERT_TRUE(fs::is_regular_file(file)) << file;
        host.m_files[r.m_codebase] = test::ReadFile(file.string());
        EXPECT_EQ(r.m_size, host.m_files[r.m_codebase].size());
        // The built file itself, as the repository of the build holds it.
        EXPECT_EQ(host.m_files[r.m_codebase],
                  test::ReadFile((fs::path(ZARN_SAMPLES_REPOSITORY) / "quillornacc/components" / e.fileName).string()));
    }

    // The installed layout: the empty list folder, the registry library at the application directory's root, where
    // the installer's RUNPATH looks, and the expander beside the launcher.
    fs::create_directory(app.Path("complist"));
    fs::copy_file(ZARN_REGISTRY_LIBRARY, app.Path("libzarn_registry.so"));
    // It stages as the real one does: each file beside its target, listed in $5 with the target.
    std::ofstream(app.Path("zarn-expand"))
        << "#!/bin/sh\n[ \"$1\" = '-F:*' ] && [ \"$4\" = --stage ] || exit 2\nstaging=\"$3/.staging\"\n"
        << "mkdir \"$staging\" && '" << ZARN_GCAB << "' -x -C \"$staging\" \"$2\" || exit 2\n: > \"$5\"\n"
        << "for name in $(ls \"$staging\"); do\n    mv \"$staging/$name\" \"$3/$name.new\"\n"
        << "    printf '%s\\0%s\\0' \"$3/$name\" \"$3/$name.new\" >> \"$5\"\ndone\nrmdir \"$staging\"\n";
    fs::permissions(app.Path("zarn-expand"), fs::perms::owner_all);

    CZarnDoc doc(app.AppDir(), kServer, host);
    doc.SetListKeys({test::ReadFile(ZARN_SAMPLES_PUBLIC_KEY)});
    doc.CheckForUpdates();
    EXPECT_TRUE(doc.LastListRefusal().empty()) << doc.LastListRefusal();
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
    // downloads nothing but the list and its signature.
    CZarnDoc detected(app.AppDir());
    ASSERT_EQ(detected.ParseComponentList(), 1);
    detected.CheckInstalledVersions();
    EXPECT_EQ(test::RecordingHost::Statuses(detected), kAllCurrent);
    host.m_calls.clear();
    doc.CheckForUpdates();
    std::vector<std::string> downloads;
    for (const std::string& call : host.m_calls) {
        if (call.rfind("download ", 0) == 0) {
            downloads.push_back(call.substr(9, call.find(" -> ") - 9));
        }
    }
    EXPECT_EQ(downloads, (std::vector<std::string>{kListUrl, std::string(kListUrl) + ".sig"}));
}

TEST(SampleRepository, PublishingRefusesAServerItCannotUse) {
    test::TempDir dir;
    for (const char* server : {"", "ftp://vendor.test", "http://vendor.test/files", "vendor.test:8080"}) {
        SCOPED_TRACE(server);
        EXPECT_NE(Publish(server, dir.Path()), 0u);
        EXPECT_FALSE(fs::exists(dir.Path() / "quillornacc/complist/complist.txt"));
    }
}

} // namespace
} // namespace zarn
