#pragma once
// The X11 side of the Linux platform layer: the windowing library's own X
// connection and the drawing window on it. Kept apart from the toolkit code
// because Xlib's macros clash with the toolkit's names; no Xlib type appears
// here.

#include <string>

namespace x11 {

// Takes the display connection and the window of the current OpenGL context
// (the drawing window right after its creation).
void attachCurrentWindow();

// The drawing window's X id (0 before attachCurrentWindow).
unsigned long drawingWindowId();

// File descriptor of the windowing library's X connection.
int connectionNumber();

// Events waiting on that connection (reads what has arrived; flushes output).
int pendingEvents();

// Sends buffered requests of that connection to the server.
void flush();

// Throws away the key, button and pointer-motion events and the window
// manager's close requests queued for the drawing window (input it takes
// while a modal window disables it is meant for nothing).
void discardQueuedInput();

// Raises and activates a top-level window: through the window manager when
// one runs, otherwise by raising it and setting the input focus.
void activateWindow(unsigned long window);

// Sets a window's UTF-8 name (_NET_WM_NAME), which window managers show in
// place of the Latin-1 WM_NAME.
void setUtf8Title(unsigned long window, const std::string& title);

// Makes `window` transient for `owner` (WM_TRANSIENT_FOR): window managers
// keep it above its owner and minimise and restore it with it.
void setTransientFor(unsigned long window, unsigned long owner);

// Asks window managers for a frame with a title bar and a border only: no
// system menu, no minimise, maximise or close button, no resizing
// (_MOTIF_WM_HINTS).
void setTitleOnlyFrame(unsigned long window);

// Whether a window manager that follows the extended hints is running.
bool windowManagerPresent();

// The window that has the keyboard focus: the window manager's active window,
// or the X input focus without one. 0 when none.
unsigned long activeWindowId();

struct FrameRect {
    int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive, root coordinates
    int borderLeft = 0, borderTop = 0;             // the frame's parts left of and above the window
};

// The outer rectangle of a top-level window, its window manager's frame
// included. Waits (up to about two seconds) until the window is on the screen
// and, with a window manager, framed.
FrameRect frameRect(unsigned long window);

// Moves a shown top-level window so that its frame's top-left corner is at
// (x, y) in root coordinates, wherever that is on or off the screen.
void placeFrameAt(unsigned long window, int x, int y);

}  // namespace x11
