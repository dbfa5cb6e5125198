// The download dialog as a user meets it: its window, its texts, its message boxes and its prompt,
// downloading from a real server on a loopback port into real files.
#include "app/qt/MessageBox.h"
#include "download/ProgressText.h"
#include "download/qt/AnimationCtrl.h"
#include "download/qt/CredentialsDlg.h"
#include "download/qt/DialogResult.h"
#include "download/qt/QtDownloadWindow.h"
#include "tests/qt/DialogServer.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;

namespace zarn {
namespace {

QString Text(const CHttpDownloadDlg& dlg, const char* name) {
    const auto* label = dlg.findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<no item %1>").arg(QLatin1String(name));
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Runs `tick` every few milliseconds while a modal dialog runs; stops with the object.
class WhileModal {
public:
    explicit WhileModal(std::function<void()> tick) : m_tick(std::move(tick)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { m_tick(); });
        m_timer.start(5);
    }

private:
    std::function<void()> m_tick;
    QTimer m_timer;
};

// Ends the test run when the code under watch does not return within `limit`: a deadlock then fails
// the test instead of holding CI until its own time-out.
class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, const char* what)
        : m_thread([this, limit, what] {
              std::unique_lock lock(m_mutex);
              if (!m_changed.wait_for(lock, limit, [this] { return m_returned; }))
                  qFatal("no return within %lld s: %s", static_cast<long long>(limit.count()), what);
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(m_mutex);
            m_returned = true;
        }
        m_changed.notify_one();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_returned = false;
    std::thread m_thread;
};

// Notes what the window showed at the moment the worker's end arrived; can press the close box just
// before that end is handled, as a user who stops in the last moment does.
class WatchedDlg : public CHttpDownloadDlg {
public:
    bool visibleAtEnd = false;
    QString statusAtEnd;
    bool closeAtEnd = false;

protected:
    void OnTransferEnded(bool failed) override {
        if (closeAtEnd)
            close();
        visibleAtEnd = isVisible();
        statusAtEnd = m_wndStatusLine->text();
        CHttpDownloadDlg::OnTransferEnded(failed);
    }
};

// A dialog that shows figures for a file name of its own, without running a transfer.
class NamedDlg : public CHttpDownloadDlg {
public:
    explicit NamedDlg(const std::string& shownName) { m_strShownName = shownName; }
};

// Holds the worker on its way into the credentials prompt until the dialog's loop has ended, then lets
// it ask just before the dialog waits for it: the worker has passed its last stop check by then.
class LateAskDlg : public CHttpDownloadDlg {
public:
    std::atomic<bool> arrived{false};

    bool AskCredentials(bool proxy, const std::string& host, std::string& user, std::string& password) override {
        std::unique_lock lock(m_mutex);
        arrived = true;
        m_changed.wait(lock, [this] { return m_released; });
        lock.unlock();
        return CHttpDownloadDlg::AskCredentials(proxy, host, user, password);
    }

protected:
    void OnDestroy() override {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_changed.notify_one();
        // Time for the worker to put its question to the UI thread and wait for the answer.
        std::this_thread::sleep_for(200ms);
        CHttpDownloadDlg::OnDestroy();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_released = false;
};

// Dialogs whose transfer ends in a chosen way, to check how the dialog takes each kind of end.
class EndingDlg : public CHttpDownloadDlg {
public:
    enum class End { StopThenFail, Nothing, Throw, SetOptionsFalse };
    explicit EndingDlg(End end) : m_end(end) {}
    bool OnSetOptions(TransferSettings& settings) override {
        return m_end == End::SetOptionsFalse ? false : CHttpDownloadDlg::OnSetOptions(settings);
    }
    void RunTransfer() override {
        switch (m_end) {
        case End::StopThenFail:
            m_bStopRequested = true;
            TransferEnded(true, "An error occurred while downloading the file, Error:5");
            return;
        case End::Nothing:
            return;
        case End::Throw:
            throw std::runtime_error("out of something");
        case End::SetOptionsFalse:
            CHttpDownloadDlg::RunTransfer();
            return;
        }
    }
    const std::string& ShownName() const { return m_strShownName; }
    const std::string& HostName() const { return m_strHostName; }
    std::uint16_t HostPort() const { return m_wHostPort; }
    const std::string& ObjectPath() const { return m_strObjectPath; }

private:
    End m_end;
};

} // namespace

class HttpDownloadDlgTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layoutFollowsTheTemplate();
    void completeDownloadEndsWithOkAndTheFile();
    void slowDownloadShowsRateTimeLeftAndAnimation();
    void notFoundShowsResponseCodeAndKeepsNoFile();
    void missingDirectoryShowsOpenErrorBeforeAnyRequest();
    void closeBoxStopsTheTransferWithoutMessage();
    void escapeStopsTheTransfer();
    void stopBeforeTheEndIsHandledKeepsThePreviousFile();
    void targetThatCannotBeReplacedIsNoSuccess();
    void enterDoesNotEndTheDialog();
    void credentialsPromptAnswersA401();
    void declinedCredentialsPromptIsNoSuccess();
    void loopEndingWhileAPromptIsAskedDoesNotHang();
    void urlWithoutSchemeGetsHttpPrefix();
    void unusableUrlEndsSilentlyWithoutAFile();
    void shownNameComesFromTheObjectPath();
    void emptyBodyShowsHundredPercent();
    void workerEndsAreAlwaysTurnedIntoAResult();
    void displayCallsFromAnotherThreadReachTheirItems();
    void credentialsPromptSaysWhoAsks();

private:
    QStringList m_boxes;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString Target(const QString& name) const { return m_dir->filePath(name); }
};

void HttpDownloadDlgTest::init() {
    m_boxes.clear();
    MessageBox::SetHook([this](QWidget*, const QString& text) {
        m_boxes << text;
        return int(kIdOk);
    });
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void HttpDownloadDlgTest::cleanup() {
    MessageBox::SetHook({});
    m_dir.reset();
}

void HttpDownloadDlgTest::layoutFollowsTheTemplate() {
    CHttpDownloadDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("File Download"));
    QCOMPARE(dlg.font().pointSize(), 8);

    const QFontMetrics metrics(dlg.font());
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int baseX = (letters / 26 + 1) / 2;
    const int baseY = metrics.height();
    QVERIFY(baseX > 0 && baseY > 0);
    const auto x = [&](int du) { return (du * baseX + 2) / 4; };
    const auto y = [&](int du) { return (du * baseY + 4) / 8; };
    const auto rect = [&](int l, int t, int w, int h) { return QRect(x(l), y(t), x(l + w) - x(l), y(t + h) - y(t)); };

    QCOMPARE(dlg.size(), QSize(x(228), y(143)));
    struct Item {
        const char* name;
        QRect where;
    };
    const Item items[] = {
        {"m_wndStatusLine", rect(7, 47, 214, 8)}, {"m_wndSourceLine", rect(7, 60, 214, 8)},
        {"m_wndProgress", rect(7, 74, 214, 10)},  {"m_wndTimeLeft", rect(79, 91, 142, 8)},
        {"m_wndRate", rect(80, 104, 141, 8)},     {"cancelButton", rect(171, 122, 50, 14)},
    };
    for (const Item& item : items) {
        const auto* widget = dlg.findChild<QWidget*>(QLatin1String(item.name));
        QVERIFY2(widget, item.name);
        QCOMPARE(widget->geometry(), item.where);
    }
    // The fixed labels stand at their corners and are never narrower than the template says; in a
    // wider substitute font they grow so that their text is read whole, without reaching the value.
    const Item fixed[] = {{"timeLeftLabel", rect(7, 91, 60, 8)}, {"rateLabel", rect(7, 104, 43, 8)}};
    const QWidget* values[] = {dlg.m_wndTimeLeft, dlg.m_wndRate};
    for (int i = 0; i < 2; ++i) {
        const auto* label = dlg.findChild<QLabel*>(QLatin1String(fixed[i].name));
        QVERIFY2(label, fixed[i].name);
        QCOMPARE(label->pos(), fixed[i].where.topLeft());
        QCOMPARE(label->height(), fixed[i].where.height());
        QVERIFY(label->width() >= fixed[i].where.width());
        QVERIFY(label->width() >= metrics.horizontalAdvance(label->text()));
        QVERIFY(label->geometry().right() < values[i]->geometry().left());
    }
    // The animation starts at its template corner and takes the clip's size once the clip is open.
    QCOMPARE(dlg.m_wndAnimation->pos(), QPoint(x(7), y(7)));

    QCOMPARE(Text(dlg, "timeLeftLabel"), QStringLiteral("Estimated time left:"));
    QCOMPARE(Text(dlg, "rateLabel"), QStringLiteral("Transfer rate:"));
    for (const char* empty : {"m_wndStatusLine", "m_wndSourceLine", "m_wndTimeLeft", "m_wndRate"})
        QVERIFY2(Text(dlg, empty).isEmpty(), empty);
    QCOMPARE(dlg.m_wndProgress->value(), 0);

    auto* cancel = dlg.findChild<QPushButton*>(QStringLiteral("cancelButton"));
    QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
    QVERIFY(cancel->isDefault());
    QVERIFY(!cancel->isEnabled());
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(!cancel->isVisible());
    QVERIFY(dlg.m_wndStatusLine->isVisible());

    QCOMPARE(dlg.palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(dlg.palette().color(QPalette::WindowText), QColor(Qt::black));
    QCOMPARE(dlg.m_wndStatusLine->palette().color(QPalette::WindowText), QColor(Qt::black));
    QVERIFY(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(dlg.windowFlags() & Qt::WindowContextHelpButtonHint));
    dlg.hide();
}

void HttpDownloadDlgTest::completeDownloadEndsWithOkAndTheFile() {
    test::DialogServer server;
    const std::string body(200000, 'b');
    server.File("/dir/file.txt", body);

    CHttpDownloadDlg dlg;
    dlg.m_strSourceUrl = server.Url("/dir/file.txt");
    dlg.m_strTargetPath = Target("file.txt").toStdString();
    QCOMPARE(dlg.DoModal(), int(kIdOk));

    QCOMPARE(ReadAll(Target("file.txt")), QByteArray::fromStdString(body));
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join('|')));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("100% of file.txt Completed"));
    QCOMPARE(dlg.m_wndProgress->value(), 100);
    QCOMPARE(Text(dlg, "m_wndSourceLine"), QStringLiteral("file.txt from 127.0.0.1"));
    QCOMPARE(Text(dlg, "m_wndStatusLine"), QStringLiteral("Retrieving the file"));
    QVERIFY(!dlg.m_wndAnimation->IsPlaying());
    // Only the target is left in the directory: no temporary file stays behind.
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"file.txt"});
}

void HttpDownloadDlgTest::slowDownloadShowsRateTimeLeftAndAnimation() {
    test::DialogServer server;
    // About 2.5 seconds of body: rate and time left appear once a second has passed.
    server.SlowFile("/slow/big.bin", 50 * 1024, 1024, 50ms);

    CHttpDownloadDlg dlg;
    dlg.m_strSourceUrl = server.Url("/slow/big.bin");
    dlg.m_strTargetPath = Target("big.bin").toStdString();

    QStringList captions, rates, timesLeft, statuses;
    QSet<int> framesSeen;
    bool shot = false;
    bool playedWhileRunning = false;
    WhileModal watch([&] {
        if (!dlg.isVisible())
            return;
        captions << dlg.windowTitle();
        statuses << Text(dlg, "m_wndStatusLine");
        if (!Text(dlg, "m_wndRate").isEmpty())
            rates << Text(dlg, "m_wndRate");
        if (!Text(dlg, "m_wndTimeLeft").isEmpty())
            timesLeft << Text(dlg, "m_wndTimeLeft");
        if (dlg.m_wndAnimation->IsPlaying()) {
            playedWhileRunning = true;
            framesSeen.insert(dlg.m_wndAnimation->CurrentFrame());
        }
        if (!shot && !Text(dlg, "m_wndTimeLeft").isEmpty()) {
            shot = dlg.grab().save(QStringLiteral("/tmp/zarn-dialog.png"));
        }
    });
    QCOMPARE(dlg.DoModal(), int(kIdOk));
    QVERIFY(shot);

    QCOMPARE(ReadAll(Target("big.bin")).size(), 50 * 1024);
    QCOMPARE(captions.first(), QStringLiteral("File Download"));
    QVERIFY(!captions.contains(QStringLiteral("0% of big.bin Completed")));
    const QRegularExpression caption(QStringLiteral("^\\d{1,3}% of big\\.bin Completed$"));
    QVERIFY(
        std::any_of(captions.begin(), captions.end(), [&](const QString& c) { return caption.match(c).hasMatch(); }));
    QVERIFY(statuses.contains(QStringLiteral("Retrieving the file")));

    const QRegularExpression rate(QStringLiteral("^(\\d+ Bytes/Sec|\\d+\\.\\d\\d KB/Sec|\\d+ KB/Sec)$"));
    QVERIFY(!rates.isEmpty());
    for (const QString& r : rates)
        QVERIFY2(rate.match(r).hasMatch(), qPrintable(r));
    const QRegularExpression left(
        QStringLiteral("^(\\d+ sec|\\d+ min|\\d+ min \\d+ sec) \\(\\d+\\.\\d KB of 50\\.0 KB copied\\)$"));
    QVERIFY(!timesLeft.isEmpty());
    for (const QString& t : timesLeft)
        QVERIFY2(left.match(t).hasMatch(), qPrintable(t));

    QVERIFY(playedWhileRunning);
    QVERIFY2(framesSeen.size() > 5, qPrintable(QString::number(framesSeen.size())));
    QVERIFY(!dlg.m_wndAnimation->IsPlaying());
    const int stoppedAt = dlg.m_wndAnimation->CurrentFrame();
    QTest::qWait(200);
    QCOMPARE(dlg.m_wndAnimation->CurrentFrame(), stoppedAt);
}

void HttpDownloadDlgTest::notFoundShowsResponseCodeAndKeepsNoFile() {
    test::DialogServer server;
    server.Status("/gone.cab", 404);

    CHttpDownloadDlg dlg;
    dlg.m_strSourceUrl = server.Url("/gone.cab");
    dlg.m_strTargetPath = Target("gone.cab").toStdString();
    QCOMPARE(dlg.DoModal(), int(kIdCancel));
    QCOMPARE(m_boxes, QStringList{"Failed to receive a valid HTTP response from the server, Response Code:404"});
    // What the box said is kept for the log.
    QCOMPARE(QString::fromStdString(dlg.ShownFailText()), m_boxes.front());
    QVERIFY(!QFile::exists(Target("gone.cab")));
}

void HttpDownloadDlgTest::missingDirectoryShowsOpenErrorBeforeAnyRequest() {
    test::DialogServer server;
    server.File("/file.txt", "content");

    CHttpDownloadDlg dlg;
    dlg.m_strSourceUrl = server.Url("/file.txt");
    dlg.m_strTargetPath = Target("no-such-dir/file.txt").toStdString();
    QCOMPARE(dlg.DoModal(), int(kIdCancel));
    // ENOENT is 2: the code the system gave for the failed open.
    QCOMPARE(m_boxes, QStringList{"An error occured while opening the file to be downloaded, Error:2"});
    QCOMPARE(QString::fromStdString(dlg.ShownFailText()), m_boxes.front());
    QCOMPARE(server.Requests(), 0);
    QVERIFY(!QFile::exists(Target("no-such-dir")));
}

void HttpDownloadDlgTest::closeBoxStopsTheTransferWithoutMessage() {
    test::DialogServer server;
    server.EndlessFile("/endless.bin", 20ms);
    // A file from an earlier download stays exactly as it was when this one is stopped.
    {
        QFile earlier(Target("endless.bin"));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier version");
    }

    WatchedDlg dlg;
    dlg.m_strSourceUrl = server.Url("/endless.bin");
    dlg.m_strTargetPath = Target("endless.bin").toStdString();
    auto* cancel = dlg.findChild<QPushButton*>(QStringLiteral("cancelButton"));

    bool closed = false;
    bool stayedOpen = false;
    WhileModal watch([&] {
        if (!closed && dlg.isVisible() && Text(dlg, "m_wndStatusLine") == "Retrieving the file" &&
            !dlg.m_wndRate->text().isEmpty()) {
            dlg.close();
            closed = true;
            stayedOpen = dlg.isVisible();
        }
    });
    QCOMPARE(dlg.DoModal(), int(kIdCancel));
    QVERIFY(closed);
    QVERIFY(stayedOpen);
    // Still open, and saying so, when the worker's end arrived.
    QVERIFY(dlg.visibleAtEnd);
    QCOMPARE(dlg.statusAtEnd, QStringLiteral("Aborting transfer"));
    QCOMPARE(Text(dlg, "m_wndStatusLine"), QStringLiteral("Aborting transfer"));
    QVERIFY(!cancel->isEnabled());
    QVERIFY(!cancel->isVisible());
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join('|')));
    QCOMPARE(ReadAll(Target("endless.bin")), QByteArray("earlier version"));
}

void HttpDownloadDlgTest::escapeStopsTheTransfer() {
    test::DialogServer server;
    server.EndlessFile("/endless.bin", 20ms);

    CHttpDownloadDlg dlg;
    dlg.m_strSourceUrl = server.Url("/endless.bin");
    dlg.m_strTargetPath = Target("endless.bin").toStdString();
    bool pressed = false;
    WhileModal watch([&] {
        if (!pressed && dlg.isVisible() && Text(dlg, "m_wndStatusLine") == "Retrieving the file") {
            QTest::keyClick(&dlg, Qt::Key_Escape);
            pressed = true;
        }
    });
    QCOMPARE(dlg.DoModal(), int(kIdCancel));
    QVERIFY(pressed);
    QCOMPARE(Text(dlg, "m_wndStatusLine"), QStringLiteral("Aborting transfer"));
    QVERIFY(m_boxes.isEmpty());
}

void HttpDownloadDlgTest::stopBeforeTheEndIsHandledKeepsThePreviousFile() {
    test::DialogServer server;
    server.File("/complist.txt", "new list");
    {
        QFile earlier(Target("complist.txt"));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("previous list");
    }

    // The whole body is there, but the stop comes before the dialog has taken the worker's end: the
    // caller hears "not downloaded", so the previous file must still be in place.
    WatchedDlg dlg;
    dlg.closeAtEnd = true;
    dlg.m_strSourceUrl = server.Url("/complist.txt");
    dlg.m_strTargetPath = Target("complist.txt").toStdString();
    QCOMPARE(dlg.DoModal(), int(kIdCancel));
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join('|')));
    QCOMPARE(ReadAll(Target("complist.txt")), QByteArray("previous list"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{"complist.txt"});
}

void HttpDownloadDlgTest::targetThatCannotBeReplacedIsNoSuccess() {
    test::DialogServer server;
    server.File("/setup.bin", "program");
    // A directory where the file should go: the body arrives, but cannot be put in its place.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("setup.bin")));

    CHttpDownloadDlg dlg;
    dlg.m_strSourceUrl = server.Url("/setup.bin");
    dlg.m_strTargetPath = Target("setup.bin").toStdString();
    QCOMPARE(dlg.DoModal(), int(kIdCancel));
    // EISDIR is 21: the code the system gave for the failed replacement.
    QCOMPARE(m_boxes, QStringList{"An error occurred while downloading the file, Error:21"});
    QCOMPARE(QString::fromStdString(dlg.ShownFailText()), m_boxes.front());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"setup.bin"});
}

void HttpDownloadDlgTest::enterDoesNotEndTheDialog() {
    test::DialogServer server;
    server.SlowFile("/slow.bin", 16 * 1024, 1024, 40ms);

    CHttpDownloadDlg dlg;
    dlg.m_strSourceUrl = server.Url("/slow.bin");
    dlg.m_strTargetPath = Target("slow.bin").toStdString();
    int presses = 0;
    bool visibleAfterPresses = false;
    WhileModal watch([&] {
        if (!dlg.isVisible() || Text(dlg, "m_wndStatusLine") != "Retrieving the file")
            return;
        if (presses < 3) {
            QTest::keyClick(&dlg, presses % 2 ? Qt::Key_Enter : Qt::Key_Return);
            ++presses;
            visibleAfterPresses = dlg.isVisible();
        }
    });
    QCOMPARE(dlg.DoModal(), int(kIdOk));
    QCOMPARE(presses, 3);
    QVERIFY(visibleAfterPresses);
    QCOMPARE(ReadAll(Target("slow.bin")).size(), 16 * 1024);
}

void HttpDownloadDlgTest::credentialsPromptAnswersA401() {
    test::DialogServer server;
    server.ProtectedFile("/secret/plan.dwg", "the plan", "ada", "lovelace");

    CHttpDownloadDlg dlg;
    dlg.m_strSourceUrl = server.Url("/secret/plan.dwg");
    dlg.m_strTargetPath = Target("plan.dwg").toStdString();
    QStringList prompts;
    // The first answer is wrong, so the server asks again and the prompt comes back.
    const QStringList passwords{"wrong", "lovelace"};
    WhileModal watch([&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* prompt = qobject_cast<CredentialsDlg*>(window);
            if (!prompt || !prompt->isVisible() || prompts.size() >= passwords.size())
                continue;
            prompts << prompt->PromptText();
            prompt->findChild<QLineEdit*>(QStringLiteral("userName"))->setText(QStringLiteral("ada"));
            prompt->findChild<QLineEdit*>(QStringLiteral("password"))->setText(passwords[prompts.size() - 1]);
            prompt->accept();
        }
    });
    QCOMPARE(dlg.DoModal(), int(kIdOk));
    QCOMPARE(prompts.size(), 2);
    QVERIFY2(prompts[0].contains(QStringLiteral("127.0.0.1")), qPrintable(prompts[0]));
    QVERIFY2(prompts[0].contains(QStringLiteral("web server")), qPrintable(prompts[0]));
    QCOMPARE(ReadAll(Target("plan.dwg")), QByteArray("the plan"));
    QVERIFY(m_boxes.isEmpty());
}

void HttpDownloadDlgTest::declinedCredentialsPromptIsNoSuccess() {
    test::DialogServer server;
    server.ProtectedFile("/secret/plan.dwg", "the plan", "ada", "lovelace");

    CHttpDownloadDlg dlg;
    dlg.m_strSourceUrl = server.Url("/secret/plan.dwg");
    dlg.m_strTargetPath = Target("plan.dwg").toStdString();
    int declined = 0;
    WhileModal watch([&] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* prompt = qobject_cast<CredentialsDlg*>(window);
            if (prompt && prompt->isVisible()) {
                ++declined;
                prompt->reject();
            }
        }
    });
    QCOMPARE(dlg.DoModal(), int(kIdCancel));
    QCOMPARE(declined, 1);
    QVERIFY(!QFile::exists(Target("plan.dwg")));
}

void HttpDownloadDlgTest::loopEndingWhileAPromptIsAskedDoesNotHang() {
    test::DialogServer server;
    server.ProtectedFile("/secret/plan.dwg", "the plan", "ada", "lovelace");

    LateAskDlg dlg;
    dlg.m_strSourceUrl = server.Url("/secret/plan.dwg");
    dlg.m_strTargetPath = Target("plan.dwg").toStdString();
    // The loop ends while the worker is about to ask, as it does when the application quits.
    WhileModal watch([&] {
        if (dlg.arrived)
            dlg.hide();
    });
    int result = 0;
    {
        const Watchdog watchdog(30s, "the dialog waits for a worker that waits for the dialog");
        result = dlg.DoModal();
    }
    QCOMPARE(result, int(kIdCancel));
    QCOMPARE(server.Challenges(), 1);
    QVERIFY(!QFile::exists(Target("plan.dwg")));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{});
    // The question that came too late is never shown.
    QTest::qWait(50);
    for (QWidget* window : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<CredentialsDlg*>(window) || !window->isVisible());
}

void HttpDownloadDlgTest::urlWithoutSchemeGetsHttpPrefix() {
    test::DialogServer server;
    server.File("/dir/file.txt", "plain");

    CHttpDownloadDlg dlg;
    const std::string bare = "127.0.0.1:" + std::to_string(server.Port()) + "/dir/file.txt";
    dlg.m_strSourceUrl = bare;
    dlg.m_strTargetPath = Target("file.txt").toStdString();
    QCOMPARE(dlg.DoModal(), int(kIdOk));
    QCOMPARE(dlg.m_strSourceUrl, "http://" + bare);
    QCOMPARE(ReadAll(Target("file.txt")), QByteArray("plain"));
}

void HttpDownloadDlgTest::unusableUrlEndsSilentlyWithoutAFile() {
    CHttpDownloadDlg dlg;
    dlg.m_strSourceUrl = "http://bad host/file.txt";
    dlg.m_strTargetPath = Target("file.txt").toStdString();
    bool everShown = false;
    WhileModal watch([&] { everShown = everShown || dlg.isVisible(); });
    QCOMPARE(dlg.DoModal(), int(kIdCancel));
    QCOMPARE(dlg.m_strSourceUrl, std::string("http://http://bad host/file.txt"));
    QVERIFY(!everShown);
    QVERIFY(m_boxes.isEmpty());
    QVERIFY(!QFile::exists(Target("file.txt")));
}

void HttpDownloadDlgTest::shownNameComesFromTheObjectPath() {
    test::DialogServer server;
    server.File("/", "root");
    server.File("/dir/", "index");
    struct Case {
        const char* path;
        const char* sourceLine;
        const char* caption;
    };
    const Case cases[] = {
        {"/", "/ from 127.0.0.1", "100% of / Completed"},
        {"/dir/", " from 127.0.0.1", "100% of  Completed"},
    };
    for (const Case& c : cases) {
        CHttpDownloadDlg dlg;
        dlg.m_strSourceUrl = server.Url(c.path);
        dlg.m_strTargetPath = Target("page.html").toStdString();
        QCOMPARE(dlg.DoModal(), int(kIdOk));
        QCOMPARE(Text(dlg, "m_wndSourceLine"), QString::fromLatin1(c.sourceLine));
        QCOMPARE(dlg.windowTitle(), QString::fromLatin1(c.caption));
    }
}

void HttpDownloadDlgTest::emptyBodyShowsHundredPercent() {
    test::DialogServer server;
    server.File("/empty.txt", "");

    CHttpDownloadDlg dlg;
    dlg.m_strSourceUrl = server.Url("/empty.txt");
    dlg.m_strTargetPath = Target("empty.txt").toStdString();
    QCOMPARE(dlg.DoModal(), int(kIdOk));
    QVERIFY(QFile::exists(Target("empty.txt")));
    QCOMPARE(ReadAll(Target("empty.txt")), QByteArray());
    QCOMPARE(dlg.windowTitle(), QStringLiteral("100% of empty.txt Completed"));
    QCOMPARE(dlg.m_wndProgress->value(), 100);
}

void HttpDownloadDlgTest::workerEndsAreAlwaysTurnedIntoAResult() {
    test::DialogServer server;
    server.File("/f.bin", "data");
    struct Seen {
        int result;
        std::string host, path, shown;
        std::uint16_t port;
    };
    const auto run = [&](EndingDlg::End end) {
        EndingDlg dlg(end);
        dlg.m_strSourceUrl = server.Url("/f.bin");
        dlg.m_strTargetPath = Target("f.bin").toStdString();
        const int result = dlg.DoModal();
        return Seen{result, dlg.HostName(), dlg.ObjectPath(), dlg.ShownName(), dlg.HostPort()};
    };

    // The split URL reaches the transfer state.
    const Seen first = run(EndingDlg::End::StopThenFail);
    QCOMPARE(first.host, std::string("127.0.0.1"));
    QCOMPARE(int(first.port), server.Port());
    QCOMPARE(first.path, std::string("/f.bin"));
    QCOMPARE(first.shown, std::string("f.bin"));
    // A stop wins over a failure reported at the same time: no message.
    QCOMPARE(first.result, int(kIdCancel));
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join('|')));
    // A transfer that returns without a word still ends the dialog, as no success.
    QCOMPARE(run(EndingDlg::End::Nothing).result, int(kIdCancel));
    QVERIFY(m_boxes.isEmpty());
    QVERIFY(!QFile::exists(Target("f.bin")));
    // A hook that refuses the options ends it the same way, before any request.
    QCOMPARE(run(EndingDlg::End::SetOptionsFalse).result, int(kIdCancel));
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(server.Requests(), 0);
    // Anything thrown on the worker becomes a download failure the user is told about.
    QCOMPARE(run(EndingDlg::End::Throw).result, int(kIdCancel));
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY2(m_boxes[0].startsWith(QStringLiteral("An error occurred while downloading the file, Error:")),
             qPrintable(m_boxes[0]));
    QVERIFY(!QFile::exists(Target("f.bin")));
}

void HttpDownloadDlgTest::displayCallsFromAnotherThreadReachTheirItems() {
    NamedDlg dlg("setup.cab");
    std::thread worker([&] {
        dlg.ShowStatusArg(IDS_RESOLVING_NAME, "vendor.example");
        dlg.ShowStatusId(IDS_GETTING_FILE_INFO);
        dlg.SetProgressRange(0, 100);
        dlg.ShowPercentDone(42);
        dlg.ShowTimeRemaining(125, 1572864, 3145728);
        dlg.ShowRate(2.5);
    });
    worker.join();
    // Last status wins, in the order the calls were made.
    QTRY_COMPARE(Text(dlg, "m_wndStatusLine"), QStringLiteral("Getting file information"));
    QTRY_COMPARE(dlg.windowTitle(), QStringLiteral("42% of setup.cab Completed"));
    QCOMPARE(dlg.m_wndProgress->value(), 42);
    QCOMPARE(Text(dlg, "m_wndTimeLeft"), QStringLiteral("2 min 5 sec (1.50 MB of 3.00 MB copied)"));
    QCOMPARE(Text(dlg, "m_wndRate"), QStringLiteral("2.50 KB/Sec"));

    // The refresh rule through the dialog: the percentage follows every piece; rate and time left
    // wait until more than a second has passed since they were last shown.
    std::uint32_t lastTick = 0;
    std::uint64_t bytesAtLastTick = 0;
    int lastPercent = 42;
    std::thread again([&] {
        const std::uint32_t start = CurrentTick();
        lastTick = start;
        dlg.RefreshTransferFigures(start, lastTick, 999, bytesAtLastTick, lastPercent, true, 1000);
    });
    again.join();
    QCOMPARE(lastPercent, 99);
    QTRY_COMPARE(dlg.windowTitle(), QStringLiteral("99% of setup.cab Completed"));
    QCOMPARE(bytesAtLastTick, std::uint64_t(0));
    QCOMPARE(Text(dlg, "m_wndRate"), QStringLiteral("2.50 KB/Sec"));

    std::thread later([&] {
        const std::uint32_t start = CurrentTick() - 4000;
        lastTick = start;
        dlg.RefreshTransferFigures(start, lastTick, 2000, bytesAtLastTick, lastPercent, true, 4000);
    });
    later.join();
    QCOMPARE(lastPercent, 50);
    QCOMPARE(bytesAtLastTick, std::uint64_t(2000));
    QTRY_COMPARE(dlg.windowTitle(), QStringLiteral("50% of setup.cab Completed"));
    // 2,000 bytes in 4 seconds: half a byte a millisecond, and as long again for the rest.
    QCOMPARE(Text(dlg, "m_wndRate"), QStringLiteral("512 Bytes/Sec"));
    QCOMPARE(Text(dlg, "m_wndTimeLeft"), QStringLiteral("4 sec (2.0 KB of 3.9 KB copied)"));
}

void HttpDownloadDlgTest::credentialsPromptSaysWhoAsks() {
    CredentialsDlg prompt;
    prompt.Prepare(false, QStringLiteral("vendor.example"), QString());
    prompt.findChild<QLineEdit*>(QStringLiteral("password"))->setText(QStringLiteral("left over"));
    prompt.Prepare(true, QStringLiteral("proxy.example"), QStringLiteral("bob"));
    QVERIFY2(prompt.PromptText().contains(QStringLiteral("proxy server proxy.example")),
             qPrintable(prompt.PromptText()));
    QCOMPARE(prompt.UserName(), QStringLiteral("bob"));
    // A password typed for an earlier question is never offered again.
    QVERIFY(prompt.Password().isEmpty());
    QCOMPARE(prompt.findChild<QLineEdit*>(QStringLiteral("password"))->echoMode(), QLineEdit::Password);
}

} // namespace zarn

QTEST_MAIN(zarn::HttpDownloadDlgTest)
#include "HttpDownloadDlgTest.moc"
