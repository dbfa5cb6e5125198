#include "app/qt/DialogUnits.h"

#include <QFontMetrics>
#include <QWidget>

namespace zarn {

namespace {

// Rounds to nearest, as the dialog manager's MulDiv does.
int MulDiv(int value, int numerator, int denominator) {
    return (value * numerator + denominator / 2) / denominator;
}

QFont TemplateFont() {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace

DialogUnits::DialogUnits(QWidget& dialog) : m_dialog(dialog) {
    m_dialog.setFont(TemplateFont());
    // The average width of the 52 letters, rounded, and the font's height.
    const QFontMetrics metrics(m_dialog.font());
    m_baseX =
        (metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) /
        2;
    m_baseY = metrics.height();
}

int DialogUnits::X(int units) const {
    return MulDiv(units, m_baseX, 4);
}

int DialogUnits::Y(int units) const {
    return MulDiv(units, m_baseY, 8);
}

void DialogUnits::SetSize(int width, int height) const {
    m_dialog.setFixedSize(X(width), Y(height));
}

void DialogUnits::Place(QWidget& item, int x, int y, int width, int height) const {
    const int left = X(x);
    const int top = Y(y);
    item.setGeometry(left, top, X(x + width) - left, Y(y + height) - top);
}

} // namespace zarn
