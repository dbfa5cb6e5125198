#include "app/gui/DialogFrame.h"

#include <QDialog>
#include <QFontMetrics>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

namespace zarn {

void SetModalFrame(QDialog& dialog) {
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog.setModal(true);
}

void WrapButtonText(QPushButton& button) {
    const QFontMetrics metrics(button.font());
    const QString text = button.text();
    const int margin = 2 * button.style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &button) + 4;
    const int room = button.width() - margin;
    if (metrics.horizontalAdvance(text) <= room)
        return;
    int best = -1;
    int bestWidth = 0;
    for (int at = text.indexOf(QLatin1Char(' ')); at >= 0; at = text.indexOf(QLatin1Char(' '), at + 1)) {
        const int width =
            std::max(metrics.horizontalAdvance(text.left(at)), metrics.horizontalAdvance(text.mid(at + 1)));
        if (best < 0 || width < bestWidth) {
            best = at;
            bestWidth = width;
        }
    }
    if (best >= 0)
        button.setText(text.left(best) + QLatin1Char('\n') + text.mid(best + 1));
}

} // namespace zarn
