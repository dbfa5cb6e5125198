// The design control's window, painted with GDI: a row of tools (line, rectangle, move, undo) with the document's
// name over the drawing canvas, which feeds the mouse and Escape to the drawing model. Its window classes redraw
// whole at every size (CS_HREDRAW | CS_VREDRAW), so a window grown by maximising keeps no stale band. The design is
// in logical pixels (96 per inch), scaled to the window's DPI as the Qt control is. UI thread.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include "samples/design/DesignDrawing.h"

#include <windows.h>

namespace quillorna {

class DesignWindow {
public:
    // The child windows' identifiers, for whoever drives the control as its user does.
    enum ChildId : int { kLineTool = 101, kRectangleTool, kMoveTool, kUndo, kDocumentName, kCanvas };

    DesignWindow() = default;
    ~DesignWindow();
    DesignWindow(const DesignWindow&) = delete;
    DesignWindow& operator=(const DesignWindow&) = delete;

    // Makes the window as a hidden child of `parent` at `position`, with the start file's document named in it.
    // Returns 1, or 0 when a window could not be made (nothing is left behind then).
    int Create(HWND parent, const RECT& position);
    // Destroys the window; nothing when there is none.
    void Destroy();

    HWND Handle() const { return m_window; }
    // Moves and sizes the window (parent coordinates). Returns 1, or 0 when the system refused.
    int Place(const RECT& position);
    void Show(bool shown);
    void Focus();

private:
    static LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CanvasProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Registers both window classes with the first window and unregisters them with the last, so that no class
    // outlives the library that holds its window procedure.
    static int AddClassUser();
    static void ReleaseClassUser();

    int MakeChildren();
    // Takes the window's DPI and the system's message font at it for the tool row.
    void TakeDpi();
    // `logical` pixels at the window's DPI.
    int Scaled(int logical) const { return MulDiv(logical, m_dpi, 96); }
    void Layout(int width, int height);
    // The mouse's place in a message, in the design's logical pixels.
    DesignPoint PointOf(LPARAM lParam) const;
    // The window moved to a monitor of another DPI (or the system's changed): fonts and sizes follow.
    void OnDpiChanged();
    void OnCommand(int id);
    LRESULT OnCanvasMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The undo button follows the model, and the canvas is drawn again.
    void Changed();
    // Paints the canvas on `dc`, whose size in device pixels is given.
    void Paint(HDC dc, int deviceWidth, int deviceHeight) const;
    void PaintBuffered();

    HWND m_window = nullptr;
    HWND m_canvas = nullptr;
    HFONT m_font = nullptr;
    int m_dpi = 96;
    bool m_classUser = false;
    DesignDrawing m_drawing;
};

} // namespace quillorna
