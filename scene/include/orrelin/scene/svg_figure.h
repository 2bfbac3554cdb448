#pragma once
// The scene as an SVG figure: what the drawing window's first frame of the
// loaded scene shows in a width x height window, seen from the framed eye.

#include <string>

// The mesh edges, the split lines and, when `highlight` is true, the last
// location's highlight as the program draws it (clockwise triangles filled,
// counter-clockwise ones outlined, the found one again on top, the point 6
// pixels wide) with the regions of its descent outlined beneath it. With
// `heatMap`, every leaf filled in its heat map colour (heatMapContents) lies
// under everything but the background.
// Contract: a tree is built; width > 0 and height > 0.
std::string sceneSvg(int width, int height, bool highlight, bool heatMap = false);
