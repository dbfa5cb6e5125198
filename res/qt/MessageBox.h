// Every message box of the launcher goes through here, so that tests can answer and read them.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace zarn {

class MessageBox {
public:
    // What answers a box instead of a window: gets the parent and the text, returns the button pressed.
    using Hook = std::function<int(QWidget* parent, const QString& text)>;

    // Shows `text` in a modal box with an OK button, captioned with the application's title, and
    // returns kIdOk once the user has closed it. UI thread.
    static int ShowOk(QWidget* parent, const QString& text);

    // From now on boxes are answered by `hook` and no window appears; an empty hook shows windows
    // again. For tests. UI thread.
    static void SetHook(Hook hook);

private:
    static Hook& CurrentHook();
};

} // namespace zarn
