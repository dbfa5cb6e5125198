#include "app/qt/QtStartWindow.h"

#include "app/StartDlg.h"
#include "res/ResourceIds.h"
#include "res/qt/DialogFrame.h"
#include "res/qt/DialogUnits.h"
#include "res/qt/ResourceText.h"

#include <QLabel>
#include <QPushButton>

namespace zarn {

QtStartWindow::QtStartWindow(CStartDlg& dialog, QWidget* parent)
    : QDialog(parent), m_btnOk(new QPushButton(this)), m_btnUpdate(new QPushButton(this)), m_dialog(dialog) {
    setObjectName(QStringLiteral("startDialog"));
    setProperty(kControlIdProperty, IDD_START);
    SetModalFrame(*this);
    setWindowTitle(ResourceText(IDS_START_CAPTION));
    const DialogUnits units(*this, IDD_START);
    units.SetSize();

    auto* prompt = new QLabel(ResourceText(IDS_START_PROMPT), this);
    prompt->setObjectName(QStringLiteral("prompt"));
    prompt->setAlignment(Qt::AlignCenter);
    units.Place(*prompt, IDC_START_PROMPT);

    m_btnOk->setObjectName(QStringLiteral("IDOK"));
    m_btnOk->setProperty(kControlIdProperty, IDOK_BUTTON);
    m_btnOk->setText(ResourceText(IDS_START_DESIGN));
    m_btnOk->setDefault(true);
    m_btnOk->setAutoDefault(true);
    units.Place(*m_btnOk, IDOK_BUTTON);
    WrapButtonText(*m_btnOk);
    connect(m_btnOk, &QPushButton::clicked, this, &QtStartWindow::accept);

    m_btnUpdate->setObjectName(QStringLiteral("IDC_UPDATE"));
    m_btnUpdate->setProperty(kControlIdProperty, IDC_UPDATE);
    m_btnUpdate->setText(ResourceText(IDS_START_UPDATE));
    // Enter presses whichever push button has the focus, as in the platform's dialogs; the default button
    // ("Start Designing") only while the focus is on none.
    m_btnUpdate->setAutoDefault(true);
    units.Place(*m_btnUpdate, IDC_UPDATE);
    WrapButtonText(*m_btnUpdate);
    connect(m_btnUpdate, &QPushButton::clicked, this, &QtStartWindow::OnButtonUpdate);
}

QtStartWindow::~QtStartWindow() = default;

void QtStartWindow::EnableUpdateButton(bool enabled) {
    m_btnUpdate->setEnabled(enabled);
}

void QtStartWindow::FocusDefaultButton() {
    m_btnOk->setFocus(Qt::OtherFocusReason);
}

int QtStartWindow::RunModal() {
    return exec();
}

void QtStartWindow::EndDialog(int result) {
    done(result);
}

void QtStartWindow::OnButtonUpdate() {
    m_dialog.OnButtonUpdate();
}

void QtStartWindow::accept() {
    m_dialog.OnOK();
}

void QtStartWindow::reject() {
    m_dialog.OnCancel();
}

} // namespace zarn
