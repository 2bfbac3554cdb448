#pragma once
// The straightforward version of the load path, kept only as a yardstick for
// the benchmarks: a byte-by-byte reader on the C library's formatted input, an
// edge list over an ordered set of text keys, and a quadtree with one heap
// node and one growable offset array per region. It follows the same rules as
// the program's own code, written the obvious way, and is never used outside
// bench/.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orrelin/mesh/mesh_types.h"

namespace baseline {

// Reads the file with fopen and fgetc; after a 'v' reads "%8f %8f", after an
// 'f' "%d %d %d", keeping the last values when a conversion fails. False when
// the file cannot be opened.
bool readTriangleFile(const std::string& path, std::vector<Point2>& vertices, std::vector<std::uint32_t>& indices);

// At least one vertex, a non-zero multiple of three indices, every index below
// the vertex count.
bool validateMesh(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices);

// Edge list through a std::set<std::string> of "%d_%d" keys: for each edge
// (p, q) of each triangle, in the order (i0,i1), (i0,i2), (i1,i2), both keys
// are looked up; when neither is there the key of (q, p) is inserted and p, q
// are appended.
std::vector<std::uint32_t> buildEdgeList(const std::vector<std::uint32_t>& indices);

struct Bounds {
    Rect2 rect;
    Point2 centre;
    float extent = 0.0f;
    float moveStep = 0.0f;
};

Bounds computeBounds(const std::vector<Point2>& vertices);

struct Quadtree;

struct Node {
    Rect2 bounds;
    Point2 centre;
    const Quadtree* owner = nullptr;
    Node* children[4] = {nullptr, nullptr, nullptr, nullptr};
    std::vector<std::uint32_t> triangles;
};

struct Quadtree {
    Node* root = nullptr;
    const std::vector<Point2>* vertices = nullptr;
    std::vector<const Node*> regionList;  // split nodes in pre-order
    const std::vector<std::uint32_t>* indices = nullptr;
    std::uint32_t maxTrianglesPerRegion = 0;
    std::int32_t maxDepth = 0;
};

// Builds the tree over every triangle. The root is always split; a child is
// split while it holds more than maxTrianglesPerRegion triangles and its level
// is below maxDepth. A triangle goes to every child whose boundary one of its
// edges crosses (three edges against the six lines of the region), or, when it
// crosses none, to the child that holds its first corner.
void buildQuadtree(Quadtree& tree, const Rect2& rootBounds, const std::vector<Point2>& vertices,
                   const std::vector<std::uint32_t>& indices, std::int32_t maxDepth,
                   std::uint32_t maxTrianglesPerRegion);

// Deletes every node, children before their parent.
void destroyQuadtree(Quadtree& tree);

// The whole load: the previous scene is torn down, the file is read and
// validated, then the lists are copied into the scene mesh, the edge list,
// bounds and a 5/50 quadtree are built and the reading lists are emptied.
struct Scene {
    std::vector<Point2> fileVertices;
    std::vector<std::uint32_t> fileIndices;
    std::vector<Point2> vertices;
    std::vector<std::uint32_t> indices;
    std::vector<std::uint32_t> edges;
    Bounds bounds;
    Quadtree quadtree;

    Scene() = default;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    ~Scene() { destroyQuadtree(quadtree); }
};

bool loadScene(Scene& scene, const std::string& path);

}  // namespace baseline
