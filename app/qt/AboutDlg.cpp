#include "app/qt/AboutDlg.h"

#include "app/qt/DialogFrame.h"
#include "app/qt/DialogUnits.h"
#include "app/qt/ResourceText.h"
#include "components/ListKeys.h"
#include "download/qt/DialogResult.h"
#include "res/AppIcon.h"
#include "res/ResourceIds.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace zarn {

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent), m_bUnsignedLists(BuiltInListKeys().empty()), m_editProductLine(new QLineEdit(this)),
      m_staticContactLine(new QLabel(this)), m_staticUnsignedLists(new QLabel(this)) {
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
    connect(ok, &QPushButton::clicked, this, &CAboutDlg::accept);
}

CAboutDlg::~CAboutDlg() = default;

int CAboutDlg::DoModal() {
    OnInitDialog();
    return exec() == kIdOk ? kIdOk : kIdCancel;
}

bool CAboutDlg::OnInitDialog() {
    UpdateData(true);
    setWindowTitle(ResourceText(IDS_ABOUT_CAPTION));
    m_strProductLine = ResourceText(IDS_ABOUT_PRODUCT);
    m_strContactLine = ResourceText(IDS_ABOUT_CONTACT);
    UpdateData(true);
    if (m_bUnsignedLists) {
        m_staticUnsignedLists->setText(ResourceText(IDS_ABOUT_UNSIGNED));
        m_staticUnsignedLists->show();
        DialogUnits(*this, IDD_ABOUTBOX).SetGrownSize();
    }
    return true;
}

void CAboutDlg::UpdateData(bool toDialog) {
    if (toDialog) {
        m_editProductLine->setText(m_strProductLine);
        m_staticContactLine->setText(m_strContactLine);
    } else {
        m_strProductLine = m_editProductLine->text();
        m_strContactLine = m_staticContactLine->text();
    }
}

void CAboutDlg::accept() {
    done(kIdOk);
}

void CAboutDlg::reject() {
    done(kIdCancel);
}

} // namespace zarn
