#include "app/qt/QtAboutWindow.h"

#include "app/AboutDlg.h"
#include "res/ResourceIds.h"
#include "res/qt/AppIcon.h"
#include "res/qt/DialogFrame.h"
#include "res/qt/DialogUnits.h"
#include "res/qt/ResourceText.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zarn {

QtAboutWindow::QtAboutWindow(CAboutDlg& dialog, QWidget* parent)
    : QDialog(parent), m_editProductLine(new QLineEdit(this)), m_staticContactLine(new QLabel(this)),
      m_staticUnsignedLists(new QLabel(this)), m_dialog(dialog) {
    setObjectName(QStringLiteral("aboutDialog"));
    setProperty(kControlIdProperty, IDD_ABOUTBOX);
    SetModalFrame(*this);
    setWindowTitle(ResourceText(IDS_ABOUT_CAPTION));
    const DialogUnits units(*this, IDD_ABOUTBOX);
    units.SetSize();

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    units.Place(*icon, IDC_ABOUT_ICON);
    icon->setPixmap(AppIcon().pixmap(icon->size(), devicePixelRatioF()));

    m_editProductLine->setObjectName(QStringLiteral("m_strProductLine"));
    m_editProductLine->setProperty(kControlIdProperty, IDC_PRODUCT_LINE);
    m_editProductLine->setReadOnly(true);
    units.Place(*m_editProductLine, IDC_PRODUCT_LINE);

    m_staticContactLine->setObjectName(QStringLiteral("m_strContactLine"));
    m_staticContactLine->setProperty(kControlIdProperty, IDC_CONTACT_LINE);
    units.Place(*m_staticContactLine, IDC_CONTACT_LINE);

    auto* copyright = new QLabel(ResourceText(IDS_ABOUT_COPYRIGHT), this);
    copyright->setObjectName(QStringLiteral("copyright"));
    units.Place(*copyright, IDC_COPYRIGHT);

    // Below the box's own controls, shown only by a build without keys, which grows the box to hold it.
    m_staticUnsignedLists->setObjectName(QStringLiteral("unsignedLists"));
    m_staticUnsignedLists->setWordWrap(true);
    m_staticUnsignedLists->hide();
    units.Place(*m_staticUnsignedLists, IDC_UNSIGNED_LISTS);

    auto* ok = new QPushButton(ResourceText(IDS_OK), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setProperty(kControlIdProperty, IDOK_BUTTON);
    ok->setDefault(true);
    units.Place(*ok, IDOK_BUTTON);
    connect(ok, &QPushButton::clicked, this, &QtAboutWindow::accept);
}

QtAboutWindow::~QtAboutWindow() = default;

void QtAboutWindow::SetProductLine(const std::string& text) {
    m_editProductLine->setText(QString::fromStdString(text));
}

void QtAboutWindow::SetContactLine(const std::string& text) {
    m_staticContactLine->setText(QString::fromStdString(text));
}

std::string QtAboutWindow::ProductLine() const {
    return m_editProductLine->text().toStdString();
}

std::string QtAboutWindow::ContactLine() const {
    return m_staticContactLine->text().toStdString();
}

void QtAboutWindow::ShowUnsignedLists(const std::string& text) {
    m_staticUnsignedLists->setText(QString::fromStdString(text));
    m_staticUnsignedLists->show();
    DialogUnits(*this, IDD_ABOUTBOX).SetGrownSize();
}

int QtAboutWindow::RunModal() {
    return exec();
}

void QtAboutWindow::EndDialog(int result) {
    done(result);
}

void QtAboutWindow::accept() {
    m_dialog.OnOK();
}

void QtAboutWindow::reject() {
    m_dialog.OnCancel();
}

} // namespace zarn
