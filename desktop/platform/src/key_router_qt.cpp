// Key routing on Linux. The windowing library has no place for a message
// hook, so one router sees every key press of both windows first: the
// drawing window's key callbacks belong to it from start-up, and an
// application event filter sees the dialog's keys before its widgets do.

#include <GL/freeglut.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QWidget>

#include "orrelin/desktop/platform.h"
#include "orrelin/ui/key_routing.h"
#include "platform_qt.h"

namespace {

using platform::detail::backend;

// Pointer input reaches the drawing window's handlers only while it is
// enabled: a modal window that disables it drops what it is given meanwhile
// (the windowing library's events are handled during modal windows).
void onDrawingMouse(int button, int state, int x, int y) {
    const platform::detail::LinuxBackend& linux = backend();
    if (linux.drawingMouse != nullptr && linux.drawingWindow.enabled) linux.drawingMouse(button, state, x, y);
}

void onDrawingMotion(int x, int y) {
    const platform::detail::LinuxBackend& linux = backend();
    if (linux.drawingMotion != nullptr && linux.drawingWindow.enabled) linux.drawingMotion(x, y);
}

// The first dialog that is registered and still there, or null.
PlatformWindow* routingDialog() {
    for (const platform::detail::DialogEntry& entry : backend().dialogs) {
        if (entry.registered && entry.window->nativeId != 0) return entry.window;
    }
    return nullptr;
}

RoutingState currentState(PlatformWindow* dialog) {
    RoutingState state;
    state.dialogRegistered = dialog != nullptr;
    state.dialogEnabled = dialog != nullptr && dialog->enabled;
    state.modalOpen = QApplication::activeModalWidget() != nullptr;
    state.popupOpen = QApplication::activePopupWidget() != nullptr;
    state.drawingHandlers = backend().drawingKeyboard != nullptr && backend().drawingWindow.enabled;
    return state;
}

KeyPress glutKeyPress(KeyName key) {
    const int modifiers = glutGetModifiers();
    KeyPress press;
    press.key = key;
    press.shift = (modifiers & GLUT_ACTIVE_SHIFT) != 0;
    press.ctrl = (modifiers & GLUT_ACTIVE_CTRL) != 0;
    press.alt = (modifiers & GLUT_ACTIVE_ALT) != 0;
    return press;
}

void sendCommand(PlatformWindow* dialog, int command) {
    bool handled = false;
    platform::detail::sendDialogMessage(dialog, DialogMessage::Command, command, handled);
}

// Character keys of the drawing window (Ctrl+Tab arrives as 9 with Ctrl held).
void onDrawingKeyboard(unsigned char key, int x, int y) {
    const KeyName name = key == 9 ? KeyName::Tab : key == 27 ? KeyName::Escape : KeyName::Other;
    PlatformWindow* dialog = routingDialog();
    int command = 0;
    switch (routeKey(KeyOrigin::DrawingWindow, glutKeyPress(name), currentState(dialog), command)) {
        case KeyRoute::Command: sendCommand(dialog, command); break;
        case KeyRoute::DrawingHandlers: backend().drawingKeyboard(key, x, y); break;
        case KeyRoute::DialogNavigation:
        case KeyRoute::Dropped: break;
    }
}

// Special keys of the drawing window; Shift, Ctrl and Alt alone arrive here too.
void onDrawingSpecialKey(int key, int x, int y) {
    const bool modifier = key >= GLUT_KEY_SHIFT_L && key <= GLUT_KEY_ALT_R;
    PlatformWindow* dialog = routingDialog();
    int command = 0;
    const KeyRoute route =
        routeKey(KeyOrigin::DrawingWindow, glutKeyPress(modifier ? KeyName::Modifier : KeyName::Other),
                 currentState(dialog), command);
    if (route == KeyRoute::DrawingHandlers && backend().drawingSpecial != nullptr) backend().drawingSpecial(key, x, y);
}

KeyPress qtKeyPress(const QKeyEvent* event) {
    KeyPress press;
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    press.shift = modifiers.testFlag(Qt::ShiftModifier);
    press.ctrl = modifiers.testFlag(Qt::ControlModifier);
    press.alt = modifiers.testFlag(Qt::AltModifier);
    switch (event->key()) {
        case Qt::Key_Tab: press.key = KeyName::Tab; break;
        case Qt::Key_Backtab:
            press.key = KeyName::Tab;
            press.shift = true;
            break;
        case Qt::Key_Escape: press.key = KeyName::Escape; break;
        case Qt::Key_Return:
        case Qt::Key_Enter: press.key = KeyName::Return; break;
        case Qt::Key_Space: press.key = KeyName::Space; break;
        case Qt::Key_Up: press.key = KeyName::Up; break;
        case Qt::Key_Down: press.key = KeyName::Down; break;
        case Qt::Key_Left: press.key = KeyName::Left; break;
        case Qt::Key_Right: press.key = KeyName::Right; break;
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt: press.key = KeyName::Modifier; break;
        default: press.key = KeyName::Other; break;
    }
    return press;
}

// The dialog's own keyboard handling, as the platform's dialogs have it.
// True when the key is taken.
bool navigate(PlatformWindow* dialog, const KeyPress& press) {
    const DialogNavigation nav = navigateDialog(infoDialogControls(), platform::detail::focusedControl(dialog), press);
    switch (nav.kind) {
        case DialogNavigation::Kind::Control: return false;
        case DialogNavigation::Kind::Focus: platform::detail::focusControl(dialog, nav.control); break;
        case DialogNavigation::Kind::Press: platform::detail::pressControl(dialog, nav.control); break;
        case DialogNavigation::Kind::Nothing: break;
    }
    return true;
}

// Sees the keys of every Qt window first; takes the accelerators of keys
// pressed in a registered dialog, and runs the dialog's own keyboard handling.
class DialogKeyFilter : public QObject {
   public:
    using QObject::QObject;

   protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
        if (!watched->isWidgetType()) return false;
        const QWidget* window = static_cast<QWidget*>(watched)->window();
        PlatformWindow* pressedIn = nullptr;
        for (const platform::detail::DialogEntry& entry : backend().dialogs) {
            if (static_cast<const QWidget*>(entry.window->dialog) == window) pressedIn = entry.window;
        }
        if (pressedIn == nullptr) return false;
        PlatformWindow* dialog = routingDialog();
        int command = 0;
        const KeyPress press = qtKeyPress(static_cast<QKeyEvent*>(event));
        const KeyRoute route = routeKey(KeyOrigin::Dialog, press, currentState(dialog), command);
        if (route == KeyRoute::DialogNavigation) {
            return event->type() == QEvent::KeyPress && navigate(pressedIn, press);
        }
        if (route != KeyRoute::Command) return false;
        event->accept();
        // The key is taken: no shortcut may have it, and its press runs the command once.
        if (event->type() == QEvent::KeyPress) sendCommand(dialog, command);
        return true;
    }
};

}  // namespace

namespace platform {

void registerDrawingKeyHandlers(KeyboardHandler keyboard, SpecialKeyHandler special) {
    backend().drawingKeyboard = keyboard;
    backend().drawingSpecial = special;
}

void registerDrawingPointerHandlers(MouseHandler mouse, MotionHandler motion) {
    backend().drawingMouse = mouse;
    backend().drawingMotion = motion;
    glutMouseFunc(onDrawingMouse);
    glutMotionFunc(onDrawingMotion);
}

namespace detail {

void startKeyRouting() {
    glutKeyboardFunc(onDrawingKeyboard);
    glutSpecialFunc(onDrawingSpecialKey);
    qApp->installEventFilter(new DialogKeyFilter(qApp));
}

}  // namespace detail

}  // namespace platform
