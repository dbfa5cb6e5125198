#include "app/win32/Win32ShellWindow.h"

#include "app/win32/Win32AboutWindow.h"
#include "app/win32/Win32DocumentHost.h"
#include "app/win32/Win32FrameWindow.h"
#include "app/win32/Win32StartWindow.h"
#include "res/win32/DialogColors.h"
#include "res/win32/WideText.h"

#include <commdlg.h>

namespace zarn {

namespace {

// Tells the shell when the frame's window goes, so that no dialog is given a dead owner.
class ShellFrameWindow : public Win32FrameWindow {
public:
    ShellFrameWindow(CMainFrame& frame, Win32ViewCreator createView, Win32FrameWindow*& registered)
        : Win32FrameWindow(frame, std::move(createView)), m_registered(registered) {
        m_registered = this;
    }
    ~ShellFrameWindow() override { m_registered = nullptr; }

private:
    Win32FrameWindow*& m_registered;
};

} // namespace

Win32ShellWindow::Win32ShellWindow(Win32ViewCreator createView) : m_createView(std::move(createView)) {}

std::unique_ptr<FrameWindow> Win32ShellWindow::CreateFrameWindow(CMainFrame& frame) {
    return std::make_unique<ShellFrameWindow>(frame, m_createView, m_mainWindow);
}

std::unique_ptr<StartWindow> Win32ShellWindow::CreateStartWindow(CStartDlg& dialog) {
    return std::make_unique<Win32StartWindow>(dialog, Owner());
}

std::unique_ptr<AboutWindow> Win32ShellWindow::CreateAboutWindow(CAboutDlg& dialog) {
    return std::make_unique<Win32AboutWindow>(dialog, Owner());
}

std::unique_ptr<CDocumentHost> Win32ShellWindow::CreateDocumentHost(CZarnApp& app, std::string caFile) {
    return std::make_unique<Win32DocumentHost>(app, *this, std::move(caFile));
}

HWND Win32ShellWindow::Owner() const {
    return m_mainWindow != nullptr ? m_mainWindow->Handle() : nullptr;
}

void Win32ShellWindow::ShowMessageBox(const std::string& text) {
    MessageBoxW(Owner(), WideFromCodePage(text).c_str(), ResourceText(AFX_IDS_APP_TITLE).c_str(), MB_OK);
}

std::string Win32ShellWindow::AskOpenPath() {
    return AskPath(false);
}

std::string Win32ShellWindow::AskSavePath() {
    return AskPath(true);
}

std::string Win32ShellWindow::AskPath(bool save) {
    // Room for a long path: the dialog fails rather than cut one off.
    std::wstring path(32768, L'\0');
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = Owner();
    request.lpstrFile = path.data();
    request.nMaxFile = static_cast<DWORD>(path.size());
    request.Flags =
        OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (!(save ? GetSaveFileNameW(&request) : GetOpenFileNameW(&request))) {
        return {};
    }
    path.resize(path.find(L'\0'));
    return CodePageFromWide(path);
}

void Win32ShellWindow::SetDialogColors(Color background, Color text) {
    const auto colorRef = [](Color color) { return RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF); };
    zarn::SetDialogColors(colorRef(background), colorRef(text));
}

} // namespace zarn
