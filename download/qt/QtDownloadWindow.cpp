#include "download/qt/QtDownloadWindow.h"

#include "download/HttpDownloadDlg.h"
#include "download/qt/AnimationCtrl.h"
#include "download/qt/CredentialsDlg.h"
#include "download/qt/DownloadClip.h"
#include "res/StringTable.h"
#include "res/qt/DialogFrame.h"
#include "res/qt/DialogUnits.h"
#include "res/qt/MessageBox.h"
#include "res/qt/ResourceText.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <string>
#include <utility>

namespace zarn {

namespace {

QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

std::string ToLocal(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

} // namespace

QtDownloadWindow::QtDownloadWindow(QWidget* parent)
    : QDialog(parent), m_wndStatusLine(new QLabel(this)), m_wndRate(new QLabel(this)), m_wndTimeLeft(new QLabel(this)),
      m_wndProgress(new QProgressBar(this)), m_wndSourceLine(new QLabel(this)), m_wndAnimation(new AnimationCtrl(this)),
      m_btnCancel(new QPushButton(this)), m_credentialsDlg(new CredentialsDlg(this)) {
    BuildItems();
}

void QtDownloadWindow::BuildItems() {
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
    connect(m_btnCancel, &QPushButton::clicked, this, &QtDownloadWindow::reject);

    m_credentialsDlg->setObjectName(QStringLiteral("credentials"));
}

void QtDownloadWindow::SetStatusText(const std::string& text) {
    m_wndStatusLine->setText(FromLocal(text));
}

void QtDownloadWindow::SetSourceText(const std::string& text, const std::string&) {
    m_wndSourceLine->setText(FromLocal(text));
}

void QtDownloadWindow::SetCaption(const std::string& text) {
    setWindowTitle(FromLocal(text));
}

void QtDownloadWindow::SetProgressRange(int low, int high) {
    m_wndProgress->setRange(low, high);
}

void QtDownloadWindow::SetProgressPos(int pos) {
    m_wndProgress->setValue(pos);
}

void QtDownloadWindow::SetTimeLeftText(const std::string& text) {
    m_wndTimeLeft->setText(FromLocal(text));
}

void QtDownloadWindow::SetRateText(const std::string& text) {
    m_wndRate->setText(FromLocal(text));
}

void QtDownloadWindow::OpenAnimation() {
    m_wndAnimation->Open(DownloadClip::kResourceId);
}

void QtDownloadWindow::StartAnimation() {
    m_wndAnimation->Play();
}

void QtDownloadWindow::StopAnimation() {
    m_wndAnimation->Stop();
}

void QtDownloadWindow::ShowMessage(const std::string& text) {
    MessageBox::ShowOk(this, FromLocal(text));
}

bool QtDownloadWindow::AskCredentials(const std::string& question, std::string& user, std::string& password) {
    m_credentialsDlg->Prepare(FromLocal(question), FromLocal(user));
    if (m_credentialsDlg->exec() != QDialog::Accepted)
        return false;
    user = ToLocal(m_credentialsDlg->UserName());
    password = ToLocal(m_credentialsDlg->Password());
    return true;
}

int QtDownloadWindow::RunModal() {
    m_ending = false;
    return exec();
}

void QtDownloadWindow::EndModal(int result) {
    m_ending = true;
    QDialog::done(result);
}

void QtDownloadWindow::Post(std::function<void()> call) {
    // Queued on this window: calls still waiting when it is destroyed are dropped with it.
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void QtDownloadWindow::done(int result) {
    // Ending while the worker runs would leave it writing to a window that is gone: the dialog decides.
    if (m_presenter)
        m_presenter->OnCancel();
    else
        QDialog::done(result);
}

void QtDownloadWindow::accept() {}

void QtDownloadWindow::reject() {
    if (m_presenter)
        m_presenter->OnCancel();
}

void QtDownloadWindow::keyPressEvent(QKeyEvent* event) {
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

void QtDownloadWindow::closeEvent(QCloseEvent* event) {
    if (m_ending || !m_presenter) {
        event->accept();
        return;
    }
    // Hiding happens through EndModal once the result is known; the window itself never just closes.
    event->ignore();
    m_presenter->OnClose();
}

} // namespace zarn
