#include "x11_display.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

Display* glutDisplay = nullptr;
Window drawingWindow = 0;

Bool isInputEvent(Display*, XEvent* event, XPointer) {
    switch (event->type) {
        case KeyPress:
        case KeyRelease:
        case ButtonPress:
        case ButtonRelease:
        case MotionNotify: return True;
        default: return False;
    }
}

// The window a property of type WINDOW on `owner` names, or 0.
Window windowProperty(Window owner, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    Window result = 0;
    if (XGetWindowProperty(glutDisplay, owner, property, 0, 1, False, XA_WINDOW, &type, &format, &count, &remaining,
                           &data) == Success &&
        data != nullptr) {
        if (type == XA_WINDOW && format == 32 && count == 1) result = *reinterpret_cast<Window*>(data);
        XFree(data);
    }
    return result;
}

}  // namespace

namespace x11 {

void attachCurrentWindow() {
    glutDisplay = glXGetCurrentDisplay();
    drawingWindow = glXGetCurrentDrawable();
}

unsigned long drawingWindowId() {
    return drawingWindow;
}

int connectionNumber() {
    return glutDisplay != nullptr ? ConnectionNumber(glutDisplay) : -1;
}

int pendingEvents() {
    return glutDisplay != nullptr ? XPending(glutDisplay) : 0;
}

void flush() {
    if (glutDisplay != nullptr) XFlush(glutDisplay);
}

void discardQueuedInput() {
    if (glutDisplay == nullptr) return;
    XSync(glutDisplay, False);  // everything the server has sent so far is in the queue now
    XEvent event;
    while (XCheckIfEvent(glutDisplay, &event, isInputEvent, nullptr)) {
    }
}

bool windowManagerPresent() {
    if (glutDisplay == nullptr) return false;
    const Atom check = XInternAtom(glutDisplay, "_NET_SUPPORTING_WM_CHECK", False);
    const Window root = DefaultRootWindow(glutDisplay);
    const Window child = windowProperty(root, check);
    // A window manager that died leaves a stale property behind; the child
    // window then no longer names itself.
    return child != 0 && windowProperty(child, check) == child;
}

void activateWindow(unsigned long window) {
    if (glutDisplay == nullptr || window == 0) return;
    const Window root = DefaultRootWindow(glutDisplay);
    if (windowManagerPresent()) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(glutDisplay, "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;  // a request on the user's behalf: not refused as focus stealing
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(glutDisplay, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    } else {
        XRaiseWindow(glutDisplay, window);
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(glutDisplay, window, &attributes) && attributes.map_state == IsViewable) {
            XSetInputFocus(glutDisplay, window, RevertToParent, CurrentTime);
        }
    }
    XFlush(glutDisplay);
}

}  // namespace x11
