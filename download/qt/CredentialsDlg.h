// The prompt for a user name and password when a web server or proxy asks a download for them.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;

namespace zarn {

class CredentialsDlg : public QDialog {
    Q_OBJECT

public:
    explicit CredentialsDlg(QWidget* parent = nullptr);

    // Shows `question` (who asks: the proxy or the web server), puts `user` in the user name field and
    // empties the password. UI thread.
    void Prepare(const QString& question, const QString& user);

    // What the fields and the question say now. UI thread.
    QString UserName() const;
    QString Password() const;
    QString PromptText() const;

private:
    QLabel* m_prompt;
    QLineEdit* m_editUser;
    QLineEdit* m_editPassword;
};

} // namespace zarn
