#include "orrelin/view/camera_math.h"

#include <cmath>

Vec3f framedEye(Point2 sceneCenter, float sceneExtent) {
    return Vec3f{sceneCenter.x, sceneCenter.y, sceneExtent};
}

float aspectRatio(int width, int height) {
    return static_cast<float>(static_cast<double>(width) / static_cast<double>(height));
}

Vec3f keyMove(Vec3f eye, KeyMove move, float step) {
    switch (move) {
        case KeyMove::PanLeft: eye.x = eye.x - step; break;
        case KeyMove::PanRight: eye.x = eye.x + step; break;
        case KeyMove::PanUp: eye.y = eye.y + step; break;
        case KeyMove::PanDown: eye.y = eye.y - step; break;
        case KeyMove::ZoomIn: eye.z = eye.z - step; break;
        case KeyMove::ZoomOut: eye.z = eye.z + step; break;
    }
    return eye;
}

bool arrowKeyMove(ArrowKey key, bool shift, KeyMove& move) {
    switch (key) {
        case ArrowKey::Left: move = KeyMove::PanLeft; return shift;
        case ArrowKey::Right: move = KeyMove::PanRight; return shift;
        case ArrowKey::Up: move = shift ? KeyMove::PanUp : KeyMove::ZoomIn; return true;
        case ArrowKey::Down: move = shift ? KeyMove::PanDown : KeyMove::ZoomOut; return true;
    }
    return false;
}

namespace {

float zoomAxis(float eye, float target, bool in) {
    const float d = target - eye;
    const float part = d * kStepFactor;
    return in ? eye + part : eye - part;
}

}  // namespace

Vec3f wheelZoom(Vec3f eye, Vec3f target, bool in) {
    return Vec3f{zoomAxis(eye.x, target.x, in), zoomAxis(eye.y, target.y, in), zoomAxis(eye.z, target.z, in)};
}

Vec3f dragMove(Vec3f eye, float dx, float dy, float step) {
    const double factor = static_cast<double>(step) * static_cast<double>(kStepFactor);
    eye.x = static_cast<float>(static_cast<double>(eye.x) + static_cast<double>(dx) * factor);
    eye.y = static_cast<float>(static_cast<double>(eye.y) - static_cast<double>(dy) * factor);
    return eye;
}

Point2 planeIntersection(const double nearPoint[3], const double farPoint[3], bool& ok) {
    const double t = (0.0 - nearPoint[2]) / (farPoint[2] - nearPoint[2]);
    const double x = nearPoint[0] + t * (farPoint[0] - nearPoint[0]);
    const double y = nearPoint[1] + t * (farPoint[1] - nearPoint[1]);
    const Point2 p{static_cast<float>(x), static_cast<float>(y)};
    ok = std::isfinite(p.x) && std::isfinite(p.y);
    return p;
}
