#pragma once
// Wheel notches queued for the current OpenGL window (the drawing window).

// Queues `count` notches at window pixel (x, y): toward the plane and away
// from it in turn, each a press and a release, all before any is handled.
void queueWheelNotches(int count, int x, int y);

// Whether events for the window are still waiting to be handled.
bool drawingEventsPending();
