#pragma once
// Camera arithmetic of the drawing window, free of any graphics library: the
// eye moves, the framing of a new scene and the meeting of a viewing ray with
// the mesh plane. All values are single precision as stored.

#include "orrelin/mesh/mesh_types.h"

// A point or direction in space; the camera's eye and the zoom target.
struct Vec3f {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// The single-precision 0.1 used by wheel zoom and dragging.
inline constexpr float kStepFactor = 0.1f;

// Eye straight above the scene centre at the height of the scene's diagonal.
Vec3f framedEye(Point2 sceneCenter, float sceneExtent);

// width / height, divided in floating point. A height of 0 gives an infinite
// or undefined ratio, which the projection then carries.
float aspectRatio(int width, int height);

enum class KeyMove { PanLeft, PanRight, PanUp, PanDown, ZoomIn, ZoomOut };

// One key step of length `step` (the scene's move step).
Vec3f keyMove(Vec3f eye, KeyMove move, float step);

// The arrow keys of the drawing window (the page numbers them the same way).
enum class ArrowKey { Left, Right, Up, Down };

// The step an arrow key makes: with Shift every arrow pans; without it Up and
// Down zoom in and out, and Left and Right make none (false).
bool arrowKeyMove(ArrowKey key, bool shift, KeyMove& move);

// One wheel notch toward (in) or away from (out) `target`: per axis
// d = target - eye, eye +/- d * 0.1, each rounded to float.
Vec3f wheelZoom(Vec3f eye, Vec3f target, bool in);

// A drag step by (dx, dy) window pixels: the eye follows the mouse, with
// window y downward and world y upward.
Vec3f dragMove(Vec3f eye, float dx, float dy, float step);

// Where the line from `nearPoint` to `farPoint` (in double precision) meets the
// plane z = 0, rounded to float. `ok` is false when the line is parallel to the
// plane or the result is not finite (a degenerate projection).
Point2 planeIntersection(const double nearPoint[3], const double farPoint[3], bool& ok);
