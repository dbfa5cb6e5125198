// The download dialog's Qt window: the items of its template, what CHttpDownloadDlg tells it to show, and the
// close box, Escape and the Stop button forwarded to it. It decides nothing itself.
#pragma once

#include "download/DownloadWindow.h"

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace zarn {

class AnimationCtrl;
class CHttpDownloadDlg;
class CredentialsDlg;

class QtDownloadWindow : public QDialog, public DownloadWindow {
    Q_OBJECT

public:
    explicit QtDownloadWindow(QWidget* parent = nullptr);

    // The dialog the window's events go to; without one they are ignored. UI thread.
    void SetPresenter(CHttpDownloadDlg* presenter) { m_presenter = presenter; }

    // The dialog's items, created by the constructor at their template rectangles.
    QLabel* m_wndStatusLine;
    QLabel* m_wndRate;
    QLabel* m_wndTimeLeft;
    QProgressBar* m_wndProgress;
    QLabel* m_wndSourceLine;
    AnimationCtrl* m_wndAnimation;

    void SetStatusText(const std::string& text) override;
    void SetSourceText(const std::string& text, const std::string& shownName) override;
    void SetCaption(const std::string& text) override;
    void SetProgressRange(int low, int high) override;
    void SetProgressPos(int pos) override;
    void SetTimeLeftText(const std::string& text) override;
    void SetRateText(const std::string& text) override;
    void OpenAnimation() override;
    void StartAnimation() override;
    void StopAnimation() override;
    void ShowMessage(const std::string& text) override;
    bool AskCredentials(const std::string& question, std::string& user, std::string& password) override;
    int RunModal() override;
    void EndModal(int result) override;
    void Post(std::function<void()> call) override;

    // A result from outside (not the dialog's own end) is taken as a cancel command.
    void done(int result) override;
    // The dialog has no OK button and its result comes from the transfer alone: OK commands are ignored.
    void accept() override;
    // A cancel command, forwarded.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildItems();

    QPushButton* m_btnCancel;
    CredentialsDlg* m_credentialsDlg;
    CHttpDownloadDlg* m_presenter = nullptr;
    bool m_ending = false;
};

} // namespace zarn
