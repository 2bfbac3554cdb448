#include "orrelin/desktop/camera_view.h"

#include <GL/freeglut.h>

#include "orrelin/desktop/draw_passes.h"
#include "orrelin/desktop/platform.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/scene.h"
#include "orrelin/view/camera_math.h"

void updateProjection() {
    AppState.aspect = aspectRatio(AppState.windowWidth, AppState.windowHeight);
    glMatrixMode(GL_PROJECTION);
    glViewport(0, 0, AppState.windowWidth, AppState.windowHeight);
    glLoadIdentity();
    const float farDistance = AppState.sceneExtent * 5.0f;
    gluPerspective(60.0, static_cast<double>(AppState.aspect), 1.0, static_cast<double>(farDistance));
    glMatrixMode(GL_MODELVIEW);
}

void loadView() {
    const Vec3f& eye = AppState.eye;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(static_cast<double>(eye.x), static_cast<double>(eye.y), static_cast<double>(eye.z),
              static_cast<double>(eye.x), static_cast<double>(eye.y), 0.0, 0.0, 1.0, 0.0);
}

void applyCamera() {
    loadView();
    // Steps already waiting (a fast run of wheel notches, a drag, a held key)
    // are applied first, each as it would be alone; the picture is drawn once,
    // after the last of them. A large mesh takes longer to draw than the
    // steps come in, and drawing each one let the view lag far behind.
    if (platform::drawingInputWaiting()) {
        glutPostRedisplay();
    } else {
        displayScene();
    }
}

void onReshape(int width, int height) {
    AppState.windowWidth = width;
    AppState.windowHeight = height;
    updateProjection();
    displayScene();
}

bool unprojectToPlane(int x, int y) {
    GLdouble modelView[16];
    GLdouble projection[16];
    GLint viewport[4];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double wx = static_cast<double>(x);
    const double wy = static_cast<double>(viewport[1] + viewport[3] - y);
    double nearPoint[3];
    double farPoint[3];
    const bool nearOk = gluUnProject(wx, wy, 0.0, modelView, projection, viewport, &nearPoint[0], &nearPoint[1],
                                     &nearPoint[2]) == GL_TRUE;
    const bool farOk =
        gluUnProject(wx, wy, 1.0, modelView, projection, viewport, &farPoint[0], &farPoint[1], &farPoint[2]) == GL_TRUE;
    if (!nearOk || !farOk) return false;
    bool finite = false;
    const Point2 p = planeIntersection(nearPoint, farPoint, finite);
    if (!finite) return false;
    AppState.pickedPoint = p;
    AppState.zoomTarget.x = p.x;
    AppState.zoomTarget.y = p.y;
    return true;
}

void pickAt(int x, int y) {
    if (!unprojectToPlane(x, y)) return;
    simulatePointLocation(AppState.pickedPoint);
}
