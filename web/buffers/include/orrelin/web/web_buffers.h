#pragma once
// The buffers the page draws with WebGL 2, made from the buffer contents the
// desktop program uploads as they are: WebGL draws lines one pixel wide only
// and has no polygon mode, so the 2-pixel split lines and the outlined
// highlight triangles become thin quads of triangles here. Every vertex
// carries a pixel offset that the vertex shader adds after projection.

#include <cstdint>
#include <span>
#include <vector>

#include "orrelin/render/buffer_contents.h"

// Position in the plane, colour, and an offset in window pixels added to the
// projected position (0 for a vertex drawn where it is).
struct WebVertex {
    float x;
    float y;
    float r;
    float g;
    float b;
    float offsetX;
    float offsetY;
};
static_assert(sizeof(WebVertex) == 28, "the page reads packed 28-byte vertices");

// Line pairs (a, b) as quads `width` pixels wide centred on each line, two
// triangles a line; a line of no length gives nothing.
// Requires: an even number of vertices.
std::vector<WebVertex> thickLines(std::span<const ColoredVertex> pairs, float width);

// The colour of the page's mark on the found triangle, none of the picture's.
inline constexpr Color3 kFoundMarkColor{1.0f, 1.0f, 1.0f};
inline constexpr float kFoundMarkWidth = 3.0f;

// The highlight as the desktop draws it under its polygon mode: the tested
// triangles in region order, each filled when its corners run clockwise in
// the plane and outlined 1 pixel wide when they run counter-clockwise; then
// the triangle at `foundTriangleFirst` once more on top and, when it is in
// the found colour (it holds the point), outlined kFoundMarkWidth pixels wide
// in kFoundMarkColor, so that found and tested differ by more than colour;
// then the query point as the last vertex, which the page draws as a 6-pixel
// point.
// Requires: 3k + 1 vertices (k triangles and the point); foundTriangleFirst a
// multiple of 3 below 3k, or 0.
std::vector<WebVertex> highlightTriangles(std::span<const ColoredVertex> contents, std::int32_t foundTriangleFirst);
