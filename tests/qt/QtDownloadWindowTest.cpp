// The download dialog's Qt window as a user meets it: its layout, its texts, its animation, its keys and its
// prompt, downloading from a real server on a loopback port into real files. What the dialog decides is tested
// without a toolkit, in tests/download.
#include "download/qt/QtDownloadWindow.h"

#include "download/HttpDownloadDlg.h"
#include "download/SignInMemory.h"
#include "download/qt/AnimationCtrl.h"
#include "download/qt/CredentialsDlg.h"
#include "res/DialogResult.h"
#include "res/qt/MessageBox.h"
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
#include <functional>
#include <memory>

using namespace std::chrono_literals;

namespace zarn {
namespace {

QString Text(const QtDownloadWindow& dlg, const char* name) {
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

// The dialog in its window, put together as GuiDocumentHost does.
template <class Dialog = CHttpDownloadDlg> struct Shown {
    Shown() { window.SetPresenter(&dlg); }
    QtDownloadWindow window;
    Dialog dlg{window};
};

// Notes what the window showed at the moment the worker's end arrived.
class WatchedDlg : public CHttpDownloadDlg {
public:
    explicit WatchedDlg(QtDownloadWindow& window) : CHttpDownloadDlg(window), m_shown(window) {}
    bool visibleAtEnd = false;
    QString statusAtEnd;

protected:
    void OnTransferEnded(bool failed) override {
        visibleAtEnd = m_shown.isVisible();
        statusAtEnd = m_shown.m_wndStatusLine->text();
        CHttpDownloadDlg::OnTransferEnded(failed);
    }

private:
    QtDownloadWindow& m_shown;
};

} // namespace

class QtDownloadWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layoutFollowsTheTemplate();
    void completeDownloadEndsWithOkAndTheFile();
    void slowDownloadShowsRateTimeLeftAndAnimation();
    void closeBoxStopsTheTransferWithoutMessage();
    void escapeStopsTheTransfer();
    void enterDoesNotEndTheDialog();
    void credentialsPromptAnswersA401();
    void declinedCredentialsPromptIsNoSuccess();
    void credentialsPromptSaysWhoAsks();

private:
    QStringList m_boxes;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString Target(const QString& name) const { return m_dir->filePath(name); }
};

void QtDownloadWindowTest::init() {
    m_boxes.clear();
    // Each case is a run of its own: nobody has signed in or declined yet.
    SignInMemory::Instance().Forget();
    MessageBox::SetHook([this](QWidget*, const QString& text) {
        m_boxes << text;
        return int(kIdOk);
    });
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void QtDownloadWindowTest::cleanup() {
    MessageBox::SetHook({});
    m_dir.reset();
}

void QtDownloadWindowTest::layoutFollowsTheTemplate() {
    QtDownloadWindow dlg;
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

void QtDownloadWindowTest::completeDownloadEndsWithOkAndTheFile() {
    test::DialogServer server;
    const std::string body(200000, 'b');
    server.File("/dir/file.txt", body);

    Shown d;
    auto& dlg = d.window;
    d.dlg.m_strSourceUrl = server.Url("/dir/file.txt");
    d.dlg.m_strTargetPath = Target("file.txt").toStdString();
    QCOMPARE(d.dlg.DoModal(), int(kIdOk));

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

void QtDownloadWindowTest::slowDownloadShowsRateTimeLeftAndAnimation() {
    test::DialogServer server;
    // About 2.5 seconds of body: rate and time left appear once a second has passed.
    server.SlowFile("/slow/big.bin", 50 * 1024, 1024, 50ms);

    Shown d;
    auto& dlg = d.window;
    d.dlg.m_strSourceUrl = server.Url("/slow/big.bin");
    d.dlg.m_strTargetPath = Target("big.bin").toStdString();

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
    QCOMPARE(d.dlg.DoModal(), int(kIdOk));
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

void QtDownloadWindowTest::closeBoxStopsTheTransferWithoutMessage() {
    test::DialogServer server;
    server.EndlessFile("/endless.bin", 20ms);
    // A file from an earlier download stays exactly as it was when this one is stopped.
    {
        QFile earlier(Target("endless.bin"));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier version");
    }

    Shown<WatchedDlg> d;
    auto& dlg = d.window;
    d.dlg.m_strSourceUrl = server.Url("/endless.bin");
    d.dlg.m_strTargetPath = Target("endless.bin").toStdString();
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
    QCOMPARE(d.dlg.DoModal(), int(kIdCancel));
    QVERIFY(closed);
    QVERIFY(stayedOpen);
    // Still open, and saying so, when the worker's end arrived.
    QVERIFY(d.dlg.visibleAtEnd);
    QCOMPARE(d.dlg.statusAtEnd, QStringLiteral("Aborting transfer"));
    QCOMPARE(Text(dlg, "m_wndStatusLine"), QStringLiteral("Aborting transfer"));
    QVERIFY(!cancel->isEnabled());
    QVERIFY(!cancel->isVisible());
    QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join('|')));
    QCOMPARE(ReadAll(Target("endless.bin")), QByteArray("earlier version"));
}

void QtDownloadWindowTest::escapeStopsTheTransfer() {
    test::DialogServer server;
    server.EndlessFile("/endless.bin", 20ms);

    Shown d;
    auto& dlg = d.window;
    d.dlg.m_strSourceUrl = server.Url("/endless.bin");
    d.dlg.m_strTargetPath = Target("endless.bin").toStdString();
    bool pressed = false;
    WhileModal watch([&] {
        if (!pressed && dlg.isVisible() && Text(dlg, "m_wndStatusLine") == "Retrieving the file") {
            QTest::keyClick(&dlg, Qt::Key_Escape);
            pressed = true;
        }
    });
    QCOMPARE(d.dlg.DoModal(), int(kIdCancel));
    QVERIFY(pressed);
    QCOMPARE(Text(dlg, "m_wndStatusLine"), QStringLiteral("Aborting transfer"));
    QVERIFY(m_boxes.isEmpty());
}

void QtDownloadWindowTest::enterDoesNotEndTheDialog() {
    test::DialogServer server;
    server.SlowFile("/slow.bin", 16 * 1024, 1024, 40ms);

    Shown d;
    auto& dlg = d.window;
    d.dlg.m_strSourceUrl = server.Url("/slow.bin");
    d.dlg.m_strTargetPath = Target("slow.bin").toStdString();
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
    QCOMPARE(d.dlg.DoModal(), int(kIdOk));
    QCOMPARE(presses, 3);
    QVERIFY(visibleAfterPresses);
    QCOMPARE(ReadAll(Target("slow.bin")).size(), 16 * 1024);
}

void QtDownloadWindowTest::credentialsPromptAnswersA401() {
    test::DialogServer server;
    server.ProtectedFile("/secret/plan.dwg", "the plan", "ada", "lovelace");

    Shown d;
    d.dlg.m_strSourceUrl = server.Url("/secret/plan.dwg");
    d.dlg.m_strTargetPath = Target("plan.dwg").toStdString();
    QStringList prompts;
    // The first answer is wrong: one message, and the server is not asked about again in the run. A later run asks
    // again, and the right answer lets the file in.
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
    QCOMPARE(d.dlg.DoModal(), int(kIdCancel));
    QCOMPARE(prompts.size(), 1);
    QVERIFY2(prompts[0].contains(QStringLiteral("127.0.0.1")), qPrintable(prompts[0]));
    QVERIFY2(prompts[0].contains(QStringLiteral("web server")), qPrintable(prompts[0]));
    QCOMPARE(m_boxes.size(), 1);
    SignInMemory::Instance().Forget();
    Shown again;
    again.dlg.m_strSourceUrl = server.Url("/secret/plan.dwg");
    again.dlg.m_strTargetPath = Target("plan.dwg").toStdString();
    QCOMPARE(again.dlg.DoModal(), int(kIdOk));
    QCOMPARE(prompts.size(), 2);
    QCOMPARE(ReadAll(Target("plan.dwg")), QByteArray("the plan"));
    QCOMPARE(m_boxes.size(), 1);
}

void QtDownloadWindowTest::declinedCredentialsPromptIsNoSuccess() {
    test::DialogServer server;
    server.ProtectedFile("/secret/plan.dwg", "the plan", "ada", "lovelace");

    Shown d;
    d.dlg.m_strSourceUrl = server.Url("/secret/plan.dwg");
    d.dlg.m_strTargetPath = Target("plan.dwg").toStdString();
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
    QCOMPARE(d.dlg.DoModal(), int(kIdCancel));
    QCOMPARE(declined, 1);
    QVERIFY(!QFile::exists(Target("plan.dwg")));
}

void QtDownloadWindowTest::credentialsPromptSaysWhoAsks() {
    CredentialsDlg prompt;
    prompt.Prepare(QStringLiteral("The web server vendor.example asks for a user name and password."), QString());
    prompt.findChild<QLineEdit*>(QStringLiteral("password"))->setText(QStringLiteral("left over"));
    const QString question = QStringLiteral("The proxy server proxy.example asks for a user name and password.");
    prompt.Prepare(question, QStringLiteral("bob"));
    QCOMPARE(prompt.PromptText(), question);
    QCOMPARE(prompt.UserName(), QStringLiteral("bob"));
    // A password typed for an earlier question is never offered again.
    QVERIFY(prompt.Password().isEmpty());
    QCOMPARE(prompt.findChild<QLineEdit*>(QStringLiteral("password"))->echoMode(), QLineEdit::Password);

    // The template holds a short question; a long one lowers the fields and buttons below it, and nothing leaves
    // the prompt.
    const QSize templateSize = prompt.size();
    prompt.Prepare(QStringList(4, question).join(QLatin1Char(' ')), QString());
    const QRect asked = prompt.findChild<QLabel*>(QStringLiteral("prompt"))->geometry();
    QCOMPARE(prompt.width(), templateSize.width());
    QVERIFY(prompt.height() > templateSize.height());
    for (QWidget* item : prompt.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QVERIFY2(prompt.rect().contains(item->geometry()), qPrintable(item->objectName()));
        if (item->geometry() != asked)
            QVERIFY2(item->y() > asked.bottom(), qPrintable(item->objectName()));
    }
}

} // namespace zarn

QTEST_MAIN(zarn::QtDownloadWindowTest)
#include "QtDownloadWindowTest.moc"
