#include "orrelin/scene/app_state.h"

ApplicationState AppState;

ApplicationState::~ApplicationState() {
    // The region list and the located region refer into the tree: release it first.
    destroyQuadtree(quadtree);
    highlightRegion = nullptr;
    regionLineSource = nullptr;
}

void placeDrawingWindow(int screenWidth, int screenHeight) {
    AppState.windowX = (screenWidth - AppState.windowWidth) / 2;
    AppState.windowY = (screenHeight - AppState.windowHeight) / 2;
}
