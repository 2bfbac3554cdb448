#pragma once
// The quadtree over the scene's triangles: construction with the edge-crossing
// distribution test, destruction, and point location.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "orrelin/mesh/mesh_types.h"

struct Quadtree;
struct QuadtreeNode;

// The four children of a split region, created together and kept side by
// side: child i is first + i. Null in a leaf.
struct QuadtreeChildren {
    QuadtreeNode* first = nullptr;
    QuadtreeNode* operator[](unsigned i) const;
};

// One region of the tree.
struct QuadtreeNode {
    Rect2 bounds;
    Point2 centre;  // midpoint of bounds, computed once at creation
    const Quadtree* owner = nullptr;
    QuadtreeChildren children;  // all null in a leaf
    // A leaf's triangles: those that overlap the region, in the order they were
    // added. Empty in a split node, whose list is given up once its children
    // have theirs (point location reads leaves only). Valid for as long as the
    // tree stands.
    std::span<const TriangleOffset> triangles;
    // How many triangles the region held: a leaf's list's length; for a split
    // region, its list's length before the split gave it up.
    std::uint32_t heldTriangles = 0;

    bool isLeaf() const { return children.first == nullptr; }
};

inline QuadtreeNode* QuadtreeChildren::operator[](unsigned i) const {
    return first == nullptr ? nullptr : first + i;
}

// Elements handed out in contiguous runs that never move: blocks filled from
// the front, a run that does not fit the last block opening the next one.
// Blocks grow from `firstBlock` elements to `largestBlock` (or the run's size).
template <typename T, std::size_t firstBlock, std::size_t largestBlock>
class StableRuns {
   public:
    // Bytes a run of n elements adds to what is held (0 when the last block has room).
    std::size_t bytesToTake(std::size_t n) const { return fits(n) ? 0 : nextBlockSize(n) * sizeof(T); }
    // A run of n elements; those of a new block are default-initialised.
    T* take(std::size_t n) {
        if (!fits(n)) {
            const std::size_t size = nextBlockSize(n);
            blocks_.push_back(Block{std::unique_ptr<T[]>(new T[size]), 0, size});
            held_ += size;
        }
        Block& block = blocks_.back();
        T* run = block.data.get() + block.used;
        block.used += n;
        count_ += n;
        return run;
    }
    // Calls f(element) for every element handed out, in order.
    template <typename F>
    void forEach(F f) {
        for (Block& block : blocks_) {
            for (std::size_t k = 0; k < block.used; ++k) f(block.data[k]);
        }
    }
    std::size_t count() const { return count_; }
    std::size_t bytes() const { return held_ * sizeof(T); }

   private:
    struct Block {
        std::unique_ptr<T[]> data;
        std::size_t used = 0;
        std::size_t capacity = 0;
    };
    bool fits(std::size_t n) const { return !blocks_.empty() && blocks_.back().capacity - blocks_.back().used >= n; }
    std::size_t nextBlockSize(std::size_t n) const {
        const std::size_t grown = blocks_.empty() ? firstBlock : std::min(2 * blocks_.back().capacity, largestBlock);
        return std::max(n, grown);
    }
    std::vector<Block> blocks_;
    std::size_t count_ = 0;
    std::size_t held_ = 0;
};

// Nodes and the leaves' triangle lists of a part of the tree.
struct QuadtreeStore {
    StableRuns<QuadtreeNode, 64, 16384> nodes;
    StableRuns<TriangleOffset, 4096, std::size_t{1} << 20> offsets;
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

    // Nodes and leaf lists, one store per part built on its own: the root,
    // then the subtrees of its four children (built side by side).
    std::vector<QuadtreeStore> stores;
};

// Number of nodes and of triangle offsets in the leaves' lists, over all stores.
std::size_t quadtreeNodeCount(const Quadtree& tree);
std::size_t quadtreeOffsetCount(const Quadtree& tree);
// Bytes the tree holds (node and offset blocks, region list).
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

// One region of a descent and the child (0 to 3) it was left by, -1 at the
// leaf where the descent ends.
struct DescentStep {
    const QuadtreeNode* region = nullptr;
    int child = -1;
};

// The regions locateRegion passes through, from `root` to the leaf. A point
// outside the root's rectangle descends like any other.
// Contract: root is not null.
std::vector<DescentStep> descentPath(const QuadtreeNode* root, Point2 point);

// What a tree costs and holds. `expectedTests` is the number of triangle
// tests of a click uniformly at random over the root's rectangle: each leaf's
// count weighted by its area's share of the root's, in double precision from
// the float bounds, summed over the leaves in pre-order; NaN for a root of
// zero area, which gives no such share.
struct QuadtreeStats {
    std::size_t splitRegions = 0;
    std::size_t leaves = 0;
    std::size_t emptyLeaves = 0;
    std::int32_t depthReached = 0;     // the deepest split's level; the root's split is level 1
    std::size_t storedReferences = 0;  // triangle entries over all leaves
    std::size_t maxPerLeaf = 0;
    double meanPerLeaf = 0.0;
    double expectedTests = 0.0;
};

// Contract: the tree is built (root not null).
QuadtreeStats quadtreeStats(const Quadtree& tree);

// True when `point` lies strictly inside the triangle at `offset`, by the
// barycentric test: the differences, weights and quotients in single
// precision, each cross product formed in double precision and rounded to
// float, the sum of the weights compared in double. Requires:
// offset + 2 < indices.size() and the indices address existing vertices.
bool pointInTriangle(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices,
                     TriangleOffset offset, Point2 point);
