#pragma once
// The drawing window's projection, view and picking: the camera arithmetic
// applied to the OpenGL matrices of the drawing context.

// Viewport and perspective from the window size (60 degrees, near 1, far five
// times the scene extent); the model-view stack is current afterwards.
void updateProjection();

// Loads the view from AppState.eye, looking straight down, without drawing.
void loadView();

// loadView, then draws the scene; when more input is already waiting, the
// drawing waits until it has been handled.
void applyCamera();

// The window's reshape callback: stores the size, updates the projection and
// draws; the eye stays where it was.
void onReshape(int width, int height);

// Turns window pixel (x, y) (origin top-left) into the point of the plane
// z = 0 under it and stores it as AppState.pickedPoint and the x and y of
// AppState.zoomTarget. False, with nothing stored, when the current matrices
// cannot be inverted or give no finite point (a scene of extent 0, say).
bool unprojectToPlane(int x, int y);

// Left press at (x, y): the point location there, with its highlight.
void pickAt(int x, int y);
