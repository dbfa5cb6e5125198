// The Qt front end's shell: makes the frame's and the dialogs' windows, the document's host, the message boxes
// and the file dialogs, all belonging to the main window once there is one.
#pragma once

#include "app/ShellWindow.h"

#include <QPointer>

namespace zarn {

class QtFrameWindow;

class QtShellWindow : public ShellWindow {
public:
    std::unique_ptr<FrameWindow> CreateFrameWindow(CMainFrame& frame) override;
    std::unique_ptr<StartWindow> CreateStartWindow(CStartDlg& dialog) override;
    std::unique_ptr<AboutWindow> CreateAboutWindow(CAboutDlg& dialog) override;
    std::unique_ptr<CDocumentHost> CreateDocumentHost(CZarnApp& app, std::string caFile) override;
    void ShowMessageBox(const std::string& text) override;
    std::string AskOpenPath() override;
    std::string AskSavePath() override;
    void SetDialogColors(Color background, Color text) override;

    // The main window made last, null before and after it.
    QtFrameWindow* MainWindow() const { return m_mainWindow; }

private:
    QPointer<QtFrameWindow> m_mainWindow;
};

} // namespace zarn
