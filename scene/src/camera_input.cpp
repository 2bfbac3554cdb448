#include "orrelin/scene/camera_input.h"

#include "orrelin/scene/app_state.h"

bool arrowKeyStep(ArrowKey key, bool shift) {
    KeyMove move{};
    if (!arrowKeyMove(key, shift, move)) return false;
    AppState.eye = keyMove(AppState.eye, move, AppState.moveStep);
    return true;
}

void beginDrag(int x, int y) {
    AppState.dragging = true;
    AppState.dragLast = {static_cast<float>(x), static_cast<float>(y)};
}

void endDrag() {
    AppState.dragging = false;
}

bool dragTo(int x, int y) {
    if (!AppState.dragging) return false;
    const float dx = static_cast<float>(x) - AppState.dragLast.x;
    const float dy = static_cast<float>(y) - AppState.dragLast.y;
    AppState.eye = dragMove(AppState.eye, dx, dy, AppState.moveStep);
    AppState.dragLast = {static_cast<float>(x), static_cast<float>(y)};
    return true;
}

void wheelNotch(bool in) {
    AppState.eye = wheelZoom(AppState.eye, AppState.zoomTarget, in);
}
