#include "res/qt/DialogUnits.h"

#include <QFontMetrics>
#include <QWidget>

namespace zarn {

namespace {

// Rounds to nearest, as the dialog manager's MulDiv does.
int MulDiv(int value, int numerator, int denominator) {
    return (value * numerator + denominator / 2) / denominator;
}

QFont TemplateFont() {
    QFont font(QString::fromLatin1(kDialogFontFace));
    font.setPointSize(kDialogFontPoints);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace

DialogUnits::DialogUnits(QWidget& dialog, TemplateId id) : m_dialog(dialog), m_template(FindDialogTemplate(id)) {
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

void DialogUnits::SetSize() const {
    if (m_template != nullptr)
        m_dialog.setFixedSize(X(m_template->width), Y(m_template->height));
}

void DialogUnits::SetGrownSize() const {
    if (m_template != nullptr)
        m_dialog.setFixedSize(X(m_template->width), Y(m_template->grownHeight));
}

void DialogUnits::Place(QWidget& item, ControlId id) const {
    const DialogItem* found = m_template != nullptr ? FindDialogItem(*m_template, id) : nullptr;
    if (found == nullptr)
        return;
    const DialogRect& rect = found->rect;
    const int left = X(rect.x);
    const int top = Y(rect.y);
    item.setGeometry(left, top, X(rect.x + rect.width) - left, Y(rect.y + rect.height) - top);
}

} // namespace zarn
