// The about box's Qt window: the icon, the product line in a read-only edit box (so it can be selected and copied),
// the contact line, the copyright notice and a hidden line for a build without vendor keys; OK, Escape and the close
// box are forwarded to CAboutDlg.
#pragma once

#include "app/AboutWindow.h"

#include <QDialog>

class QLabel;
class QLineEdit;

namespace zarn {

class CAboutDlg;

class QtAboutWindow : public QDialog, public AboutWindow {
    Q_OBJECT

public:
    // `dialog` must outlive the window. UI thread.
    explicit QtAboutWindow(CAboutDlg& dialog, QWidget* parent = nullptr);
    ~QtAboutWindow() override;

    void SetProductLine(const std::string& text) override;
    void SetContactLine(const std::string& text) override;
    std::string ProductLine() const override;
    std::string ContactLine() const override;
    void ShowUnsignedLists(const std::string& text) override;
    int RunModal() override;
    void EndDialog(int result) override;

    QLineEdit* m_editProductLine;
    QLabel* m_staticContactLine;
    QLabel* m_staticUnsignedLists;

    void accept() override; // OK
    void reject() override; // Escape and the close box

private:
    CAboutDlg& m_dialog;
};

} // namespace zarn
