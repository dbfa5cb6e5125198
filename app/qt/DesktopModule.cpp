#include "app/DesktopLauncher.h"
#include "app/ZarnApp.h"
#include "app/qt/QtFrameWindow.h"
#include "app/qt/QtShellWindow.h"
#include "res/qt/AppIcon.h"

#include <QApplication>
#include <string>
#include <vector>

namespace zarn {

namespace {

int RunDesktop(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Ostrevant"));
    QApplication::setApplicationName(QStringLiteral("zarn"));
    // Every window and dialog shows the icon; the desktop matches the window to its menu entry by this name.
    QApplication::setWindowIcon(AppIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("com.ostrevant.Quillorna"));

    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);

    QtShellWindow shell;
    CZarnApp app(shell);
    if (!app.InitInstance(arguments))
        return 1;
    // The user may have closed the main window while the start-up's dialogs ran.
    if (shell.MainWindow() != nullptr && shell.MainWindow()->isVisible())
        QApplication::exec();
    return app.ExitInstance();
}

} // namespace

} // namespace zarn

extern "C" Q_DECL_EXPORT int ZarnRunDesktopLauncher(int argc, char** argv) {
    return zarn::RunDesktop(argc, argv);
}
