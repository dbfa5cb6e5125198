// Preloaded into the launcher by bench/startup_bench.sh (LD_PRELOAD): when the main window is first exposed on the
// screen it writes the wall-clock time in nanoseconds into the file that ZARN_STARTUP_MARKER names, then lets the
// launcher quit, so the script can time process start to the first shown window and read the run's peak memory.
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

class FirstExposure : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Expose || watched->objectName() != QLatin1String("mainFrameWindow"))
            return false;
        auto* window = qobject_cast<QWindow*>(watched);
        if (window == nullptr || !window->isExposed())
            return false;
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        if (FILE* file = std::fopen(std::getenv("ZARN_STARTUP_MARKER"), "w")) {
            std::fprintf(file, "%lld\n",
                         static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
            std::fclose(file);
        }
        QCoreApplication::instance()->removeEventFilter(this);
        // Start-up goes on to its end (the design control is shown), then the event loop ends the run.
        QTimer::singleShot(100, QCoreApplication::instance(), &QCoreApplication::quit);
        deleteLater();
        return false;
    }
};

void WatchForTheMainWindow() {
    if (std::getenv("ZARN_STARTUP_MARKER") != nullptr)
        QCoreApplication::instance()->installEventFilter(new FirstExposure);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(WatchForTheMainWindow)
