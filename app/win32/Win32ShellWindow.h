// The Windows front end's shell: it makes the main frame, the start dialog, the about box and the document's host,
// and shows the system's message boxes and file dialogs over the main frame.
#pragma once

#include "app/ShellWindow.h"
#include "app/win32/Win32FrameClient.h"

#include <windows.h>

namespace zarn {

class Win32FrameWindow;

class Win32ShellWindow : public ShellWindow {
public:
    // The frame's view is made by `createView`. UI thread.
    explicit Win32ShellWindow(Win32ViewCreator createView);

    std::unique_ptr<FrameWindow> CreateFrameWindow(CMainFrame& frame) override;
    std::unique_ptr<StartWindow> CreateStartWindow(CStartDlg& dialog) override;
    std::unique_ptr<AboutWindow> CreateAboutWindow(CAboutDlg& dialog) override;
    std::unique_ptr<CDocumentHost> CreateDocumentHost(CZarnApp& app, std::string caFile) override;
    void ShowMessageBox(const std::string& text) override;
    std::string AskOpenPath() override;
    std::string AskSavePath() override;
    void SetDialogColors(Color background, Color text) override;

    // The main frame's window; null before CreateFrameWindow and after the frame is gone. UI thread.
    Win32FrameWindow* MainWindow() const { return m_mainWindow; }
    // What the dialogs and message boxes belong to: the main frame's window, or none. UI thread.
    HWND Owner() const;

private:
    // The path the user chose in the open (`save` false) or save dialog; empty when cancelled.
    std::string AskPath(bool save);

    Win32ViewCreator m_createView;
    Win32FrameWindow* m_mainWindow = nullptr; // owned by the main frame
};

} // namespace zarn
