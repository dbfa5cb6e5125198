// The colours every dialog of the launcher's own shows: its background and its text, white and black until the
// application says otherwise. The system's message boxes keep the system's colours.
#pragma once

#include <windows.h>

namespace zarn {

// Every dialog painted from now on shows `text` on `background`. UI thread.
void SetDialogColors(COLORREF background, COLORREF text);
COLORREF DialogTextColor();
COLORREF DialogBackgroundColor();
// A brush of the background colour, kept until the colours change. UI thread.
HBRUSH DialogBackgroundBrush();

} // namespace zarn
