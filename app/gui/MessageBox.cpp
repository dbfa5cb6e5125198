#include "app/gui/MessageBox.h"

#include "download/gui/DialogResult.h"
#include "res/StringTable.h"

#include <QMessageBox>

namespace zarn {

namespace {
// The application title string, which also names the application in every message box.
} // namespace

MessageBox::Hook& MessageBox::CurrentHook() {
    static Hook hook;
    return hook;
}

void MessageBox::SetHook(Hook hook) {
    CurrentHook() = std::move(hook);
}

int MessageBox::ShowOk(QWidget* parent, const QString& text) {
    if (const Hook& hook = CurrentHook())
        return hook(parent, text);
    QMessageBox box(QMessageBox::NoIcon, QString::fromLocal8Bit(LoadString(AFX_IDS_APP_TITLE)), text, QMessageBox::Ok,
                    parent);
    box.exec();
    return kIdOk;
}

} // namespace zarn
