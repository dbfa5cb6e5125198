// The dialogs built from the dialog table, as real windows: every item of every template exists with its id,
// class, text, rectangle and state, and the dialog runs modal and modeless with its messages reaching the object.
#include "res/win32/Win32Dialog.h"

#include "res/win32/DialogColors.h"
#include "res/win32/WideText.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace zarn {
namespace {

class Win32DialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
        ASSERT_TRUE(InitCommonControlsEx(&classes));
    }
};

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

const wchar_t* ExpectedClass(DialogItemKind kind) {
    switch (kind) {
    case DialogItemKind::PushButton:
    case DialogItemKind::DefaultPushButton:
        return L"Button";
    case DialogItemKind::StaticText:
    case DialogItemKind::Icon:
        return L"Static";
    case DialogItemKind::Edit:
    case DialogItemKind::ReadOnlyEdit:
    case DialogItemKind::PasswordEdit:
        return L"Edit";
    case DialogItemKind::ProgressBar:
        return PROGRESS_CLASSW;
    case DialogItemKind::Animation:
        return ANIMATE_CLASSW;
    }
    return L"";
}

// Rectangle of `child` in its dialog's client coordinates.
RECT ChildRect(HWND dialog, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The background (of the dialog and of a static text) and the text colour `dialog` paints with.
std::pair<COLORREF, COLORREF> PaintedColors(HWND dialog) {
    const HDC context = GetDC(dialog);
    const auto brushColor = [](LRESULT brush) {
        LOGBRUSH info{};
        GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof info, &info);
        return info.lbColor;
    };
    const COLORREF background = brushColor(SendMessageW(dialog, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(context), 0));
    const COLORREF staticBackground =
        brushColor(SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(context), 0));
    const COLORREF text = GetTextColor(context);
    ReleaseDC(dialog, context);
    EXPECT_EQ(background, staticBackground);
    return {background, text};
}

void ExpectRect(const RECT& expected, const RECT& actual) {
    EXPECT_EQ(expected.left, actual.left);
    EXPECT_EQ(expected.top, actual.top);
    EXPECT_EQ(expected.right, actual.right);
    EXPECT_EQ(expected.bottom, actual.bottom);
}

TEST_F(Win32DialogTest, EveryTemplateMakesItsItemsWithIdClassTextRectangleAndState) {
    for (const DialogTemplate& dialogTemplate : DialogTemplates()) {
        SCOPED_TRACE(dialogTemplate.id);
        Win32Dialog dialog(dialogTemplate);
        ASSERT_EQ(dialog.Create(nullptr), 1) << "no dialog window; is Wine's display driver set?";
        const HWND window = dialog.Handle();
        EXPECT_EQ(WindowText(window), ResourceText(dialogTemplate.caption));
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
        EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_POPUP), DWORD{WS_CAPTION | WS_SYSMENU | WS_POPUP});

        LOGFONTW font{};
        ASSERT_NE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font), 0);
        EXPECT_EQ(std::wstring(font.lfFaceName), WideFromUtf8(kDialogFontFace));

        RECT client{};
        GetClientRect(window, &client);
        ExpectRect(dialog.PixelRect({0, 0, dialogTemplate.width, dialogTemplate.height}), client);

        for (const DialogItem& item : dialogTemplate.items) {
            SCOPED_TRACE(item.id);
            const HWND child = dialog.Item(item.id);
            ASSERT_NE(child, nullptr);
            EXPECT_EQ(static_cast<unsigned>(GetDlgCtrlID(child)), item.id);
            EXPECT_EQ(ClassName(child), ExpectedClass(item.kind));
            if (item.kind != DialogItemKind::Icon) {
                EXPECT_EQ(WindowText(child), item.text != kNoText ? ResourceText(item.text) : L"");
            }
            ExpectRect(dialog.PixelRect(item.rect), ChildRect(window, child));
            const auto childStyle = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
            EXPECT_EQ((childStyle & WS_VISIBLE) == 0, (item.style & kItemHidden) != 0);
            EXPECT_EQ(IsWindowEnabled(child) == FALSE, (item.style & kItemDisabled) != 0);
            EXPECT_EQ((childStyle & WS_TABSTOP) != 0, (item.style & kItemTabStop) != 0);
            if (item.kind == DialogItemKind::DefaultPushButton) {
                EXPECT_EQ(childStyle & 0x0F, DWORD{BS_DEFPUSHBUTTON});
            }
            if (item.kind == DialogItemKind::PasswordEdit || item.kind == DialogItemKind::ReadOnlyEdit) {
                EXPECT_NE(childStyle & (ES_PASSWORD | ES_READONLY), 0u);
            }
            if (item.kind == DialogItemKind::Animation) {
                EXPECT_EQ((childStyle & ACS_TRANSPARENT) != 0, (item.style & kItemTransparent) != 0);
            }
        }

        dialog.Grow();
        GetClientRect(window, &client);
        ExpectRect(dialog.PixelRect({0, 0, dialogTemplate.width, dialogTemplate.grownHeight}), client);

        // White dialogs with black text.
        EXPECT_EQ(PaintedColors(window), (std::pair{RGB(255, 255, 255), RGB(0, 0, 0)}));

        dialog.End(0);
        EXPECT_EQ(dialog.Handle(), nullptr);
        EXPECT_FALSE(IsWindow(window));
    }
}

TEST_F(Win32DialogTest, DialogsShowTheColoursTheApplicationSets) {
    SetDialogColors(RGB(10, 20, 30), RGB(200, 100, 50));
    Win32Dialog dialog(*FindDialogTemplate(IDD_START));
    ASSERT_EQ(dialog.Create(nullptr), 1);
    EXPECT_EQ(PaintedColors(dialog.Handle()), (std::pair{RGB(10, 20, 30), RGB(200, 100, 50)}));
    SetDialogColors(RGB(255, 255, 255), RGB(0, 0, 0));
}

// Ends itself with the OK button's id once its loop runs, as a user's click on OK would.
class ClickingDialog : public Win32Dialog {
public:
    using Win32Dialog::Win32Dialog;
    int initialised = 0;

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) override {
        if (message == WM_INITDIALOG) {
            ++initialised;
            PostMessageW(Item(IDOK_BUTTON), BM_CLICK, 0, 0);
        } else if (message == WM_COMMAND && LOWORD(wParam) == IDOK_BUTTON) {
            End(IDOK_BUTTON + 40);
            result = TRUE;
            return true;
        }
        return false;
    }
};

TEST_F(Win32DialogTest, ModalRunForwardsMessagesToTheObjectAndReturnsItsResult) {
    ClickingDialog dialog(*FindDialogTemplate(IDD_ABOUTBOX));
    EXPECT_EQ(dialog.RunModal(nullptr), IDOK_BUTTON + 40);
    EXPECT_EQ(dialog.initialised, 1);
    EXPECT_EQ(dialog.Handle(), nullptr);
}

} // namespace
} // namespace zarn
