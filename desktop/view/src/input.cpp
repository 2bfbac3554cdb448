#include "orrelin/desktop/input.h"

#include <GL/freeglut.h>

#include "orrelin/desktop/camera_view.h"
#include "orrelin/desktop/platform.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/view/camera_math.h"

namespace {

constexpr int kWheelAway = 3;    // wheel rolled away from the user
constexpr int kWheelToward = 4;  // wheel rolled toward the user

void moveEye(KeyMove move) {
    AppState.eye = keyMove(AppState.eye, move, AppState.moveStep);
}

}  // namespace

void onKeyboard(unsigned char key, int, int) {
    if (key == 27) platform::destroyDrawingWindow(AppState.glutWindow);
}

void onSpecialKey(int key, int, int) {
    const bool shift = (glutGetModifiers() & GLUT_ACTIVE_SHIFT) != 0;
    switch (key) {
        case GLUT_KEY_LEFT:
            if (shift) moveEye(KeyMove::PanLeft);
            break;
        case GLUT_KEY_RIGHT:
            if (shift) moveEye(KeyMove::PanRight);
            break;
        case GLUT_KEY_UP: moveEye(shift ? KeyMove::PanUp : KeyMove::ZoomIn); break;
        case GLUT_KEY_DOWN: moveEye(shift ? KeyMove::PanDown : KeyMove::ZoomOut); break;
        default: break;
    }
    applyCamera();
}

void onMouse(int button, int state, int x, int y) {
    if (button == GLUT_LEFT_BUTTON) {
        if (state == GLUT_DOWN) pickAt(x, y);
    } else if (button == GLUT_RIGHT_BUTTON) {
        if (state == GLUT_DOWN) {
            glutSetCursor(GLUT_CURSOR_CYCLE);
            AppState.dragging = true;
            AppState.dragLast = {static_cast<float>(x), static_cast<float>(y)};
        } else {
            glutSetCursor(GLUT_CURSOR_LEFT_ARROW);
            AppState.dragging = false;
        }
    } else if ((button == kWheelAway || button == kWheelToward) && state == GLUT_UP) {
        if (!unprojectToPlane(x, y)) return;  // no point under the cursor: no zoom
        AppState.eye = wheelZoom(AppState.eye, AppState.zoomTarget, button == kWheelAway);
        applyCamera();
    }
}

void onMotion(int x, int y) {
    if (!AppState.dragging) return;
    const float dx = static_cast<float>(x) - AppState.dragLast.x;
    const float dy = static_cast<float>(y) - AppState.dragLast.y;
    AppState.eye = dragMove(AppState.eye, dx, dy, AppState.moveStep);
    AppState.dragLast = {static_cast<float>(x), static_cast<float>(y)};
    applyCamera();
}

void registerPointerCallbacks() {
    platform::registerDrawingPointerHandlers(onMouse, onMotion);
    glutReshapeFunc(onReshape);
}
