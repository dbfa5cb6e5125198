// The start dialog's Qt window: "Start Designing" and the update button, forwarded with Escape and the close box
// to CStartDlg.
#pragma once

#include "app/StartWindow.h"

#include <QDialog>

class QPushButton;

namespace zarn {

class CStartDlg;

class QtStartWindow : public QDialog, public StartWindow {
    Q_OBJECT

public:
    // `dialog` must outlive the window. UI thread.
    explicit QtStartWindow(CStartDlg& dialog, QWidget* parent = nullptr);
    ~QtStartWindow() override;

    void EnableUpdateButton(bool enabled) override;
    void FocusDefaultButton() override;
    int RunModal() override;
    void EndDialog(int result) override;

    QPushButton* m_btnOk;
    QPushButton* m_btnUpdate;

    void accept() override; // "Start Designing"
    void reject() override; // Escape and the close box

private:
    void OnButtonUpdate();

    CStartDlg& m_dialog;
};

} // namespace zarn
