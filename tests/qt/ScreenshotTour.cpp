// Not a test: walks the launcher's road on the demo vendor repository as a user does and saves a picture of each
// window on the way (the download in progress, the start dialog, the component list, the design control with a
// drawing, the about box). scripts/screenshots runs it under Xvfb at 100% and 200% scaling.
// Usage: zarn_screenshot_tour OUTPUT-DIR SUFFIX
#include "app/ZarnApp.h"
#include "app/qt/QtFrameWindow.h"
#include "app/qt/QtShellWindow.h"
#include "download/qt/QtDownloadWindow.h"
#include "platform/Process.h"
#include "res/DialogResult.h"
#include "res/ResourceIds.h"
#include "res/qt/AppIcon.h"
#include "res/qt/MessageBox.h"
#include "tests/support/LocalServer.h"
#include "tests/support/TempAppDir.h"
#include "view/qt/QtViewWindow.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace zarn {
namespace {

namespace fs = std::filesystem;

class TourApp : public CZarnApp {
public:
    TourApp(ShellWindow& shell, std::string appDir) : CZarnApp(shell), m_appDir(std::move(appDir)) {}

protected:
    void InitAppDirectory() override { m_strAppDir = m_appDir; }

private:
    std::string m_appDir;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class Tour {
public:
    Tour(QString outputDir, QString suffix) : m_outputDir(std::move(outputDir)), m_suffix(std::move(suffix)) {}

    int Run();

private:
    void Save(QWidget& widget, const char* name) {
        const QString file = QStringLiteral("%1/%2-%3.png").arg(m_outputDir, QLatin1String(name), m_suffix);
        if (!widget.grab().save(file)) {
            std::fprintf(stderr, "zarn_screenshot_tour: cannot write %s\n", qPrintable(file));
            m_failed = true;
        }
    }
    // Answers whatever modal window is up; called from a timer while the start-up's modal loops run.
    void Tick();
    void DrawSample(QWidget& canvas);

    QString m_outputDir;
    QString m_suffix;
    QtShellWindow m_shell;
    bool m_downloadSaved = false;
    int m_startDialogs = 0;
    bool m_failed = false;
};

void Tour::Tick() {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr)
        return;
    if (auto* download = qobject_cast<QtDownloadWindow*>(dialog)) {
        // The design control's cabinet, caught halfway with its time left and rate shown.
        const int percent = download->m_wndProgress->value();
        if (!m_downloadSaved && download->m_wndSourceLine->text().startsWith(QLatin1String("design.cab")) &&
            percent >= 50 && percent <= 90 && !download->m_wndRate->text().isEmpty()) {
            Save(*download, "download");
            m_downloadSaved = true;
        }
        return;
    }
    if (dialog->property("answered").toBool())
        return;
    dialog->setProperty("answered", true);
    if (dialog->objectName() == QLatin1String("startDialog")) {
        ++m_startDialogs;
        // A window manager would have maximised the frame; Xvfb has none.
        m_shell.MainWindow()->setGeometry(m_shell.MainWindow()->screen()->availableGeometry());
        QTest::qWait(200);
        Save(*dialog, "start-dialog");
        Save(*m_shell.MainWindow(), "component-list");
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("IDOK")), Qt::LeftButton);
    } else if (dialog->objectName() == QLatin1String("aboutDialog")) {
        QTest::qWait(100);
        Save(*dialog, "about");
        dialog->accept();
    } else {
        dialog->accept();
    }
}

void Tour::DrawSample(QWidget& canvas) {
    const auto drag = [&canvas](QPoint from, QPoint to) {
        QTest::mousePress(&canvas, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(&canvas, to);
        QTest::mouseRelease(&canvas, Qt::LeftButton, Qt::NoModifier, to);
    };
    auto* control = canvas.parentWidget();
    const auto tool = [control](const char* name) {
        for (auto* action : control->findChildren<QAction*>()) {
            if (action->objectName() == QLatin1String(name))
                action->trigger();
        }
    };
    // A small floor plan: the outer walls, two rooms, a door's swing line and a table.
    tool("rectangleTool");
    drag({60, 50}, {560, 380});
    drag({60, 50}, {300, 250});
    drag({400, 260}, {520, 340});
    tool("lineTool");
    drag({300, 250}, {300, 380});
    drag({300, 250}, {360, 200});
    drag({300, 150}, {560, 150});
}

int Tour::Run() {
    // A copy of the demo vendor repository, published below for this server's port (the build's own stays as
    // built); the design control's cabinet is handed out slowly enough (four seconds) for its download to be seen
    // under way.
    test::TempAppDir appDir;
    const fs::path repository = appDir.Outside() / "vendor";
    fs::copy(ZARN_SAMPLES_REPOSITORY, repository, fs::copy_options::recursive);
    const fs::path listFile = repository / "quillornacc/complist/complist.txt";
    test::LocalServer vendor;
    vendor.Http().set_keep_alive_max_count(1);
    vendor.Http().Get(
        R"(/+quillornacc/+complist/+complist\.txt)",
        [&](const httplib::Request&, httplib::Response& res) { res.set_content(ReadFile(listFile), "text/plain"); });
    vendor.Http().Get(R"(/quillornacc/components/([^/]+))", [&](const httplib::Request& req, httplib::Response& res) {
        auto body =
            std::make_shared<std::string>(ReadFile(repository / "quillornacc/components" / req.matches[1].str()));
        const size_t piece = body->size() / 40 + 1;
        const bool slow = req.matches[1].str() == "design.cab";
        res.set_content_provider(body->size(), "application/octet-stream",
                                 [body, piece, slow, &vendor](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (slow && !vendor.Releasing())
                                         std::this_thread::sleep_for(std::chrono::milliseconds(100));
                                     sink.write(body->data() + offset, std::min(piece, body->size() - offset));
                                     return true;
                                 });
    });
    vendor.Start();
    platform::ProgramEnd end;
    if (platform::RunProgram(ZARN_PUBLISH_PATH,
                             {"build", ZARN_SAMPLES_MANIFEST, repository.string(), "--key", ZARN_SAMPLES_PRIVATE_KEY,
                              "--server", vendor.Url("")},
                             platform::ProgramWindow::None, platform::ProgramOutput::Own, end) != 0 ||
        !end.ExitedWith(0)) {
        std::fputs("zarn_screenshot_tour: cannot publish the demo list\n", stderr);
        return 1;
    }
    fs::copy_file(ZARN_EXPAND_PATH, appDir.Path("zarn-expand"));
    fs::copy_file(ZARN_REGISTRY_LIBRARY, appDir.Path("libzarn_registry.so"));
    fs::create_directory(appDir.Path("complist"));
    fs::create_directory(appDir.Path("temp"));
    const std::string document = (appDir.Outside() / "kitchen.dsn").string();
    std::ofstream(document) << "a sample drawing";

    MessageBox::SetHook([](QWidget*, const QString&) { return int(kIdOk); });
    QApplication::setWindowIcon(AppIcon());
    TourApp app(m_shell, appDir.AppDir());
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [this] { Tick(); });
    timer.start(20);
    if (!app.InitInstance({document, "--server", vendor.Url("")}))
        return 1;

    const QtViewWindow& view = *m_shell.MainWindow()->GetActiveView();
    QWidget* canvas =
        view.m_wndDesign ? view.m_wndDesign->findChild<QWidget*>(QStringLiteral("designCanvas")) : nullptr;
    if (canvas == nullptr) {
        std::fputs("zarn_screenshot_tour: the design control did not show\n", stderr);
        return 1;
    }
    DrawSample(*canvas);
    QTest::qWait(100);
    Save(*m_shell.MainWindow(), "design-control");

    app.OnAppAbout();
    if (!m_downloadSaved || m_startDialogs == 0) {
        std::fputs("zarn_screenshot_tour: no download or start dialog was seen\n", stderr);
        return 1;
    }
    vendor.Stop();
    return m_failed ? 1 : 0;
}

} // namespace
} // namespace zarn

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fputs("usage: zarn_screenshot_tour OUTPUT-DIR SUFFIX\n", stderr);
        return 1;
    }
    return zarn::Tour(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2])).Run();
}
