// The application, the main frame, the start dialog and the about box against windows that write down what they
// are told: the start-up's order, the start dialog's loop, the recent documents, New/Open/Save, and the frame's
// menu, commands and status bar.
#include "app/AboutDlg.h"
#include "app/AboutWindow.h"
#include "app/FrameView.h"
#include "app/FrameWindow.h"
#include "app/MainFrame.h"
#include "app/ShellWindow.h"
#include "app/StartDlg.h"
#include "app/StartWindow.h"
#include "app/StartupSteps.h"
#include "app/ZarnApp.h"
#include "components/DocumentHost.h"
#include "components/LauncherSettings.h"
#include "components/PolicyNames.h"
#include "components/Registry.h"
#include "components/ZarnDoc.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempAppDir.h"

#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace zarn {
namespace {

const char* const kServer = "http://127.0.0.1:9";
const std::string kListUrl = std::string(kServer) + "//quillornacc//complist//complist.txt";
const char* const kList = "[STARTCOMP]\ndesc=Help Pages\n[ENDCOMP]\n";

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the windows were told, one line a call, in order. Menu building and pane texts are kept apart.
using Journal = std::vector<std::string>;

class RecordingView : public FrameView {
public:
    explicit RecordingView(Journal& journal) : m_journal(journal) {}
    void FillComponentList() override { m_journal.push_back("fill list"); }
    void ShowDesignControl() override { m_journal.push_back("show design"); }
    void HideDesignControl() override { m_journal.push_back("hide design"); }
    void OnUpdate() override { m_journal.push_back("update view"); }
    void OnDesign() override { m_journal.push_back("design command"); }
    void OnFilePrint() override { m_journal.push_back("print"); }

private:
    Journal& m_journal;
};

class RecordingFrame : public FrameWindow {
public:
    explicit RecordingFrame(Journal& journal) : m_journal(journal), m_view(journal) {}
    void SetCaption(const std::string& text) override { m_caption = text; }
    void AddPopup(const std::string& text) override { m_menu.push_back("popup " + text); }
    void AddCommand(CommandId id, const std::string& text, const std::string& prompt, bool checked,
                    bool onBar) override {
        m_menu.push_back(std::to_string(id) + " " + text + "|" + prompt + (checked ? "|checked" : "") +
                         (onBar ? "|bar" : ""));
        m_checked[id] = checked;
    }
    void AddAccelerator(const Accelerator& accelerator) override {
        m_keys.push_back(std::to_string(accelerator.command) + " " + std::to_string(accelerator.modifiers) + " " +
                         accelerator.key);
    }
    void AddStatusPane(Pane pane, const std::string& widest) override { m_paneWidths[pane] = widest; }
    void SetPaneText(Pane pane, const std::string& text) override { m_panes[pane] = text; }
    void ShowStatusBar(bool shown) override { m_statusBarShown = shown; }
    void CheckCommand(CommandId id, bool checked) override { m_checked[id] = checked; }
    FrameView& CreateView(CZarnDoc&) override {
        m_journal.push_back("create view");
        return m_view;
    }
    void ShowMaximized() override { m_journal.push_back("maximized"); }
    void BringToFront() override { m_journal.push_back("front"); }
    void PaintNow() override { m_journal.push_back("paint"); }

    std::string m_caption;
    std::vector<std::string> m_menu;
    std::vector<std::string> m_keys;
    std::map<Pane, std::string> m_paneWidths;
    std::map<Pane, std::string> m_panes;
    std::map<CommandId, bool> m_checked;
    bool m_statusBarShown = true;

private:
    Journal& m_journal;
    RecordingView m_view;
};

// A user's answer to a start dialog or an about box.
using StartAnswer = std::function<void(CStartDlg&)>;

class RecordingStart : public StartWindow {
public:
    RecordingStart(CStartDlg& dialog, Journal& journal, std::deque<StartAnswer>& answers)
        : m_dialog(dialog), m_journal(journal), m_answers(answers) {}
    void EnableUpdateButton(bool enabled) override { m_enabled = enabled; }
    void FocusDefaultButton() override { m_focused = true; }
    int RunModal() override {
        m_journal.push_back(std::string("start dialog ") + (m_enabled ? "enabled" : "greyed") +
                            (m_focused ? "" : " unfocused"));
        // A dialog nobody expected is ended with "Start Designing", so that a chain of them unwinds.
        if (m_answers.empty()) {
            m_journal.push_back("unexpected start dialog");
            m_dialog.OnOK();
        } else {
            const StartAnswer answer = std::move(m_answers.front());
            m_answers.pop_front();
            answer(m_dialog);
        }
        return m_result;
    }
    void EndDialog(int result) override { m_result = result; }

private:
    CStartDlg& m_dialog;
    Journal& m_journal;
    std::deque<StartAnswer>& m_answers;
    bool m_enabled = false;
    bool m_focused = false;
    int m_result = 0;
};

class RecordingAbout : public AboutWindow {
public:
    RecordingAbout(CAboutDlg& dialog, Journal& journal) : m_dialog(dialog), m_journal(journal) {}
    void SetProductLine(const std::string& text) override { m_product = text; }
    void SetContactLine(const std::string& text) override { m_contact = text; }
    std::string ProductLine() const override { return m_product; }
    std::string ContactLine() const override { return m_contact; }
    void ShowUnsignedLists(const std::string& text) override { m_unsigned = text; }
    int RunModal() override {
        m_journal.push_back("about " + m_product + "|" + m_contact + "|" + m_unsigned);
        m_dialog.OnCancel();
        return m_result;
    }
    void EndDialog(int result) override { m_result = result; }

private:
    CAboutDlg& m_dialog;
    Journal& m_journal;
    std::string m_product, m_contact, m_unsigned;
    int m_result = 0;
};

// The document's host as the window's: views and dialogs through the application, downloads from a table.
class ForwardingHost : public CDocumentHost {
public:
    ForwardingHost(CZarnApp& app, Journal& journal, const std::map<std::string, std::string>& files)
        : m_app(app), m_journal(journal), m_files(files) {}
    void FillComponentList(const CZarnDoc&) override { m_app.GetActiveView()->FillComponentList(); }
    void HideDesignControl() override { m_app.GetActiveView()->HideDesignControl(); }
    void UpdateAllViews(const CZarnDoc&) override { m_app.GetActiveView()->OnUpdate(); }
    int RunDownload(const std::string& sourceUrl, const std::string& targetPath, const DownloadCheck&) override {
        m_journal.push_back("download " + sourceUrl);
        const auto found = m_files.find(sourceUrl);
        if (found == m_files.end())
            return kIdCancel;
        std::ofstream(targetPath, std::ios::binary) << found->second;
        return kIdOk;
    }
    void ShowMessageBox(const std::string& text) override { m_journal.push_back("message " + text); }
    void ShowWaitNote(const std::string& text) override { m_app.GetMainWnd()->SetMessageText(text); }
    void ShowStartDialog(int allowUpdate) override { m_app.ShowStartDialog(allowUpdate); }
    void BringMainWindowToFront() override { m_app.GetMainWnd()->BringToFront(); }

private:
    CZarnApp& m_app;
    Journal& m_journal;
    const std::map<std::string, std::string>& m_files;
};

class RecordingShell : public ShellWindow {
public:
    std::unique_ptr<FrameWindow> CreateFrameWindow(CMainFrame&) override {
        m_journal.push_back("create frame");
        auto frame = std::make_unique<RecordingFrame>(m_journal);
        m_frame = frame.get();
        return frame;
    }
    std::unique_ptr<StartWindow> CreateStartWindow(CStartDlg& dialog) override {
        return std::make_unique<RecordingStart>(dialog, m_journal, m_startAnswers);
    }
    std::unique_ptr<AboutWindow> CreateAboutWindow(CAboutDlg& dialog) override {
        return std::make_unique<RecordingAbout>(dialog, m_journal);
    }
    std::unique_ptr<CDocumentHost> CreateDocumentHost(CZarnApp& app, std::string caFile) override {
        m_journal.push_back("create host " + caFile);
        return std::make_unique<ForwardingHost>(app, m_journal, m_files);
    }
    void ShowMessageBox(const std::string& text) override { m_journal.push_back("message " + text); }
    std::string AskOpenPath() override {
        m_journal.push_back("ask open");
        return m_openPath;
    }
    std::string AskSavePath() override {
        m_journal.push_back("ask save");
        return m_savePath;
    }
    void SetDialogColors(Color background, Color text) override {
        m_journal.push_back("colors " + std::to_string(background) + " " + std::to_string(text));
    }

    Journal m_journal;
    std::deque<StartAnswer> m_startAnswers;
    std::map<std::string, std::string> m_files;
    std::string m_openPath;
    std::string m_savePath;
    RecordingFrame* m_frame = nullptr;
};

class TestApp : public CZarnApp {
public:
    TestApp(ShellWindow& shell, std::string appDir) : CZarnApp(shell), m_appDir(std::move(appDir)) {}

protected:
    void InitAppDirectory() override { m_strAppDir = m_appDir; }

private:
    std::string m_appDir;
};

const StartAnswer kStartDesigning = [](CStartDlg& dialog) { dialog.OnOK(); };
const StartAnswer kUpdateButton = [](CStartDlg& dialog) { dialog.OnButtonUpdate(); };
// Escape and the close box.
const StartAnswer kCancel = [](CStartDlg& dialog) { dialog.OnCancel(); };

class AppPresenters : public ::testing::Test {
protected:
    void SetUp() override {
        m_shell.m_files[kListUrl] = kList;
        ASSERT_EQ(LauncherSettings::StoreRecentFiles({}, CZarnApp::kMaxRecentFiles), 1);
    }

    // The journal from `from` on.
    Journal From(size_t from) const { return Journal(m_shell.m_journal.begin() + from, m_shell.m_journal.end()); }

    test::TempAppDir m_app;
    // The update log goes to the test's own folder, never to the user's.
    test::ScopedEnv m_stateHome{"XDG_STATE_HOME", m_app.Outside().string()};
    test::ScopedEnv m_localAppData{"LOCALAPPDATA", m_app.Outside().string()};
    RecordingShell m_shell;
};

TEST_F(AppPresenters, StartUpShowsTheFrameThenTheStartDialogAndItsChoice) {
    m_app.WriteList(kList);
    TestApp app(m_shell, m_app.AppDir());
    m_shell.m_startAnswers = {kUpdateButton, kStartDesigning};
    ASSERT_TRUE(app.InitInstance({"--server", kServer}));
    EXPECT_EQ(m_shell.m_journal,
              (Journal{"create host ", "create frame", "create view", "colors 16777215 0", "maximized", "front",
                       "paint", "start dialog enabled", "fill list", "hide design", "download " + kListUrl,
                       "update view", "front", "update view", "start dialog greyed", "show design"}));
    EXPECT_TRUE(m_shell.m_startAnswers.empty());
    EXPECT_EQ(m_shell.m_frame->m_caption, "Quillorna by www.ostrevant.com [www.quillorna.com]");
}

// The window follows the administrators' policy over its command line: the policy's server and certificate
// authority, and with updates switched off a check that tells so and still offers "Start Designing".
TEST_F(AppPresenters, ThePolicyWinsOverTheCommandLine) {
    test::ScratchRegistry registry;
    CRegistry machine(HKEY_LOCAL_MACHINE);
    ASSERT_EQ(machine.WriteString(policy::kKey, policy::kServerValue, kServer), 1);
    ASSERT_EQ(machine.WriteString(policy::kKey, policy::kCaFileValue, "/policy/ca.pem"), 1);
    ASSERT_EQ(machine.WriteDword(policy::kKey, policy::kUpdatesDisabledValue, 1), 1);
    m_app.WriteList(kList);
    TestApp app(m_shell, m_app.AppDir());
    m_shell.m_startAnswers = {kUpdateButton, kStartDesigning};
    ASSERT_TRUE(app.InitInstance({"--server", "http://127.0.0.1:1", "--ca-file", "/given/ca.pem"}));
    EXPECT_EQ(m_shell.m_journal.front(), "create host /policy/ca.pem");
    EXPECT_EQ(From(8), (Journal{"fill list", "hide design", "download " + kListUrl, "update view",
                                "message Updates are switched off by your administrator's policy.\nThe components' "
                                "statuses are shown; nothing is downloaded or installed.",
                                "front", "update view", "start dialog greyed", "show design"}));
}

TEST_F(AppPresenters, MissingListIsReportedAndCheckedBeforeTheStartDialog) {
    std::filesystem::create_directory(m_app.Path("complist"));
    TestApp app(m_shell, m_app.AppDir());
    m_shell.m_startAnswers = {kStartDesigning, kStartDesigning};
    ASSERT_TRUE(app.InitInstance({"--server", kServer}));
    // Told before anything else happens, then one check, whose own start dialog comes first and then the one of
    // the start-up.
    EXPECT_EQ(From(7),
              (Journal{"message Online System Update Required \nPlease ensure a connection to the internet is "
                       "present ",
                       "fill list", "hide design", "download " + kListUrl, "update view", "front", "update view",
                       "start dialog greyed", "show design", "start dialog enabled", "show design"}));
}

TEST_F(AppPresenters, DocumentOnTheCommandLineShowsTheDesignControlAtOnce) {
    m_app.WriteList(kList);
    std::filesystem::create_directory(m_app.Path("temp"));
    const std::string document = (m_app.Outside() / "kitchen plan.dsn").string();
    std::ofstream(document) << "lines";
    {
        TestApp app(m_shell, m_app.AppDir());
        ASSERT_TRUE(app.InitInstance({document, "--server", kServer}));
        EXPECT_EQ(From(6), (Journal{"paint", "show design"}));
        EXPECT_EQ(ReadAll(m_app.Path("temp/startfile.txt")), document);
        EXPECT_EQ(app.ExitInstance(), 0);
    }
    const std::vector<std::string> recent = LauncherSettings::RecentFiles(CZarnApp::kMaxRecentFiles);
    EXPECT_EQ(recent, std::vector<std::string>{document});
    // The document's bytes are left alone.
    EXPECT_EQ(ReadAll(document), "lines");
}

TEST_F(AppPresenters, DocumentThatCannotBeOpenedEndsStartUp) {
    std::filesystem::create_directory(m_app.Path("temp"));
    TestApp app(m_shell, m_app.AppDir());
    EXPECT_FALSE(app.InitInstance({(m_app.Outside() / "no such plan.dsn").string()}));
    EXPECT_EQ(m_shell.m_journal, Journal{"message Failed to open document."});
    EXPECT_FALSE(std::filesystem::exists(m_app.Path("temp/startfile.txt")));
    EXPECT_EQ(app.GetMainWnd(), nullptr);
}

// Bad usage ends the start-up with the console's reason, before any window or request.
TEST_F(AppPresenters, BadCommandLineEndsStartUpWithTheConsolesReason) {
    const std::vector<std::vector<std::string>> badLines{
        {"--server", "ftp://127.0.0.1"}, {"--ca-file"}, {"--json"}, {"--server", "http://a", "--server", "http://b"}};
    for (const auto& line : badLines) {
        m_shell.m_journal.clear();
        TestApp app(m_shell, m_app.AppDir());
        EXPECT_FALSE(app.InitInstance(line));
        ASSERT_EQ(m_shell.m_journal.size(), 1u);
        EXPECT_EQ(m_shell.m_journal.front().rfind("message QuillornaCC: ", 0), 0u) << m_shell.m_journal.front();
        EXPECT_EQ(app.GetMainWnd(), nullptr);
    }
}

TEST_F(AppPresenters, StartDialogLoopsThroughChecksUntilStartDesigning) {
    m_app.WriteList(kList);
    const std::string document = (m_app.Outside() / "plan.dsn").string();
    std::ofstream(document) << "lines";
    TestApp app(m_shell, m_app.AppDir());
    ASSERT_TRUE(app.InitInstance({document, "--server", kServer}));
    // The update button, Escape and the close box each ask for a check, whose own dialog is greyed: each nests.
    m_shell.m_startAnswers = {kUpdateButton, kCancel, kCancel, kStartDesigning};
    const size_t before = m_shell.m_journal.size();
    app.ShowStartDialog(1);
    Journal dialogs;
    for (const std::string& line : From(before)) {
        if (line.rfind("start dialog", 0) == 0 || line.rfind("download", 0) == 0 || line == "show design")
            dialogs.push_back(line);
    }
    EXPECT_EQ(dialogs,
              (Journal{"start dialog enabled", "download " + kListUrl, "start dialog greyed", "download " + kListUrl,
                       "start dialog greyed", "download " + kListUrl, "start dialog greyed", "show design"}));
}

TEST_F(AppPresenters, RecentDocumentsNewestFirstWithoutRepeatsAndStored) {
    m_app.WriteList(kList);
    std::vector<std::string> paths;
    for (const char* name : {"a.dsn", "b.dsn", "c.dsn", "d.dsn", "e.dsn"}) {
        paths.push_back((m_app.Outside() / name).string());
        std::ofstream(paths.back()) << name;
    }
    {
        TestApp app(m_shell, m_app.AppDir());
        ASSERT_TRUE(app.InitInstance({paths[0], "--server", kServer}));
        for (const int i : {1, 0, 2, 3, 4}) {
            m_shell.m_openPath = paths[static_cast<size_t>(i)];
            app.OnFileOpen();
        }
        EXPECT_EQ(app.m_recentFiles, (std::vector<std::string>{paths[4], paths[3], paths[2], paths[0]}));
        EXPECT_EQ(app.ExitInstance(), 0);
    }
    EXPECT_EQ(LauncherSettings::RecentFiles(CZarnApp::kMaxRecentFiles),
              (std::vector<std::string>{paths[4], paths[3], paths[2], paths[0]}));

    // A run that never loaded the list leaves the stored one as it is; the next run reads it back.
    {
        TestApp idle(m_shell, m_app.AppDir());
        EXPECT_EQ(idle.ExitInstance(), 0);
    }
    TestApp next(m_shell, m_app.AppDir());
    ASSERT_TRUE(next.InitInstance({"--server", kServer}));
    EXPECT_EQ(next.m_recentFiles, (std::vector<std::string>{paths[4], paths[3], paths[2], paths[0]}));
}

TEST_F(AppPresenters, NewOpenAndSave) {
    m_app.WriteList(kList);
    TestApp app(m_shell, m_app.AppDir());
    m_shell.m_startAnswers = {kStartDesigning};
    ASSERT_TRUE(app.InitInstance({"--server", kServer}));
    CZarnDoc& document = *app.GetActiveDocument();
    ASSERT_EQ(document.ParseComponentList(), 1);
    const size_t records = document.m_compList.size();
    const int listMode = document.m_listMode;

    struct Step {
        const char* name;
        std::function<void()> run;
        Journal expected;
    };
    const std::string missing = (m_app.Outside() / "missing.dsn").string();
    const std::string saved = (m_app.Outside() / "saved.dsn").string();
    std::ofstream(saved) << "kept";
    const Step steps[] = {
        // A new document keeps the records and the mode, and brings the view up to date.
        {"new", [&] { app.OnFileNew(); }, {"update view"}},
        {"open cancelled", [&] { app.OnFileOpen(); }, {"ask open"}},
        {"open missing",
         [&] {
             m_shell.m_openPath = missing;
             app.OnFileOpen();
         },
         {"ask open", "message Failed to open document."}},
        {"open a folder",
         [&] {
             m_shell.m_openPath = m_app.Outside().string();
             app.OnFileOpen();
         },
         {"ask open", "message Failed to open document."}},
        {"save cancelled", [&] { app.OnFileSave(); }, {"ask save"}},
        {"save as",
         [&] {
             m_shell.m_savePath = saved;
             app.OnFileSave();
         },
         {"ask save"}},
        // The document has a path now: saving asks no more.
        {"save again", [&] { app.OnFileSave(); }, {}},
    };
    for (const Step& step : steps) {
        const size_t before = m_shell.m_journal.size();
        step.run();
        EXPECT_EQ(From(before), step.expected) << step.name;
    }
    EXPECT_EQ(document.m_compList.size(), records);
    EXPECT_EQ(document.m_listMode, listMode);
    EXPECT_EQ(ReadAll(saved), "kept");
    EXPECT_EQ(app.m_recentFiles, std::vector<std::string>{saved});
}

TEST_F(AppPresenters, FrameMenuKeysAndStatusBar) {
    TestApp app(m_shell, m_app.AppDir());
    CMainFrame frame(m_shell, &app);
    RecordingFrame& window = *m_shell.m_frame;
    EXPECT_EQ(window.m_caption, "Quillorna by www.ostrevant.com [www.quillorna.com]");
    EXPECT_EQ(window.m_menu,
              (Journal{"32773 &Design||bar", "popup &Settings", "59393 &Status Bar|Show or hide the status bar|checked",
                       "popup &Help", "57664 &About ...|Display program information, version number and copyright"}));
    EXPECT_EQ(window.m_keys, (Journal{"57600 1 N", "57601 1 O", "57603 1 S", "57607 1 P"}));
    EXPECT_EQ(window.m_paneWidths, (std::map<FrameWindow::Pane, std::string>{{FrameWindow::Pane::Message, "Ready"},
                                                                             {FrameWindow::Pane::Caps, "CAP"},
                                                                             {FrameWindow::Pane::Num, "NUM"},
                                                                             {FrameWindow::Pane::Scroll, "SCRL"}}));

    // "Ready" when idle, the prompt's first line while an item is highlighted.
    const std::pair<CommandId, const char*> prompts[] = {
        {ID_VIEW_STATUS_BAR, "Show or hide the status bar"},
        {ID_APP_ABOUT, "Display program information, version number and copyright"},
        {ID_DESIGN, "Ready"},
        {kNoCommand, "Ready"},
    };
    EXPECT_EQ(window.m_panes[FrameWindow::Pane::Message], "Ready");
    for (const auto& [id, prompt] : prompts) {
        frame.OnMenuSelect(id);
        EXPECT_EQ(window.m_panes[FrameWindow::Pane::Message], prompt) << id;
    }
    frame.SetMessageText("Waiting for the list");
    EXPECT_EQ(window.m_panes[FrameWindow::Pane::Message], "Waiting for the list");
    frame.SetMessageText("");
    EXPECT_EQ(window.m_panes[FrameWindow::Pane::Message], "Ready");

    // The status bar toggles, its item's check mark in step.
    for (const bool shown : {false, true}) {
        frame.OnCommand(ID_VIEW_STATUS_BAR);
        EXPECT_EQ(window.m_statusBarShown, shown);
        EXPECT_EQ(window.m_checked[ID_VIEW_STATUS_BAR], shown);
    }
}

TEST_F(AppPresenters, FrameRoutesCommandsToTheViewAndTheApplication) {
    m_app.WriteList(kList);
    const std::string document = (m_app.Outside() / "plan.dsn").string();
    std::ofstream(document) << "lines";
    TestApp app(m_shell, m_app.AppDir());
    ASSERT_TRUE(app.InitInstance({document, "--server", kServer}));
    const std::pair<CommandId, Journal> routes[] = {
        {ID_DESIGN, {"design command"}},
        {ID_FILE_PRINT, {"print"}},
        {ID_FILE_NEW, {"update view"}},
        {ID_FILE_OPEN, {"ask open"}},
        // The command line's document is the one saved, without asking.
        {ID_FILE_SAVE, {}},
        {ID_FILE_PRINT_PREVIEW, {}},
    };
    for (const auto& [id, expected] : routes) {
        const size_t before = m_shell.m_journal.size();
        app.GetMainWnd()->OnCommand(id);
        EXPECT_EQ(From(before), expected) << id;
    }

    // The about box's lines; the unsigned-lists line only in a build without keys.
    const std::pair<bool, std::string> boxes[] = {
        {true, "about Quillorna by Ostrevant Ltd.|email: support@ostrevant.com|Built without vendor keys: this "
               "launcher accepts component lists without a signature."},
        {false, "about Quillorna by Ostrevant Ltd.|email: support@ostrevant.com|"},
    };
    for (const auto& [unsignedLists, expected] : boxes) {
        m_shell.m_journal.clear();
        CAboutDlg box(m_shell);
        box.m_bUnsignedLists = unsignedLists;
        EXPECT_EQ(box.DoModal(), kIdCancel);
        EXPECT_EQ(m_shell.m_journal, Journal{expected});
    }
    const size_t before = m_shell.m_journal.size();
    app.GetMainWnd()->OnCommand(ID_APP_ABOUT);
    ASSERT_EQ(From(before).size(), 1u);
    EXPECT_EQ(From(before).front().rfind("about Quillorna by Ostrevant Ltd.|", 0), 0u);
}

} // namespace
} // namespace zarn
