// The launcher's console mode run as its user runs it: the built QuillornaCC copied into a fresh application
// directory, against zarn-serve on a vendor folder (or a server of the test's own for passwords), with a log
// folder and a settings folder of the test's own. Qt's platform is set to one that does not exist: a run that
// made a GUI application would end there.
#include "tests/support/LocalServer.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/ServeProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestKeys.h"
#include "tests/support/VersionedFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <regex>
#include <stdlib.h>
#include <string>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zarn {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::WriteFile;

using Outcome = test::ProgramOutcome;

// What a launcher without vendor keys, as the test build is, says on every --check and --update.
constexpr const char* kUnsignedWarning =
    "QuillornaCC: warning: this build has no vendor keys, so it accepts component lists without a signature\n";

class Console : public testing::Test {
protected:
    Console() {
        fs::create_directories(m_vendor.Path() / "quillornacc/complist");
        fs::create_directories(m_vendor.Path() / "quillornacc/components");
        fs::create_directories(App() / "complist");
        fs::create_directories(App() / "temp");
        fs::copy_file(ZARN_LAUNCHER_PATH, App() / "QuillornaCC");
    }

    fs::path App() const { return m_base.Path() / "app"; }
    std::string ListFile() const { return (App() / "complist/complist.txt").string(); }
    std::string LogFile() const { return (m_base.Path() / "state/Ostrevant/zarn/zarn.log").string(); }

    // One "APP" component kept in tools/ under the application directory, listed at `version`.
    static std::string AppRecord(const std::string& desc, const std::string& url, int major, int minor) {
        return "[STARTCOMP]\ndesc=" + desc + "\nname=" + desc + "Name\nmajor_ver=" + std::to_string(major) +
               "\nminor_ver=" + std::to_string(minor) + "\ncodebase=" + url + "\ndir=tools\nregfile=app\n[ENDCOMP]\n";
    }
    void ServeList(const std::string& text) const {
        WriteFile((m_vendor.Path() / "quillornacc/complist/complist.txt").string(), text);
    }
    std::string ServeComponent(const std::string& name, const std::string& version) const {
        EXPECT_TRUE(test::WriteVersionedPe((m_vendor.Path() / "quillornacc/components" / name).string(), version));
        return m_server.Url() + "/quillornacc/components/" + name;
    }

    // Runs the launcher with `arguments`; standard input and standard error go to `terminal` when it is open (a
    // pseudo-terminal's other side), else they are the null device and a file. Qt's platform is one that does not
    // exist, and the log and settings folders are the test's own.
    Outcome Launch(const std::vector<std::string>& arguments, const char* terminal = nullptr) const {
        return LaunchAs("", arguments, terminal, m_whileRunning);
    }

    // As Launch, with output files of `name`'s own, so that launchers can run side by side.
    Outcome LaunchAs(const std::string& name, const std::vector<std::string>& arguments, const char* terminal = nullptr,
                     const std::function<void()>& whileRunning = {}) const {
        std::string program = (App() / "QuillornaCC").string();
        std::vector<std::string> withProgram = arguments;
        if (m_asUser && ::geteuid() == 0) {
            // Root without the right to override file permissions: their bits bind it as they bind a user.
            withProgram.insert(withProgram.begin(), {"--inh-caps=-dac_override,-dac_read_search",
                                                     "--bounding-set=-dac_override,-dac_read_search", program});
            program = "/usr/bin/setpriv";
        }
        const Outcome run = test::RunProgram(program, withProgram,
                                             test::EnvironmentWith({
                                                 {"XDG_STATE_HOME", (m_base.Path() / "state").string()},
                                                 {"XDG_CONFIG_HOME", (m_base.Path() / "config").string()},
                                                 {"QT_QPA_PLATFORM", "no-such-platform"},
                                             }),
                                             m_base.File(name + "stdout.txt"), m_base.File(name + "stderr.txt"),
                                             terminal, whileRunning);
        EXPECT_EQ(run.problem, "");
        return run;
    }

    Outcome Launch(const std::vector<std::string>& arguments, const std::string& server) const {
        std::vector<std::string> withServer = arguments;
        withServer.insert(withServer.end(), {"--server", server});
        return Launch(withServer);
    }

    // A value of the administrators' policy, as zarn-reg writes it into HKLM\Software\Policies\Ostrevant\zarn
    // (into its subkey `subKey` when given), or the whole policy key removed when `name` is empty.
    struct PolicyValue {
        std::string name;
        std::string type;
        std::string data;
        std::string subKey = {};
    };
    void SetPolicy(const PolicyValue& value) const {
        std::string key = "HKLM\\Software\\Policies\\Ostrevant\\zarn";
        std::vector<std::string> arguments{"delete", key, "/f"};
        if (!value.name.empty()) {
            key += value.subKey.empty() ? "" : "\\" + value.subKey;
            arguments = {"add", key, "/v", value.name, "/t", value.type, "/d", value.data};
        }
        const Outcome set = test::RunProgram(ZARN_REG_PATH, arguments, test::EnvironmentWith({}),
                                             m_base.File("regout.txt"), m_base.File("regerr.txt"));
        EXPECT_TRUE(set.exitCode == 0 || value.name.empty()) << set.err;
    }

    test::TempDir m_vendor;
    test::TempDir m_base;
    test::ServeProcess m_server{ZARN_SERVE_PATH, m_vendor.Path().string()};
    std::function<void()> m_whileRunning; // runs in the test while the launcher runs
    bool m_asUser = false;                // the launcher is bound by file permissions even when the test is root
};

TEST_F(Console, CheckTellsEachStatusByItsExitCodeAndInstallsNothing) {
    ASSERT_GT(m_server.Port(), 0);
    ServeList(AppRecord("Tool", ServeComponent("tool.bin", "1.2.0.0"), 1, 2));
    const std::string local = (App() / "tools/tool.bin").string();
    const struct {
        const char* installed; // nullptr: no file
        const char* status;
        int exitCode;
    } cases[] = {
        {nullptr, "NOT_INSTALLED", 3},
        {"1.2.0.0", "CURRENT", 0},
        {"2.0.0.0", "NEWER THAN SPECIFIED", 0},
        {"1.1.0.0", "OUT_OF_DATE", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        if (c.installed) {
            ASSERT_TRUE(test::WriteVersionedPe(local, c.installed));
        }
        const std::string before = ReadFile(local);
        const Outcome run = Launch({"--check"}, m_server.Url());
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_EQ(run.out, "Component  Version  Status\nTool       1.2.0.0  " + std::string(c.status) + "\n");
        EXPECT_EQ(ReadFile(local), before);
    }
    EXPECT_EQ(ReadFile(ListFile()), ReadFile((m_vendor.Path() / "quillornacc/complist/complist.txt").string()));
}

TEST_F(Console, AListThatCannotBeFetchedKeepsThePreviousOneAndExitsTwo) {
    ASSERT_GT(m_server.Port(), 0);
    const std::string previous = AppRecord("Kept", "http://127.0.0.1:1/kept.bin", 1, 0);
    WriteFile(ListFile(), previous);
    // Port 1 of the loopback address has nothing listening; the vendor folder has no list yet (404).
    const struct {
        std::string server;
        std::string message;
    } cases[] = {
        {"http://127.0.0.1:1", "An error occurred connecting to the server \nPlease check your Internet Connection"},
        {m_server.Url(), "Failed to receive a valid HTTP response from the server, Response Code:404\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        const Outcome run = Launch({"--check"}, c.server);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(ReadFile(ListFile()), previous);
        const Outcome update = Launch({"--update", "--quiet"}, c.server);
        EXPECT_EQ(update.exitCode, 2);
        EXPECT_EQ(update.err, kUnsignedWarning);
        EXPECT_EQ(ReadFile(ListFile()), previous);
    }
    const std::string log = ReadFile(LogFile());
    EXPECT_NE(log.find(" list http://127.0.0.1:1//quillornacc//complist//complist.txt -> " + ListFile() +
                       ": not downloaded: An error occurred connecting to the server  Please check"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" exit code 2\n"), std::string::npos);
}

TEST_F(Console, JsonReadsBackWithEveryFieldAndTheTextsInUtf8) {
    ASSERT_GT(m_server.Port(), 0);
    ServeList(AppRecord("Caf\xe9 \"Tool\"", ServeComponent("tool.bin", "1.2.0.0"), 1, 2) +
              "[STARTCOMP]\ndesc=Setup\nname=SetupName\ncodebase=http://127.0.0.1:1/setup.exe\ndir=tools\n"
              "major_ver=4\nminor_ver=3\ncust_num=2\nbuild_num=1\n[ENDCOMP]\n");
    const Outcome run = Launch({"--check", "--json"}, m_server.Url());
    EXPECT_EQ(run.exitCode, 3) << run.err;
    EXPECT_EQ(run.err, kUnsignedWarning);
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out;
    const QJsonArray components = json.object().value("components").toArray();
    ASSERT_EQ(components.size(), 2);
    const QJsonObject tool = components[0].toObject();
    EXPECT_EQ(tool.value("desc").toString(), QString::fromUtf8("Caf\u00e9 \"Tool\""));
    EXPECT_EQ(tool.value("name").toString(), "Caf\u00e9 \"Tool\"Name");
    EXPECT_EQ(tool.value("version").toString(), "1.2.0.0");
    EXPECT_EQ(tool.value("status").toString(), "NOT_INSTALLED");
    EXPECT_EQ(tool.value("installType").toString(), "APP");
    EXPECT_EQ(tool.value("fileName").toString(), "tool.bin");
    const QJsonObject setup = components[1].toObject();
    EXPECT_EQ(setup.value("version").toString(), "4.3.2.1");
    EXPECT_EQ(setup.value("installType").toString(), "EXE");
    EXPECT_EQ(setup.value("fileName").toString(), "setup.exe");
}

TEST_F(Console, UpdateInstallsWhatTheServerHasAndASecondRunHasNothingLeft) {
    ASSERT_GT(m_server.Port(), 0);
    const std::string tool = AppRecord("Tool", ServeComponent("tool.bin", "1.2.0.0"), 1, 2);
    const std::string missingUrl = m_server.Url() + "/quillornacc/components/missing.bin";
    // Stale arrives whole but older than listed: it stays as detection reads it, and the user is told.
    ServeList(tool + AppRecord("Stale", ServeComponent("stale.bin", "1.1.0.0"), 1, 2) +
              AppRecord("Missing", missingUrl, 1, 0));

    const Outcome first = Launch({"--update", "--verbose"}, m_server.Url());
    EXPECT_EQ(first.exitCode, 3) << first.err;
    EXPECT_EQ(first.out, "Component  Version  Status\n"
                         "Tool       1.2.0.0  CURRENT\n"
                         "Stale      1.2.0.0  OUT_OF_DATE\n"
                         "Missing    1.0.0.0  NOT_INSTALLED\n"
                         "\n"
                         "Stale: installed, but its version still reads 1.1.0.0\n"
                         "Missing: not downloaded: Failed to receive a valid HTTP response from the server, "
                         "Response Code:404\n");
    const std::string staleMessage = "\n\"Stale\": installed, but its version still reads 1.1.0.0\n";
    EXPECT_NE(first.err.find(staleMessage), std::string::npos) << first.err;
    EXPECT_EQ(first.err.find(staleMessage), first.err.rfind(staleMessage)) << "told once";
    EXPECT_EQ(ReadFile((App() / "tools/tool.bin").string()),
              ReadFile((m_vendor.Path() / "quillornacc/components/tool.bin").string()));
    EXPECT_FALSE(fs::exists(App() / "tools/missing.bin"));
    // The download's failure as the dialog words it, and the log's lines echoed.
    EXPECT_NE(first.err.find("Failed to receive a valid HTTP response from the server, Response Code:404\n"),
              std::string::npos)
        << first.err;
    for (const std::string& line : {std::string("component \"Tool\": NOT_INSTALLED -> CURRENT\n"),
                                    "download " + missingUrl + " -> " + (App() / "tools/missing.bin").string() +
                                        ": not downloaded: Failed to receive a valid HTTP response from the "
                                        "server, Response Code:404\n",
                                    std::string("component \"Missing\": NOT_INSTALLED -> NOT_INSTALLED\n"),
                                    std::string("verify \"Stale\": installed, yet detection reads 1.1.0.0 where the "
                                                "list names 1.2.0.0, so it is OUT_OF_DATE; nothing was undone\n")}) {
        EXPECT_NE(first.err.find("Z " + line), std::string::npos) << line;
        EXPECT_NE(ReadFile(LogFile()).find("Z " + line), std::string::npos) << line;
    }

    // Once the vendor lists only what it serves, the update downloads nothing but the list and ends at 0.
    ServeList(tool);
    fs::remove(LogFile());
    const Outcome second = Launch({"--update", "--quiet"}, m_server.Url());
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, "Component  Version  Status\nTool       1.2.0.0  CURRENT\n");
    EXPECT_EQ(second.err, kUnsignedWarning);
    EXPECT_EQ(ReadFile(LogFile()).find(" download "), std::string::npos);
    const Outcome check = Launch({"--check"}, m_server.Url());
    EXPECT_EQ(check.exitCode, 0) << check.err;
    EXPECT_EQ(check.out, second.out);
}

// Components are fetched ahead of their installs, a few at once, and installed one at a time in list order, each
// after its own download; a failed download leaves the others installed. The first component is the slowest to
// arrive, so the later ones are waiting whole before its install.
TEST_F(Console, UpdateFetchesAFewAtOnceAndInstallsInListOrder) {
    test::ScratchRegistry registry;
    constexpr int kComponents = 6;
    constexpr int kMissing = 3;
    constexpr int kBusyOnce = 4; // answers 503 to its first request
    std::vector<std::string> bodies;
    for (int i = 0; i < kComponents; ++i) {
        const std::string path = m_base.File("served" + std::to_string(i) + ".bin");
        ASSERT_TRUE(test::WriteVersionedPe(path, "1." + std::to_string(i) + ".0.0"));
        bodies.push_back(ReadFile(path));
    }
    std::mutex mutex;
    int running = 0;
    int mostAtOnce = 0;
    std::vector<int> requested;
    test::LocalServer server;
    server.Http().Get(R"(/c/(\d+)\.bin)", [&](const httplib::Request& request, httplib::Response& response) {
        const int index = std::stoi(request.matches[1]);
        {
            std::lock_guard lock(mutex);
            requested.push_back(index);
            mostAtOnce = std::max(mostAtOnce, ++running);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(index == 0 ? 700 : 200));
        {
            std::lock_guard lock(mutex);
            --running;
        }
        if (index == kMissing) {
            response.status = 404;
            return;
        }
        if (index == kBusyOnce && std::count(requested.begin(), requested.end(), kBusyOnce) == 1) {
            response.status = 503;
            response.set_header("Retry-After", "1");
            return;
        }
        response.set_content(bodies.at(static_cast<std::size_t>(index)), "application/octet-stream");
    });
    server.Start();
    std::string list;
    for (int i = 0; i < kComponents; ++i) {
        const std::string url = server.Url("/c/" + std::to_string(i) + ".bin");
        list += "[STARTCOMP]\ndesc=C" + std::to_string(i) + "\nname=C\nmajor_ver=1\nminor_ver=" + std::to_string(i) +
                "\ncodebase=" + url + "\ndir=tools\nregfile=app\n[ENDCOMP]\n";
    }
    ServeList(list);

    for (const int atOnce : {0, 2}) {
        SCOPED_TRACE(atOnce);
        // 0: the setting is not stored, and the default holds.
        if (atOnce > 0) {
            const Outcome stored =
                test::RunProgram(ZARN_REG_PATH,
                                 {"add", "HKCU\\Software\\Ostrevant\\zarn", "/v", "DownloadsAtOnce", "/t", "REG_DWORD",
                                  "/d", std::to_string(atOnce)},
                                 test::EnvironmentWith({}), m_base.File("regout.txt"), m_base.File("regerr.txt"));
            ASSERT_EQ(stored.exitCode, 0) << stored.err;
        }
        fs::remove_all(App() / "tools");
        fs::remove(LogFile());
        requested.clear();
        mostAtOnce = 0;
        const Outcome run = Launch({"--update", "--quiet"}, m_server.Url());
        EXPECT_EQ(run.exitCode, 3) << run.err;
        EXPECT_EQ(mostAtOnce, atOnce > 0 ? atOnce : 3);
        // Each file fetched once (those started together may reach the server in any order).
        std::sort(requested.begin(), requested.end());
        EXPECT_EQ(requested, (std::vector<int>{0, 1, 2, 3, 4, 4, 5}));
        const std::string log = ReadFile(LogFile());
        std::size_t at = 0;
        for (int i = 0; i < kComponents; ++i) {
            const std::string name = "C" + std::to_string(i);
            const std::string url = server.Url("/c/" + std::to_string(i) + ".bin");
            const std::size_t downloaded = log.find(" download " + url + " -> ", at);
            const std::size_t installed = log.find(" component \"" + name + "\": NOT_INSTALLED -> ", at);
            ASSERT_NE(downloaded, std::string::npos) << name << "\n" << log;
            ASSERT_NE(installed, std::string::npos) << name << "\n" << log;
            EXPECT_LT(downloaded, installed) << name;
            // A download run ahead keeps the notes of its failed attempts for the log, as one of its turn does.
            const std::size_t failedOnce = log.find(" download " + url + ": attempt 1 failed: ", at);
            EXPECT_EQ(failedOnce < downloaded, i == kBusyOnce || i == kMissing) << name << "\n" << log;
            EXPECT_EQ(log.find("; attempt 2 in ", failedOnce) < downloaded, i == kBusyOnce) << name;
            at = installed + 1;
            if (i == kMissing) {
                EXPECT_NE(log.find("Response Code:404", downloaded), std::string::npos) << log;
                EXPECT_EQ(log.find(" component \"" + name + "\": NOT_INSTALLED -> NOT_INSTALLED"), installed);
            } else {
                EXPECT_EQ(log.find(" component \"" + name + "\": NOT_INSTALLED -> CURRENT"), installed);
                EXPECT_EQ(ReadFile((App() / "tools" / (std::to_string(i) + ".bin")).string()),
                          bodies.at(static_cast<std::size_t>(i)));
            }
        }
        // Nothing left beside the files: no temporary file of a download, no file of the failed one.
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(App() / "tools")) {
            left.push_back(entry.path().filename().string());
        }
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{"0.bin", "1.bin", "2.bin", "4.bin", "5.bin"}));
    }
}

// A registry database that cannot be read is said once, on standard error and in the log, and left as it is.
TEST_F(Console, ADamagedRegistryDatabaseIsReportedOnceAndLeftAlone) {
    ASSERT_GT(m_server.Port(), 0);
    ServeList(AppRecord("Tool", ServeComponent("tool.bin", "1.2.0.0"), 1, 2) +
              AppRecord("Other", ServeComponent("other.bin", "1.0.0.0"), 1, 0));
    test::ScratchRegistry registry;
    const std::string damaged = "SQLite format 3" + std::string(4096, '\x5a');
    WriteFile(registry.Database().string(), damaged);

    const Outcome run = Launch({"--check"}, m_server.Url());
    EXPECT_EQ(run.exitCode, 3) << run.err;
    const std::string message = "The registry database " + registry.Database().string() +
                                " cannot be read: it is damaged, or it is not a registry database. Component versions "
                                "cannot be detected.\n";
    const std::size_t shown = run.err.find(message);
    EXPECT_NE(shown, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(message, shown + 1), std::string::npos) << run.err;
    EXPECT_NE(ReadFile(LogFile()).find("Z " + message), std::string::npos);
    EXPECT_TRUE(ReadFile(registry.Database().string()) == damaged);
}

TEST_F(Console, BadUsageExitsOneWithoutTouchingAnything) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--check", "--update"},
                                               {"--json"},
                                               {"--bogus"},
                                               {"--check", "--server"},
                                               {"--check", "--server", "ftp://127.0.0.1"},
                                               {"--update", "drawing.qdz"},
                                               {}}) { // the last: no window module in this folder
        SCOPED_TRACE(testing::PrintToString(arguments));
        const Outcome run = Launch(arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("QuillornaCC: "), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(ListFile()));
    EXPECT_FALSE(fs::exists(LogFile()));

    const Outcome help = Launch({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--check"), std::string::npos);
    const Outcome version = Launch({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("QuillornaCC ", 0), 0u);
    // The test build has no vendor keys, and says so.
    EXPECT_NE(version.out.find("\ncomponent lists: unsigned (this build has no vendor keys)\n"), std::string::npos);
}

// A launcher built with keys: an unsigned or altered list is refused with exit code 2 and the previous list kept;
// a signed one installs its checked component.
TEST_F(Console, LauncherWithKeysAcceptsOnlyASignedList) {
    ASSERT_GT(m_server.Port(), 0);
    fs::copy_file(ZARN_SIGNED_LAUNCHER_PATH, App() / "QuillornaCC", fs::copy_options::overwrite_existing);
    const std::string url = ServeComponent("tool.bin", "1.2.0.0");
    const std::string tool = ReadFile((m_vendor.Path() / "quillornacc/components/tool.bin").string());
    std::string list = "serial=1\nexpires=2099-01-01T00:00:00Z\n" + AppRecord("Tool", url, 1, 2);
    list.insert(list.find("[ENDCOMP]"),
                "sha256=" + test::Sha256Hex(tool) + "\nsize=" + std::to_string(tool.size()) + "\n");
    const std::string served = (m_vendor.Path() / "quillornacc/complist/complist.txt").string();

    ServeList(list);
    const Outcome unsigned_ = Launch({"--check"}, m_server.Url());
    EXPECT_EQ(unsigned_.exitCode, 2);
    EXPECT_NE(unsigned_.err.find("The component list from the server was refused, and the previous one is kept: its "
                                 "signature complist.txt.sig could not be fetched"),
              std::string::npos)
        << unsigned_.err;
    EXPECT_FALSE(fs::exists(ListFile()));

    WriteFile(served + ".sig", test::Sign("first", list));
    const Outcome update = Launch({"--update", "--quiet"}, m_server.Url());
    EXPECT_EQ(update.exitCode, 0) << update.err;
    EXPECT_EQ(update.err, "");
    EXPECT_EQ(ReadFile((App() / "tools/tool.bin").string()), tool);
    EXPECT_EQ(ReadFile(ListFile()), list);

    std::string altered = list;
    altered[altered.find("major_ver=1")] = 'M';
    ServeList(altered);
    const Outcome check = Launch({"--check"}, m_server.Url());
    EXPECT_EQ(check.exitCode, 2);
    EXPECT_NE(check.err.find("its signature does not verify with the vendor's keys"), std::string::npos) << check.err;
    EXPECT_NE(check.out.find("CURRENT"), std::string::npos) << check.out;
    EXPECT_EQ(ReadFile(ListFile()), list);
}

// A folder holding the repository as the vendor published it, its URLs naming the vendor's web server (not running
// here), serves the update as that server would, given as a path or as a file URL, with the same checks: the list's
// signature, and each component's listed size and SHA-256 (a tampered file in the folder is refused).
TEST_F(Console, AFolderWithTheRepositoryServesTheUpdateWithTheSameChecks) {
    fs::copy_file(ZARN_SIGNED_LAUNCHER_PATH, App() / "QuillornaCC", fs::copy_options::overwrite_existing);
    const std::string component = (m_vendor.Path() / "quillornacc/components/tool.bin").string();
    ASSERT_TRUE(test::WriteVersionedPe(component, "1.2.0.0"));
    const std::string tool = ReadFile(component);
    std::string list = "serial=1\nexpires=2099-01-01T00:00:00Z\n" +
                       AppRecord("Tool", "http://vendor.invalid:8080/quillornacc/components/tool.bin", 1, 2);
    list.insert(list.find("[ENDCOMP]"),
                "sha256=" + test::Sha256Hex(tool) + "\nsize=" + std::to_string(tool.size()) + "\n");
    const std::string folder = m_vendor.Path().string();
    const std::string signature = (m_vendor.Path() / "quillornacc/complist/complist.txt.sig").string();

    std::string altered = list;
    altered[altered.find("major_ver=1")] = 'M';
    ServeList(altered);
    WriteFile(signature, test::Sign("first", list));
    const Outcome forged = Launch({"--check"}, folder);
    EXPECT_EQ(forged.exitCode, 2);
    EXPECT_NE(forged.err.find("its signature does not verify with the vendor's keys"), std::string::npos) << forged.err;
    EXPECT_FALSE(fs::exists(ListFile()));

    ServeList(list);
    std::string forgedTool = tool;
    forgedTool[forgedTool.size() / 2] ^= 1;
    WriteFile(component, forgedTool);
    const Outcome tampered = Launch({"--update"}, folder);
    EXPECT_EQ(tampered.exitCode, 3) << tampered.err;
    EXPECT_NE(tampered.err.find("The file does not match the component list and was not kept"), std::string::npos)
        << tampered.err;
    EXPECT_FALSE(fs::exists(App() / "tools/tool.bin"));

    WriteFile(component, tool);
    const Outcome update = Launch({"--update", "--quiet"}, "file://" + folder);
    EXPECT_EQ(update.exitCode, 0) << update.err;
    EXPECT_EQ(ReadFile((App() / "tools/tool.bin").string()), tool);
    EXPECT_EQ(ReadFile(ListFile()), list);
    EXPECT_NE(ReadFile(LogFile()).find("download file://" + folder + "/quillornacc/components/tool.bin -> "),
              std::string::npos);
}

// A list from a web server may not name a file of this computer: that component is refused, with its reason, and
// nothing is read or installed; the others are.
TEST_F(Console, AListFromAServerNamingAFileIsRefused) {
    ASSERT_GT(m_server.Port(), 0);
    ASSERT_TRUE(test::WriteVersionedPe(m_base.File("local.bin"), "1.0.0.0"));
    const std::string fileUrl = "file://" + m_base.File("local.bin");
    ServeList(AppRecord("Local", fileUrl, 1, 0) + AppRecord("Tool", ServeComponent("tool.bin", "1.2.0.0"), 1, 2));
    const Outcome update = Launch({"--update", "--verbose"}, m_server.Url());
    EXPECT_EQ(update.exitCode, 3) << update.err;
    EXPECT_NE(update.err.find("refused, its URL " + fileUrl + " names a file, which a list from a server may not"),
              std::string::npos)
        << update.err;
    EXPECT_FALSE(fs::exists(App() / "tools/local.bin"));
    EXPECT_TRUE(fs::exists(App() / "tools/tool.bin"));
    EXPECT_NE(ReadFile(LogFile()).find("refused, its URL " + fileUrl), std::string::npos);
}

// Mirrors, the settings' Mirrors after the --server one: a first server that answers 503 to everything (after its
// retries), or that serves a component other than the listed one, is followed by the mirror, which keeps the same
// files at the same paths. The install is the listed file, and the log names the server it came from.
TEST_F(Console, AMirrorServesWhatTheFirstServerCannot) {
    test::ScratchRegistry registry;
    const std::string component = (m_vendor.Path() / "quillornacc/components/tool.bin").string();
    ASSERT_TRUE(test::WriteVersionedPe(component, "1.2.0.0"));
    const std::string tool = ReadFile(component);
    std::atomic<bool> busy{true};
    std::string list;
    test::LocalServer first;
    first.Http().Get(R"(.*)", [&](const httplib::Request& request, httplib::Response& response) {
        if (busy) {
            response.status = 503;
        } else if (request.path.ends_with("complist.txt")) {
            response.set_content(list, "text/plain");
        } else {
            std::string forged = tool;
            forged[forged.size() / 2] ^= 1;
            response.set_content(forged, "application/octet-stream");
        }
    });
    first.Start();
    list = AppRecord("Tool", first.Url("/quillornacc/components/tool.bin"), 1, 2);
    list.insert(list.find("[ENDCOMP]"),
                "sha256=" + test::Sha256Hex(tool) + "\nsize=" + std::to_string(tool.size()) + "\n");
    ServeList(list);
    const Outcome stored =
        test::RunProgram(ZARN_REG_PATH,
                         {"add", "HKCU\\Software\\Ostrevant\\zarn", "/v", "Mirrors", "/t", "REG_MULTI_SZ", "/d",
                          "ftp://ignored\\0" + m_server.Url() + "/"},
                         test::EnvironmentWith({}), m_base.File("regout.txt"), m_base.File("regerr.txt"));
    ASSERT_EQ(stored.exitCode, 0) << stored.err;
    for (const bool firstBusy : {true, false}) {
        SCOPED_TRACE(firstBusy);
        busy = firstBusy;
        fs::remove_all(App() / "tools");
        fs::remove(LogFile());
        const Outcome run = Launch({"--update", "--quiet"}, first.Url(""));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(ReadFile((App() / "tools/tool.bin").string()), tool);
        const std::string log = ReadFile(LogFile());
        EXPECT_NE(log.find(": downloaded from " + m_server.Url() + "/quillornacc/components/tool.bin"),
                  std::string::npos)
            << log;
        EXPECT_EQ(log.find(": downloaded from " + m_server.Url() + "//quillornacc//complist//complist.txt") !=
                      std::string::npos,
                  firstBusy)
            << log;
    }
}

// Two signed launchers on one application directory, the first answered slowly with a list of an attacker's making
// (the second must not run its check meanwhile, or the first's download lands at a name the second has verified):
// the second waits for the first's check to end, the unsigned list is refused, the signed one is accepted as served.
TEST_F(Console, TwoLaunchersOnOneDirectoryCheckOneAtATime) {
    fs::copy_file(ZARN_SIGNED_LAUNCHER_PATH, App() / "QuillornaCC", fs::copy_options::overwrite_existing);
    const std::vector<std::uint8_t> pe = test::MakeVersionedPe("1.2.0.0");
    const std::string tool(pe.begin(), pe.end());
    test::LocalServer server;
    std::string genuine;
    std::string attack;
    std::atomic<int> listRequests{0}, listsInFlight{0}, mostInFlight{0};
    std::atomic<bool> releaseFirst{false}, evilAsked{false};
    server.Http().Get(R"(.*)", [&](const httplib::Request& request, httplib::Response& response) {
        if (request.path.ends_with("complist.txt")) {
            const int inFlight = ++listsInFlight;
            mostInFlight = std::max(mostInFlight.load(), inFlight);
            const int n = ++listRequests;
            if (n == 1) {
                for (int i = 0; i < 3000 && !releaseFirst && !server.Releasing(); ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            }
            response.set_content(n == 1 ? attack : genuine, "text/plain");
            --listsInFlight;
        } else if (request.path.ends_with("complist.txt.sig")) {
            response.set_content(test::Sign("first", genuine), "application/octet-stream");
        } else if (request.path.ends_with("tool.bin")) {
            response.set_content(tool, "application/octet-stream");
        } else {
            evilAsked = true;
            response.status = 404;
        }
    });
    server.Start();
    genuine = "serial=1\nexpires=2099-01-01T00:00:00Z\n" + AppRecord("Tool", server.Url("/tool.bin"), 1, 2);
    genuine.insert(genuine.find("[ENDCOMP]"),
                   "sha256=" + test::Sha256Hex(tool) + "\nsize=" + std::to_string(tool.size()) + "\n");
    attack = AppRecord("Evil", server.Url("/evil.bin"), 9, 0);

    Outcome second;
    // Once the first launcher's list is held, the second starts; the first's answer comes once the second says
    // that it waits, or has asked for the list itself.
    const auto whileFirstRuns = [&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (listRequests == 0 && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::thread secondRun([&] { second = LaunchAs("second-", {"--update", "--server", server.Url("")}); });
        while (listRequests < 2 && ReadFile(m_base.File("second-stderr.txt")).find("Another") == std::string::npos &&
               std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        releaseFirst = true;
        secondRun.join();
    };
    const Outcome first = LaunchAs("first-", {"--update", "--server", server.Url("")}, nullptr, whileFirstRuns);

    EXPECT_EQ(mostInFlight, 1);
    EXPECT_EQ(first.exitCode, 2);
    EXPECT_NE(first.err.find("its signature does not verify with the vendor's keys"), std::string::npos) << first.err;
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_NE(second.err.find("Another update check of this application directory is running; waiting up to 30 "
                              "seconds for it to end\n"),
              std::string::npos)
        << second.err;
    EXPECT_FALSE(evilAsked);
    EXPECT_EQ(ReadFile(ListFile()), genuine);
    EXPECT_EQ(ReadFile((App() / "tools/tool.bin").string()), tool);
}

// A check that cannot take the application directory's lock within its wait gives up with exit code 4 and shows the
// list on disk, without fetching anything.
TEST_F(Console, ACheckThatFindsTheDirectoryLockedGivesUpWithExitCodeFour) {
    const std::string previous = AppRecord("Kept", "http://127.0.0.1:1/kept.bin", 1, 0);
    WriteFile(ListFile(), previous);
    const int lock = ::open((App() / "complist/zarn-update.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    const Outcome run = Launch({"--check"}, std::string("http://127.0.0.1:1"));
    ::close(lock);
    EXPECT_EQ(run.exitCode, 4);
    EXPECT_EQ(run.err,
              std::string(kUnsignedWarning) +
                  "Another update check of this application directory is running; waiting up to 30 seconds "
                  "for it to end\nAnother update check of this application directory is running; this check was "
                  "given up after 30 seconds, and the previous list is kept\n");
    EXPECT_EQ(run.out, "Component  Version  Status\nKept       1.0.0.0  NOT_INSTALLED\n");
    EXPECT_EQ(ReadFile(ListFile()), previous);
}

// A user who may not write the application directory: with its list folder read-only too, the check is not run
// and one message says why; with only one component's folder read-only, the others install and one message names
// that one. Neither ends as done.
TEST_F(Console, FoldersTheUserMayNotWriteAreSaidOnceAndTheUpdateDoesNotEndAsDone) {
    ASSERT_GT(m_server.Port(), 0);
    m_asUser = true;
    const std::string previous = AppRecord("Kept", "http://127.0.0.1:1/kept.bin", 1, 0);
    WriteFile(ListFile(), previous);
    std::string locked = AppRecord("Locked", ServeComponent("locked.bin", "1.0.0.0"), 1, 0);
    locked.replace(locked.find("dir=tools"), 9, "dir=locked");
    ServeList(AppRecord("Tool", ServeComponent("tool.bin", "1.2.0.0"), 1, 2) + locked);
    fs::create_directories(App() / "locked");
    const auto readOnly = [](const fs::path& path, bool only) {
        fs::permissions(path, only ? fs::perms::owner_read | fs::perms::owner_exec : fs::perms::owner_all);
    };
    readOnly(App(), true);
    readOnly(App() / "complist", true);
    readOnly(App() / "locked", true);

    const Outcome noList = Launch({"--update"}, m_server.Url());
    EXPECT_EQ(noList.exitCode, 5) << noList.err;
    EXPECT_EQ(noList.err, std::string(kUnsignedWarning) + "You do not have the right to write to " +
                              (App() / "complist").string() +
                              ", so the update check was not run and the previous list is kept.\nAsk your "
                              "administrator to update Quillorna, or to give you that right.\n");
    EXPECT_EQ(noList.out, "Component  Version  Status\nKept       1.0.0.0  NOT_INSTALLED\n");
    EXPECT_EQ(ReadFile(ListFile()), previous);

    readOnly(App(), false);
    readOnly(App() / "complist", false);
    const Outcome oneFolder = Launch({"--update"}, m_server.Url());
    readOnly(App() / "locked", false);
    EXPECT_EQ(oneFolder.exitCode, 5) << oneFolder.err;
    const std::string reason = "needs the right to write to " + (App() / "locked").string();
    EXPECT_EQ(oneFolder.err, std::string(kUnsignedWarning) +
                                 "You do not have the rights these updates need, so they were not installed:\n"
                                 "\"Locked\": " +
                                 reason + "\nAsk your administrator to install them, or to give you those rights.\n");
    EXPECT_EQ(oneFolder.out, "Component  Version  Status\n"
                             "Tool       1.2.0.0  CURRENT\n"
                             "Locked     1.0.0.0  NOT_INSTALLED\n\n"
                             "Locked: " +
                                 reason + "\n");
    EXPECT_TRUE(fs::is_empty(App() / "locked"));
}

// A server that asks for a password for the list and serves one plain component without.
class PasswordConsole : public Console {
protected:
    PasswordConsole() {
        m_component = test::MakeVersionedPe("1.2.0.0");
        m_component.resize(64 * 1024);
        m_local.Http().Get(R"(.*)", [this](const httplib::Request& request, httplib::Response& response) {
            if (request.path.ends_with("tool.bin")) {
                response.set_content(std::string(m_component.begin(), m_component.end()), "application/octet-stream");
            } else if (request.get_header_value("Authorization") != "Basic YWxpY2U6c2VjcmV0") { // alice:secret
                response.status = 401;
                response.set_header("WWW-Authenticate", "Basic realm=\"vendor\"");
            } else {
                response.set_content(AppRecord("Tool", m_local.Url("/tool.bin"), 1, 2), "text/plain");
            }
        });
        m_local.Start();
    }

    std::vector<std::uint8_t> m_component;
    test::LocalServer m_local;
};

TEST_F(PasswordConsole, WithoutATerminalTheQuestionIsDeclined) {
    const Outcome run = Launch({"--check"}, m_local.Url(""));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("Failed to receive a valid HTTP response from the server, Response Code:401"),
              std::string::npos)
        << run.err;
}

TEST_F(PasswordConsole, OnATerminalItAsksWithoutEchoingThePasswordAndDrawsTheProgress) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string terminal = ::ptsname(master);
    std::string shown;
    // Reads what the launcher shows and answers its two questions, until it has closed the terminal.
    m_whileRunning = [&] {
        bool user = false, password = false;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < until) {
            pollfd poll{master, POLLIN, 0};
            if (::poll(&poll, 1, 100) <= 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) {
                break; // every descriptor of the other side is closed: the launcher has ended
            }
            shown.append(buffer, static_cast<size_t>(n));
            if (!user && shown.find("User name: ") != std::string::npos) {
                user = ::write(master, "alice\n", 6) == 6;
            }
            if (!password && shown.find("Password: ") != std::string::npos) {
                password = ::write(master, "secret\n", 7) == 7;
            }
        }
    };
    const Outcome run = Launch({"--update", "--server", m_local.Url("")}, terminal.c_str());
    ::close(master);
    EXPECT_EQ(run.exitCode, 0) << shown;
    EXPECT_EQ(run.out, "Component  Version  Status\nTool       1.2.0.0  CURRENT\n");
    EXPECT_NE(shown.find("The web server 127.0.0.1 asks for a user name and password."), std::string::npos) << shown;
    EXPECT_NE(shown.find("alice"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("secret"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\r1% of tool.bin Completed"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\r100% of tool.bin Completed"), std::string::npos) << shown;
}

// On a terminal, the downloads running ahead get a progress line each, below the line of the one installed next.
TEST_F(Console, OnATerminalEachRunningDownloadHasAProgressLine) {
    const test::ScopedEnv term("TERM", "xterm");
    std::vector<std::uint8_t> bytes = test::MakeVersionedPe("1.0.0.0");
    bytes.resize(48 * 1024);
    const std::string body(bytes.begin(), bytes.end());
    test::LocalServer server;
    // 48 KiB in pieces of 2 KiB every 100 ms: long enough for a few refreshes of the rate (once a second).
    server.Http().Get(R"(/c\d\.bin)", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(body.size(), "application/octet-stream",
                                      [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                          std::this_thread::sleep_for(std::chrono::milliseconds(100));
                                          return sink.write(body.data() + offset, std::min<std::size_t>(length, 2048));
                                      });
    });
    server.Start();
    ServeList(AppRecord("C0", server.Url("/c0.bin"), 1, 0) + AppRecord("C1", server.Url("/c1.bin"), 1, 0) +
              AppRecord("C2", server.Url("/c2.bin"), 1, 0));
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    std::string shown;
    m_whileRunning = [&] {
        char buffer[4096];
        for (pollfd poll{master, POLLIN, 0}; ::poll(&poll, 1, 30000) > 0;) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0) {
                break; // the launcher has ended
            }
            shown.append(buffer, static_cast<size_t>(n));
        }
    };
    const Outcome run = Launch({"--update", "--server", m_server.Url()}, ::ptsname(master));
    ::close(master);
    EXPECT_EQ(run.exitCode, 0) << shown;
    // While c0.bin's line is drawn, the two others below it, and the cursor back up over both.
    // (The terminal turns each line end into CR LF.)
    EXPECT_TRUE(std::regex_search(shown, std::regex("\r\n\\d+% of c1\\.bin Completed[^\r\n]*\x1b\\[K\r\n"
                                                    "\\d+% of c2\\.bin Completed[^\r\n]*\x1b\\[K\x1b\\[J\x1b\\[2A\r"
                                                    "\\d+% of c0\\.bin Completed")))
        << shown;
}

// Each policy value changes what --update does, over the command line; one of the wrong type or malformed is
// ignored and said. Tool is listed at 1.3 and served at 1.3.0.0.
TEST_F(Console, PolicyValuesWinOverTheCommandLineAndWrongOnesAreIgnored) {
    test::ScratchRegistry registry;
    ASSERT_GT(m_server.Port(), 0);
    ServeList(AppRecord("Tool", ServeComponent("tool.bin", "1.3.0.0"), 1, 3));
    const std::string served = ReadFile((m_vendor.Path() / "quillornacc/components/tool.bin").string());
    const std::string local = (App() / "tools/tool.bin").string();
    const std::string dead = "http://127.0.0.1:1";
    const struct {
        const char* what;
        std::vector<PolicyValue> policy;
        const char* installed; // nullptr: no file
        std::string server;    // given by --server
        int exitCode;
        const char* status; // nullptr: no list read
        bool installs;
        std::string err; // said on standard error
    } cases[] = {
        {"Server",
         {{"Server", "REG_SZ", m_server.Url()}},
         nullptr,
         dead,
         0,
         "CURRENT",
         true,
         "QuillornaCC: policy applies: Server = " + m_server.Url() + "\n"},
        {"Server of another type",
         {{"Server", "REG_DWORD", "1"}},
         nullptr,
         dead,
         2,
         nullptr,
         false,
         "QuillornaCC: policy value Server ignored: it is no REG_SZ\n"},
        {"Server that is no server",
         {{"Server", "REG_SZ", "ftp://127.0.0.1"}},
         nullptr,
         dead,
         2,
         nullptr,
         false,
         "policy value Server ignored: \"ftp://127.0.0.1\" is not a server as --server takes it\n"},
        {"UpdatesDisabled",
         {{"UpdatesDisabled", "REG_DWORD", "1"}},
         nullptr,
         m_server.Url(),
         3,
         "NOT_INSTALLED",
         false,
         "Updates are switched off by your administrator's policy.\nThe components' statuses are shown; nothing is "
         "downloaded or installed.\n"},
        {"UpdatesDisabled of another type",
         {{"UpdatesDisabled", "REG_SZ", "1"}},
         nullptr,
         m_server.Url(),
         0,
         "CURRENT",
         true,
         "policy value UpdatesDisabled ignored: it is no REG_DWORD 0 or 1\n"},
        {"pinned at the installed version",
         {{"toolname", "REG_SZ", "1.2.0.0", "TargetVersion"}},
         "1.2.0.0",
         m_server.Url(),
         0,
         "CURRENT",
         false,
         "QuillornaCC: policy applies: TargetVersion\\toolname = 1.2.0.0\n"},
        {"pinned at the installed version written with commas",
         {{"toolname", "REG_SZ", "1.2.0.0", "TargetVersion"}},
         "1, 2, 0, 0",
         m_server.Url(),
         0,
         "CURRENT",
         false,
         "TargetVersion\\toolname = 1.2.0.0\n"},
        {"pinned above the installed version",
         {{"toolname", "REG_SZ", "1.2.0.0", "TargetVersion"}},
         "1.1.0.0",
         m_server.Url(),
         3,
         "OUT_OF_DATE",
         false,
         "TargetVersion\\toolname = 1.2.0.0\n"},
        {"pinned above the list",
         {{"ToolName", "REG_SZ", "1.3.0.1", "TargetVersion"}},
         "1.1.0.0",
         m_server.Url(),
         0,
         "CURRENT",
         true,
         "TargetVersion\\ToolName = 1.3.0.1\n"},
        {"pinned to no version",
         {{"ToolName", "REG_SZ", "1.2", "TargetVersion"}},
         "1.1.0.0",
         m_server.Url(),
         0,
         "CURRENT",
         true,
         "policy value TargetVersion\\ToolName ignored: \"1.2\" is not a version a.b.c.d\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetPolicy({});
        for (const PolicyValue& value : c.policy) {
            SetPolicy(value);
        }
        fs::remove_all(App() / "tools");
        fs::create_directories(App() / "tools");
        fs::remove(ListFile());
        if (c.installed) {
            ASSERT_TRUE(test::WriteVersionedPe(local, c.installed));
        }
        const std::string before = ReadFile(local);
        const Outcome run = Launch({"--update"}, c.server);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        if (c.status) {
            EXPECT_EQ(run.out, "Component  Version  Status\nTool       1.3.0.0  " + std::string(c.status) + "\n");
        }
        EXPECT_EQ(ReadFile(local), c.installs ? served : before);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    const std::string log = ReadFile(LogFile());
    EXPECT_NE(log.find(" component \"Tool\" pinned by policy to 1.2.0.0: the list's 1.3.0.0 is not installed; "
                       "detection reads 1.1.0.0, OUT_OF_DATE\n"),
              std::string::npos)
        << log;
}

// A policy proxy carries every transfer, the list's and the components' alike, whatever server they name.
TEST_F(Console, PolicyProxyCarriesEveryTransfer) {
    test::ScratchRegistry registry;
    const std::string dead = "http://127.0.0.1:1";
    const std::string list = AppRecord("Tool", dead + "/quillornacc/components/tool.bin", 1, 3);
    const std::string body = m_base.File("served.bin");
    ASSERT_TRUE(test::WriteVersionedPe(body, "1.3.0.0"));
    std::mutex mutex;
    std::vector<std::string> asked;
    test::LocalServer proxy;
    proxy.Http().Get(R"(.*)", [&](const httplib::Request& request, httplib::Response& response) {
        std::lock_guard lock(mutex);
        asked.push_back(request.target);
        response.set_content(request.target.ends_with(".txt") ? list : ReadFile(body), "application/octet-stream");
    });
    proxy.Start();
    SetPolicy({"ProxyServer", "REG_SZ", proxy.Url("").substr(std::string("http://").size())});
    const Outcome run = Launch({"--update"}, dead);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile((App() / "tools/tool.bin").string()), ReadFile(body));
    EXPECT_EQ(asked, (std::vector<std::string>{dead + "//quillornacc//complist//complist.txt",
                                               dead + "/quillornacc/components/tool.bin"}));
}

// The vendor's own https server, whose certificate (made with the openssl tool for the test) no system trusts.
class HttpsConsole : public Console {
protected:
    HttpsConsole() {
        const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                                    " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                                    m_keys.File("key.pem") + "' -out '" + Certificate() + "' 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        m_secure = std::make_unique<test::LocalServer>(
            std::make_unique<httplib::SSLServer>(Certificate().c_str(), m_keys.File("key.pem").c_str()));
        m_secure->Http().Get(R"(.*)", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("", "text/plain");
        });
        m_secure->Start();
    }
    std::string Certificate() const { return m_keys.File("cert.pem"); }

    test::TempDir m_keys;
    std::unique_ptr<test::LocalServer> m_secure;
};

TEST_F(HttpsConsole, TheCertificateAuthorityComesFromTheSwitchOrTheSettings) {
    // The stored setting must not outlive the run's certificate.
    test::ScratchRegistry registry;
    const std::string server = m_secure->Url("", "https");
    const Outcome untrusted = Launch({"--check"}, server);
    EXPECT_EQ(untrusted.exitCode, 2);
    EXPECT_NE(untrusted.err.find("An error occurred connecting to the server"), std::string::npos) << untrusted.err;
    EXPECT_EQ(Launch({"--check", "--ca-file", Certificate()}, server).exitCode, 0);

    // An earlier launcher's settings file is carried over into the registry once and set aside.
    const fs::path settingsFile = m_base.Path() / "config/Ostrevant/zarn.conf";
    fs::create_directories(settingsFile.parent_path());
    WriteFile(settingsFile.string(), "[General]\ncaFile=" + Certificate() + "\n");
    EXPECT_EQ(Launch({"--check"}, server).exitCode, 0);
    EXPECT_FALSE(fs::exists(settingsFile));
    EXPECT_TRUE(fs::exists(settingsFile.string() + ".carried-over"));
    EXPECT_EQ(Launch({"--check"}, server).exitCode, 0);
    // The switch wins over the settings.
    EXPECT_EQ(Launch({"--check", "--ca-file", m_keys.File("none.pem")}, server).exitCode, 2);
    // The administrators' policy wins over both.
    SetPolicy({"CaFile", "REG_SZ", Certificate()});
    EXPECT_EQ(Launch({"--check", "--ca-file", m_keys.File("none.pem")}, server).exitCode, 0);
    SetPolicy({"CaFile", "REG_SZ", m_keys.File("none.pem")});
    EXPECT_EQ(Launch({"--check", "--ca-file", Certificate()}, server).exitCode, 2);
    SetPolicy({});

    // A file that cannot be carried over (here: larger than any the launcher wrote) is said, kept and not read;
    // the stored setting still holds.
    WriteFile(settingsFile.string(), "[General]\ncaFile=/nowhere.pem\n" + std::string(1 << 20, ';') + "\n");
    const Outcome kept = Launch({"--check"}, server);
    EXPECT_EQ(kept.exitCode, 0);
    EXPECT_NE(kept.err.find("the settings in " + settingsFile.string() + " could not be carried over"),
              std::string::npos)
        << kept.err;
    EXPECT_TRUE(fs::exists(settingsFile));
}

} // namespace
} // namespace zarn
