#include "res/qt/DialogFrame.h"

#include <QApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

namespace zarn {

void SetModalFrame(QDialog& dialog) {
    // A caption and a close box, and no minimise or maximise hint for the window manager: a minimised modal box
    // would hide the application that waits for it.
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    dialog.setModal(true);
}

int CaptionWidth(const QWidget& window) {
    // The window manager draws the caption in a font of its own; most take the desktop's font in bold.
    QFont font = QApplication::font();
    font.setBold(true);
    const QStyle* style = window.style();
    // The icon on the left and the close box on the right are each about as wide as the bar is high, and the
    // caption keeps some room from both.
    const int bar = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window);
    const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &window);
    return QFontMetrics(font).horizontalAdvance(window.windowTitle()) + 3 * bar + 2 * frame;
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
