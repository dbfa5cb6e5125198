#include "download/qt/CredentialsDlg.h"

#include "res/qt/DialogFrame.h"
#include "res/qt/ResourceText.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace zarn {

CredentialsDlg::CredentialsDlg(QWidget* parent)
    : QDialog(parent), m_units(*this, IDD_CREDENTIALS), m_prompt(new QLabel(this)), m_editUser(new QLineEdit(this)),
      m_editPassword(new QLineEdit(this)) {
    SetModalFrame(*this);
    setWindowTitle(ResourceText(IDS_CREDENTIALS_CAPTION));
    m_prompt->setObjectName("prompt");
    m_prompt->setWordWrap(true);
    m_prompt->setTextFormat(Qt::PlainText);
    m_prompt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_editUser->setObjectName("userName");
    m_editPassword->setObjectName("password");
    m_editPassword->setEchoMode(QLineEdit::Password);

    auto* userLabel = new QLabel(ResourceText(IDS_USER_NAME_LABEL), this);
    userLabel->setBuddy(m_editUser);
    auto* passwordLabel = new QLabel(ResourceText(IDS_PASSWORD_LABEL), this);
    passwordLabel->setBuddy(m_editPassword);
    auto* ok = new QPushButton(ResourceText(IDS_OK), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(ResourceText(IDS_CANCEL), this);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_below = {{userLabel, IDC_USER_NAME_LABEL}, {m_editUser, IDC_USER_NAME}, {passwordLabel, IDC_PASSWORD_LABEL},
               {m_editPassword, IDC_PASSWORD},   {ok, IDOK_BUTTON},           {cancel, IDCANCEL_BUTTON}};
    Layout();
}

void CredentialsDlg::Layout() {
    m_units.SetSize();
    m_units.Place(*m_prompt, IDC_CREDENTIALS_PROMPT);
    const int extra = std::max(0, m_prompt->heightForWidth(m_prompt->width()) - m_prompt->height());
    m_prompt->resize(m_prompt->width(), m_prompt->height() + extra);
    for (const auto& [item, id] : m_below) {
        m_units.Place(*item, id);
        item->move(item->x(), item->y() + extra);
    }
    setFixedSize(width(), height() + extra);
}

void CredentialsDlg::Prepare(const QString& question, const QString& user) {
    m_prompt->setText(question);
    Layout();
    m_editUser->setText(user);
    m_editPassword->clear();
    (user.isEmpty() ? m_editUser : m_editPassword)->setFocus();
}

QString CredentialsDlg::UserName() const {
    return m_editUser->text();
}

QString CredentialsDlg::Password() const {
    return m_editPassword->text();
}

QString CredentialsDlg::PromptText() const {
    return m_prompt->text();
}

} // namespace zarn
