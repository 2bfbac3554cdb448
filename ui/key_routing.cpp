#include "key_routing.h"

#include "info_dialog.h"

int acceleratorCommand(const KeyPress& press) {
    if (press.key == KeyName::Tab && press.ctrl && !press.shift && !press.alt) return ID_TOGGLE_ACTIVE_WINDOW;
    if (press.key == KeyName::Escape && !press.ctrl && !press.shift && !press.alt) return ID_EXIT_PROGRAM;
    return 0;
}

KeyRoute routeKey(KeyOrigin origin, const KeyPress& press, const RoutingState& state, int& command) {
    command = 0;
    const bool routing = state.dialogRegistered && state.dialogEnabled && !state.modalOpen && !state.popupOpen;
    if (routing) {
        command = acceleratorCommand(press);
        if (command != 0) return KeyRoute::Command;
    }
    if (origin == KeyOrigin::Dialog) return KeyRoute::DialogNavigation;
    if (press.key == KeyName::Modifier || !state.drawingHandlers) return KeyRoute::Dropped;
    return KeyRoute::DrawingHandlers;
}
