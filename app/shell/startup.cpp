#include <GL/freeglut.h>

#include "app_state.h"
#include "draw_passes.h"
#include "platform.h"
#include "shell.h"
#include "vbo_functions.h"

namespace {

// The drawing window goes (Esc or its close box): its context still exists,
// so the buffer names are released here rather than after the main loop.
void onDrawingWindowClosing() {
    releaseGpuBuffers();
}

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

int runProgram(int argc, char** argv) {
    platform::startServices();
    int screenWidth = 0;
    int screenHeight = 0;
    platform::primaryScreenSize(screenWidth, screenHeight);
    placeDrawingWindow(screenWidth, screenHeight);

    glutInit(&argc, argv);
    // Leaving the main loop returns here, so the toolkit is torn down in order.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(AppState.windowWidth, AppState.windowHeight);
    glutInitWindowPosition(AppState.windowX, AppState.windowY);
    AppState.glutWindow = glutCreateWindow(kWindowTitle);
    // The library needs a display callback for a shown window; it also repaints
    // parts of the window that were uncovered.
    glutDisplayFunc(displayScene);
    glutCloseFunc(onDrawingWindowClosing);
    AppState.drawingWindow = platform::attachDrawingWindow();

    if (!checkBufferObjectSupport()) {
        platform::showMessageBox(nullptr, kNoBufferObjectsText, "Error", platform::MessageIcon::Error);
        platform::stopServices();
        return 0;
    }

    connectDrawingWindow();
    platform::startEventPump();
    loadScene(kDefaultMeshPath);
    glutMainLoop();
    platform::stopServices();
    return 0;
}
