#pragma once
// Plain mesh types shared by every part of the program.

#include <cstdint>
#include <vector>

// A position in the mesh plane.
struct Point2 {
    float x = 0.0f;
    float y = 0.0f;
};

// Position in Mesh::indices at which a triangle's three vertex indices begin (0, 3, 6, ...).
using TriangleOffset = std::uint32_t;

// The scene mesh: vertices, three vertex indices per triangle, and the edge list
// (two vertex indices per edge, filled by buildEdgeList).
struct Mesh {
    std::vector<Point2> vertices;
    std::vector<std::uint32_t> indices;
    std::vector<std::uint32_t> edges;
};

// Axis-aligned rectangle in the mesh plane.
struct Rect2 {
    float minX = 0.0f;
    float minY = 0.0f;
    float maxX = 0.0f;
    float maxY = 0.0f;
};
