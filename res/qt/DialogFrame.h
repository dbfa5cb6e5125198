// What the launcher's own dialogs share: a modal frame with a caption and a close box, room for the caption, and
// push buttons whose text wraps onto a second line when it does not fit.
#pragma once

class QDialog;
class QPushButton;
class QWidget;

namespace zarn {

// A modal frame with caption and close box, and no other window buttons. UI thread.
void SetModalFrame(QDialog& dialog);

// The width `window` needs for its whole caption to show in a title bar: the caption in the bold system font,
// with room for the window's icon, its close box and the frame. UI thread.
int CaptionWidth(const QWidget& window);

// Breaks `button`'s text at the blank that gives the shortest two lines when it is wider than the button.
void WrapButtonText(QPushButton& button);

} // namespace zarn
