#include "app/qt/QtShellWindow.h"

#include "app/qt/GuiDocumentHost.h"
#include "app/qt/QtAboutWindow.h"
#include "app/qt/QtFrameWindow.h"
#include "app/qt/QtStartWindow.h"
#include "res/qt/MessageBox.h"

#include <QApplication>
#include <QColor>
#include <QFileDialog>

namespace zarn {

std::unique_ptr<FrameWindow> QtShellWindow::CreateFrameWindow(CMainFrame& frame) {
    auto window = std::make_unique<QtFrameWindow>(frame);
    m_mainWindow = window.get();
    return window;
}

std::unique_ptr<StartWindow> QtShellWindow::CreateStartWindow(CStartDlg& dialog) {
    return std::make_unique<QtStartWindow>(dialog, m_mainWindow);
}

std::unique_ptr<AboutWindow> QtShellWindow::CreateAboutWindow(CAboutDlg& dialog) {
    return std::make_unique<QtAboutWindow>(dialog, m_mainWindow);
}

std::unique_ptr<CDocumentHost> QtShellWindow::CreateDocumentHost(CZarnApp& app, std::string caFile) {
    return std::make_unique<GuiDocumentHost>(app, *this, std::move(caFile));
}

void QtShellWindow::ShowMessageBox(const std::string& text) {
    MessageBox::ShowOk(m_mainWindow, QString::fromLocal8Bit(text));
}

std::string QtShellWindow::AskOpenPath() {
    return QFileDialog::getOpenFileName(m_mainWindow).toLocal8Bit().toStdString();
}

std::string QtShellWindow::AskSavePath() {
    return QFileDialog::getSaveFileName(m_mainWindow).toLocal8Bit().toStdString();
}

void QtShellWindow::SetDialogColors(Color background, Color text) {
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (application == nullptr)
        return;
    application->setStyleSheet(QStringLiteral("QDialog { background-color: %1; color: %2; } QDialog QLabel { color: "
                                              "%2; }")
                                   .arg(QColor(QRgb(background)).name(), QColor(QRgb(text)).name()));
}

} // namespace zarn
