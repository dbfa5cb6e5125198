// The main frame's client area as the Windows frame holds it: the view's window, made by a creator the desktop
// module gives the shell, so that the frame does not depend on which window that is.
#pragma once

#include <functional>
#include <memory>
#include <windows.h>

namespace zarn {

class CZarnDoc;
class FrameView;

// Every call comes from the UI thread.
class Win32FrameClient {
public:
    virtual ~Win32FrameClient() = default;

    // The view as the frame, the application and the document's host drive it.
    virtual FrameView& View() = 0;
    // The client window, which takes the keyboard focus whenever the frame gets it; null when it could not be made.
    virtual HWND Handle() const = 0;
    // Places the client window at (`x`, `y`) with the given size, in the frame's client coordinates.
    virtual void Move(int x, int y, int width, int height) = 0;
};

// Makes the view window of `document` as a child of `parent`.
using Win32ViewCreator = std::function<std::unique_ptr<Win32FrameClient>(CZarnDoc& document, HWND parent)>;

} // namespace zarn
