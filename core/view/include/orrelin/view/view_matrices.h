#pragma once
// The drawing window's projection and model-view matrices and the pick of a
// window pixel on the plane z = 0, without a graphics library, to the same
// bits the desktop program gets from OpenGL and GLU: the matrices as
// glGetDoublev returns them after the window's gluPerspective and gluLookAt
// (Mesa keeps them in single precision), and gluUnProject's double-precision
// arithmetic on them, operation for operation.

#include <array>

#include "orrelin/mesh/mesh_types.h"
#include "orrelin/view/camera_math.h"

// The perspective's field of view is 60 degrees. GLU turns it into radians as
// fovy / 2 * pi / 180 and takes the sine and cosine of that in double. These
// are the correctly rounded values, the ones glibc's sin and cos give; they are
// fixed here so that no C library's sin and cos enter the matrices.
inline constexpr double kHalfFieldOfView = 60.0 / 2 * 3.14159265358979323846 / 180;  // 0x1.0c152382d7365p-1
inline constexpr double kHalfFieldOfViewSine = 0x1.fffffffffffffp-2;                 // 0.49999999999999994
inline constexpr double kHalfFieldOfViewCosine = 0x1.bb67ae8584cabp-1;               // 0.8660254037844387

// A 4x4 matrix as glGetDoublev gives it: column after column.
using Matrix4d = std::array<double, 16>;

// The viewport as glGetIntegerv(GL_VIEWPORT) gives it: x, y, width, height.
using Viewport = std::array<int, 4>;

struct ViewMatrices {
    Matrix4d projection{};
    Matrix4d modelView{};
};

// What GL holds after the desktop loads the projection of a width x height
// window (60 degrees, near 1, far at five times the scene extent) and the
// view from `eye` straight down on z = 0: each entry a float widened to double.
// Contract: width >= 0 and height >= 0. Any extent and eye; non-finite ones
// give NaN entries, as in GL, whose bit patterns may differ between machines.
ViewMatrices viewMatrices(int width, int height, float sceneExtent, Vec3f eye);

// gluUnProject: the window point (winX, winY, winZ) in object coordinates.
// False, with `object` unchanged, when the matrices' product cannot be
// inverted or the point lies at infinity (w = 0).
// Contract: the viewport's width and height are >= 0, as GL keeps them.
bool unprojectPoint(const ViewMatrices& matrices, const Viewport& viewport, double winX, double winY, double winZ,
                    double object[3]);

// The desktop's pick: window pixel (x, y), origin top-left, unprojected at
// depths 0 and 1, the line through both met with z = 0 (planeIntersection).
// `ok` is false when either unprojection fails or the point is not finite.
// Contract: the viewport's width and height are >= 0, and viewport y + height
// and viewport y + height - y stay within int (the row flip is done in int).
Point2 pixelToPlane(const ViewMatrices& matrices, const Viewport& viewport, int x, int y, bool& ok);
