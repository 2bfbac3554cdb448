// Wheel notches for the benchmarks, queued on the drawing window's own X
// connection as a fast wheel sends them. Apart from the benchmarks' other
// code because Xlib's macros clash with the program's names.

#include "wheel_events.h"

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <initializer_list>

void queueWheelNotches(int count, int x, int y) {
    Display* display = glXGetCurrentDisplay();
    const Window window = glXGetCurrentDrawable();
    for (int k = 0; k < count; ++k) {
        const unsigned button = k % 2 == 0 ? 4 : 5;  // toward the plane, then away
        for (const int type : {ButtonPress, ButtonRelease}) {
            XEvent event{};
            event.xbutton.type = type;
            event.xbutton.display = display;
            event.xbutton.window = window;
            event.xbutton.root = DefaultRootWindow(display);
            event.xbutton.x = x;
            event.xbutton.y = y;
            event.xbutton.button = button;
            event.xbutton.same_screen = True;
            XSendEvent(display, window, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
        }
    }
    XSync(display, False);
}

bool drawingEventsPending() {
    return XPending(glXGetCurrentDisplay()) > 0;
}
