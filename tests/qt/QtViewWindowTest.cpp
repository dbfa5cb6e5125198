// The Qt view window makes the design control from the registered library's factory export: a library that is
// not there, or has no such export, leaves the view without a control and is loaded afresh at the next attempt.
#include "view/qt/QtViewWindow.h"

#include "components/Registry.h"
#include "components/ZarnDoc.h"
#include "tests/support/ScratchRegistry.h"
#include "tests/support/TempAppDir.h"

#include <QTest>
#include <string>

namespace zarn {

class QtViewWindowTest : public QObject {
    Q_OBJECT

private slots:
    void controlFromAnUnusableLibraryIsTriedAgain_data();
    void controlFromAnUnusableLibraryIsTriedAgain();
};

namespace {

void RegisterDesignControl(const std::string& library) {
    const std::string key = std::string("CLSID\\") + CZarnView::kDesignControlClassId + "\\InprocServer32";
    QCOMPARE(CRegistry(HKEY_CLASSES_ROOT).WriteString(key.c_str(), "", library.c_str()), 1);
}

} // namespace

void QtViewWindowTest::controlFromAnUnusableLibraryIsTriedAgain_data() {
    QTest::addColumn<QString>("library");
    QTest::newRow("not there") << QStringLiteral("missing.so");
    QTest::newRow("without the factory export") << QStringLiteral(ZARN_LIBRARY_WITHOUT_FACTORY);
}

void QtViewWindowTest::controlFromAnUnusableLibraryIsTriedAgain() {
    QFETCH(QString, library);
    test::ScratchRegistry registry;
    test::TempAppDir app;
    CZarnDoc document(app.AppDir());
    QtViewWindow window(document);
    window.resize(320, 200);
    window.show();

    RegisterDesignControl(library == QStringLiteral("missing.so") ? (app.Outside() / "missing.so").string()
                                                                  : library.toStdString());
    for (int attempt = 0; attempt < 2; ++attempt) {
        window.View().ShowDesignControl();
        QVERIFY(window.m_wndDesign == nullptr);
        QVERIFY(window.View().m_wndDesign == nullptr);
        QVERIFY(window.findChildren<QWidget*>().isEmpty());
    }

    RegisterDesignControl(ZARN_TEST_DESIGN_CONTROL);
    window.View().ShowDesignControl();
    QVERIFY(window.m_wndDesign != nullptr);
    QCOMPARE(window.m_wndDesign->parentWidget(), &window);
    QCOMPARE(window.m_wndDesign->objectName(), QStringLiteral("cad design"));
    QVERIFY(window.m_wndDesign->isVisible());
    QCOMPARE(window.m_wndDesign->size(), QSize(320, 200));
}

} // namespace zarn

QTEST_MAIN(zarn::QtViewWindowTest)
#include "QtViewWindowTest.moc"
