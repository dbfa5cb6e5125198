// The start dialog: "Start Designing" ends it with kIdOk; the update button, Escape and the close box all end it
// with kIdCancel, which the caller takes as a request for an update check.
#pragma once

#include <QDialog>

class QPushButton;

namespace zarn {

class CStartDlg : public QDialog {
    Q_OBJECT

public:
    explicit CStartDlg(QWidget* parent = nullptr);
    ~CStartDlg() override;

    // Runs the dialog modally; returns kIdOk or kIdCancel. UI thread.
    int DoModal();

    // Set before DoModal: nonzero enables the update button, 0 greys it.
    int m_bAllowUpdate = 1;

    QPushButton* m_btnOk;
    QPushButton* m_btnUpdate;

    void accept() override; // kIdOk
    void reject() override; // kIdCancel

protected:
    // Enables or greys the update button; the default button takes the focus.
    virtual bool OnInitDialog();
    void OnButtonUpdate();
};

} // namespace zarn
