#pragma once
// Who gets a key press: the accelerator table (Ctrl+Tab, Esc, both commands of
// the Info dialog, wherever the key was pressed), the dialog's own keyboard
// navigation, or the drawing window's key handlers.

#include <span>

#include "orrelin/ui/info_dialog.h"

enum class KeyName { Tab, Escape, Modifier, Return, Space, Up, Down, Left, Right, Other };

struct KeyPress {
    KeyName key = KeyName::Other;
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
};

// The command of the accelerator entry that matches `press` exactly (the state
// of Shift, Ctrl and Alt must match): Ctrl+Tab -> 40001, Esc -> 40002; 0 for
// everything else (Ctrl+Shift+Tab and Alt+Esc included).
int acceleratorCommand(const KeyPress& press);

enum class KeyOrigin { DrawingWindow, Dialog };

struct RoutingState {
    bool dialogRegistered = false;  // the dialog is registered for key routing
    bool dialogEnabled = false;
    bool modalOpen = false;        // a message box or file chooser is open
    bool popupOpen = false;        // a menu or popup is open
    bool drawingHandlers = false;  // a scene has registered the drawing window's key handlers
};

enum class KeyRoute {
    Command,           // the accelerator's command goes to the dialog; the key is used up
    DialogNavigation,  // the dialog (or the open modal window) handles the key itself
    DrawingHandlers,   // the drawing window's key handlers get it
    Dropped,           // nobody acts on it
};

// The routing of one key press. Accelerators apply only while the dialog is
// registered and enabled and no modal window or popup is open; keys pressed in
// the dialog otherwise stay with it (or with the modal window); keys pressed
// in the drawing window go to its handlers once a scene has registered them.
// Modifier keys pressed alone never reach the drawing window's handlers.
KeyRoute routeKey(KeyOrigin origin, const KeyPress& press, const RoutingState& state, int& command);

// What the dialog's own keyboard handling does with a key that the routing
// left to it, as the platform's dialog keyboard routine does it: Tab and
// Shift+Tab (Ctrl does not matter) go to the next and previous tab stop; the
// arrows move through the focused control's group unless it is an edit, which
// moves its caret; Enter presses a focused push button and does nothing
// elsewhere (the dialog has no default button); everything else is the
// focused control's own (Space presses a button, characters go to an edit).
struct DialogNavigation {
    enum class Kind {
        Control,  // the focused control handles the key itself
        Focus,    // the focus moves to `control` (an edit's text is selected)
        Press,    // the push button `control` is pressed
        Nothing,  // the key is taken and does nothing
    };
    Kind kind = Kind::Control;
    int control = -1;  // index in the template
};

// `focused` is the index in `controls` of the control with the focus, or -1.
DialogNavigation navigateDialog(std::span<const DialogControl> controls, int focused, const KeyPress& press);
