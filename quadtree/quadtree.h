#pragma once
// The quadtree over the scene's triangles: construction with the edge-crossing
// distribution test, destruction, and point location.

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "mesh_types.h"

struct Quadtree;
struct QuadtreeNode;

// One region of the tree.
struct QuadtreeNode {
    Rect2 bounds;
    Point2 centre;  // midpoint of bounds, computed once at creation
    const Quadtree* owner = nullptr;
    QuadtreeNode* children[4] = {nullptr, nullptr, nullptr, nullptr};  // all null in a leaf
    // The triangles that overlap the region, in the order they were added.
    // Valid once the build has finished and for as long as the tree stands.
    std::span<const TriangleOffset> triangles;

    // Position of this node's list in the tree's offset store, used while building.
    std::size_t firstOffset = 0;
    std::size_t offsetCount = 0;

    bool isLeaf() const { return children[0] == nullptr; }
};

// Nodes and the triangle lists of a part of the tree. A node's list is a
// contiguous run of `offsets`.
struct QuadtreeStore {
    std::deque<QuadtreeNode> nodes;
    std::vector<TriangleOffset> offsets;
};

// The tree, with the region list (one entry per split node, in pre-order) from
// which the split lines are drawn. Nodes and triangle lists live in stores the
// tree owns; destroying the tree releases them all at once.
struct Quadtree {
    QuadtreeNode* root = nullptr;
    const std::vector<Point2>* vertices = nullptr;
    std::vector<const QuadtreeNode*> regionList;
    const std::vector<std::uint32_t>* indices = nullptr;
    std::uint32_t maxTrianglesPerRegion = 0;  // compared unsigned
    std::int32_t maxDepth = 0;

    // Nodes and triangle lists, one store per part built on its own: the root,
    // then the subtrees of its four children (built side by side).
    std::vector<QuadtreeStore> stores;
};

// Number of nodes and of stored triangle offsets, over all stores.
std::size_t quadtreeNodeCount(const Quadtree& tree);
std::size_t quadtreeOffsetCount(const Quadtree& tree);
// Bytes the tree's stores hold (capacity of the offset stores, nodes, region list).
std::size_t quadtreeBytes(const Quadtree& tree);

// The inputs of a build: the root rectangle and mesh arrays (references into the
// scene) and the active limits.
struct QuadtreeSettings {
    const Rect2* rootBounds = nullptr;
    const std::vector<Point2>* vertices = nullptr;
    const std::vector<std::uint32_t>* indices = nullptr;
    std::int32_t maxDepth = 5;
    std::uint32_t maxTrianglesPerRegion = 50;
    // Bytes the build may take for its nodes, lists and working data; 0 for no limit.
    std::size_t memoryBudget = 0;
};

// Builds a new tree over every triangle of settings' mesh. The root is always
// split once; below it a region is split while it holds more than
// maxTrianglesPerRegion triangles and its level is below maxDepth. The four
// subtrees of the root are built on up to `threads` threads (0: as many as the
// machine has); the tree is the same whatever the number. False, with the tree
// left empty, when the build would exceed settings.memoryBudget or memory runs
// out: long thin triangles at great depth are stored thousands of times.
// Requires: the tree is empty (destroyQuadtree) and the three references are set;
// indices form whole triangles that address existing vertices.
bool buildQuadtree(Quadtree& tree, const QuadtreeSettings& settings, unsigned threads = 0);

// Moves the built tree `from` into the empty `to`, which from now on reads the
// mesh arrays at `vertices` and `indices` (the same contents, moved elsewhere).
void moveQuadtree(Quadtree& to, Quadtree& from, const std::vector<Point2>* vertices,
                  const std::vector<std::uint32_t>* indices);

// Empties the region list, then releases every node. Leaves an empty tree.
void destroyQuadtree(Quadtree& tree);

// The children (bit i for child i; 0 lower left, 1 lower right, 2 upper left,
// 3 upper right) of a region with `bounds` and `centre` that receive the triangle
// with corners v0, v1, v2. `childCentres` are the stored centres of the four
// children. Never 0: a triangle reaches at least one child.
unsigned distributeTriangle(const Rect2& bounds, Point2 centre, const Point2 childCentres[4], Point2 v0, Point2 v1,
                            Point2 v2);

// The child index a point falls in: 2 for y >= cy, plus 1 for x > cx.
inline unsigned quadrantOf(Point2 centre, Point2 p) {
    return (p.y >= centre.y ? 2u : 0u) + (p.x > centre.x ? 1u : 0u);
}

// The leaf reached by carrying `point` down from `root` by quadrantOf; its
// `triangles` are the region a click at `point` tests. Requires: root not null.
const QuadtreeNode* locateRegion(const QuadtreeNode* root, Point2 point);

// True when `point` lies strictly inside the triangle at `offset`, by the
// single-precision barycentric test. Requires: offset + 2 < indices.size() and
// the indices address existing vertices.
bool pointInTriangle(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices,
                     TriangleOffset offset, Point2 point);
