// The prompt for a user name and password when a web server or proxy asks a download for them, laid out from its
// template; a question longer than the template's room grows the prompt downwards.
#pragma once

#include "res/qt/DialogUnits.h"

#include <QDialog>
#include <vector>

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
    // Places every item at its template rectangle, those below the question lowered by what the question needs
    // beyond its room, and fixes the prompt's size to match.
    void Layout();

    DialogUnits m_units;
    QLabel* m_prompt;
    QLineEdit* m_editUser;
    QLineEdit* m_editPassword;
    // The items below the question, with their template ids.
    std::vector<std::pair<QWidget*, ControlId>> m_below;
};

} // namespace zarn
