#pragma once
// The scene as an SVG figure: what the drawing window shows of the loaded
// scene in a width x height window, seen from a given eye.

#include <string>

#include "orrelin/view/camera_math.h"

// What a figure shows: the window's size and the camera's eye, as the window's
// zoom and pan have left them.
struct FigureView {
    int width = 0;
    int height = 0;
    Vec3f eye;
};

// The view right after a load: the eye frames the scene.
FigureView framedFigureView(int width, int height);

// The mesh edges, the split lines and, when `highlight` is true, the last
// location's highlight as the program draws it (clockwise triangles filled,
// counter-clockwise ones outlined, the found one again on top, the point 6
// pixels wide) with the regions of its descent outlined beneath it. With
// `heatMap`, every leaf filled in its heat map colour (heatMapContents) lies
// under everything but the background. Each layer is one path per colour, its
// coordinates rounded to 0.01 pixel; what lies outside the window is left out.
// Contract: a tree is built; view.width > 0 and view.height > 0.
std::string sceneSvg(const FigureView& view, bool highlight, bool heatMap = false);

// The figure of the view right after a load.
std::string sceneSvg(int width, int height, bool highlight, bool heatMap = false);
