// The launcher's window as a user meets it: start-up through the real application object, the start dialog,
// update checks against a real server on a loopback port, the component list, the design control from a
// registered library, the menu, the status bar and the about box.
#include "app/ZarnApp.h"

#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "app/StartDlg.h"
#include "app/qt/QtAboutWindow.h"
#include "app/qt/QtFrameWindow.h"
#include "app/qt/QtShellWindow.h"
#include "app/qt/QtStartWindow.h"
#include "components/LauncherSettings.h"
#include "components/Registry.h"
#include "components/ZarnDoc.h"
#include "download/ProgressText.h"
#include "download/qt/CredentialsDlg.h"
#include "download/qt/QtDownloadWindow.h"
#include "platform/Process.h"
#include "res/DialogResult.h"
#include "res/ResourceIds.h"
#include "res/qt/DialogFrame.h"
#include "res/qt/MessageBox.h"
#include "tests/support/LocalServer.h"
#include "tests/support/TempAppDir.h"
#include "tests/support/VersionedFile.h"
#include "view/ZarnView.h"
#include "view/qt/QtViewWindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

namespace zarn {
namespace {

const QString kListMissing =
    QStringLiteral("Online System Update Required \nPlease ensure a connection to the internet is present ");

// The Qt windows of a TestApp, made before the application that uses them.
struct QtWindows {
    QtShellWindow m_qtShell;
};

// An application in the Qt windows whose directory is a test's own.
class TestApp : private QtWindows, public CZarnApp {
public:
    explicit TestApp(std::string appDir) : CZarnApp(m_qtShell), m_appDir(std::move(appDir)) {}

    // The main window and its view, null before the start-up makes them.
    QtFrameWindow* Frame() const { return m_qtShell.MainWindow(); }
    QtViewWindow* View() const { return Frame() != nullptr ? Frame()->GetActiveView() : nullptr; }

protected:
    void InitAppDirectory() override { m_strAppDir = m_appDir; }

private:
    std::string m_appDir;
};

// A view window that prints into a PDF file instead of asking through the print dialog.
class PdfView : public QtViewWindow {
public:
    PdfView(CZarnDoc& document, QString file) : QtViewWindow(document), m_file(std::move(file)) {}

protected:
    bool RunPrintDialog(QPrinter& printer) override {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_file);
        return true;
    }

private:
    QString m_file;
};

// Answers the modal dialogs as they come up, one scripted step per dialog, in order; a dialog the script did
// not expect is written down and ended (a start dialog with "Start Designing", so that the chain unwinds).
class DialogScript {
public:
    using Step = std::function<void(QDialog&)>;

    DialogScript() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_timer.start(5);
    }
    void Then(const char* dialogName, Step step) { m_steps.push_back({QLatin1String(dialogName), std::move(step)}); }
    // Called while a download dialog is up, with its source line.
    std::function<void(const QString&)> m_onDownload;

    QStringList m_unexpected;
    bool Done() const { return m_steps.empty(); }

private:
    void Tick() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || dialog->property("answered").toBool())
            return;
        if (auto* download = qobject_cast<QtDownloadWindow*>(dialog)) {
            if (m_onDownload)
                m_onDownload(download->m_wndSourceLine->text());
            return;
        }
        dialog->setProperty("answered", true);
        if (!m_steps.empty() && m_steps.front().first == dialog->objectName()) {
            const Step step = std::move(m_steps.front().second);
            m_steps.pop_front();
            step(*dialog);
            // A step that failed before ending its dialog: end it here, so that the chain still unwinds.
            if (dialog->isVisible()) {
                m_unexpected << QStringLiteral("left open: ") + dialog->objectName();
                dialog->accept();
            }
            return;
        }
        m_unexpected << dialog->objectName();
        dialog->accept();
    }

    std::deque<std::pair<QString, Step>> m_steps;
    QTimer m_timer;
};

QWidget* Child(QWidget* parent, unsigned id) {
    for (QWidget* child : parent->findChildren<QWidget*>()) {
        if (child->property(kControlIdProperty).toUInt() == id)
            return child;
    }
    return nullptr;
}

// The list's rows as "component|version|status".
QStringList Rows(const QtViewWindow& view) {
    QStringList rows;
    const QTableWidget* list = view.m_listComponents;
    for (int row = 0; list != nullptr && row < list->rowCount(); ++row)
        rows << list->item(row, 0)->text() + "|" + list->item(row, 1)->text() + "|" + list->item(row, 2)->text();
    return rows;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return in ? bytes.str() : "<missing>";
}

// The "Drawing Tools" file the server has: the version its record lists, so that it reads current once installed.
std::string ToolBytes() {
    const std::vector<uint8_t> bytes = test::MakeVersionedPe("1.2.3.4");
    return std::string(bytes.begin(), bytes.end());
}

void Click(QDialog& dialog, unsigned id) {
    auto* button = qobject_cast<QPushButton*>(Child(&dialog, id));
    QVERIFY(button != nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace

class ZarnAppTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startDialogLeadsToChecksTheListAndTheDesignControl();
    void enterPressesTheFocusedButton();
    void documentOnTheCommandLineShowsTheControlAtOnce();
    void frameMenuStatusBarAndAboutBox();
    void dialogsHaveACloseBoxOnlyAndRoomForTheirCaption();
    void windowWritesTheUpdateLogWithEveryReason();
    void printingGivesAnEmptyPage();
    void sampleDesignControlFromTheDemoRepository();
    void commandLineIsReadAsTheConsoleReadsIt();

private:
    // A vendor server with the list and one plain file, which it hands out slowly enough to be seen.
    void ServeList();
    std::string ListText() const;
    // Registers `library` as the design control's server.
    static void RegisterDesignControl(const char* library);

    QStringList m_boxes;
    std::unique_ptr<test::TempAppDir> m_app;
    std::unique_ptr<test::LocalServer> m_server;
    std::unique_ptr<QTemporaryDir> m_config;
    int m_listRequests = 0;
};

void ZarnAppTest::initTestCase() {
    // The settings and the log go to folders of the test's own, never to the user's.
    m_config = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
    qputenv("XDG_STATE_HOME", m_config->filePath(QStringLiteral("state")).toLocal8Bit());
}

void ZarnAppTest::RegisterDesignControl(const char* library) {
    CRegistry classes(HKEY_CLASSES_ROOT);
    const std::string key = std::string("CLSID\\") + CZarnView::kDesignControlClassId + "\\InprocServer32";
    QCOMPARE(classes.WriteString(key.c_str(), "", library), 1);
}

void ZarnAppTest::init() {
    m_boxes.clear();
    MessageBox::SetHook([this](QWidget*, const QString& text) {
        m_boxes << text;
        return int(kIdOk);
    });
    m_app = std::make_unique<test::TempAppDir>();
    m_listRequests = 0;
    // A case that installs the sample control leaves its registration behind.
    RegisterDesignControl(ZARN_TEST_DESIGN_CONTROL);
    ServeList();
}

void ZarnAppTest::cleanup() {
    MessageBox::SetHook({});
    m_server.reset();
    m_app.reset();
}

std::string ZarnAppTest::ListText() const {
    return "[STARTCOMP]\ndesc=Drawing Tools\ncodebase=" + m_server->Url("/files/tools.bin") +
           "\nregfile=app\ndir=tools\nmajor_ver=1\nminor_ver=2\ncust_num=3\nbuild_num=4\n[ENDCOMP]\n"
           "[STARTCOMP]\ndesc=Help Pages\n[ENDCOMP]\n";
}

void ZarnAppTest::ServeList() {
    m_server = std::make_unique<test::LocalServer>();
    // One request a connection, so that stopping never waits for an idle kept-alive one.
    m_server->Http().set_keep_alive_max_count(1);
    m_server->Http().Get(R"(/+quillornacc/+complist/+complist\.txt)",
                         [this](const httplib::Request&, httplib::Response& res) {
                             ++m_listRequests;
                             res.set_content(ListText(), "text/plain");
                         });
    m_server->Http().Get("/files/tools.bin", [](const httplib::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        res.set_content(ToolBytes(), "application/octet-stream");
    });
    m_server->Start();
}

void ZarnAppTest::startDialogLeadsToChecksTheListAndTheDesignControl() {
    m_app->WriteList("[STARTCOMP]\ndesc=Old\n[ENDCOMP]\n");
    TestApp app(m_app->AppDir());
    const QtViewWindow* view = nullptr;
    QStringList seen;
    DialogScript script;
    script.m_onDownload = [&](const QString& source) {
        // While a component downloads, the list already shows every record with its status before installing.
        if (source.startsWith(QLatin1String("tools.bin")) && view != nullptr && seen.isEmpty())
            seen << Rows(*view);
    };
    script.Then("startDialog", [&](QDialog& dialog) {
        view = app.View();
        QVERIFY(Child(&dialog, IDC_UPDATE)->isEnabled());
        // Blank until the user chooses.
        QVERIFY(view->m_listComponents == nullptr && view->m_wndDesign == nullptr);
        QVERIFY(app.Frame()->isMaximized());
        // Restored, the frame takes three quarters of the screen's free area, in its middle.
        const QRect available = app.Frame()->screen()->availableGeometry();
        const QRect normal = app.Frame()->normalGeometry();
        QCOMPARE(normal.size(), available.size() * 3 / 4);
        QVERIFY2((normal.center() - available.center()).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("restored at %1,%2").arg(normal.x()).arg(normal.y())));
        QCOMPARE(dialog.palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(dialog.palette().color(QPalette::WindowText), QColor(Qt::black));
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    const QStringList afterCheck{"Drawing Tools|1.2.3.4|CURRENT", "Help Pages|0.0.0.0|CURRENT"};
    script.Then("startDialog", [&](QDialog& dialog) {
        QVERIFY(!Child(&dialog, IDC_UPDATE)->isEnabled());
        QCOMPARE(Rows(*view), afterCheck);
        QVERIFY(view->m_listComponents->isVisible());
        QCOMPARE(ReadFile(m_app->Path("tools/tools.bin")), ToolBytes());
        // The close box asks for a check too, greyed button or not: a second check nests in this one.
        dialog.close();
    });
    script.Then("startDialog", [&](QDialog& dialog) { Click(dialog, IDOK_BUTTON); });

    QVERIFY(app.InitInstance({"--server", m_server->Url("")}));
    QVERIFY(script.Done());
    QCOMPARE(script.m_unexpected, QStringList());
    QCOMPARE(m_boxes, QStringList());
    QCOMPARE(m_listRequests, 2);
    QCOMPARE(seen, (QStringList{"Drawing Tools|1.2.3.4|NOT_INSTALLED", "Help Pages|0.0.0.0|NOT_INSTALLED"}));
    QCOMPARE(app.Frame()->windowTitle(), QStringLiteral("Quillorna by www.ostrevant.com [www.quillorna.com]"));

    // After the one "Start Designing" every nested check has unwound, and the control fills the view.
    QWidget* control = view->m_wndDesign;
    QVERIFY(control != nullptr);
    QCOMPARE(control, Child(app.View(), IDC_DESIGN_CONTROL));
    QCOMPARE(control->objectName(), QStringLiteral("cad design"));
    QVERIFY(control->isVisible() && control->isEnabled());
    QVERIFY(!view->m_listComponents->isVisible() && !view->m_listComponents->isEnabled());
    QCOMPARE(app.GetActiveDocument()->m_listMode, 0);
    const QTableWidget& list = *view->m_listComponents;
    QCOMPARE(list.property(kControlIdProperty).toUInt(), unsigned(IDC_COMPONENT_LIST));
    QVERIFY(list.showGrid());
    const double scale = view->logicalDpiX() / 96.0;
    QCOMPARE(list.columnWidth(0), qRound(250 * scale));
    QCOMPARE(list.columnWidth(1), qRound(125 * scale));
    QCOMPARE(list.columnWidth(2), qRound(175 * scale));
    QCOMPARE(list.horizontalHeaderItem(2)->text(), QStringLiteral("Status"));
    QCOMPARE(list.horizontalHeader()->defaultAlignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

    // A new document keeps the records and the view as they are.
    app.Frame()->m_actFileNew->trigger();
    QCOMPARE(Rows(*view), afterCheck);
    QVERIFY(control->isVisible());

    // "&Design" while designing changes nothing.
    app.Frame()->m_actDesign->trigger();
    QCOMPARE(view->m_wndDesign, control);
    QVERIFY(control->isVisible());
    QCOMPARE(view->findChildren<QWidget*>(QStringLiteral("cad design")).size(), 1);

    // Resizing keeps both children, the hidden one too, at the full client area.
    app.Frame()->showNormal();
    app.Frame()->resize(640, 400);
    QTRY_COMPARE(app.Frame()->size(), QSize(640, 400));
    QTRY_COMPARE(control->geometry(), view->rect());
    QCOMPARE(view->m_listComponents->geometry(), view->rect());
    QVERIFY(view->width() <= 640 && view->height() < 400);

    // A check over the shown control hides it; "Start Designing" brings the same control back.
    script.Then("startDialog", [&](QDialog& dialog) { Click(dialog, IDC_UPDATE); });
    script.Then("startDialog", [&](QDialog& dialog) {
        QVERIFY(!control->isVisible() && !control->isEnabled());
        QVERIFY(view->m_listComponents->isVisible());
        Click(dialog, IDOK_BUTTON);
    });
    app.ShowStartDialog(1);
    QVERIFY(script.Done());
    QCOMPARE(view->m_wndDesign, control);
    QVERIFY(control->isVisible() && !view->m_listComponents->isVisible());
    QCOMPARE(m_listRequests, 3);
}

void ZarnAppTest::enterPressesTheFocusedButton() {
    m_app->WriteList(ListText());
    TestApp app(m_app->AppDir());
    DialogScript script;
    // Tab moves the focus from "Start Designing" to the update button, and Enter presses that one: a check.
    QStringList focused;
    script.Then("startDialog", [&](QDialog& dialog) {
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
        focused << dialog.focusWidget()->objectName();
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
    });
    // The check's own dialog, its update button greyed: Enter presses the default button.
    script.Then("startDialog", [&](QDialog& dialog) {
        focused << dialog.focusWidget()->objectName();
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Enter);
    });
    QVERIFY(app.InitInstance({"--server", m_server->Url("")}));
    QVERIFY(script.Done());
    QCOMPARE(script.m_unexpected, QStringList());
    QCOMPARE(focused, (QStringList{"IDC_UPDATE", "IDOK"}));
    QCOMPARE(m_listRequests, 1);
    QVERIFY(app.View()->m_wndDesign != nullptr && app.View()->m_wndDesign->isVisible());
}

void ZarnAppTest::documentOnTheCommandLineShowsTheControlAtOnce() {
    m_app->WriteList(ListText());
    std::filesystem::create_directory(m_app->Path("temp"));
    const std::string document = (m_app->Outside() / "kitchen plan.dsn").string();
    std::ofstream(document) << "lines";
    {
        TestApp app(m_app->AppDir());
        DialogScript script;
        QVERIFY(app.InitInstance({document, "--server", m_server->Url("")}));
        QCOMPARE(script.m_unexpected, QStringList());
        QCOMPARE(ReadFile(m_app->Path("temp/startfile.txt")), document);
        QVERIFY(app.View()->m_wndDesign != nullptr && app.View()->m_wndDesign->isVisible());
        QVERIFY(app.View()->m_listComponents == nullptr);
        QCOMPARE(m_listRequests, 0);
        // The caption never names the document.
        QCOMPARE(app.Frame()->windowTitle(), QString::fromStdString(CMainFrame::Caption()));
        QCOMPARE(app.ExitInstance(), 0);
    }
    const std::vector<std::string> recent = LauncherSettings::RecentFiles(CZarnApp::kMaxRecentFiles);
    QVERIFY(!recent.empty());
    QCOMPARE(recent.front(), document);
}

void ZarnAppTest::frameMenuStatusBarAndAboutBox() {
    QtShellWindow shell;
    CMainFrame presenter(shell, nullptr);
    QtFrameWindow& frame = *shell.MainWindow();
    frame.show();
    QStringList menus;
    for (QAction* action : frame.menuBar()->actions())
        menus << action->text();
    QCOMPARE(menus, (QStringList{"&Design", "&Settings", "&Help"}));

    // "Ready" when idle, the prompt's first line while an item is highlighted.
    QLabel* pane = frame.m_paneMessage;
    QCOMPARE(pane->text(), QStringLiteral("Ready"));
    frame.m_actStatusBar->showStatusText(&frame);
    QCOMPARE(pane->text(), QStringLiteral("Show or hide the status bar"));
    frame.m_actAbout->showStatusText(&frame);
    QCOMPARE(pane->text(), QStringLiteral("Display program information, version number and copyright"));
    frame.m_actDesign->showStatusText(&frame);
    QCOMPARE(pane->text(), QStringLiteral("Ready"));
    for (QLabel* indicator : {frame.m_paneCaps, frame.m_paneNum, frame.m_paneScroll})
        QVERIFY(indicator->isVisible() && indicator->width() > 0);

    QVERIFY(frame.m_actStatusBar->isChecked() && frame.statusBar()->isVisible());
    frame.m_actStatusBar->trigger();
    QVERIFY(!frame.m_actStatusBar->isChecked() && !frame.statusBar()->isVisible());
    frame.m_actStatusBar->trigger();
    QVERIFY(frame.m_actStatusBar->isChecked() && frame.statusBar()->isVisible());

    TestApp app(m_app->AppDir());
    DialogScript script;
    QString product, contact, selected, unsignedLine;
    bool readOnly = false, iconShown = false;
    script.Then("aboutDialog", [&](QDialog& dialog) {
        // The test build has no vendor keys, and its about box says so.
        if (auto* line = dialog.findChild<QLabel*>(QStringLiteral("unsignedLists"));
            line && line->isVisible() && dialog.rect().contains(line->geometry()))
            unsignedLine = line->text();
        auto* edit = qobject_cast<QLineEdit*>(Child(&dialog, IDC_PRODUCT_LINE));
        QVERIFY(edit != nullptr);
        product = edit->text();
        readOnly = edit->isReadOnly();
        edit->selectAll();
        selected = edit->selectedText();
        contact = qobject_cast<QLabel*>(Child(&dialog, IDC_CONTACT_LINE))->text();
        iconShown = !dialog.findChild<QLabel*>(QStringLiteral("icon"))->pixmap().isNull();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("About Quillorna"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    app.OnAppAbout();
    QVERIFY(script.Done());
    QCOMPARE(product, QStringLiteral("Quillorna by Ostrevant Ltd."));
    QVERIFY(readOnly);
    QCOMPARE(selected, product);
    // The application's own icon, from its artwork at every size, in the box and on the main window.
    QVERIFY(iconShown);
    QCOMPARE(frame.windowIcon().availableSizes().size(), 7);
    QVERIFY2(contact.startsWith(QLatin1String("email: ")) && contact.contains(QLatin1Char('@')), qPrintable(contact));
    QCOMPARE(unsignedLine,
             QStringLiteral("Built without vendor keys: this launcher accepts component lists without a signature."));

    // A build with keys has no such line.
    CAboutDlg signedBox(shell);
    signedBox.m_bUnsignedLists = false;
    bool lineShown = true;
    script.Then("aboutDialog", [&](QDialog& dialog) {
        lineShown = dialog.findChild<QLabel*>(QStringLiteral("unsignedLists"))->isVisible();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    signedBox.DoModal();
    QVERIFY(script.Done());
    QVERIFY(!lineShown);
}

void ZarnAppTest::dialogsHaveACloseBoxOnlyAndRoomForTheirCaption() {
    // What the title bar needs besides the caption: the icon, the close box and the frame.
    const auto captionRoom = [](const QWidget& window) {
        QFont font = QApplication::font();
        font.setBold(true);
        const QStyle* style = window.style();
        return QFontMetrics(font).horizontalAdvance(window.windowTitle()) +
               3 * style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window) +
               2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &window);
    };
    QStringList seen;
    const auto check = [&](QDialog& dialog) {
        seen << dialog.windowTitle();
        // Only the hints asked for reach the window manager: a caption and a close box, no other buttons.
        const Qt::WindowFlags flags = dialog.windowFlags();
        QCOMPARE(dialog.windowType(), Qt::Dialog);
        QVERIFY(flags.testFlags(Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint));
        QVERIFY(!(flags & (Qt::WindowMinMaxButtonsHint | Qt::WindowContextHelpButtonHint)));
        // A fixed size: nothing for a window manager to maximise.
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY2(
            dialog.width() >= captionRoom(dialog),
            qPrintable(
                QStringLiteral("%1: %2 < %3").arg(dialog.windowTitle()).arg(dialog.width()).arg(captionRoom(dialog))));
    };
    QtShellWindow shell;
    CMainFrame presenter(shell, nullptr);
    QtFrameWindow& frame = *shell.MainWindow();
    CStartDlg startDialog(shell);
    QtStartWindow start(startDialog);
    CAboutDlg aboutDialog(shell);
    QtAboutWindow about(aboutDialog, &frame);
    QtDownloadWindow download(&frame);
    CredentialsDlg credentials(&download);
    // The prompt grows with a long question, and stays fixed.
    credentials.Prepare(QString::fromStdString(FormatCredentialsQuestion(false, "downloads.example.com")), QString());
    for (QDialog* dialog : std::initializer_list<QDialog*>{&start, &about, &download, &credentials}) {
        dialog->show();
        check(*dialog);
        dialog->hide();
    }
    // The message boxes as a user gets them, not through the tests' hook.
    MessageBox::SetHook({});
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            check(*box);
            box->accept();
        }
    });
    MessageBox::ShowOk(&frame, QStringLiteral("text"));
    QCOMPARE(seen,
             (QStringList{"Start Quillorna", "About Quillorna", "File Download", "Enter Network Password", "zarn"}));
}

void ZarnAppTest::windowWritesTheUpdateLogWithEveryReason() {
    // One component whose file is not on the server, one whose installer fails.
    test::LocalServer vendor;
    vendor.Http().set_keep_alive_max_count(1);
    std::string list;
    vendor.Http().Get(R"(/+quillornacc/+complist/+complist\.txt)",
                      [&](const httplib::Request&, httplib::Response& res) { res.set_content(list, "text/plain"); });
    vendor.Http().Get("/files/setup.exe", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("#!/bin/sh\nexit 7\n", "application/octet-stream");
    });
    vendor.Start();
    list = "[STARTCOMP]\ndesc=Drawing Tools\ncodebase=" + vendor.Url("/files/missing.bin") +
           "\nregfile=app\ndir=tools\nmajor_ver=1\nminor_ver=2\ncust_num=3\nbuild_num=4\n[ENDCOMP]\n"
           "[STARTCOMP]\ndesc=Setup\ncodebase=" +
           vendor.Url("/files/setup.exe") + "\ndir=setup\nmajor_ver=1\n[ENDCOMP]\n";
    const QString logFile = m_config->filePath(QStringLiteral("state/Ostrevant/zarn/zarn.log"));
    QFile::remove(logFile);
    m_app->WriteList(list);

    TestApp app(m_app->AppDir());
    DialogScript script;
    script.Then("startDialog", [&](QDialog& dialog) { Click(dialog, IDC_UPDATE); });
    script.Then("startDialog", [&](QDialog& dialog) { Click(dialog, IDOK_BUTTON); });
    QVERIFY(app.InitInstance({"--server", vendor.Url("")}));
    QCOMPARE(script.m_unexpected, QStringList());
    QVERIFY(!m_boxes.isEmpty());

    QFile file(logFile);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(logFile));
    const QString log = QString::fromLocal8Bit(file.readAll());
    // The download's failure with the text its box showed (on one line), and the installer's exit code.
    const QString shown = m_boxes.front().simplified();
    QVERIFY2(log.contains(QStringLiteral("/files/missing.bin -> ")) && log.contains(": not downloaded: " + shown),
             qPrintable(shown + " not in:\n" + log));
    QVERIFY2(log.contains(QStringLiteral("setup.exe exited with status 7, result 0")), qPrintable(log));
}

void ZarnAppTest::printingGivesAnEmptyPage() {
    CZarnDoc document(m_app->AppDir());
    document.m_listMode = 1;
    const QString pdf = QString::fromStdString((m_app->Outside() / "view.pdf").string());
    PdfView view(document, pdf);
    view.View().FillComponentList();
    view.View().OnFilePrint();
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r"), 1);
    // Nothing drawn on it: the list on the screen is no part of the printout.
    QVERIFY(!bytes.contains("/Type /Font"));
}

void ZarnAppTest::sampleDesignControlFromTheDemoRepository() {
    // The demo vendor repository over a real server, and the installed layout it needs: the list's folder, the
    // cabinet expander beside the launcher and the registry library that the templates' installer loads.
    // A copy of the demo repository, published below for this server's port.
    const std::filesystem::path repository = m_app->Outside() / "vendor";
    std::filesystem::copy(ZARN_SAMPLES_REPOSITORY, repository, std::filesystem::copy_options::recursive);
    const std::filesystem::path listFile = repository / "quillornacc/complist/complist.txt";
    test::LocalServer vendor;
    vendor.Http().set_keep_alive_max_count(1);
    vendor.Http().set_mount_point("/quillornacc/components", (repository / "quillornacc/components").string());
    vendor.Http().Get(
        R"(/+quillornacc/+complist/+complist\.txt)",
        [&](const httplib::Request&, httplib::Response& res) { res.set_content(ReadFile(listFile), "text/plain"); });
    vendor.Start();
    platform::ProgramEnd end;
    QCOMPARE(platform::RunProgram(ZARN_PUBLISH_PATH,
                                  {"build", ZARN_SAMPLES_MANIFEST, repository.string(), "--key",
                                   ZARN_SAMPLES_PRIVATE_KEY, "--server", vendor.Url("")},
                                  platform::ProgramWindow::None, platform::ProgramOutput::Own, end),
             0ul);
    QVERIFY(end.ExitedWith(0));
    for (const auto& [from, to] :
         {std::pair{ZARN_EXPAND_PATH, "zarn-expand"}, std::pair{ZARN_REGISTRY_LIBRARY, "libzarn_registry.so"}})
        std::filesystem::copy_file(from, m_app->Path(to));
    std::filesystem::create_directory(m_app->Path("complist"));
    std::filesystem::create_directory(m_app->Path("temp"));
    const std::string document = (m_app->Outside() / "kitchen plan.dsn").string();
    std::ofstream(document) << "lines";

    TestApp app(m_app->AppDir());
    QtViewWindow* view = nullptr;
    QStringList statuses;
    DialogScript script;
    // The list is missing, so a check installs everything first, and its start dialog leads to designing.
    script.Then("startDialog", [&](QDialog& dialog) {
        view = app.View();
        for (const QString& row : Rows(*view))
            statuses << row.section(QLatin1Char('|'), 2);
        Click(dialog, IDOK_BUTTON);
    });
    QVERIFY(app.InitInstance({document, "--server", vendor.Url("")}));
    QCOMPARE(script.m_unexpected, QStringList());
    QCOMPARE(m_boxes, QStringList{kListMissing});
    QCOMPARE(statuses, QStringList(4, QStringLiteral("CURRENT")));

    // The installed sample control fills the view, opened on the command line's document.
    QWidget* control = view->m_wndDesign;
    QVERIFY(control != nullptr);
    QCOMPARE(control->metaObject()->className(), "quillorna::DesignControl");
    QVERIFY(control->isVisible() && !view->m_listComponents->isVisible());
    QTRY_COMPARE(control->geometry(), view->rect());
    auto* name = control->findChild<QLabel*>(QStringLiteral("documentName"));
    QVERIFY(name != nullptr && name->isVisible());
    QCOMPARE(name->text(), QStringLiteral("kitchen plan.dsn"));

    // A drawing in the hosted control, and Ctrl+Z reaches the control through the main frame.
    QWidget* canvas = control->findChild<QWidget*>(QStringLiteral("designCanvas"));
    QVERIFY(canvas != nullptr);
    app.Frame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(app.Frame()));
    canvas->setFocus();
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, {20, 20});
    QTest::mouseMove(canvas, {120, 80});
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, {120, 80});
    auto* undo = control->findChild<QAction*>(QStringLiteral("undo"));
    QVERIFY(undo != nullptr && undo->isEnabled());
    QTest::keyClick(canvas, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(!undo->isEnabled());

    // A second check hides the control behind the list; "Start Designing" brings back the same one.
    script.Then("startDialog", [&](QDialog& dialog) { Click(dialog, IDC_UPDATE); });
    script.Then("startDialog", [&](QDialog& dialog) {
        QVERIFY(!control->isVisible() && view->m_listComponents->isVisible());
        Click(dialog, IDOK_BUTTON);
    });
    app.ShowStartDialog(1);
    QVERIFY(script.Done());
    QCOMPARE(view->m_wndDesign, control);
    QVERIFY(control->isVisible() && !view->m_listComponents->isVisible());
    QCOMPARE(view->findChildren<QWidget*>(QStringLiteral("cad design")).size(), 1);
    QCOMPARE(script.m_unexpected, QStringList());
}

void ZarnAppTest::commandLineIsReadAsTheConsoleReadsIt() {
    // An https server whose certificate only --ca-file or the stored caFile vouches for.
    const QString keys = m_config->filePath(QStringLiteral("tls"));
    QVERIFY(QDir().mkpath(keys));
    const std::string key = (keys + "/key.pem").toStdString(), certificate = (keys + "/cert.pem").toStdString();
    platform::ProgramEnd end;
    QCOMPARE(platform::RunProgram("/usr/bin/openssl",
                                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                   "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                                   "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", certificate},
                                  platform::ProgramWindow::None, platform::ProgramOutput::Own, end),
             0ul);
    QVERIFY(end.ExitedWith(0));
    test::LocalServer secure(std::make_unique<httplib::SSLServer>(certificate.c_str(), key.c_str()));
    secure.Http().set_keep_alive_max_count(1);
    secure.Http().Get(R"(/+quillornacc/+complist/+complist\.txt)", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("[STARTCOMP]\ndesc=Help Pages\n[ENDCOMP]\n", "text/plain");
    });
    secure.Start();
    const std::string server = secure.Url("", "https");

    struct Run {
        std::vector<std::string> line;
        const char* storedCaFile;
        bool fetched;
    };
    const Run runs[] = {
        {{"--server", server, "--ca-file", certificate}, "", true},
        {{"--server", server}, certificate.c_str(), true},
        {{"--server", server}, "", false},
        {{"--server", server, "--ca-file", (keys + "/none.pem").toStdString()}, certificate.c_str(), false},
    };
    for (const Run& run : runs) {
        m_boxes.clear();
        test::TempAppDir appDir;
        std::filesystem::create_directory(appDir.Path("complist"));
        QCOMPARE(LauncherSettings::StoreCaFile(run.storedCaFile), 1);
        TestApp app(appDir.AppDir());
        DialogScript script;
        script.Then("startDialog", [&](QDialog& dialog) { Click(dialog, IDOK_BUTTON); });
        script.Then("startDialog", [&](QDialog& dialog) { Click(dialog, IDOK_BUTTON); });
        QVERIFY2(app.InitInstance(run.line), qPrintable(m_boxes.join('|')));
        QCOMPARE(script.m_unexpected, QStringList());
        QCOMPARE(Rows(*app.View()).size(), run.fetched ? 1 : 0);
        // Only the list-missing message when the list came; a failed download's besides when it did not.
        QCOMPARE(m_boxes.size(), run.fetched ? 1 : 2);
    }
    QCOMPARE(CRegistry(HKEY_CURRENT_USER).Delete(LauncherSettings::kKey, LauncherSettings::kCaFileValue), 1);
}

} // namespace zarn

QTEST_MAIN(zarn::ZarnAppTest)
#include "ZarnAppTest.moc"
