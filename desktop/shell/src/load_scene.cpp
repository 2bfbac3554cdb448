#include <GL/freeglut.h>

#include <string>

#include "orrelin/desktop/camera_view.h"
#include "orrelin/desktop/draw_passes.h"
#include "orrelin/desktop/input.h"
#include "orrelin/desktop/platform.h"
#include "orrelin/desktop/shell.h"
#include "orrelin/desktop/vbo_functions.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/scene/scene.h"
#include "orrelin/view/camera_math.h"

namespace {

// A successful load: fetch the entry points and drop the kept mesh picture.
void loadBufferFunctions() {
    loadVboFunctions();
    meshBuffersReplaced();
}

void setWaitCursor(bool wait) {
    glutSetCursor(wait ? GLUT_CURSOR_WAIT : GLUT_CURSOR_LEFT_ARROW);
    platform::flushDrawingWindow();
}

}  // namespace

void connectDrawingWindow() {
    AppState.gpuBuffers.enabled = true;
    AppState.display.loadBufferFunctions = loadBufferFunctions;
    AppState.display.replaceBuffer = replaceGlBuffer;
    AppState.display.displayScene = displayScene;
    AppState.display.setWaitCursor = setWaitCursor;
}

void loadScene(const std::string& path) {
    glutSetCursor(GLUT_CURSOR_WAIT);
    platform::flushDrawingWindow();  // the wait cursor shows while the file is read
    // Made before the scene is replaced: nothing that can fail comes after it.
    const std::string title = windowTitle(path);
    LoadFailure failure = LoadFailure::None;
    const bool loaded = loadSceneFile(path, &failure);
    glutSetCursor(GLUT_CURSOR_LEFT_ARROW);

    if (!loaded) {
        platform::enableWindow(AppState.infoDialogWindow, false);
        // A file whose quadtree does not fit in memory is not a bad file: say so.
        platform::showMessageBox(
            AppState.drawingWindow,
            failure == LoadFailure::OutOfMemory ? std::string(kOutOfMemoryText) : loadErrorText(path), "Error",
            platform::MessageIcon::Information);
        platform::enableWindow(AppState.infoDialogWindow, true);
        return;
    }

    // The window may have changed size before any reshape callback was there
    // to record it (before the first scene, or when it was first shown).
    AppState.windowWidth = glutGet(GLUT_WINDOW_WIDTH);
    AppState.windowHeight = glutGet(GLUT_WINDOW_HEIGHT);
    AppState.eye = framedEye(AppState.sceneCenter, AppState.sceneExtent);
    updateProjection();
    loadView();
    glPolygonMode(GL_FRONT, GL_LINE);
    platform::registerDrawingKeyHandlers(onKeyboard, onSpecialKey);
    registerPointerCallbacks();
    platform::setForegroundWindow(AppState.drawingWindow);
    platform::setDrawingWindowTitle(title);
    displayScene();
}
