#include "download/qt/CredentialsDlg.h"

#include "res/qt/DialogFrame.h"
#include "res/qt/ResourceText.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace zarn {

CredentialsDlg::CredentialsDlg(QWidget* parent)
    : QDialog(parent), m_prompt(new QLabel(this)), m_editUser(new QLineEdit(this)),
      m_editPassword(new QLineEdit(this)) {
    SetModalFrame(*this);
    setWindowTitle(ResourceText(IDS_CREDENTIALS_CAPTION));
    m_prompt->setObjectName("prompt");
    m_prompt->setWordWrap(true);
    m_editUser->setObjectName("userName");
    m_editPassword->setObjectName("password");
    m_editPassword->setEchoMode(QLineEdit::Password);

    auto* fields = new QFormLayout;
    fields->addRow(ResourceText(IDS_USER_NAME_LABEL), m_editUser);
    fields->addRow(ResourceText(IDS_PASSWORD_LABEL), m_editPassword);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_prompt);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    // A fixed size, so that no window manager offers to maximise the prompt; it follows the question's length. The
    // fields alone would make it narrower than its caption, which the title bar would then cut.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    const QMargins margins = layout->contentsMargins();
    m_prompt->setMinimumWidth(CaptionWidth(*this) - margins.left() - margins.right());
}

void CredentialsDlg::Prepare(const QString& question, const QString& user) {
    m_prompt->setText(question);
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
