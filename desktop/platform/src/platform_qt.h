#pragma once
// What stands behind a PlatformWindow on Linux, and what the parts of the
// Linux platform layer share: an X11 window of the windowing library (the
// drawing window) or a Qt dialog.

#include <vector>

#include "orrelin/desktop/platform.h"
#include "orrelin/ui/info_dialog.h"

class QWidget;
class QWindow;
class QDialog;

struct PlatformWindow {
    unsigned long nativeId = 0;              // X window id (0 for a dialog not yet created natively)
    QDialog* dialog = nullptr;               // the dialog, or null for the drawing window
    QWidget* inputArea = nullptr;            // the dialog's controls: disabled while the dialog is
    QWidget* focusBeforeDisabled = nullptr;  // the control that gets the focus back
    bool enabled = true;                     // input is taken only while enabled
    PlatformWindow* owner = nullptr;         // the window that owns a dialog
    DialogProcedure procedure = nullptr;     // the dialog's message procedure and its object
    void* object = nullptr;
};

namespace platform::detail {

// Every dialog created, and whether it is registered for key routing.
struct DialogEntry {
    PlatformWindow* window;
    bool registered;
};

struct QtServices;  // the toolkit's application and the watch on the windowing library's connection

// The Linux back end's state, all of it: the toolkit, the drawing window's
// handle and handlers, the dialogs, and the modal windows open.
struct LinuxBackend {
    QtServices* services = nullptr;  // from startServices to stopServices
    PlatformWindow drawingWindow;
    std::vector<DialogEntry> dialogs;
    int modalDepth = 0;         // modal windows open, one inside the other
    int destroyAfterModal = 0;  // the drawing window to destroy once they have closed (0: none)
    // The drawing window's handlers, which the routing calls.
    KeyboardHandler drawingKeyboard = nullptr;
    SpecialKeyHandler drawingSpecial = nullptr;
    MouseHandler drawingMouse = nullptr;
    MotionHandler drawingMotion = nullptr;
};

LinuxBackend& backend();

// Runs a modal dialog to its end. Its owner (null: none) takes no input
// meanwhile; the drawing window's events are handled at once, its input
// dropped while it is disabled.
int runModal(QDialog& modal, PlatformWindow* owner);

// The drawing window as a Qt window, for use as a transient parent.
QWindow* drawingWindowProxy();

// Hands a message to a dialog's procedure.
std::intptr_t sendDialogMessage(PlatformWindow* dialog, DialogMessage message, int commandId, bool& handled);

// Starts the key routing: the drawing window's key callbacks and the filter
// on the dialogs' keys.
void startKeyRouting();

// The dialog's controls by their index in the template: the one that has the
// focus (-1 for none), moving the focus (an edit's text selected), and
// pressing a push button.
int focusedControl(PlatformWindow* dialog);
void focusControl(PlatformWindow* dialog, int index);
void pressControl(PlatformWindow* dialog, int index);

}  // namespace platform::detail
