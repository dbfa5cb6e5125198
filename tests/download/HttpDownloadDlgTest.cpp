// The download dialog's behaviour, seen through a window that records what it is told: downloads from a
// loopback server into real files, stops, failures, credentials and the end decision.
#include "download/HttpDownloadDlg.h"

#include "components/DocumentHost.h"
#include "download/ProgressText.h"
#include "download/SignInMemory.h"
#include "platform/FileSystem.h"
#include "tests/download/RawServer.h"
#include "tests/download/RecordingWindow.h"
#include "tests/download/Watchdog.h"
#include "tests/support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace std::chrono_literals;

namespace zarn {
namespace {

using test::RawServer;
using test::ReadFile;
using test::RecordingWindow;
using test::Watchdog;
using test::WriteFile;
namespace fs = std::filesystem;

std::string Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string Status(int code, const std::string& reason, const std::string& headers = {}) {
    return "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\n" + headers +
           "Content-Length: 12\r\nConnection: close\r\n\r\nwho are you?";
}

const std::string kAskSite = Status(401, "Unauthorized", "WWW-Authenticate: Basic realm=\"zarn\"\r\n");

// A body without a length that never ends: a piece every 20 ms until the client leaves.
RawServer EndlessServer() {
    return RawServer("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", false, {std::string(512, 'e'), 100000, 20ms});
}

// Notes what the window showed at the moment the worker's end arrived; can press the close box just
// before that end is handled, as a user who stops in the last moment does.
class WatchedDlg : public CHttpDownloadDlg {
public:
    explicit WatchedDlg(RecordingWindow& window) : CHttpDownloadDlg(window), m_recorded(window) {}
    bool runningAtEnd = false;
    std::string statusAtEnd;
    bool closeAtEnd = false;

protected:
    void OnTransferEnded(bool failed) override {
        if (closeAtEnd)
            OnClose();
        runningAtEnd = m_recorded.running;
        // The status line as it stands once the calls posted before the end have run.
        statusAtEnd = m_recorded.status;
        CHttpDownloadDlg::OnTransferEnded(failed);
    }

private:
    RecordingWindow& m_recorded;
};

// A dialog that shows figures for a file name of its own, without running a transfer.
class NamedDlg : public CHttpDownloadDlg {
public:
    NamedDlg(DownloadWindow& window, const std::string& shownName) : CHttpDownloadDlg(window) {
        m_strShownName = shownName;
    }
};

// Holds the worker on its way into the credentials prompt until the dialog's run has ended, then lets
// it ask just before the dialog waits for it: the worker has passed its last stop check by then.
class LateAskDlg : public CHttpDownloadDlg {
public:
    using CHttpDownloadDlg::CHttpDownloadDlg;
    std::atomic<bool> arrived{false};

    bool AskCredentials(bool proxy, const std::string& host, std::string& user, std::string& password) override {
        std::unique_lock lock(m_mutex);
        arrived = true;
        m_changed.wait(lock, [this] { return m_released; });
        lock.unlock();
        return CHttpDownloadDlg::AskCredentials(proxy, host, user, password);
    }

protected:
    void OnDestroy() override {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_one();
        // Time for the worker to put its question to the window's thread and wait for the answer.
        std::this_thread::sleep_for(200ms);
        CHttpDownloadDlg::OnDestroy();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_released = false;
};

// Dialogs whose transfer ends in a chosen way, to check how the dialog takes each kind of end.
class EndingDlg : public CHttpDownloadDlg {
public:
    enum class End { StopThenFail, Nothing, Throw, SetOptionsFalse };
    EndingDlg(DownloadWindow& window, End end) : CHttpDownloadDlg(window), m_end(end) {}
    bool OnSetOptions(TransferSettings& settings) override {
        return m_end == End::SetOptionsFalse ? false : CHttpDownloadDlg::OnSetOptions(settings);
    }
    void RunTransfer() override {
        switch (m_end) {
        case End::StopThenFail:
            m_bStopRequested = true;
            TransferEnded(true, "An error occurred while downloading the file, Error:5");
            return;
        case End::Nothing:
            return;
        case End::Throw:
            throw std::runtime_error("out of something");
        case End::SetOptionsFalse:
            CHttpDownloadDlg::RunTransfer();
            return;
        }
    }
    const std::string& ShownName() const { return m_strShownName; }
    const std::string& HostName() const { return m_strHostName; }
    std::uint16_t HostPort() const { return m_wHostPort; }
    const std::string& ObjectPath() const { return m_strObjectPath; }

private:
    End m_end;
};

// A host whose downloads run the download dialog in one recording window, as the window's and the console's do,
// with their downloads planned ahead; `onDialog` sees each dialog before it runs.
class DialogHost : public CDocumentHost {
public:
    explicit DialogHost(RecordingWindow& window) : m_window(window) {}
    void FillComponentList(const CZarnDoc&) override {}
    void HideDesignControl() override {}
    void UpdateAllViews(const CZarnDoc&) override {}
    void PlanDownloads(const std::vector<PlannedDownload>& downloads) override { StartDownloadsAhead(downloads, ""); }
    int RunDownload(const std::string& sourceUrl, const std::string& targetPath, const DownloadCheck& check) override {
        CHttpDownloadDlg dialog(m_window);
        current = &dialog;
        const int result = RunDownloadDialog(dialog, sourceUrl, targetPath, check, "", failText, attempts, answer);
        current = nullptr;
        return result;
    }
    void ShowMessageBox(const std::string& text) override { messages.push_back(text); }
    void ShowStartDialog(int) override {}
    void BringMainWindowToFront() override {}

    CHttpDownloadDlg* current = nullptr; // the dialog running now
    std::string failText;
    std::vector<std::string> attempts;
    DownloadAnswer answer;
    std::vector<std::string> messages;

private:
    RecordingWindow& m_window;
};

class HttpDownloadDlgTest : public ::testing::Test {
protected:
    // Each case is a run of its own: nobody has signed in or declined yet.
    void SetUp() override { SignInMemory::Instance().Forget(); }

    // Points `dlg` at `path` on `server`, straight (no proxy of the machine's), into `name` in the test's folder.
    void Aim(CHttpDownloadDlg& dlg, const RawServer& server, const std::string& path, const std::string& name) {
        dlg.m_strSourceUrl = Url(server, path);
        dlg.m_strTargetPath = dir.File(name);
        dlg.m_nAccessMode = 1;
    }
    static std::string Url(const RawServer& server, const std::string& path) {
        return "http://127.0.0.1:" + std::to_string(server.Port()) + path;
    }

    test::TempDir dir;
    RecordingWindow window;
};

TEST_F(HttpDownloadDlgTest, CompleteDownloadWithoutSchemeEndsWithOkAndTheFile) {
    const std::string body(200000, 'b');
    RawServer server(Ok(body));
    CHttpDownloadDlg dlg(window);
    Aim(dlg, server, "/dir/file.txt", "file.txt");
    const std::string bare = "127.0.0.1:" + std::to_string(server.Port()) + "/dir/file.txt";
    dlg.m_strSourceUrl = bare;

    EXPECT_EQ(dlg.DoModal(), kIdOk);
    EXPECT_EQ(dlg.m_strSourceUrl, "http://" + bare);
    EXPECT_EQ(ReadFile(dir.File("file.txt")), body);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_TRUE(dlg.ShownFailText().empty());
    EXPECT_EQ(window.caption, "100% of file.txt Completed");
    EXPECT_EQ(window.position, 100);
    EXPECT_EQ(window.source, "file.txt from 127.0.0.1");
    EXPECT_EQ(window.shownName, "file.txt");
    EXPECT_EQ(window.status, "Retrieving the file");
    EXPECT_TRUE(window.animationOpen);
    EXPECT_FALSE(window.playing);
    // The caption changes once a percentage point, and never says 0%.
    EXPECT_EQ(std::set<std::string>(window.captions.begin(), window.captions.end()).size(), window.captions.size());
    EXPECT_EQ(std::count(window.captions.begin(), window.captions.end(), "0% of file.txt Completed"), 0);
    // Only the target is left in the directory: no temporary file stays behind.
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"file.txt"}));
}

TEST_F(HttpDownloadDlgTest, UnusableUrlEndsSilentlyWithoutAFile) {
    CHttpDownloadDlg dlg(window);
    dlg.m_strSourceUrl = "http://bad host/file.txt";
    dlg.m_strTargetPath = dir.File("file.txt");
    EXPECT_EQ(dlg.DoModal(), kIdCancel);
    EXPECT_EQ(dlg.m_strSourceUrl, "http://http://bad host/file.txt");
    EXPECT_EQ(window.runs, 0);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_FALSE(fs::exists(dir.File("file.txt")));
}

TEST_F(HttpDownloadDlgTest, FailuresAreShownOnceAndKeptForTheLog) {
#ifdef _WIN32
    const std::string noDirectory = "3", isDirectory = "5";
#else
    const std::string noDirectory = "2", isDirectory = "21"; // ENOENT, EISDIR
#endif
    struct Case {
        std::string reply;
        std::string target;
        std::function<void()> prepare;
        std::string message;
        int connections;           // -1: any
        std::size_t attemptsNoted; // failed attempts, each noted for the log
    };
    const Case cases[] = {
        {Status(404, "Not Found"), "gone.cab", [] {},
         "Failed to receive a valid HTTP response from the server, Response Code:404", 1, 1},
        // Busy every time: each attempt is noted, with what followed it.
        {Status(503, "Service Unavailable"), "busy.cab", [] {},
         "Failed to receive a valid HTTP response from the server, Response Code:503", 4, 4},
        // The open fails before any request is made.
        {Ok("content"), "no-such-dir/file.txt", [] {},
         "An error occured while opening the file to be downloaded, Error:" + noDirectory, 0, 0},
        // A directory where the file should go: the body arrives, but cannot be put in its place.
        {Ok("program"), "setup.bin", [this] { fs::create_directory(dir.File("setup.bin")); },
         "An error occurred while downloading the file, Error:" + isDirectory, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        RecordingWindow shown;
        RawServer server(c.reply);
        c.prepare();
        CHttpDownloadDlg dlg(shown);
        Aim(dlg, server, "/" + c.target, c.target);
        EXPECT_EQ(dlg.DoModal(), kIdCancel);
        EXPECT_EQ(shown.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(dlg.ShownFailText(), c.message);
        EXPECT_EQ(server.Connections(), c.connections);
        EXPECT_FALSE(fs::is_regular_file(dir.File(c.target)));
        const std::vector<std::string>& notes = dlg.AttemptNotes();
        ASSERT_EQ(notes.size(), c.attemptsNoted);
        for (std::size_t i = 0; i < notes.size(); ++i) {
            const std::string failed = "attempt " + std::to_string(i + 1) + " failed: " + c.message;
            EXPECT_EQ(notes[i].substr(0, failed.size()), failed);
            EXPECT_EQ(notes[i].find("; attempt " + std::to_string(i + 2) + " in ") != std::string::npos,
                      i + 1 < notes.size())
                << notes[i];
        }
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"setup.bin"}));
}

TEST_F(HttpDownloadDlgTest, CloseBoxAndEscapeStopTheTransferWithoutMessage) {
    const std::function<void(CHttpDownloadDlg&)> stops[] = {[](CHttpDownloadDlg& dlg) { dlg.OnClose(); },
                                                            [](CHttpDownloadDlg& dlg) { dlg.OnCancel(); }};
    for (const auto& stop : stops) {
        RecordingWindow shown;
        RawServer server = EndlessServer();
        // A file from an earlier download stays exactly as it was when this one is stopped.
        WriteFile(dir.File("endless.bin"), "earlier version");
        WatchedDlg dlg(shown);
        Aim(dlg, server, "/endless.bin", "endless.bin");
        bool stopped = false;
        bool stayedOpen = false;
        shown.onChange = [&](const std::string&) {
            if (!stopped && shown.status == "Retrieving the file" && !shown.rate.empty()) {
                stopped = true;
                stop(dlg);
                stayedOpen = shown.running;
            }
        };
        EXPECT_EQ(dlg.DoModal(), kIdCancel);
        EXPECT_TRUE(stopped);
        EXPECT_TRUE(stayedOpen);
        // Still open, and saying so, when the worker's end arrived.
        EXPECT_TRUE(dlg.runningAtEnd);
        EXPECT_EQ(dlg.statusAtEnd, "Aborting transfer");
        EXPECT_EQ(shown.status, "Aborting transfer");
        EXPECT_TRUE(shown.messages.empty());
        EXPECT_EQ(ReadFile(dir.File("endless.bin")), "earlier version");
    }
}

TEST_F(HttpDownloadDlgTest, StopBeforeTheEndIsHandledKeepsThePreviousFile) {
    RawServer server(Ok("new list"));
    WriteFile(dir.File("complist.txt"), "previous list");
    // The whole body is there, but the stop comes before the dialog has taken the worker's end: the
    // caller hears "not downloaded", so the previous file must still be in place.
    WatchedDlg dlg(window);
    dlg.closeAtEnd = true;
    Aim(dlg, server, "/complist.txt", "complist.txt");
    EXPECT_EQ(dlg.DoModal(), kIdCancel);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(ReadFile(dir.File("complist.txt")), "previous list");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"complist.txt"}));
}

TEST_F(HttpDownloadDlgTest, CredentialsAreAskedAndTheAnswerSent) {
    // The answer is sent with the request again; the next download from the server sends it unasked.
    RawServer server([](const std::string& request) {
        return request.find("Authorization: Basic YWRhOmxvdmVsYWNl\r\n") != std::string::npos ? Ok("the plan")
                                                                                              : kAskSite;
    });
    CHttpDownloadDlg dlg(window);
    Aim(dlg, server, "/secret/plan.dwg", "plan.dwg");
    window.answers = {{"ada", "lovelace"}};
    EXPECT_EQ(dlg.DoModal(), kIdOk);
    ASSERT_EQ(window.questions.size(), 1u);
    EXPECT_NE(window.questions[0].find("web server 127.0.0.1"), std::string::npos) << window.questions[0];
    EXPECT_EQ(ReadFile(dir.File("plan.dwg")), "the plan");
    EXPECT_TRUE(window.messages.empty());
    CHttpDownloadDlg again(window);
    Aim(again, server, "/secret/plan.dwg", "plan-again.dwg");
    EXPECT_EQ(again.DoModal(), kIdOk);
    EXPECT_EQ(window.questions.size(), 1u);
    EXPECT_EQ(ReadFile(dir.File("plan-again.dwg")), "the plan");
}

TEST_F(HttpDownloadDlgTest, DeclinedCredentialsAreNoSuccess) {
    RawServer site(kAskSite);
    RawServer proxy(Status(407, "Proxy Authentication Required", "Proxy-Authenticate: Basic realm=\"proxy\"\r\n"));
    struct Case {
        const RawServer& server;
        int accessMode;
        const char* asks;
    };
    for (const Case& c : {Case{site, 1, "web server 127.0.0.1"}, Case{proxy, 2, "proxy server 127.0.0.1"}}) {
        SignInMemory::Instance().Forget(); // a run of its own: a decline asks nothing more in its run
        RecordingWindow shown;
        CHttpDownloadDlg dlg(shown);
        Aim(dlg, c.server, "/secret/plan.dwg", "plan.dwg");
        dlg.m_nAccessMode = c.accessMode;
        dlg.m_strProxyHost = "127.0.0.1:" + std::to_string(proxy.Port());
        EXPECT_EQ(dlg.DoModal(), kIdCancel);
        ASSERT_EQ(shown.questions.size(), 1u);
        EXPECT_NE(shown.questions[0].find(c.asks), std::string::npos) << shown.questions[0];
        EXPECT_FALSE(fs::exists(dir.File("plan.dwg")));
    }
}

TEST_F(HttpDownloadDlgTest, RunEndingWhileAPromptIsAskedDoesNotHang) {
    RawServer server(kAskSite);
    LateAskDlg dlg(window);
    Aim(dlg, server, "/secret/plan.dwg", "plan.dwg");
    // The run ends while the worker is about to ask, as it does when the application quits.
    std::thread quitter([&] {
        while (!dlg.arrived)
            std::this_thread::sleep_for(5ms);
        window.Quit();
    });
    int result = 0;
    {
        const Watchdog watchdog(30s, "the dialog waits for a worker that waits for the dialog");
        result = dlg.DoModal();
    }
    quitter.join();
    EXPECT_EQ(result, kIdCancel);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_TRUE(dir.Entries().empty());
    // The question that came too late is never shown.
    window.Flush();
    EXPECT_TRUE(window.questions.empty());
}

// A file URL is read through the same dialog; its source line names the file's folder, as no server is involved.
TEST_F(HttpDownloadDlgTest, FileUrlIsReadAndItsFolderShown) {
    const std::string folder = dir.File("repo");
    fs::create_directory(folder);
    WriteFile(folder + "/part.cab", "cabinet bytes");
    RecordingWindow shown;
    CHttpDownloadDlg dlg(shown);
    dlg.m_strSourceUrl = platform::FileUrlOfPath(folder + "/part.cab");
    dlg.m_strTargetPath = dir.File("part.cab");
    EXPECT_EQ(dlg.DoModal(), kIdOk);
    EXPECT_EQ(ReadFile(dir.File("part.cab")), "cabinet bytes");
    EXPECT_EQ(shown.source, "part.cab from " + folder);
}

TEST_F(HttpDownloadDlgTest, ShownNameComesFromTheObjectPath) {
    struct Case {
        const char* path;
        const char* body;
        const char* sourceLine;
        const char* caption;
    };
    const Case cases[] = {
        {"/", "root", "/ from 127.0.0.1", "100% of / Completed"},
        {"/dir/", "index", " from 127.0.0.1", "100% of  Completed"},
        {"/empty.txt", "", "empty.txt from 127.0.0.1", "100% of empty.txt Completed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        RawServer server(Ok(c.body));
        RecordingWindow shown;
        CHttpDownloadDlg dlg(shown);
        Aim(dlg, server, c.path, "page.html");
        EXPECT_EQ(dlg.DoModal(), kIdOk);
        EXPECT_EQ(shown.source, c.sourceLine);
        EXPECT_EQ(shown.caption, c.caption);
        // An empty body is whole too: a file of nothing, and 100%.
        EXPECT_TRUE(fs::exists(dir.File("page.html")));
        EXPECT_EQ(ReadFile(dir.File("page.html")), c.body);
        EXPECT_EQ(shown.position, 100);
    }
}

TEST_F(HttpDownloadDlgTest, WorkerEndsAreAlwaysTurnedIntoAResult) {
    RawServer server(Ok("data"));
    struct Seen {
        int result;
        std::string host, path, shown;
        std::uint16_t port;
    };
    const auto run = [&](EndingDlg::End end) {
        EndingDlg dlg(window, end);
        Aim(dlg, server, "/f.bin", "f.bin");
        const int result = dlg.DoModal();
        return Seen{result, dlg.HostName(), dlg.ObjectPath(), dlg.ShownName(), dlg.HostPort()};
    };

    // The split URL reaches the transfer state.
    const Seen first = run(EndingDlg::End::StopThenFail);
    EXPECT_EQ(first.host, "127.0.0.1");
    EXPECT_EQ(first.port, server.Port());
    EXPECT_EQ(first.path, "/f.bin");
    EXPECT_EQ(first.shown, "f.bin");
    // A stop wins over a failure reported at the same time: no message.
    EXPECT_EQ(first.result, kIdCancel);
    EXPECT_TRUE(window.messages.empty());
    // A transfer that returns without a word still ends the dialog, as no success.
    EXPECT_EQ(run(EndingDlg::End::Nothing).result, kIdCancel);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_FALSE(fs::exists(dir.File("f.bin")));
    // A hook that refuses the options ends it the same way, before any request.
    EXPECT_EQ(run(EndingDlg::End::SetOptionsFalse).result, kIdCancel);
    EXPECT_TRUE(window.messages.empty());
    EXPECT_EQ(server.Connections(), 0);
    // Anything thrown on the worker becomes a download failure the user is told about.
    EXPECT_EQ(run(EndingDlg::End::Throw).result, kIdCancel);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].rfind("An error occurred while downloading the file, Error:", 0), 0u)
        << window.messages[0];
    EXPECT_FALSE(fs::exists(dir.File("f.bin")));
}

TEST_F(HttpDownloadDlgTest, DisplayCallsFromAnotherThreadReachTheWindowInOrder) {
    NamedDlg dlg(window, "setup.cab");
    std::thread worker([&] {
        dlg.ShowStatusArg(IDS_RESOLVING_NAME, "vendor.example");
        dlg.ShowStatusId(IDS_GETTING_FILE_INFO);
        dlg.SetProgressRange(0, 100);
        dlg.ShowPercentDone(42);
        dlg.ShowTimeRemaining(125, 1572864, 3145728);
        dlg.ShowRate(2.5);
    });
    worker.join();
    window.Flush();
    // Last status wins, in the order the calls were made.
    EXPECT_EQ(window.status, "Getting file information");
    EXPECT_EQ(window.range, (std::pair<int, int>{0, 100}));
    EXPECT_EQ(window.caption, "42% of setup.cab Completed");
    EXPECT_EQ(window.position, 42);
    EXPECT_EQ(window.timeLeft, "2 min 5 sec (1.50 MB of 3.00 MB copied)");
    EXPECT_EQ(window.rate, "2.50 KB/Sec");

    // The refresh rule through the dialog: the percentage follows every piece; rate and time left
    // wait until more than a second has passed since they were last shown.
    std::uint32_t lastTick = 0;
    std::uint64_t bytesAtLastTick = 0;
    int lastPercent = 42;
    std::thread again([&] {
        const std::uint32_t start = CurrentTick();
        lastTick = start;
        dlg.RefreshTransferFigures(start, lastTick, 999, bytesAtLastTick, lastPercent, true, 1000);
    });
    again.join();
    window.Flush();
    EXPECT_EQ(lastPercent, 99);
    EXPECT_EQ(window.caption, "99% of setup.cab Completed");
    EXPECT_EQ(bytesAtLastTick, 0u);
    EXPECT_EQ(window.rate, "2.50 KB/Sec");

    std::thread later([&] {
        const std::uint32_t start = CurrentTick() - 4000;
        lastTick = start;
        dlg.RefreshTransferFigures(start, lastTick, 2000, bytesAtLastTick, lastPercent, true, 4000);
    });
    later.join();
    window.Flush();
    EXPECT_EQ(lastPercent, 50);
    EXPECT_EQ(bytesAtLastTick, 2000u);
    EXPECT_EQ(window.caption, "50% of setup.cab Completed");
    // 2,000 bytes in 4 seconds: half a byte a millisecond, and as long again for the rest.
    EXPECT_EQ(window.rate, "512 Bytes/Sec");
    EXPECT_EQ(window.timeLeft, "4 sec (2.0 KB of 3.9 KB copied)");
}

// Downloads planned ahead: the dialog of each shows its running transfer with the others' count in its status
// line, a file that arrived whole meanwhile is put in place without a dialog, and Stop in the dialog stops every
// download of the check, the unstarted ones too, leaving no file behind.
TEST_F(HttpDownloadDlgTest, PlannedDownloadsShareOneDialogAndOneStop) {
    const Watchdog watchdog(60s, "a planned download or its stop never ends");
    {
        RawServer slow("HTTP/1.1 200 OK\r\nContent-Length: 5120\r\nConnection: close\r\n\r\n", false,
                       {std::string(512, 's'), 10, 50ms});
        RawServer fast(Ok("arrived"));
        RawServer asking([](const std::string& request) {
            return request.find("Authorization: Basic") != std::string::npos ? Ok("let in") : kAskSite;
        });
        DialogHost host(window);
        host.PlanDownloads({{Url(slow, "/slow.bin"), dir.File("slow.bin"), {}},
                            {Url(fast, "/fast.bin"), dir.File("fast.bin"), {}},
                            {Url(asking, "/asking.bin"), dir.File("asking.bin"), {}},
                            {Url(asking, "/asking-too.bin"), dir.File("asking-too.bin"), {}}});
        EXPECT_EQ(host.RunDownload(Url(slow, "/slow.bin"), dir.File("slow.bin"), {}), kIdOk);
        EXPECT_EQ(window.runs, 1);
        EXPECT_EQ(window.source, "slow.bin from 127.0.0.1");
        EXPECT_EQ(ReadFile(dir.File("slow.bin")), std::string(5120, 's'));
        // Arrived while the first one ran: no second dialog.
        EXPECT_EQ(host.RunDownload(Url(fast, "/fast.bin"), dir.File("fast.bin"), {}), kIdOk);
        EXPECT_EQ(window.runs, 1);
        EXPECT_EQ(ReadFile(dir.File("fast.bin")), "arrived");
        EXPECT_EQ(fast.Connections(), 1);
        // A server that asks for a password: its question waits for the download's own dialog, and is asked once
        // for both downloads from it.
        EXPECT_TRUE(window.questions.empty());
        window.answers = {{"alice", "secret"}};
        EXPECT_EQ(host.RunDownload(Url(asking, "/asking.bin"), dir.File("asking.bin"), {}), kIdOk);
        EXPECT_EQ(window.runs, 2);
        EXPECT_EQ(window.questions.size(), 1u);
        EXPECT_EQ(ReadFile(dir.File("asking.bin")), "let in");
        EXPECT_EQ(host.RunDownload(Url(asking, "/asking-too.bin"), dir.File("asking-too.bin"), {}), kIdOk);
        EXPECT_EQ(window.questions.size(), 1u);
        EXPECT_EQ(ReadFile(dir.File("asking-too.bin")), "let in");
        host.PlanDownloads({});
    }
    for (const char* name : {"slow.bin", "fast.bin", "asking.bin", "asking-too.bin"}) {
        fs::remove(dir.File(name));
    }

    RecordingWindow shown;
    std::vector<std::unique_ptr<RawServer>> servers;
    std::vector<PlannedDownload> planned;
    for (int i = 0; i < 4; ++i) {
        servers.push_back(std::make_unique<RawServer>("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", false,
                                                      RawServer::Drip{std::string(512, 'e'), 100000, 20ms}));
        planned.push_back({Url(*servers.back(), "/endless.bin"), dir.File("endless" + std::to_string(i) + ".bin"), {}});
        WriteFile(planned.back().targetPath, "earlier version");
    }
    DialogHost host(shown);
    host.PlanDownloads(planned);
    std::string statusWhenStopped;
    shown.onChange = [&](const std::string&) {
        if (host.current && statusWhenStopped.empty() && !shown.rate.empty() &&
            shown.status.find("more downloading") != std::string::npos) {
            statusWhenStopped = shown.status;
            host.current->OnCancel();
        }
    };
    EXPECT_EQ(host.RunDownload(planned[0].sourceUrl, planned[0].targetPath, {}), kIdCancel);
    EXPECT_EQ(statusWhenStopped, "Retrieving the file (2 more downloading)");
    EXPECT_EQ(shown.status, "Aborting transfer");
    // The others were stopped with it: they end at once, without a dialog or a message.
    for (std::size_t i = 1; i < planned.size(); ++i) {
        EXPECT_EQ(host.RunDownload(planned[i].sourceUrl, planned[i].targetPath, {}), kIdCancel);
    }
    EXPECT_EQ(shown.runs, 1);
    EXPECT_TRUE(shown.messages.empty());
    EXPECT_TRUE(host.messages.empty());
    host.PlanDownloads({});
    // Three at once; the fourth was never started.
    EXPECT_EQ(servers[3]->Connections(), 0);
    for (std::size_t i = 0; i < planned.size(); ++i) {
        EXPECT_EQ(ReadFile(planned[i].targetPath), "earlier version");
        EXPECT_LE(servers[i]->Connections(), 1);
    }
    EXPECT_EQ(dir.Entries().size(), planned.size());
}

} // namespace
} // namespace zarn
