#include "orrelin/ui/key_routing.h"

#include "orrelin/ui/info_dialog.h"

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

namespace {

// The controls of a group follow the one that starts it (the static texts
// each start one); every control is visible and enabled.
bool startsGroup(const DialogControl& control) {
    return control.kind == ControlKind::Static;
}

int wrap(int index, int count) {
    return (index % count + count) % count;
}

// The next or previous control in the focused control's group, by the
// platform's rules: forward, the next control unless it starts a group, in
// which case the start of this group, searched backwards and round from the
// template's end (the first group has no start of its own, so from Open File
// this finds the last text); backward, the previous control, or from a
// group's start the last control of its group.
int groupNeighbour(std::span<const DialogControl> controls, int focused, bool previous) {
    const int count = static_cast<int>(controls.size());
    if (!previous) {
        const int next = wrap(focused + 1, count);
        if (!startsGroup(controls[static_cast<std::size_t>(next)])) return next;
        for (int step = 0; step < count; ++step) {
            const int k = wrap(focused - step, count);
            if (startsGroup(controls[static_cast<std::size_t>(k)])) return k;
        }
        return next;
    }
    if (!startsGroup(controls[static_cast<std::size_t>(focused)])) return wrap(focused - 1, count);
    int end = focused + 1;
    while (end < count && !startsGroup(controls[static_cast<std::size_t>(end)])) ++end;
    return end - 1;
}

int tabNeighbour(std::span<const DialogControl> controls, int focused, bool previous) {
    const int count = static_cast<int>(controls.size());
    const int start = focused < 0 ? (previous ? 0 : count - 1) : focused;
    for (int step = 1; step <= count; ++step) {
        const int k = wrap(previous ? start - step : start + step, count);
        if (isTabStop(controls[static_cast<std::size_t>(k)])) return k;
    }
    return focused;
}

}  // namespace

DialogNavigation navigateDialog(std::span<const DialogControl> controls, int focused, const KeyPress& press) {
    using Kind = DialogNavigation::Kind;
    if (press.alt || controls.empty()) return {};
    const bool known = focused >= 0 && focused < static_cast<int>(controls.size());
    const ControlKind kind = known ? controls[static_cast<std::size_t>(focused)].kind : ControlKind::Static;
    switch (press.key) {
        case KeyName::Tab: return {Kind::Focus, tabNeighbour(controls, known ? focused : -1, press.shift)};
        case KeyName::Up:
        case KeyName::Down:
        case KeyName::Left:
        case KeyName::Right:
            if (!known || kind == ControlKind::Edit) return {};
            return {Kind::Focus,
                    groupNeighbour(controls, focused, press.key == KeyName::Up || press.key == KeyName::Left)};
        case KeyName::Return:
            if (known && kind == ControlKind::PushButton) return {Kind::Press, focused};
            return {Kind::Nothing, -1};
        default: return {};
    }
}
