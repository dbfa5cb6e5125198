// The view's rules against a window that records what it is told: which child is made, shown, enabled and
// focused, and when; the list's rows, headings and widths; the design control asked for only once its class is
// registered, with the registered server.
#include "view/ZarnView.h"

#include "components/CompObj.h"
#include "components/Registry.h"
#include "components/ZarnDoc.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempAppDir.h"
#include "view/ViewWindow.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zarn {
namespace {

using Calls = std::vector<std::string>;

std::string Join(const std::vector<std::string>& texts, const char* separator) {
    std::string joined;
    for (const std::string& text : texts)
        joined += (joined.empty() ? "" : separator) + text;
    return joined;
}

// Writes down every call as a line of text; the list and the control can be made to fail.
class RecordingWindow : public ViewWindow {
public:
    bool CreateList(const std::vector<std::string>& headings) override {
        m_calls.push_back("CreateList " + Join(headings, "|"));
        return m_listMade;
    }
    void SetListRows(const std::vector<std::vector<std::string>>& rows) override {
        std::vector<std::string> lines;
        for (const auto& row : rows)
            lines.push_back(Join(row, "|"));
        m_calls.push_back("SetListRows " + Join(lines, "; "));
    }
    void SetListColumnWidths(const std::vector<int>& widths) override {
        std::vector<std::string> texts;
        for (const int width : widths)
            texts.push_back(std::to_string(width));
        m_calls.push_back("SetListColumnWidths " + Join(texts, ","));
    }
    void ShowList(bool shown) override { m_calls.push_back(shown ? "ShowList" : "HideList"); }
    void EnableList(bool enabled) override { m_calls.push_back(enabled ? "EnableList" : "DisableList"); }
    void PlaceList(int width, int height) override { m_calls.push_back(Size("PlaceList", width, height)); }

    bool CreateControl(const std::string& classId, const std::string& serverPath) override {
        m_calls.push_back("CreateControl");
        m_classId = classId;
        m_serverPath = serverPath;
        return m_controlMade;
    }
    void DestroyControl() override { m_calls.push_back("DestroyControl"); }
    void ShowControl(bool shown) override { m_calls.push_back(shown ? "ShowControl" : "HideControl"); }
    void EnableControl(bool enabled) override { m_calls.push_back(enabled ? "EnableControl" : "DisableControl"); }
    void FocusControl() override { m_calls.push_back("FocusControl"); }
    void PlaceControl(int width, int height) override { m_calls.push_back(Size("PlaceControl", width, height)); }

    int LogicalDpi() const override { return m_dpi; }
    void Invalidate() override { m_calls.push_back("Invalidate"); }
    bool ChoosePrinter() override {
        m_calls.push_back("ChoosePrinter");
        return m_printerChosen;
    }
    bool StartPrintJob() override {
        m_calls.push_back("StartPrintJob");
        return m_jobStarted;
    }
    void EndPrintJob() override { m_calls.push_back("EndPrintJob"); }

    // The calls since the last Take.
    Calls Take() { return std::exchange(m_calls, {}); }

    bool m_listMade = true;
    bool m_controlMade = true;
    bool m_printerChosen = true;
    bool m_jobStarted = true;
    int m_dpi = 96;
    std::string m_classId;
    std::string m_serverPath;

private:
    static std::string Size(const char* call, int width, int height) {
        return std::string(call) + " " + std::to_string(width) + "x" + std::to_string(height);
    }

    Calls m_calls;
};

// The control's registration names `library`.
void RegisterDesignControl(const std::string& library) {
    const std::string key = std::string("CLSID\\") + CZarnView::kDesignControlClassId + "\\InprocServer32";
    ASSERT_EQ(CRegistry(HKEY_CLASSES_ROOT).WriteString(key.c_str(), "", library.c_str()), 1);
}

// A test's own path to a built library, as the system's loader takes it (with a drive under Wine).
std::string LibraryPath(const char* built) {
    return std::filesystem::absolute(built).string();
}

class ZarnViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        AddRecord("Drawing Tools", 1, 2, 3, 4, "CURRENT");
        AddRecord("Help Pages", 0, 0, 0, 0, "NOT_INSTALLED");
        RegisterDesignControl(LibraryPath(ZARN_DESIGN_FACTORY_LIBRARY));
    }

    void AddRecord(const char* desc, int major, int minor, int cust, int build, const char* status) {
        auto record = std::make_unique<CCompObj>();
        record->m_desc = desc;
        record->m_majorVer = major;
        record->m_minorVer = minor;
        record->m_custNum = cust;
        record->m_buildNum = build;
        record->m_status = status;
        m_document.m_compList.push_back(std::move(record));
    }

    test::ScratchRegistry m_registry;
    test::TempAppDir m_app;
    CZarnDoc m_document{m_app.AppDir()};
    RecordingWindow m_window;
    std::unique_ptr<CZarnView> m_view = std::make_unique<CZarnView>(m_document, m_window);
};

TEST_F(ZarnViewTest, ListIsMadeOnceWithHeadingsAndRowsFromTheRecordsAndWidthsForTheScreen) {
    m_window.m_dpi = 144;
    m_view->OnSize(640, 400);
    EXPECT_EQ(m_window.Take(), Calls{});
    m_view->FillComponentList();
    EXPECT_EQ(m_window.Take(), (Calls{"CreateList Component|Version|Status", "PlaceList 640x400",
                                      "SetListRows Drawing Tools|1.2.3.4|CURRENT; Help Pages|0.0.0.0|NOT_INSTALLED",
                                      "SetListColumnWidths 375,188,263", "ShowList", "EnableList"}));
    EXPECT_EQ(m_view->m_listComponents, &m_window);

    // Later fills rebuild every row from the records as they are then, in the same list.
    m_document.m_compList.front()->m_status = "OUT_OF_DATE";
    m_document.m_compList.pop_back();
    m_window.m_dpi = 96;
    m_view->FillComponentList();
    EXPECT_EQ(m_window.Take(), (Calls{"SetListRows Drawing Tools|1.2.3.4|OUT_OF_DATE",
                                      "SetListColumnWidths 250,125,175", "ShowList", "EnableList"}));
    m_document.m_compList.clear();
    m_view->FillComponentList();
    EXPECT_EQ(m_window.Take(), (Calls{"SetListRows ", "SetListColumnWidths 250,125,175", "ShowList", "EnableList"}));
}

TEST_F(ZarnViewTest, ListThatCannotBeMadeIsTriedAgain) {
    m_window.m_listMade = false;
    m_view->FillComponentList();
    EXPECT_EQ(m_window.Take(), Calls{"CreateList Component|Version|Status"});
    EXPECT_EQ(m_view->m_listComponents, nullptr);
    m_view->ShowDesignControl();
    m_window.Take();
    m_window.m_listMade = true;
    m_view->FillComponentList();
    const Calls retried = m_window.Take();
    ASSERT_FALSE(retried.empty());
    EXPECT_EQ(retried.front(), "CreateList Component|Version|Status");
    EXPECT_EQ(m_view->m_listComponents, &m_window);
}

TEST_F(ZarnViewTest, ListThenDesignThenListSwitchesTheChildrenAndKeepsBothAtTheClientArea) {
    m_document.m_listMode = 1;
    m_view->OnSize(800, 600);
    m_view->FillComponentList();
    m_window.Take();

    m_view->ShowDesignControl();
    EXPECT_EQ(m_window.Take(), (Calls{"DisableList", "HideList", "CreateControl", "PlaceControl 800x600",
                                      "EnableControl", "ShowControl", "FocusControl"}));
    EXPECT_EQ(m_document.m_listMode, 0);
    EXPECT_EQ(m_view->m_wndDesign, &m_window);
    // The window is asked for the build's class, with the server its registration names.
    EXPECT_EQ(m_window.m_classId, CZarnView::kDesignControlClassId);
    EXPECT_EQ(m_window.m_serverPath, LibraryPath(ZARN_DESIGN_FACTORY_LIBRARY));

    // "&Design" while designing makes no second control.
    m_view->OnDesign();
    EXPECT_EQ(m_window.Take(), (Calls{"DisableList", "HideList", "EnableControl", "ShowControl", "FocusControl"}));

    // Both children follow the client area, the hidden one too.
    m_view->OnSize(320, 200);
    EXPECT_EQ(m_window.Take(), (Calls{"PlaceControl 320x200", "PlaceList 320x200"}));

    // An update check hides the control and shows the list again; designing again brings back the same control.
    m_view->HideDesignControl();
    m_document.m_listMode = 1;
    m_view->OnUpdate();
    EXPECT_EQ(m_window.Take(), (Calls{"DisableControl", "HideControl",
                                      "SetListRows Drawing Tools|1.2.3.4|CURRENT; Help Pages|0.0.0.0|NOT_INSTALLED",
                                      "SetListColumnWidths 250,125,175", "ShowList", "EnableList", "Invalidate"}));
    m_view->ShowDesignControl();
    EXPECT_EQ(m_window.Take(), (Calls{"DisableList", "HideList", "EnableControl", "ShowControl", "FocusControl"}));

    // The control goes with the view, while its library is still loaded.
    m_view.reset();
    EXPECT_EQ(m_window.Take(), Calls{"DestroyControl"});
}

TEST_F(ZarnViewTest, NothingIsAskedOfAChildBeforeItIsMade) {
    m_view->HideDesignControl();
    m_view->OnSize(640, 400);
    // Out of list mode an update only repaints.
    m_view->OnUpdate();
    EXPECT_EQ(m_window.Take(), Calls{"Invalidate"});
    EXPECT_EQ(m_view->m_listComponents, nullptr);
    EXPECT_EQ(m_view->m_wndDesign, nullptr);
    m_view.reset();
    EXPECT_EQ(m_window.Take(), Calls{});
}

TEST_F(ZarnViewTest, DesignControlThatCannotBeMadeLeavesTheViewBlankUntilItCan) {
    struct Case {
        const char* what;
        std::string registered; // empty: no registration at all
        bool controlMade;
        Calls tried; // what the failed attempt asks of the window after hiding the list
    };
    const Case cases[] = {
        {"not registered", "", true, {}},
        {"a window that makes no control", LibraryPath(ZARN_DESIGN_FACTORY_LIBRARY), false, {"CreateControl"}},
    };
    for (const Case& failure : cases) {
        SCOPED_TRACE(failure.what);
        test::ScratchRegistry registry;
        RecordingWindow window;
        CZarnView view(m_document, window);
        m_document.m_listMode = 1;
        view.FillComponentList();
        window.Take();
        if (!failure.registered.empty())
            RegisterDesignControl(failure.registered);
        window.m_controlMade = failure.controlMade;

        // Blank: the list hidden, no control, and the same again at the next "&Design".
        Calls blank{"DisableList", "HideList"};
        blank.insert(blank.end(), failure.tried.begin(), failure.tried.end());
        for (int attempt = 0; attempt < 2; ++attempt) {
            view.ShowDesignControl();
            EXPECT_EQ(window.Take(), blank);
            EXPECT_EQ(view.m_wndDesign, nullptr);
            EXPECT_EQ(m_document.m_listMode, 0);
        }

        RegisterDesignControl(LibraryPath(ZARN_DESIGN_FACTORY_LIBRARY));
        window.m_controlMade = true;
        view.OnDesign();
        EXPECT_EQ(view.m_wndDesign, &window);
        EXPECT_EQ(window.Take(), (Calls{"DisableList", "HideList", "CreateControl", "PlaceControl 0x0", "EnableControl",
                                        "ShowControl", "FocusControl"}));
    }
}

TEST_F(ZarnViewTest, PrintingDrawsOnePageOnlyWhenThePrinterIsChosenAndTheJobStarts) {
    struct Case {
        bool chosen;
        bool started;
        Calls calls;
    };
    const Case cases[] = {
        {false, true, {"ChoosePrinter"}},
        {true, false, {"ChoosePrinter", "StartPrintJob"}},
        {true, true, {"ChoosePrinter", "StartPrintJob", "EndPrintJob"}},
    };
    for (const Case& print : cases) {
        m_window.m_printerChosen = print.chosen;
        m_window.m_jobStarted = print.started;
        m_view->OnFilePrint();
        EXPECT_EQ(m_window.Take(), print.calls);
    }
}

} // namespace
} // namespace zarn
