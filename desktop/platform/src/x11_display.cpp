#include "x11_display.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <thread>

namespace {

Display* glutDisplay = nullptr;
Window drawingWindow = 0;

// Keys, buttons, pointer motion and the window manager's close request.
Bool isInputEvent(Display*, XEvent* event, XPointer closeRequest) {
    switch (event->type) {
        case KeyPress:
        case KeyRelease:
        case ButtonPress:
        case ButtonRelease:
        case MotionNotify: return True;
        case ClientMessage:
            return event->xclient.format == 32 &&
                           static_cast<Atom>(event->xclient.data.l[0]) == *reinterpret_cast<Atom*>(closeRequest)
                       ? True
                       : False;
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

// The four CARDINALs of _NET_FRAME_EXTENTS (left, right, top, bottom); false
// while the window manager has not set them.
bool frameExtents(Window window, long extents[4]) {
    const Atom property = XInternAtom(glutDisplay, "_NET_FRAME_EXTENTS", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(glutDisplay, window, property, 0, 4, False, XA_CARDINAL, &type, &format, &count, &remaining,
                           &data) == Success &&
        data != nullptr) {
        if (type == XA_CARDINAL && format == 32 && count == 4) {
            const long* values = reinterpret_cast<const long*>(data);
            for (int k = 0; k < 4; ++k) extents[k] = values[k];
            found = true;
        }
        XFree(data);
    }
    return found;
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
    Atom closeRequest = XInternAtom(glutDisplay, "WM_DELETE_WINDOW", False);
    XEvent event;
    while (XCheckIfEvent(glutDisplay, &event, isInputEvent, reinterpret_cast<XPointer>(&closeRequest))) {
    }
}

void setUtf8Title(unsigned long window, const std::string& title) {
    if (glutDisplay == nullptr || window == 0) return;
    XChangeProperty(glutDisplay, window, XInternAtom(glutDisplay, "_NET_WM_NAME", False),
                    XInternAtom(glutDisplay, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
    XFlush(glutDisplay);
}

void setTransientFor(unsigned long window, unsigned long owner) {
    if (glutDisplay == nullptr || window == 0 || owner == 0) return;
    XSetTransientForHint(glutDisplay, window, owner);
    XFlush(glutDisplay);
}

void setTitleOnlyFrame(unsigned long window) {
    if (glutDisplay == nullptr || window == 0) return;
    // flags, functions, decorations, input mode, status
    constexpr long kFunctionsAndDecorations = 1 | 2;
    constexpr long kMove = 4;
    constexpr long kBorderAndTitle = 2 | 8;
    const long hints[5] = {kFunctionsAndDecorations, kMove, kBorderAndTitle, 0, 0};
    const Atom property = XInternAtom(glutDisplay, "_MOTIF_WM_HINTS", False);
    XChangeProperty(glutDisplay, window, property, property, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints), 5);
    XFlush(glutDisplay);
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

unsigned long activeWindowId() {
    if (glutDisplay == nullptr) return 0;
    if (windowManagerPresent()) {
        const Atom active = XInternAtom(glutDisplay, "_NET_ACTIVE_WINDOW", False);
        return windowProperty(DefaultRootWindow(glutDisplay), active);
    }
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(glutDisplay, &focus, &revert);
    return focus == PointerRoot ? 0 : focus;
}

FrameRect frameRect(unsigned long window) {
    FrameRect rect;
    if (glutDisplay == nullptr || window == 0) return rect;
    const bool managed = windowManagerPresent();
    long extents[4] = {0, 0, 0, 0};
    XWindowAttributes attributes{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
        const bool shown = XGetWindowAttributes(glutDisplay, window, &attributes) && attributes.map_state == IsViewable;
        if (shown && (!managed || frameExtents(window, extents))) break;
        if (std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(glutDisplay, window, DefaultRootWindow(glutDisplay), 0, 0, &x, &y, &child);
    rect.borderLeft = static_cast<int>(extents[0]);
    rect.borderTop = static_cast<int>(extents[2]);
    rect.left = x - static_cast<int>(extents[0]);
    rect.top = y - static_cast<int>(extents[2]);
    rect.right = x + attributes.width + static_cast<int>(extents[1]);
    rect.bottom = y + attributes.height + static_cast<int>(extents[3]);
    return rect;
}

void placeFrameAt(unsigned long window, int x, int y) {
    if (glutDisplay == nullptr || window == 0) return;
    const FrameRect frame = frameRect(window);
    if (frame.left == x && frame.top == y) return;
    // The window keeps its place when framed (static gravity): move the
    // window itself to where it sits inside a frame at (x, y).
    XMoveWindow(glutDisplay, window, x + frame.borderLeft, y + frame.borderTop);
    XFlush(glutDisplay);
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
