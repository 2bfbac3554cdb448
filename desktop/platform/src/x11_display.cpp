#include "x11_display.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <thread>

namespace {

// The X side of the Linux back end: the windowing library's connection and
// its drawing window.
struct X11State {
    Display* display = nullptr;
    Window drawingWindow = 0;
};
X11State x11State;

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
    if (XGetWindowProperty(x11State.display, owner, property, 0, 1, False, XA_WINDOW, &type, &format, &count,
                           &remaining, &data) == Success &&
        data != nullptr) {
        if (type == XA_WINDOW && format == 32 && count == 1) result = *reinterpret_cast<Window*>(data);
        XFree(data);
    }
    return result;
}

// The four CARDINALs of _NET_FRAME_EXTENTS (left, right, top, bottom); false
// while the window manager has not set them.
bool frameExtents(Window window, long extents[4]) {
    const Atom property = XInternAtom(x11State.display, "_NET_FRAME_EXTENTS", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(x11State.display, window, property, 0, 4, False, XA_CARDINAL, &type, &format, &count,
                           &remaining, &data) == Success &&
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
    x11State.display = glXGetCurrentDisplay();
    x11State.drawingWindow = glXGetCurrentDrawable();
}

unsigned long drawingWindowId() {
    return x11State.drawingWindow;
}

int connectionNumber() {
    return x11State.display != nullptr ? ConnectionNumber(x11State.display) : -1;
}

int pendingEvents() {
    return x11State.display != nullptr ? XPending(x11State.display) : 0;
}

void flush() {
    if (x11State.display != nullptr) XFlush(x11State.display);
}

void discardQueuedInput() {
    if (x11State.display == nullptr) return;
    XSync(x11State.display, False);  // everything the server has sent so far is in the queue now
    Atom closeRequest = XInternAtom(x11State.display, "WM_DELETE_WINDOW", False);
    XEvent event;
    while (XCheckIfEvent(x11State.display, &event, isInputEvent, reinterpret_cast<XPointer>(&closeRequest))) {
    }
}

void setUtf8Title(unsigned long window, const std::string& title) {
    if (x11State.display == nullptr || window == 0) return;
    XChangeProperty(x11State.display, window, XInternAtom(x11State.display, "_NET_WM_NAME", False),
                    XInternAtom(x11State.display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
    XFlush(x11State.display);
}

void setTransientFor(unsigned long window, unsigned long owner) {
    if (x11State.display == nullptr || window == 0 || owner == 0) return;
    XSetTransientForHint(x11State.display, window, owner);
    XFlush(x11State.display);
}

void setTitleOnlyFrame(unsigned long window) {
    if (x11State.display == nullptr || window == 0) return;
    // flags, functions, decorations, input mode, status
    constexpr long kFunctionsAndDecorations = 1 | 2;
    constexpr long kMove = 4;
    constexpr long kBorderAndTitle = 2 | 8;
    const long hints[5] = {kFunctionsAndDecorations, kMove, kBorderAndTitle, 0, 0};
    const Atom property = XInternAtom(x11State.display, "_MOTIF_WM_HINTS", False);
    XChangeProperty(x11State.display, window, property, property, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints), 5);
    XFlush(x11State.display);
}

bool windowManagerPresent() {
    if (x11State.display == nullptr) return false;
    const Atom check = XInternAtom(x11State.display, "_NET_SUPPORTING_WM_CHECK", False);
    const Window root = DefaultRootWindow(x11State.display);
    const Window child = windowProperty(root, check);
    // A window manager that died leaves a stale property behind; the child
    // window then no longer names itself.
    return child != 0 && windowProperty(child, check) == child;
}

unsigned long activeWindowId() {
    if (x11State.display == nullptr) return 0;
    if (windowManagerPresent()) {
        const Atom active = XInternAtom(x11State.display, "_NET_ACTIVE_WINDOW", False);
        return windowProperty(DefaultRootWindow(x11State.display), active);
    }
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(x11State.display, &focus, &revert);
    return focus == PointerRoot ? 0 : focus;
}

FrameRect frameRect(unsigned long window) {
    FrameRect rect;
    if (x11State.display == nullptr || window == 0) return rect;
    const bool managed = windowManagerPresent();
    long extents[4] = {0, 0, 0, 0};
    XWindowAttributes attributes{};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
        const bool shown =
            XGetWindowAttributes(x11State.display, window, &attributes) && attributes.map_state == IsViewable;
        if (shown && (!managed || frameExtents(window, extents))) break;
        if (std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(x11State.display, window, DefaultRootWindow(x11State.display), 0, 0, &x, &y, &child);
    rect.borderLeft = static_cast<int>(extents[0]);
    rect.borderTop = static_cast<int>(extents[2]);
    rect.left = x - static_cast<int>(extents[0]);
    rect.top = y - static_cast<int>(extents[2]);
    rect.right = x + attributes.width + static_cast<int>(extents[1]);
    rect.bottom = y + attributes.height + static_cast<int>(extents[3]);
    return rect;
}

void placeFrameAt(unsigned long window, int x, int y) {
    if (x11State.display == nullptr || window == 0) return;
    const FrameRect frame = frameRect(window);
    if (frame.left == x && frame.top == y) return;
    // The window keeps its place when framed (static gravity): move the
    // window itself to where it sits inside a frame at (x, y).
    XMoveWindow(x11State.display, window, x + frame.borderLeft, y + frame.borderTop);
    XFlush(x11State.display);
}

void activateWindow(unsigned long window) {
    if (x11State.display == nullptr || window == 0) return;
    const Window root = DefaultRootWindow(x11State.display);
    if (windowManagerPresent()) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(x11State.display, "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;  // a request on the user's behalf: not refused as focus stealing
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(x11State.display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    } else {
        XRaiseWindow(x11State.display, window);
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(x11State.display, window, &attributes) && attributes.map_state == IsViewable) {
            XSetInputFocus(x11State.display, window, RevertToParent, CurrentTime);
        }
    }
    XFlush(x11State.display);
}

}  // namespace x11
