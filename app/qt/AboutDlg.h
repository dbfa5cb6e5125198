// The about box: the icon, the product line in a read-only edit box (so it can be selected and copied), the
// contact line and the copyright notice; in a build without vendor keys, a line below them that says so.
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
    // Whether the box says that lists are read unsigned: set from the build's keys, changed only before DoModal.
    bool m_bUnsignedLists;

    QLineEdit* m_editProductLine;
    QLabel* m_staticContactLine;
    QLabel* m_staticUnsignedLists;

    void accept() override; // kIdOk
    void reject() override; // kIdCancel

protected:
    // Sets the caption and both lines and moves them into their controls.
    virtual bool OnInitDialog();
    // Moves the members into the controls (`toDialog`) or back.
    void UpdateData(bool toDialog);
};

} // namespace zarn
