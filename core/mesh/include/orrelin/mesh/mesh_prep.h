#pragma once
// Data derived from a loaded mesh: the edge list and the scene measures.

#include <cstdint>
#include <vector>

#include "orrelin/mesh/mesh_types.h"

// Bounds of the scene and the view measures derived from them.
struct SceneMeasures {
    Rect2 bounds;
    Point2 centre;
    float extent = 0.0f;    // length of the diagonal of `bounds`
    float moveStep = 0.0f;  // extent / 50, the camera step
};

// Every undirected edge of the triangles exactly once, as pairs of vertex
// indices, in order of first appearance (per triangle: (i0,i1), (i0,i2),
// (i1,i2)) and with the orientation of that first appearance. A triangle that
// names a vertex twice contributes that vertex paired with itself.
// The work is split among `threads` threads (0: as many as the machine has,
// for large meshes only), with the same result.
// Requires: indices.size() is a multiple of 3 and every index is below vertexCount.
std::vector<std::uint32_t> buildEdgeList(const std::vector<std::uint32_t>& indices, std::size_t vertexCount,
                                         unsigned threads = 0);

// Bounds, centre, diagonal length and camera step of the vertices.
// Requires: at least one vertex.
SceneMeasures computeSceneBounds(const std::vector<Point2>& vertices);

// (a + b) rounded to float, then halved: the midpoint rule used for the scene
// centre and every quadtree region centre.
float midpoint(float a, float b);
