#include "download/qt/HttpDownloadDlg.h"

#include "app/qt/DialogFrame.h"
#include "app/qt/DialogUnits.h"
#include "app/qt/MessageBox.h"
#include "app/qt/ResourceText.h"
#include "download/ProgressText.h"
#include "download/TransferEngine.h"
#include "download/UrlSplit.h"
#include "download/qt/AnimationCtrl.h"
#include "download/qt/CredentialsDlg.h"
#include "download/qt/DialogResult.h"
#include "download/qt/DownloadClip.h"
#include "platform/FileSystem.h"
#include "res/StringTable.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <exception>
#include <string>

namespace zarn {

namespace {

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

std::string ToLocal(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

} // namespace

CHttpDownloadDlg::CHttpDownloadDlg(QWidget* parent)
    : QDialog(parent), m_wndStatusLine(new QLabel(this)), m_wndRate(new QLabel(this)), m_wndTimeLeft(new QLabel(this)),
      m_wndProgress(new QProgressBar(this)), m_wndSourceLine(new QLabel(this)), m_wndAnimation(new AnimationCtrl(this)),
      m_btnCancel(new QPushButton(this)), m_credentialsDlg(new CredentialsDlg(this)) {
    BuildItems();
}

CHttpDownloadDlg::~CHttpDownloadDlg() {
    JoinWorker();
}

void CHttpDownloadDlg::BuildItems() {
    setWindowTitle(ResourceText(IDS_DOWNLOAD_CAPTION));
    SetModalFrame(*this);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);
    setAutoFillBackground(true);

    // The template's font, or the system's sans serif where it is missing; the layout follows whichever is used.
    const DialogUnits units(*this, IDD_DOWNLOAD);
    const auto place = [&](QWidget* item, ControlId id) { units.Place(*item, id); };
    units.SetSize();
    const QFontMetrics metrics(font());

    m_wndAnimation->setObjectName(QStringLiteral("m_wndAnimation"));
    place(m_wndAnimation, IDC_ANIMATION);

    const auto textItem = [&](QLabel* label, const char* name, ControlId id) {
        label->setObjectName(QLatin1String(name));
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        label->setTextFormat(Qt::PlainText);
        place(label, id);
    };
    textItem(m_wndStatusLine, "m_wndStatusLine", IDC_STATUS_LINE);
    textItem(m_wndSourceLine, "m_wndSourceLine", IDC_SOURCE_LINE);
    textItem(m_wndTimeLeft, "m_wndTimeLeft", IDC_TIME_LEFT);
    textItem(m_wndRate, "m_wndRate", IDC_RATE);
    // The fixed labels were sized for the template's own font; a wider substitute would cut them
    // off, so they grow to their text, up to the value field beside them.
    const auto fixedLabel = [&](const QString& text, const char* name, ControlId id, const QLabel* value) {
        auto* label = new QLabel(text, this);
        textItem(label, name, id);
        const int room = value->geometry().left() - label->geometry().left();
        label->resize(std::min(room, std::max(label->width(), metrics.horizontalAdvance(text))), label->height());
    };
    fixedLabel(ResourceText(IDS_TIME_LEFT_LABEL), "timeLeftLabel", IDC_TIME_LEFT_LABEL, m_wndTimeLeft);
    fixedLabel(ResourceText(IDS_RATE_LABEL), "rateLabel", IDC_RATE_LABEL, m_wndRate);

    m_wndProgress->setObjectName(QStringLiteral("m_wndProgress"));
    m_wndProgress->setRange(0, 100);
    m_wndProgress->setValue(0);
    m_wndProgress->setTextVisible(false);
    place(m_wndProgress, IDC_PROGRESS);

    // The template's Cancel button exists but is never shown: the close box is the way to stop.
    m_btnCancel->setObjectName(QStringLiteral("cancelButton"));
    m_btnCancel->setText(ResourceText(IDS_CANCEL));
    m_btnCancel->setDefault(true);
    m_btnCancel->setEnabled(false);
    m_btnCancel->setVisible(false);
    place(m_btnCancel, IDCANCEL_BUTTON);
    connect(m_btnCancel, &QPushButton::clicked, this, &CHttpDownloadDlg::reject);

    m_credentialsDlg->setObjectName(QStringLiteral("credentials"));
}

int CHttpDownloadDlg::DoModal() {
    m_strShownFailText.clear();
    m_initResult = 0;
    m_inInit = true;
    OnInitDialog();
    m_inInit = false;
    const int result = m_initResult != 0 ? m_initResult : exec();
    OnDestroy();
    // Anything that ended the loop without a result of ours (a dialog result of 0) is no success.
    return result == kIdOk ? kIdOk : kIdCancel;
}

bool CHttpDownloadDlg::OnInitDialog() {
    m_wndAnimation->Open(DownloadClip::kResourceId);

    UrlParts parts;
    if (!SplitUrl(m_strSourceUrl, parts)) {
        m_strSourceUrl = "http://" + m_strSourceUrl;
        if (!SplitUrl(m_strSourceUrl, parts)) {
            EndDialog(kIdCancel);
            return true;
        }
    }
    m_dwUrlService = parts.service;
    m_strHostName = parts.hostName;
    m_strObjectPath = parts.objectPath;
    m_wHostPort = parts.port;

    if (const auto opened = m_fileTarget.Open(m_strTargetPath, m_dwResumeOffset); opened.messageId != 0) {
        ShowFailure(FormatString(opened.messageId, std::to_string(opened.systemCode)));
        EndDialog(kIdCancel);
        return true;
    }

    m_strShownName = ShownNameOf(m_strObjectPath);
    m_wndSourceLine->setText(FromLocal(FormatString(IDS_SOURCE_LINE, m_strShownName, m_strHostName)));

    try {
        m_pWorker = std::make_unique<std::thread>(&CHttpDownloadDlg::WorkerMain, this);
    } catch (const std::exception&) {
        // No thread (std::system_error) or no memory for one: the file stays open, unused, and the
        // dialog ends as no success.
        EndDialog(kIdCancel);
    }
    return true;
}

void CHttpDownloadDlg::WorkerMain() {
    // Nothing may escape the thread, and the dialog must hear of the end however the transfer left.
    try {
        RunTransfer();
    } catch (...) {
        if (!m_endPosted)
            ReportFailureCode(IDS_TRANSFER_FAILED, 0);
    }
    if (!m_endPosted) {
        m_fileTarget.Discard();
        m_strFailText.clear();
        PostTransferEnded(true);
    }
}

TransferSettings CHttpDownloadDlg::SettingsFromInputs() const {
    TransferSettings settings;
    settings.hostName = m_strHostName;
    settings.port = m_wHostPort;
    settings.objectPath = m_strObjectPath;
    settings.secure = m_dwUrlService == kServiceHttps;
    settings.agentName = m_strAgentName;
    settings.accessMode = m_nAccessMode;
    settings.proxyHost = m_strProxyHost;
    settings.proxyLogin = m_strProxyLogin;
    settings.proxyPwd = m_strProxyPwd;
    settings.siteLogin = m_strSiteLogin;
    settings.sitePwd = m_strSitePwd;
    settings.askProxyLogin = m_bAskProxyLogin;
    settings.askSiteLogin = m_bAskSiteLogin;
    settings.maxBytesPerMs = m_dMaxBytesPerMs;
    settings.resumeOffset = m_dwResumeOffset;
    settings.expectedSize = m_expectedSize;
    settings.expectedSha256 = m_expectedSha256;
    settings.sizeLimit = m_maxSize;
    settings.caFile = m_strCaFile;
    return settings;
}

bool CHttpDownloadDlg::OnSetOptions(TransferSettings&) {
    return true;
}

void CHttpDownloadDlg::RunTransfer() {
    TransferSettings settings = SettingsFromInputs();
    if (!OnSetOptions(settings))
        return;
    TransferEngine engine(settings, m_fileTarget, *this, m_bStopRequested);
    engine.Run();
}

void CHttpDownloadDlg::ReportFailureCode(StringId messageId, unsigned long errorCode) {
    if (m_endPosted)
        return;
    const unsigned long code = errorCode != 0 ? errorCode : platform::LastErrorCode();
    m_fileTarget.Discard();
    ReportFailureText(FormatString(messageId, std::to_string(code)));
}

void CHttpDownloadDlg::ReportFailureText(const std::string& text) {
    if (m_endPosted)
        return;
    m_strFailText = text;
    PostTransferEnded(true);
}

void CHttpDownloadDlg::TransferEnded(bool failed, const std::string& failText) {
    if (failed)
        ReportFailureText(failText);
    else
        PostTransferEnded(false);
}

bool CHttpDownloadDlg::DefersCommit() const {
    return true;
}

void CHttpDownloadDlg::PostTransferEnded(bool failed) {
    if (m_endPosted)
        return;
    m_endPosted = true;
    // Posted, never waited for: the UI thread may be waiting for this thread already.
    QMetaObject::invokeMethod(
        this, [this, failed] { OnTransferEnded(failed); }, Qt::QueuedConnection);
}

void CHttpDownloadDlg::OnTransferEnded(bool failed) {
    m_bWorkerDone = true;
    m_wndAnimation->Stop();
    // The worker left a whole body uncommitted (it posted its end after its last use of the file):
    // whether it replaces the target is decided here, where no stop can come in between.
    if (m_bStopRequested) {
        m_fileTarget.Discard();
        EndDialog(kIdCancel);
    } else if (failed) {
        if (!m_strFailText.empty())
            ShowFailure(m_strFailText);
        EndDialog(kIdCancel);
    } else if (const unsigned long code = m_fileTarget.Commit(); code != 0) {
        ShowFailure(FormatString(IDS_TRANSFER_FAILED, std::to_string(code)));
        EndDialog(kIdCancel);
    } else {
        EndDialog(kIdOk);
    }
}

void CHttpDownloadDlg::ShowFailure(const std::string& text) {
    m_strShownFailText = text;
    MessageBox::ShowOk(this, FromLocal(text));
}

void CHttpDownloadDlg::OnCancel() {
    m_bStopRequested = true;
    m_btnCancel->setEnabled(false);
    ShowStatusId(IDS_ABORTING);
}

void CHttpDownloadDlg::OnClose() {
    if (m_bWorkerDone)
        EndDialog(kIdCancel);
    else
        OnCancel();
}

void CHttpDownloadDlg::OnDestroy() {
    JoinWorker();
    // A body whose end was never taken (the loop ended first) is no success: the previous file stays.
    if (!m_bWorkerDone)
        m_fileTarget.Discard();
}

void CHttpDownloadDlg::JoinWorker() {
    if (m_pWorker) {
        // The loop can also end without the worker's end (the application quitting): then the
        // worker is told to stop, so that the wait is short, and a credentials question that it
        // waits on, which this thread will not show any more, is declined.
        if (!m_bWorkerDone)
            m_bStopRequested = true;
        {
            std::lock_guard lock(m_promptMutex);
            if (m_promptPending) {
                m_promptPending = false;
                m_promptAccepted = false;
                m_promptAnswered.notify_one();
            }
        }
        if (m_pWorker->joinable())
            m_pWorker->join();
        m_pWorker.reset();
    }
}

void CHttpDownloadDlg::EndDialog(int result) {
    if (m_inInit) {
        m_initResult = result;
        return;
    }
    m_ending = true;
    QDialog::done(result);
}

void CHttpDownloadDlg::done(int result) {
    // Ending while the worker runs would leave it writing to a dialog that is gone.
    if (m_pWorker && !m_bWorkerDone) {
        OnCancel();
        return;
    }
    EndDialog(result);
}

void CHttpDownloadDlg::accept() {}

void CHttpDownloadDlg::reject() {
    if (m_bWorkerDone)
        EndDialog(kIdCancel);
    else
        OnCancel();
}

void CHttpDownloadDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Enter:
    case Qt::Key_Return:
        event->accept();
        return;
    case Qt::Key_Escape:
        event->accept();
        reject();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CHttpDownloadDlg::closeEvent(QCloseEvent* event) {
    if (m_ending) {
        event->accept();
        return;
    }
    // Hiding happens through EndDialog once the result is known; the window itself never just closes.
    event->ignore();
    OnClose();
}

void CHttpDownloadDlg::ShowPercentDone(int percent) {
    const QString caption = FromLocal(FormatPercentCaption(percent, m_strShownName));
    QMetaObject::invokeMethod(
        this,
        [this, percent, caption] {
            m_wndProgress->setValue(percent);
            setWindowTitle(caption);
        },
        Qt::QueuedConnection);
}

void CHttpDownloadDlg::ShowTimeRemaining(std::uint64_t secondsLeft, std::uint64_t bytesCopied,
                                         std::uint64_t bytesTotal) {
    const QString line = FromLocal(FormatTimeLeftLine(secondsLeft, bytesCopied, bytesTotal));
    QMetaObject::invokeMethod(
        this, [this, line] { m_wndTimeLeft->setText(line); }, Qt::QueuedConnection);
}

void CHttpDownloadDlg::ShowStatusArg(StringId stringId, const std::string& arg) {
    ShowStatusText(FormatString(stringId, arg));
}

void CHttpDownloadDlg::ShowStatusId(StringId stringId) {
    ShowStatusText(LoadString(stringId));
}

void CHttpDownloadDlg::ShowStatusText(const std::string& text) {
    // Queued from every thread, the UI thread's own "Aborting transfer" included, so the status line
    // shows the changes in the order they were made.
    const QString line = FromLocal(text);
    QMetaObject::invokeMethod(
        this, [this, line] { m_wndStatusLine->setText(line); }, Qt::QueuedConnection);
}

void CHttpDownloadDlg::ShowRate(double bytesPerMs) {
    const QString line = FromLocal(FormatRate(bytesPerMs));
    QMetaObject::invokeMethod(
        this, [this, line] { m_wndRate->setText(line); }, Qt::QueuedConnection);
}

void CHttpDownloadDlg::StartAnimation() {
    QMetaObject::invokeMethod(
        this, [this] { m_wndAnimation->Play(); }, Qt::QueuedConnection);
}

void CHttpDownloadDlg::SetProgressRange(int low, int high) {
    QMetaObject::invokeMethod(
        this, [this, low, high] { m_wndProgress->setRange(low, high); }, Qt::QueuedConnection);
}

void CHttpDownloadDlg::RefreshTransferFigures(std::uint32_t startTick, std::uint32_t& lastTick,
                                              std::uint64_t bytesSoFar, std::uint64_t& bytesAtLastTick,
                                              int& lastPercent, bool haveLength, std::uint64_t contentLength) {
    zarn::RefreshTransferFigures(*this, startTick, lastTick, bytesSoFar, bytesAtLastTick, lastPercent, haveLength,
                                 contentLength, CurrentTick());
}

bool CHttpDownloadDlg::AskCredentials(bool proxy, const std::string& host, std::string& user, std::string& password) {
    std::unique_lock lock(m_promptMutex);
    // Read under the lock JoinWorker takes after setting the flag: either this question is never
    // asked, or JoinWorker finds it open and declines it.
    if (m_bStopRequested)
        return false;
    m_promptPending = true;
    m_promptAccepted = false;
    QMetaObject::invokeMethod(
        this,
        [this, proxy, host = FromLocal(host), user = FromLocal(user)] { ShowCredentialsPrompt(proxy, host, user); },
        Qt::QueuedConnection);
    // Not a blocking call into the UI thread: that thread may itself be waiting for this one.
    m_promptAnswered.wait(lock, [this] { return !m_promptPending; });
    if (!m_promptAccepted)
        return false;
    user = m_promptUser;
    password = m_promptPassword;
    return true;
}

void CHttpDownloadDlg::ShowCredentialsPrompt(bool proxy, const QString& host, const QString& user) {
    {
        std::lock_guard lock(m_promptMutex);
        if (!m_promptPending)
            return; // declined already: the dialog is ending
    }
    m_credentialsDlg->Prepare(proxy, host, user);
    const bool accepted = m_credentialsDlg->exec() == QDialog::Accepted && !m_bStopRequested;
    std::lock_guard lock(m_promptMutex);
    if (!m_promptPending)
        return;
    m_promptAccepted = accepted;
    if (accepted) {
        m_promptUser = ToLocal(m_credentialsDlg->UserName());
        m_promptPassword = ToLocal(m_credentialsDlg->Password());
    }
    m_promptPending = false;
    m_promptAnswered.notify_one();
}

} // namespace zarn
