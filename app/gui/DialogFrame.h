// What the launcher's own dialogs share: a fixed modal frame with a caption and a close box, and push buttons
// whose text wraps onto a second line when it does not fit.
#pragma once

class QDialog;
class QPushButton;

namespace zarn {

// A modal frame with caption, system menu and close box, and no other window buttons. UI thread.
void SetModalFrame(QDialog& dialog);

// Breaks `button`'s text at the blank that gives the shortest two lines when it is wider than the button.
void WrapButtonText(QPushButton& button);

} // namespace zarn
