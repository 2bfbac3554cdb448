#include "orrelin/desktop/input.h"

#include <GL/freeglut.h>

#include "orrelin/desktop/camera_view.h"
#include "orrelin/desktop/platform.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/camera_input.h"

namespace {

constexpr int kWheelAway = 3;    // wheel rolled away from the user
constexpr int kWheelToward = 4;  // wheel rolled toward the user

}  // namespace

void onKeyboard(unsigned char key, int, int) {
    if (key == 27) platform::destroyDrawingWindow(AppState.glutWindow);
}

void onSpecialKey(int key, int, int) {
    const bool shift = (glutGetModifiers() & GLUT_ACTIVE_SHIFT) != 0;
    switch (key) {
        case GLUT_KEY_LEFT: arrowKeyStep(ArrowKey::Left, shift); break;
        case GLUT_KEY_RIGHT: arrowKeyStep(ArrowKey::Right, shift); break;
        case GLUT_KEY_UP: arrowKeyStep(ArrowKey::Up, shift); break;
        case GLUT_KEY_DOWN: arrowKeyStep(ArrowKey::Down, shift); break;
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
            beginDrag(x, y);
        } else {
            glutSetCursor(GLUT_CURSOR_LEFT_ARROW);
            endDrag();
        }
    } else if ((button == kWheelAway || button == kWheelToward) && state == GLUT_UP) {
        if (!unprojectToPlane(x, y)) return;  // no point under the cursor: no zoom
        wheelNotch(button == kWheelAway);
        applyCamera();
    }
}

void onMotion(int x, int y) {
    if (dragTo(x, y)) applyCamera();
}

void registerPointerCallbacks() {
    platform::registerDrawingPointerHandlers(onMouse, onMotion);
    glutReshapeFunc(onReshape);
}
