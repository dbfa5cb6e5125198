// The view's Win32 window as a user meets it, in real windows: the list-view control with the records, and the
// design control hosted as an ActiveX control, made once, hidden by a check, shown again and sized with the view;
// a class COM does not know leaves the view blank and is tried again.
#include "view/win32/Win32ViewWindow.h"

#include "components/CompObj.h"
#include "components/Registry.h"
#include "components/ZarnDoc.h"
#include "res/ResourceIds.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempAppDir.h"
#include "tests/support/win32/TestDesignControlClass.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <memory>
#include <ole2.h>
#include <string>

namespace zarn {
namespace {

std::wstring ClassName(HWND window) {
    wchar_t name[64] = L"";
    return std::wstring(name, static_cast<std::size_t>(GetClassNameW(window, name, 64)));
}

SIZE WindowSize(HWND window) {
    RECT rect{};
    EXPECT_TRUE(GetWindowRect(window, &rect));
    return {rect.right - rect.left, rect.bottom - rect.top};
}

std::wstring ItemText(HWND list, int row, int column) {
    wchar_t text[128] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 128;
    const LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return std::wstring(text, static_cast<std::size_t>(length));
}

// The design control's host, as a user's tool finds it among the view's children.
HWND FindHost(HWND view) {
    return FindWindowExW(view, nullptr, L"AtlAxWin", nullptr);
}

class Win32ViewWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        // Without a display driver (Wine's null one when headless) no window is made, and every case stops here.
        m_frame = CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800, 600,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(m_frame, nullptr) << "no window can be made";
        ShowWindow(m_frame, SW_SHOW);
        m_window = std::make_unique<Win32ViewWindow>(m_document, m_frame);
        ASSERT_NE(m_window->Handle(), nullptr);
        m_window->Move(0, 0, 640, 400);
        AddRecord("Drawing Tools", "1.2.3.4", "CURRENT");
        AddRecord("Help Pages", "0.0.0.0", "NOT_INSTALLED");
        m_document.m_listMode = 1;
        // The presenter asks for the control only once its class is registered.
        const std::string key = std::string("CLSID\\") + CZarnView::kDesignControlClassId + "\\InprocServer32";
        ASSERT_EQ(CRegistry(HKEY_CLASSES_ROOT).WriteString(key.c_str(), "", "C:\\design.dll"), 1);
    }

    void TearDown() override {
        m_window.reset();
        if (m_frame != nullptr)
            DestroyWindow(m_frame);
        OleUninitialize();
    }

    void AddRecord(const char* desc, const char* version, const char* status) {
        auto record = std::make_unique<CCompObj>();
        record->m_desc = desc;
        ASSERT_EQ(std::sscanf(version, "%d.%d.%d.%d", &record->m_majorVer, &record->m_minorVer, &record->m_custNum,
                              &record->m_buildNum),
                  4);
        record->m_status = status;
        m_document.m_compList.push_back(std::move(record));
    }

    HWND View() const { return m_window->Handle(); }

    test::ScratchRegistry m_registry;
    test::TempAppDir m_app;
    CZarnDoc m_document{m_app.AppDir()};
    HWND m_frame = nullptr;
    std::unique_ptr<Win32ViewWindow> m_window;
};

TEST_F(Win32ViewWindowTest, ListIsAReportWithGridLinesThreeLeftAlignedColumnsAndARowPerRecord) {
    m_window->View().FillComponentList();
    const HWND list = GetDlgItem(View(), IDC_COMPONENT_LIST);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list, m_window->m_listComponents);
    EXPECT_EQ(ClassName(list), L"SysListView32");
    EXPECT_EQ(GetWindowLongW(list, GWL_STYLE) & (LVS_TYPEMASK | WS_BORDER), LVS_REPORT | WS_BORDER);
    const LRESULT extended = SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_EQ(extended & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT), LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    EXPECT_TRUE(IsWindowVisible(list));
    EXPECT_TRUE(IsWindowEnabled(list));
    EXPECT_EQ(WindowSize(list).cx, 640);
    EXPECT_EQ(WindowSize(list).cy, 400);

    ASSERT_EQ(m_window->LogicalDpi(), 96);
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    ASSERT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 3);
    const struct {
        const wchar_t* heading;
        int width;
    } columns[] = {{L"Component", 250}, {L"Version", 125}, {L"Status", 175}};
    for (int column = 0; column < 3; ++column) {
        wchar_t text[64] = L"";
        LVCOLUMNW heading{};
        heading.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH;
        heading.pszText = text;
        heading.cchTextMax = 64;
        ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&heading)));
        EXPECT_STREQ(text, columns[column].heading);
        EXPECT_EQ(heading.cx, columns[column].width);
        EXPECT_EQ(heading.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
    }

    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(ItemText(list, 0, 0), L"Drawing Tools");
    EXPECT_EQ(ItemText(list, 0, 1), L"1.2.3.4");
    EXPECT_EQ(ItemText(list, 1, 2), L"NOT_INSTALLED");
    // The records' texts are in the user's code page, and show as such.
    const std::wstring accented = L"Zeichenger\u00E4te";
    char narrow[32] = "";
    BOOL lossy = FALSE;
    ASSERT_GT(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, accented.c_str(), -1, narrow, sizeof(narrow), nullptr,
                                  &lossy),
              0);
    ASSERT_FALSE(lossy) << "the code page " << GetACP() << " has no a-umlaut";
    m_document.m_compList.back()->m_desc = narrow;
    m_window->View().FillComponentList();
    EXPECT_EQ(ItemText(list, 1, 0), accented);
    // A later fill replaces the rows, in the same list.
    m_document.m_compList.pop_back();
    m_window->View().FillComponentList();
    EXPECT_EQ(GetDlgItem(View(), IDC_COMPONENT_LIST), list);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 1);
}

TEST_F(Win32ViewWindowTest, DesignControlIsMadeOnceHiddenByACheckShownAgainAndSizedWithTheView) {
    test::TestDesignControlClass controlClass(CZarnView::kDesignControlClassId);
    ASSERT_TRUE(controlClass.Registered());
    const int made = test::TestDesignControlClass::Made();
    const int alive = test::TestDesignControlClass::Alive();
    m_window->View().FillComponentList();
    const HWND list = m_window->m_listComponents;

    m_window->View().ShowDesignControl();
    const HWND host = FindHost(View());
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host, m_window->m_wndDesign);
    EXPECT_EQ(host, FindWindowExW(View(), nullptr, L"AtlAxWin", L"cad design"));
    EXPECT_EQ(GetDlgCtrlID(host), IDC_DESIGN_CONTROL);
    EXPECT_EQ(test::TestDesignControlClass::Made(), made + 1);
    const HWND control = test::TestDesignControlClass::Window();
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(IsChild(host, control));
    EXPECT_TRUE(IsWindowVisible(host) && IsWindowEnabled(host));
    EXPECT_FALSE(IsWindowVisible(list) || IsWindowEnabled(list));
    EXPECT_EQ(GetFocus(), control);
    EXPECT_EQ(WindowSize(host).cx, 640);
    EXPECT_EQ(WindowSize(host).cy, 400);

    // The frame resizes the view: the host and, through it, the control follow.
    m_window->Move(0, 0, 300, 200);
    EXPECT_EQ(WindowSize(host).cx, 300);
    EXPECT_EQ(WindowSize(host).cy, 200);
    const RECT placed = test::TestDesignControlClass::ObjectRect();
    EXPECT_EQ(placed.right - placed.left, 300);
    EXPECT_EQ(placed.bottom - placed.top, 200);
    EXPECT_EQ(WindowSize(control).cx, 300);

    // An update check hides and disables it; designing again brings back the same one.
    m_window->View().HideDesignControl();
    EXPECT_FALSE(IsWindowVisible(host));
    EXPECT_FALSE(IsWindowEnabled(host));
    m_window->View().FillComponentList();
    EXPECT_TRUE(IsWindowVisible(list));
    m_window->View().ShowDesignControl();
    EXPECT_EQ(FindHost(View()), host);
    EXPECT_EQ(FindWindowExW(View(), host, L"AtlAxWin", nullptr), nullptr);
    EXPECT_TRUE(IsWindowVisible(host) && IsWindowEnabled(host));
    EXPECT_EQ(test::TestDesignControlClass::Made(), made + 1);

    // The control goes with the view.
    m_window.reset();
    EXPECT_EQ(test::TestDesignControlClass::Alive(), alive);
}

TEST_F(Win32ViewWindowTest, ClassThatComDoesNotKnowLeavesTheViewBlankAndIsTriedAgain) {
    m_window->View().FillComponentList();
    for (int attempt = 0; attempt < 2; ++attempt) {
        m_window->View().ShowDesignControl();
        EXPECT_EQ(FindHost(View()), nullptr);
        EXPECT_EQ(m_window->m_wndDesign, nullptr);
        EXPECT_EQ(m_window->View().m_wndDesign, nullptr);
        EXPECT_FALSE(IsWindowVisible(m_window->m_listComponents));
    }

    test::TestDesignControlClass controlClass(CZarnView::kDesignControlClassId);
    ASSERT_TRUE(controlClass.Registered());
    m_window->View().ShowDesignControl();
    const HWND host = FindHost(View());
    ASSERT_NE(host, nullptr);
    EXPECT_TRUE(IsWindowVisible(host));
    EXPECT_NE(test::TestDesignControlClass::Window(), nullptr);
}

} // namespace
} // namespace zarn
