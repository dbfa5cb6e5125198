// What the application asks of its front end: the windows of the frame and of the dialogs, the document's host,
// message boxes, the file dialogs and the dialogs' colours.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zarn {

class AboutWindow;
class CAboutDlg;
class CDocumentHost;
class CMainFrame;
class CStartDlg;
class CZarnApp;
class FrameWindow;
class StartWindow;

// Every call comes from the UI thread.
class ShellWindow {
public:
    // A colour as 0xRRGGBB.
    using Color = std::uint32_t;

    virtual ~ShellWindow() = default;

    // The main window, forwarding its events to `frame`; message boxes and dialogs belong to it from now on.
    virtual std::unique_ptr<FrameWindow> CreateFrameWindow(CMainFrame& frame) = 0;
    virtual std::unique_ptr<StartWindow> CreateStartWindow(CStartDlg& dialog) = 0;
    virtual std::unique_ptr<AboutWindow> CreateAboutWindow(CAboutDlg& dialog) = 0;
    // The document's host of this front end, reaching the views and dialogs through `app`; every download trusts
    // `caFile` (empty: none) besides the system's certificate authorities.
    virtual std::unique_ptr<CDocumentHost> CreateDocumentHost(CZarnApp& app, std::string caFile) = 0;

    // Shows `text` in a modal box with an OK button and returns when it is closed.
    virtual void ShowMessageBox(const std::string& text) = 0;
    // The path the user chose for a document to open, or to save as; empty when the user cancelled.
    virtual std::string AskOpenPath() = 0;
    virtual std::string AskSavePath() = 0;
    // Every dialog and message box from now on shows `text` on `background`.
    virtual void SetDialogColors(Color background, Color text) = 0;
};

} // namespace zarn
