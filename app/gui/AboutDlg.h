// The about box: the icon, the product line in a read-only edit box (so it can be selected and copied), the
// contact line and the copyright notice.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;

namespace zarn {

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    // Runs the box modally; returns kIdOk or kIdCancel. UI thread.
    int DoModal();

    QString m_strProductLine;
    QString m_strContactLine;

    QLineEdit* m_editProductLine;
    QLabel* m_staticContactLine;

    void accept() override; // kIdOk
    void reject() override; // kIdCancel

protected:
    // Sets the caption and both lines and moves them into their controls.
    virtual bool OnInitDialog();
    // Moves the members into the controls (`toDialog`) or back.
    void UpdateData(bool toDialog);
};

} // namespace zarn
