#include "res/qt/MessageBox.h"

#include "res/DialogResult.h"
#include "res/StringTable.h"
#include "res/qt/DialogFrame.h"

#include <QGridLayout>
#include <QMessageBox>

namespace zarn {

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
    box.setObjectName(QStringLiteral("messageBox"));
    SetModalFrame(box);
    // The box sizes itself to its text, and a short text would leave its caption cut off.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(CaptionWidth(box), 0), grid->rowCount(), 0, 1, grid->columnCount());
    box.exec();
    return kIdOk;
}

} // namespace zarn
