// The application object: wires the document, main frame and view together at start-up, hands the command
// line's document to the design control, runs the start dialog and the choice made in it, and keeps the recent
// documents. Its windows come from the front end's shell.
#pragma once

#include "app/ShellWindow.h"
#include "components/LauncherSettings.h"

#include <memory>
#include <string>
#include <vector>

namespace zarn {

class CDocumentHost;
class CMainFrame;
class CZarnDoc;
class FrameView;
class UpdateLog;

class CZarnApp {
public:
    // The recent-document list's length.
    static constexpr int kMaxRecentFiles = LauncherSettings::kMaxRecentFiles;

    // The one application object; `shell` makes its windows and must outlive it. UI thread.
    explicit CZarnApp(ShellWindow& shell);
    virtual ~CZarnApp();

    // The application object while one exists, else null.
    static CZarnApp* GetApp();

    // The whole start-up with the command line's `arguments` (without the program's name): returns only when
    // the chain of start dialogs and update checks has ended. The switches are the console mode's: --server and
    // --ca-file apply, the stored certificate authority when --ca-file is not given. False when the command line
    // is no good or a document named on it cannot be opened (reported in a message box; nothing else happens
    // then). UI thread.
    virtual bool InitInstance(const std::vector<std::string>& arguments);
    // Stores the settings at the end of the run; returns the process's exit code.
    virtual int ExitInstance();

    // Runs the start dialog, its update button enabled when `allowUpdate` is nonzero, then the design control
    // ("Start Designing") or an update check (anything else), which offers the dialog again. UI thread.
    void ShowStartDialog(int allowUpdate);
    // The about box. UI thread.
    void OnAppAbout();
    // The document keys: a new document keeps the records and list mode; open and save go through the file
    // dialogs, and the document reads and writes nothing.
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();

    CMainFrame* GetMainWnd() const { return m_pMainFrame.get(); }
    CZarnDoc* GetActiveDocument() const { return m_pDocument.get(); }
    FrameView* GetActiveView() const;

    std::string m_strAppDir;
    // The recent documents, newest first.
    std::vector<std::string> m_recentFiles;

protected:
    // Sets m_strAppDir to the running executable's directory.
    virtual void InitAppDirectory();
    // Every dialog and message box of the application gets these colours (0xRRGGBB).
    void SetDialogBkColor(ShellWindow::Color background, ShellWindow::Color text);
    void LoadStdProfileSettings(int maxRecentFiles);
    void SaveStdProfileSettings();

private:
    // Opens `path` as the document: it must be a readable file. Enters it in the recent list.
    bool OpenDocumentFile(const std::string& path);
    void AddToRecentFileList(const std::string& path);

    ShellWindow& m_shell;
    int m_maxRecentFiles = 0;
    std::string m_documentPath;
    std::unique_ptr<CDocumentHost> m_host;
    // The console's update log, the same file: a check in the window leaves its trace there too.
    std::unique_ptr<UpdateLog> m_log;
    std::unique_ptr<CZarnDoc> m_pDocument;
    // Declared last so that it goes first: the view refers to the document.
    std::unique_ptr<CMainFrame> m_pMainFrame;
};

} // namespace zarn
