#include "components/UpdateLog.h"

#include "components/ZarnDoc.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/TempAppDir.h"
#include "tests/support/TempDir.h"
#include "tests/support/VersionedFile.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// The file's lines with their time stamps taken off; every line must begin with one.
Lines LinesOf(const std::string& path) {
    const std::regex stamped(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ (.*)$)");
    std::istringstream text(test::ReadFile(path));
    Lines lines;
    for (std::string line; std::getline(text, line);) {
        std::smatch match;
        EXPECT_TRUE(std::regex_match(line, match, stamped)) << line;
        lines.push_back(match.size() > 1 ? match[1].str() : line);
    }
    return lines;
}

TEST(UpdateLog, AppendsLinesAndRotatesBeforePassingOneMebibyte) {
    test::TempDir dir;
    const std::string path = dir.File("state/Ostrevant/zarn/zarn.log");
    {
        UpdateLog log(path);
        log.Write("first");
        log.Write("two\nlines");
    }
    {
        UpdateLog log(path);
        log.Write("second run");
    }
    EXPECT_EQ(LinesOf(path), (Lines{"first", "two lines", "second run"}));

    // A file that the next line would take past the limit moves to zarn.log.1, replacing an older one.
    const std::string full(UpdateLog::kMaxFileSize - 30, 'x');
    test::WriteFile(path, full);
    test::WriteFile(path + ".1", "oldest");
    UpdateLog log(path);
    log.Write("fits");
    EXPECT_EQ(fs::file_size(path), full.size() + 26);
    log.Write("does not fit");
    EXPECT_EQ(test::ReadFile(path + ".1").substr(0, full.size()), full);
    EXPECT_EQ(LinesOf(path), Lines{"does not fit"});
    EXPECT_LT(fs::file_size(path + ".1"), UpdateLog::kMaxFileSize);
}

TEST(UpdateLog, AFileThatCannotBeWrittenLosesOnlyItsLines) {
    test::TempDir dir;
    test::WriteFile(dir.File("plain"), "a file, not a folder");
    UpdateLog log(dir.File("plain/zarn.log"));
    Lines echoed;
    log.SetEcho([&echoed](const std::string& line) { echoed.push_back(line.substr(21)); });
    log.Write("one");
    log.Write("two");
    EXPECT_EQ(echoed, (Lines{"one", "two"}));
    EXPECT_EQ(test::ReadFile(dir.File("plain")), "a file, not a folder");
}

TEST(UpdateLog, TheDocumentLogsTheListEveryStatusDownloadAndInstallStep) {
    test::TempAppDir app;
    test::TempDir state;
    fs::create_directory(app.Path("complist"));
    fs::create_directory(app.Path("tools"));
    test::RecordingHost host;
    const std::string server = "http://127.0.0.1:9";
    const std::string listUrl = server + "//quillornacc//complist//complist.txt";
    host.m_files[listUrl] = "[STARTCOMP]\ndesc=B\ncodebase=http://vendor.test/b.bin\nregfile=app\ndir=tools\n"
                            "major_ver=1\n[ENDCOMP]\n"
                            "[STARTCOMP]\ndesc=C\ncodebase=http://vendor.test/c.bin\nregfile=app\ndir=tools\n"
                            "major_ver=1\n[ENDCOMP]\n"
                            "[STARTCOMP]\ndesc=E\ncodebase=http://vendor.test/setup.exe\ndir=tools\n"
                            "major_ver=1\n[ENDCOMP]\n"
                            "[STARTCOMP]\ndesc=R\ncodebase=http://vendor.test/r.bin\ndir=../out\n[ENDCOMP]\n";
    const std::vector<uint8_t> plain = test::MakeVersionedPe("1.0.0.0");
    host.m_files["http://vendor.test/b.bin"].assign(plain.begin(), plain.end());
#ifdef _WIN32
    // No Windows program: Windows refuses to start it (a shell script would be run by Wine as a Unix program).
    host.m_files["http://vendor.test/setup.exe"] = "not a program\r\n";
#else
    host.m_files["http://vendor.test/setup.exe"] = "#!/bin/sh\nexit 3\n";
#endif
    const std::string busy = "attempt 1 failed: " + std::string(test::RecordingHost::kMissingText) +
                             "; attempt 2 in 1000 ms, from the start";
    host.m_attempts["http://vendor.test/c.bin"] = {busy};
    const std::string logPath = state.File("zarn.log");
    UpdateLog log(logPath);
    CZarnDoc document(app.AppDir(), server, host);
    document.SetLog(&log);

    document.CheckForUpdates();
    const std::string list = app.Path("complist/complist.txt").string();
    const std::string tools = (app.Path("tools") / "").string();
#ifdef _WIN32
    const std::string installerLine = "install \"E\": cannot start " + tools + "setup.exe, error 193";
#else
    const std::string installerLine = "install \"E\": " + tools + "setup.exe exited with status 3, result 0";
#endif
    const std::string missing = test::RecordingHost::kMissingText;
    EXPECT_EQ(LinesOf(logPath),
              (Lines{
                  "update check from " + server,
                  "this build has no vendor keys: the component list is read unsigned",
                  "list " + listUrl + " -> " + list + ": downloaded",
                  "list " + list + ": read, 4 components",
                  "component \"B\" 1.0.0.0: NOT_INSTALLED",
                  "component \"C\" 1.0.0.0: NOT_INSTALLED",
                  "component \"E\" 1.0.0.0: NOT_INSTALLED",
                  "component \"R\" 0.0.0.0: NOT_INSTALLED",
                  "download http://vendor.test/b.bin -> " + tools + "b.bin: downloaded",
                  "install \"B\": file in place, result 1",
                  "component \"B\": NOT_INSTALLED -> CURRENT",
                  "download http://vendor.test/c.bin: " + busy,
                  "download http://vendor.test/c.bin -> " + tools + "c.bin: not downloaded: " + missing,
                  "component \"C\": NOT_INSTALLED -> NOT_INSTALLED",
                  "download http://vendor.test/setup.exe -> " + tools + "setup.exe: downloaded",
                  installerLine,
                  "component \"E\": NOT_INSTALLED -> NOT_INSTALLED",
                  "install \"R\": refused, its paths would leave the application directory",
                  "component \"R\": NOT_INSTALLED -> NOT_INSTALLED",
                  "verify \"B\": reads 1.0.0.0, CURRENT",
                  "update check done",
              }));
    EXPECT_TRUE(document.LastListLoaded());
    // Each record that did not become current keeps why, as its step's line says it.
    const std::string installerFailure = installerLine.substr(installerLine.find(": ") + 2);
    std::vector<std::string> failures;
    for (const auto& record : document.m_compList) {
        failures.push_back(record->m_failure);
    }
    EXPECT_EQ(failures,
              (Lines{"", "not downloaded: " + missing, installerFailure.substr(0, installerFailure.find(", result")),
                     "refused, its paths would leave the application directory"}));

    // A list that cannot be fetched is logged with the failure the user was told of, and the document knows.
    host.m_files.erase(listUrl);
    fs::remove(list);
    UpdateLog secondLog(state.File("second.log"));
    document.SetLog(&secondLog);
    document.LoadComponentList();
    EXPECT_EQ(LinesOf(secondLog.Path()), (Lines{"list " + listUrl + " -> " + list + ": not downloaded: " + missing,
                                                "list " + list + ": not read"}));
    EXPECT_FALSE(document.LastListLoaded());
}

} // namespace
} // namespace zarn
