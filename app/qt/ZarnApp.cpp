#include "app/qt/ZarnApp.h"

#include "app/LauncherOptions.h"
#include "app/StartupSteps.h"
#include "app/qt/AboutDlg.h"
#include "app/qt/GuiDocumentHost.h"
#include "app/qt/MainFrame.h"
#include "app/qt/MessageBox.h"
#include "app/qt/StartDlg.h"
#include "components/UpdateLog.h"
#include "components/ZarnDoc.h"
#include "download/qt/DialogResult.h"
#include "res/StringTable.h"
#include "view/ZarnView.h"
#include "view/qt/QtViewWindow.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <fstream>

namespace zarn {

namespace {

CZarnApp* g_app = nullptr;

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

} // namespace

CZarnApp::CZarnApp() {
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

CZarnView* CZarnApp::GetActiveView() const {
    return m_pMainFrame ? m_pMainFrame->GetActiveView() : nullptr;
}

bool CZarnApp::InitInstance(const std::vector<std::string>& arguments) {
    LoadStdProfileSettings(kMaxRecentFiles);
    InitAppDirectory();

    // The same reading of the command line as the console mode's, so that both take and refuse the same switches.
    const ParsedCommandLine parsed = ParseCommandLine(arguments, ZARN_DEFAULT_SERVER);
    if (!parsed.error.empty()) {
        MessageBox::ShowOk(nullptr, FromLocal(FormatString(IDS_BAD_COMMAND_LINE, parsed.error)));
        return false;
    }

    // The shell command: a named document must open before anything is shown.
    m_documentPath = DocumentFromCommandLine(arguments);
    if (!m_documentPath.empty() && !OpenDocumentFile(FromLocal(m_documentPath))) {
        MessageBox::ShowOk(nullptr, FromLocal(LoadString(AFX_IDP_FAILED_TO_OPEN_DOC)));
        return false;
    }
    m_host = std::make_unique<GuiDocumentHost>(*this, LauncherSettings::CaFile(parsed.options.caFile));
    m_log = std::make_unique<UpdateLog>(UpdateLog::DefaultPath());
    m_log->Write("QuillornaCC window in " + m_strAppDir);
    m_pDocument = std::make_unique<CZarnDoc>(m_strAppDir, parsed.options.server, *m_host);
    m_pDocument->SetLog(m_log.get());
    m_pMainFrame = std::make_unique<CMainFrame>();
    m_pMainFrame->SetView(new QtViewWindow(*m_pDocument));
    connect(m_pMainFrame->m_actAbout, &QAction::triggered, this, &CZarnApp::OnAppAbout);
    connect(m_pMainFrame->m_actFileNew, &QAction::triggered, this, &CZarnApp::OnFileNew);
    connect(m_pMainFrame->m_actFileOpen, &QAction::triggered, this, &CZarnApp::OnFileOpen);
    connect(m_pMainFrame->m_actFileSave, &QAction::triggered, this, &CZarnApp::OnFileSave);

    WriteStartFile(m_strAppDir, m_documentPath);
    SetDialogBkColor(Qt::white, Qt::black);

    m_pMainFrame->showMaximized();
    m_pMainFrame->raise();
    m_pMainFrame->activateWindow();
    // Painted now: the checks and dialogs that follow run in modal loops of their own.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_pMainFrame->repaint();

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

void CZarnApp::SetDialogBkColor(QColor background, QColor text) {
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (application == nullptr)
        return;
    application->setStyleSheet(QStringLiteral("QDialog { background-color: %1; color: %2; } QDialog QLabel { color: "
                                              "%2; }")
                                   .arg(background.name(), text.name()));
}

void CZarnApp::LoadStdProfileSettings(int maxRecentFiles) {
    m_maxRecentFiles = maxRecentFiles;
    m_recentFiles.clear();
    for (const std::string& path : LauncherSettings::RecentFiles(m_maxRecentFiles))
        m_recentFiles.append(FromLocal(path));
}

void CZarnApp::SaveStdProfileSettings() {
    // A run that never loaded the list has none to store, and must not empty the stored one.
    if (m_maxRecentFiles == 0)
        return;
    std::vector<std::string> paths;
    for (const QString& path : m_recentFiles)
        paths.push_back(path.toLocal8Bit().toStdString());
    if (!LauncherSettings::StoreRecentFiles(paths, m_maxRecentFiles) && m_log)
        m_log->Write("the recent documents could not be stored in the settings");
}

bool CZarnApp::OpenDocumentFile(const QString& path) {
    // The document keeps nothing in its files, but a file that cannot be read is no document.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    AddToRecentFileList(path);
    return true;
}

void CZarnApp::AddToRecentFileList(const QString& path) {
    m_recentFiles.removeAll(path);
    m_recentFiles.prepend(path);
    while (m_recentFiles.size() > m_maxRecentFiles)
        m_recentFiles.removeLast();
}

void CZarnApp::ShowStartDialog(int allowUpdate) {
    CStartDlg dialog;
    dialog.m_bAllowUpdate = allowUpdate;
    if (dialog.DoModal() == kIdOk) {
        if (CZarnView* view = GetActiveView())
            view->ShowDesignControl();
    } else if (m_pDocument) {
        m_pDocument->CheckForUpdates();
    }
}

void CZarnApp::OnAppAbout() {
    CAboutDlg dialog(m_pMainFrame.get());
    dialog.DoModal();
}

void CZarnApp::OnFileNew() {
    m_pDocument->OnNewDocument();
    if (CZarnView* view = GetActiveView())
        view->OnUpdate();
}

void CZarnApp::OnFileOpen() {
    const QString path = QFileDialog::getOpenFileName(m_pMainFrame.get());
    if (path.isEmpty())
        return;
    if (!OpenDocumentFile(path)) {
        MessageBox::ShowOk(m_pMainFrame.get(), FromLocal(LoadString(AFX_IDP_FAILED_TO_OPEN_DOC)));
        return;
    }
    m_documentPath = path.toLocal8Bit().toStdString();
}

void CZarnApp::OnFileSave() {
    QString path = FromLocal(m_documentPath);
    if (path.isEmpty())
        path = QFileDialog::getSaveFileName(m_pMainFrame.get());
    if (path.isEmpty())
        return;
    // The document's contents are nothing, so saving only makes sure the file exists: the document the design
    // control keeps in it is never emptied.
    std::ofstream file(path.toLocal8Bit().toStdString(), std::ios::binary | std::ios::app);
    if (!file)
        return;
    m_documentPath = path.toLocal8Bit().toStdString();
    AddToRecentFileList(path);
}

} // namespace zarn
