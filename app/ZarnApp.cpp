#include "app/ZarnApp.h"

#include "app/AboutDlg.h"
#include "app/FrameView.h"
#include "app/LauncherOptions.h"
#include "app/MainFrame.h"
#include "app/PolicyOverrides.h"
#include "app/StartDlg.h"
#include "app/StartupSteps.h"
#include "components/DocumentHost.h"
#include "components/UpdateLog.h"
#include "components/ZarnDoc.h"
#include "platform/FileSystem.h"
#include "res/StringTable.h"

#include <fstream>

namespace zarn {

namespace {

CZarnApp* g_app = nullptr;

constexpr ShellWindow::Color kWhite = 0xFFFFFF;
constexpr ShellWindow::Color kBlack = 0x000000;

} // namespace

CZarnApp::CZarnApp(ShellWindow& shell) : m_shell(shell) {
    g_app = this;
}

CZarnApp::~CZarnApp() {
    // The frame and view go before the document they show, and the host after both.
    m_pMainFrame.reset();
    m_pDocument.reset();
    if (g_app == this)
        g_app = nullptr;
}

CZarnApp* CZarnApp::GetApp() {
    return g_app;
}

FrameView* CZarnApp::GetActiveView() const {
    return m_pMainFrame ? m_pMainFrame->GetActiveView() : nullptr;
}

bool CZarnApp::InitInstance(const std::vector<std::string>& arguments) {
    LoadStdProfileSettings(kMaxRecentFiles);
    InitAppDirectory();

    // The same reading of the command line as the console mode's, so that both take and refuse the same switches.
    ParsedCommandLine parsed = ParseCommandLine(arguments, ZARN_DEFAULT_SERVER);
    if (!parsed.error.empty()) {
        m_shell.ShowMessageBox(FormatString(IDS_BAD_COMMAND_LINE, parsed.error));
        return false;
    }
    LauncherPolicy policy = LauncherPolicy::Read();
    ApplyPolicy(policy, parsed.options);

    // The shell command: a named document must open before anything is shown.
    m_documentPath = DocumentFromCommandLine(arguments);
    if (!m_documentPath.empty() && !OpenDocumentFile(m_documentPath)) {
        m_shell.ShowMessageBox(LoadString(AFX_IDP_FAILED_TO_OPEN_DOC));
        return false;
    }
    m_host = m_shell.CreateDocumentHost(*this, LauncherSettings::CaFile(parsed.options.caFile));
    m_log = std::make_unique<UpdateLog>(UpdateLog::DefaultPath());
    m_log->Write("QuillornaCC window in " + m_strAppDir);
    m_pDocument = std::make_unique<CZarnDoc>(m_strAppDir, parsed.options.server, *m_host);
    m_pDocument->SetLog(m_log.get());
    m_pDocument->FinishInterruptedInstalls();
    ApplyPolicy(policy, *m_pDocument, *m_host, *m_log);
    m_pMainFrame = std::make_unique<CMainFrame>(m_shell, this);
    m_pMainFrame->CreateView(*m_pDocument);

    WriteStartFile(m_strAppDir, m_documentPath);
    SetDialogBkColor(kWhite, kBlack);
    m_pMainFrame->ActivateFrame();

    m_pDocument->CheckComponentListPresent();
    if (m_documentPath.empty())
        ShowStartDialog(1);
    else
        GetActiveView()->ShowDesignControl();
    return true;
}

int CZarnApp::ExitInstance() {
    SaveStdProfileSettings();
    return 0;
}

void CZarnApp::InitAppDirectory() {
    m_strAppDir = zarn::InitAppDirectory();
}

void CZarnApp::SetDialogBkColor(ShellWindow::Color background, ShellWindow::Color text) {
    m_shell.SetDialogColors(background, text);
}

void CZarnApp::LoadStdProfileSettings(int maxRecentFiles) {
    m_maxRecentFiles = maxRecentFiles;
    m_recentFiles = LauncherSettings::RecentFiles(m_maxRecentFiles);
}

void CZarnApp::SaveStdProfileSettings() {
    // A run that never loaded the list has none to store, and must not empty the stored one.
    if (m_maxRecentFiles == 0)
        return;
    if (!LauncherSettings::StoreRecentFiles(m_recentFiles, m_maxRecentFiles) && m_log)
        m_log->Write("the recent documents could not be stored in the settings");
}

bool CZarnApp::OpenDocumentFile(const std::string& path) {
    // The document keeps nothing in its files, but a file that cannot be read is no document.
    const std::ifstream file(path, std::ios::binary);
    if (!platform::FileExists(path) || !file.is_open())
        return false;
    AddToRecentFileList(path);
    return true;
}

void CZarnApp::AddToRecentFileList(const std::string& path) {
    std::erase(m_recentFiles, path);
    m_recentFiles.insert(m_recentFiles.begin(), path);
    if (m_recentFiles.size() > static_cast<size_t>(m_maxRecentFiles))
        m_recentFiles.resize(static_cast<size_t>(m_maxRecentFiles));
}

void CZarnApp::ShowStartDialog(int allowUpdate) {
    CStartDlg dialog(m_shell);
    dialog.m_bAllowUpdate = allowUpdate;
    if (dialog.DoModal() == kIdOk) {
        if (FrameView* view = GetActiveView())
            view->ShowDesignControl();
    } else if (m_pDocument) {
        m_pDocument->CheckForUpdates();
    }
}

void CZarnApp::OnAppAbout() {
    CAboutDlg dialog(m_shell);
    dialog.DoModal();
}

void CZarnApp::OnFileNew() {
    m_pDocument->OnNewDocument();
    if (FrameView* view = GetActiveView())
        view->OnUpdate();
}

void CZarnApp::OnFileOpen() {
    const std::string path = m_shell.AskOpenPath();
    if (path.empty())
        return;
    if (!OpenDocumentFile(path)) {
        m_shell.ShowMessageBox(LoadString(AFX_IDP_FAILED_TO_OPEN_DOC));
        return;
    }
    m_documentPath = path;
}

void CZarnApp::OnFileSave() {
    std::string path = m_documentPath;
    if (path.empty())
        path = m_shell.AskSavePath();
    if (path.empty())
        return;
    // The document's contents are nothing, so saving only makes sure the file exists: the document the design
    // control keeps in it is never emptied.
    std::ofstream file(path, std::ios::binary | std::ios::app);
    if (!file)
        return;
    m_documentPath = path;
    AddToRecentFileList(path);
}

} // namespace zarn
