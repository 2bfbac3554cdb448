#include "startup.h"

#include <GL/freeglut.h>

#include <cstdint>

#include "orrelin/desktop/draw_passes.h"
#include "orrelin/desktop/platform.h"
#include "orrelin/desktop/shell.h"
#include "orrelin/desktop/vbo_functions.h"
#include "orrelin/scene/app_state.h"

namespace {

// The drawing window goes (Esc, the exit command or its close box): its
// context still exists, so the buffer names are released here rather than
// after the main loop; the Info dialog goes with it.
void onDrawingWindowClosing() {
    releaseGpuBuffers();
    platform::drawingWindowClosing();
}

}  // namespace

int runProgram(int argc, char** argv) {
    platform::startServices(argc, argv);
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
    AppState.drawingWindow = platform::attachDrawingWindow(kWindowTitle);

    if (!checkBufferObjectSupport()) {
        platform::showMessageBox(nullptr, kNoBufferObjectsText, "Error", platform::MessageIcon::Error);
        platform::stopServices();
        return 0;
    }

    // The dialog shows the active properties first.
    AppState.infoDialog.m_maxDepth = AppState.quadtreeSettings.maxDepth;
    AppState.infoDialog.m_trianglesPerRegion =
        static_cast<std::int32_t>(AppState.quadtreeSettings.maxTrianglesPerRegion);
    connectDrawingWindow();
    AppState.infoDialog.m_hWndDrawing = AppState.drawingWindow;
    AppState.infoDialogWindow = AppState.infoDialog.Create(AppState.drawingWindow);
    platform::startEventPump();
    loadScene(kDefaultMeshPath);
    glutMainLoop();
    platform::stopServices();
    return 0;
}
