#include "orrelin/quadtree/quadtree.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "orrelin/mesh/mesh_prep.h"
#include "orrelin/quadtree/limit_sweep.h"
#include "test_util.h"

namespace {

// The region (0, 0, 4, 4) with centre (2, 2) and its children's centres.
const Rect2 kRegion{0, 0, 4, 4};
const Point2 kCentre{2, 2};
const Point2 kChildCentres[4] = {{1, 1}, {3, 1}, {1, 3}, {3, 3}};

unsigned children(Point2 v0, Point2 v1, Point2 v2) {
    return distributeTriangle(kRegion, kCentre, kChildCentres, v0, v1, v2);
}

constexpr unsigned c0 = 1, c1 = 2, c2 = 4, c3 = 8;

// A mesh and a tree built over it with the given limits.
struct Built {
    std::vector<Point2> vertices;
    std::vector<std::uint32_t> indices;
    Rect2 bounds;
    Quadtree tree;

    Built(std::vector<Point2> v, std::vector<std::uint32_t> i, std::int32_t depth, std::uint32_t perRegion,
          unsigned threads = 0)
        : vertices(std::move(v)), indices(std::move(i)) {
        bounds = computeSceneBounds(vertices).bounds;
        QuadtreeSettings s;
        s.rootBounds = &bounds;
        s.vertices = &vertices;
        s.indices = &indices;
        s.maxDepth = depth;
        s.maxTrianglesPerRegion = perRegion;
        buildQuadtree(tree, s, threads);
    }
    ~Built() { destroyQuadtree(tree); }
};

std::size_t leafCount(const QuadtreeNode* n) {
    if (n->isLeaf()) return 1;
    std::size_t sum = 0;
    for (unsigned c = 0; c < 4; ++c) sum += leafCount(n->children[c]);
    return sum;
}

}  // namespace

TEST(Distribution, WorkedExamples) {
    EXPECT_EQ(children({0.5f, 0.5f}, {1.5f, 0.5f}, {0.5f, 1.5f}), c0);
    EXPECT_EQ(children({1, 1}, {3, 1}, {1, 3}), c0 | c1 | c2 | c3);
    EXPECT_EQ(children({3, 3}, {5, 3}, {3, 5}), c3);
    EXPECT_EQ(children({2, 1}, {3, 1}, {3, 1.5f}), c0 | c1);
    EXPECT_EQ(children({0.5f, 2}, {1.5f, 2}, {1, 3}), c0 | c2);
    EXPECT_EQ(children({2, 2}, {3, 3}, {2, 3}), c0 | c2 | c3);
}

TEST(Distribution, TrianglesCoveringWholeChildren) {
    // All edges outside the region: no crossing, but every child lies inside the
    // triangle, so every child holds it.
    EXPECT_EQ(children({-1, -1}, {10, -1}, {-1, 10}), c0 | c1 | c2 | c3);
    // Same, either winding.
    EXPECT_EQ(children({-1, -1}, {-1, 10}, {10, -1}), c0 | c1 | c2 | c3);
    // A large triangle through the region covers children 0 and 1 whole, its
    // slanted edges crossing the upper half.
    EXPECT_EQ(children({-10, -10}, {14, -10}, {2, 3.5f}), c0 | c1 | c2 | c3);
    // One covering only child 3's centre, with its edges crossing lines c and f
    // beyond... the corner: it reaches child 3 only.
    EXPECT_EQ(children({2.5f, 2.5f}, {10, 2.5f}, {2.5f, 10}), c3);
}

TEST(Distribution, TieRules) {
    // Each as a flat triangle (two corners equal) so only the named crossing counts.
    EXPECT_EQ(children({1, 2}, {3, 2}, {1, 2}), c2 | c3);  // line a at y = cy: upper
    EXPECT_EQ(children({2, 1}, {2, 3}, {2, 1}), c0 | c2);  // line d at x = cx: left
    EXPECT_EQ(children({-1, 2}, {1, 2}, {-1, 2}), c0);     // line b at y = cy: child 0 only
    EXPECT_EQ(children({3, 2}, {5, 2}, {3, 2}), c1);       // line c at y = cy: child 1 only
    EXPECT_EQ(children({2, -1}, {2, 1}, {2, -1}), c0);     // line e at x = cx: child 0 only
    EXPECT_EQ(children({2, 5}, {2, 3}, {2, 5}), c2);       // line f at x = cx: child 2 only
    EXPECT_EQ(children({1, 4}, {3, 4}, {1, 4}), c2 | c3);  // line a at y = maxY counts
    EXPECT_EQ(children({1, 5}, {3, 5}, {1, 5}), c2);       // beyond the extent: first corner only
    EXPECT_EQ(children({4, 1}, {4, 3}, {4, 1}), c1 | c3);  // line d at x = maxX counts
}

TEST(Distribution, ParameterTolerance) {
    // An edge that stops short of x = 2 by less than a millionth of its length counts...
    EXPECT_EQ(children({1, 0.5f}, {1.9999995f, 0.5f}, {1, 1}), c0 | c1);
    // ...one that stops two millionths short does not.
    EXPECT_EQ(children({1, 0.5f}, {1.999998f, 0.5f}, {1, 1}), c0);
    // A corner on the vertical centre line: the crossing lies at t = 0 or 1.
    EXPECT_EQ(children({2, 3}, {3, 3.5f}, {3, 3}), c2 | c3);
}

TEST(Distribution, DegenerateTrianglesFollowTheirFirstCorner) {
    EXPECT_EQ(children({3, 1}, {3, 1}, {3, 1}), c1);
    EXPECT_EQ(children({2, 2}, {2, 2}, {2, 2}), c2);        // the centre goes upper left
    EXPECT_EQ(children({0.5f, 1}, {1, 1}, {1.5f, 1}), c0);  // collinear, inside child 0
}

TEST(Quadtree, DepthOneIsRootAndFourLeaves) {
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    jitteredGrid(8, 8, 1, v, i);
    Built b(v, i, 1, 1);
    ASSERT_EQ(b.tree.regionList.size(), 1u);
    EXPECT_EQ(b.tree.regionList[0], b.tree.root);
    EXPECT_EQ(leafCount(b.tree.root), 4u);
    // The root gives up its list once split; every triangle is in a leaf, in
    // index-array order.
    EXPECT_TRUE(b.tree.root->triangles.empty());
    std::vector<int> seen(128, 0);
    for (unsigned c = 0; c < 4; ++c) {
        const auto list = b.tree.root->children[c]->triangles;
        EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
        for (TriangleOffset o : list) seen[o / 3] = 1;
    }
    EXPECT_EQ(128, std::count(seen.begin(), seen.end(), 1));
}

TEST(Quadtree, RootAlwaysSplitsAndExactCountStaysLeaf) {
    // Four triangles, one per quadrant of the unit square's bounds.
    const std::vector<Point2> v = {{0, 0},       {4, 4},    {0.5f, 0.5f}, {1, 0.5f},    {0.5f, 1},    {3, 0.5f},
                                   {3.5f, 0.5f}, {3, 1},    {0.5f, 3},    {1, 3},       {0.5f, 3.5f}, {3, 3},
                                   {3.5f, 3},    {3, 3.5f}, {3.2f, 3.2f}, {3.4f, 3.2f}, {3.2f, 3.4f}};
    const std::vector<std::uint32_t> i = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    {
        Built b(v, i, 5, 1000);  // more allowed than there are triangles
        EXPECT_EQ(b.tree.regionList.size(), 1u);
        EXPECT_EQ(leafCount(b.tree.root), 4u);
    }
    {
        // Child 3 holds two triangles: with a limit of 2 it stays a leaf...
        Built b(v, i, 5, 2);
        EXPECT_EQ(b.tree.regionList.size(), 1u);
        EXPECT_EQ(b.tree.root->children[3]->triangles.size(), 2u);
    }
    {
        // ...with a limit of 1 it splits (its children, at the depth limit, do
        // not), and the others hold one each and do not.
        Built b(v, i, 2, 1);
        ASSERT_EQ(b.tree.regionList.size(), 2u);
        EXPECT_EQ(b.tree.regionList[1], b.tree.root->children[3]);
    }
    {
        // ...unless its level has reached the depth limit.
        Built b(v, i, 1, 1);
        EXPECT_EQ(b.tree.regionList.size(), 1u);
    }
}

TEST(Quadtree, RegionListIsPreOrder) {
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    jitteredGrid(16, 16, 3, v, i);
    Built b(v, i, 4, 20);
    // Walk the tree in pre-order, listing split nodes: the list must match.
    std::vector<const QuadtreeNode*> expected;
    std::vector<const QuadtreeNode*> stack{b.tree.root};
    while (!stack.empty()) {
        const QuadtreeNode* n = stack.back();
        stack.pop_back();
        if (n->isLeaf()) continue;
        expected.push_back(n);
        for (int k = 3; k >= 0; --k) stack.push_back(n->children[k]);
    }
    EXPECT_EQ(b.tree.regionList, expected);
    EXPECT_GT(expected.size(), 5u);
    // Every split node held more than the limit and sits above the depth limit;
    // children's rectangles are the quadrants around the parent's centre.
    for (const QuadtreeNode* n : b.tree.regionList) {
        EXPECT_TRUE(n->triangles.empty());  // only leaves keep lists
        const QuadtreeNode* c3 = n->children[3];
        EXPECT_FLOAT_BITS(n->centre.x, c3->bounds.minX);
        EXPECT_FLOAT_BITS(n->centre.y, c3->bounds.minY);
        EXPECT_FLOAT_BITS(n->bounds.maxX, c3->bounds.maxX);
        EXPECT_FLOAT_BITS(midpoint(c3->bounds.minX, c3->bounds.maxX), c3->centre.x);
    }
}

// Same region list (bounds and centres in pre-order) and the same lists in every node.
void expectSameTree(const Quadtree& a, const Quadtree& b) {
    ASSERT_EQ(a.regionList.size(), b.regionList.size());
    EXPECT_TRUE(std::equal(a.root->triangles.begin(), a.root->triangles.end(), b.root->triangles.begin(),
                           b.root->triangles.end()));
    for (std::size_t k = 0; k < a.regionList.size(); ++k) {
        const QuadtreeNode* x = a.regionList[k];
        const QuadtreeNode* y = b.regionList[k];
        EXPECT_EQ(0, std::memcmp(&x->bounds, &y->bounds, sizeof x->bounds));
        EXPECT_EQ(0, std::memcmp(&x->centre, &y->centre, sizeof x->centre));
        for (int c = 0; c < 4; ++c) {
            EXPECT_TRUE(std::equal(x->children[c]->triangles.begin(), x->children[c]->triangles.end(),
                                   y->children[c]->triangles.begin(), y->children[c]->triangles.end()));
        }
    }
    EXPECT_EQ(quadtreeNodeCount(a), quadtreeNodeCount(b));
    EXPECT_EQ(quadtreeOffsetCount(a), quadtreeOffsetCount(b));
}

TEST(Quadtree, RebuildGivesTheSameTree) {
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    jitteredGrid(20, 12, 5, v, i);
    Built a(v, i, 6, 8);
    Built b(v, i, 6, 8);
    expectSameTree(a.tree, b.tree);
}

TEST(Quadtree, ABuildBeyondItsBudgetLeavesAnEmptyTree) {
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    jitteredGrid(40, 40, 3, v, i);
    const Rect2 bounds = computeSceneBounds(v).bounds;
    QuadtreeSettings s;
    s.rootBounds = &bounds;
    s.vertices = &v;
    s.indices = &i;
    s.maxDepth = 10;
    s.maxTrianglesPerRegion = 1;
    Quadtree unlimited;
    ASSERT_TRUE(buildQuadtree(unlimited, s));
    const std::size_t needed = quadtreeBytes(unlimited);
    for (unsigned threads : {1u, 2u}) {
        s.memoryBudget = needed / 4;
        Quadtree tree;
        EXPECT_FALSE(buildQuadtree(tree, s, threads));
        EXPECT_EQ(nullptr, tree.root);
        EXPECT_TRUE(tree.regionList.empty());
        EXPECT_TRUE(tree.stores.empty());
        // Enough room: the same tree as without a limit.
        s.memoryBudget = needed * 4;
        ASSERT_TRUE(buildQuadtree(tree, s, threads));
        expectSameTree(unlimited, tree);
    }
}

// `count` long thin triangles side by side, each from the bottom edge of
// (0, 0)-(count, 1000) to its top edge: every one crosses every row of regions.
void slivers(int count, std::vector<Point2>& vertices, std::vector<std::uint32_t>& indices) {
    vertices.clear();
    indices.clear();
    for (int k = 0; k <= count; ++k) {
        vertices.push_back({static_cast<float>(k), 0.0f});
        vertices.push_back({static_cast<float>(k) + 0.5f, 1000.0f});
    }
    for (std::uint32_t k = 0; k < static_cast<std::uint32_t>(count); ++k) {
        indices.insert(indices.end(), {2 * k, 2 * k + 1, 2 * k + 2});
    }
}

TEST(Quadtree, TheSameTreeOnOneThreadOrMany) {
    struct Generated {
        std::vector<Point2> v;
        std::vector<std::uint32_t> i;
    } small, large, thin;
    jitteredGrid(60, 40, 9, small.v, small.i);
    jitteredGrid(300, 200, 5, large.v, large.i);  // 120000 triangles
    slivers(5000, thin.v, thin.i);
    const struct {
        const Generated* mesh;
        std::int32_t depth;
        std::uint32_t perRegion;
    } cases[] = {{&small, 10, 1}, {&small, 5, 50}, {&small, 1, 10000}, {&large, 10, 10},
                 {&large, 5, 50}, {&thin, 7, 3},   {&thin, 4, 200}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mesh->i.size() / 3 << " triangles, " << c.depth << "/" << c.perRegion);
        Built one(c.mesh->v, c.mesh->i, c.depth, c.perRegion, 1);
        for (unsigned threads : {2u, 3u, 8u}) {
            Built many(c.mesh->v, c.mesh->i, c.depth, c.perRegion, threads);
            expectSameTree(one.tree, many.tree);
        }
    }
}

TEST(Quadtree, DestroyEmptiesTheTree) {
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    jitteredGrid(4, 4, 1, v, i);
    Built b(v, i, 3, 2);
    destroyQuadtree(b.tree);
    EXPECT_EQ(b.tree.root, nullptr);
    EXPECT_TRUE(b.tree.regionList.empty());
    EXPECT_TRUE(b.tree.stores.empty());
    destroyQuadtree(b.tree);  // destroying an empty tree is harmless
}

TEST(Quadtree, RootOfZeroWidth) {
    // Every vertex on the line x = 1: triangles are flat, edges parallel to the
    // vertical lines never cross them.
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    for (int k = 0; k < 40; ++k) v.push_back({1, static_cast<float>(k)});
    for (std::uint32_t k = 0; k + 2 < 40; ++k) i.insert(i.end(), {k, k + 1, k + 2});
    Built b(v, i, 4, 4);
    EXPECT_FLOAT_BITS(0.0f, b.tree.root->bounds.maxX - b.tree.root->bounds.minX);
    EXPECT_GT(b.tree.regionList.size(), 1u);
    // No triangle is lost: every one is in some leaf.
    std::vector<int> seen(i.size() / 3, 0);
    std::vector<const QuadtreeNode*> stack{b.tree.root};
    while (!stack.empty()) {
        const QuadtreeNode* n = stack.back();
        stack.pop_back();
        if (n->isLeaf()) {
            for (TriangleOffset o : n->triangles) seen[o / 3] = 1;
        } else {
            for (unsigned c = 0; c < 4; ++c) stack.push_back(n->children[c]);
        }
    }
    for (int s : seen) EXPECT_EQ(s, 1);
}

TEST(PointLocation, LocateRegionTieRules) {
    const std::vector<Point2> v = {{0, 0}, {4, 0}, {0, 4}, {4, 4}};
    const std::vector<std::uint32_t> i = {0, 1, 2, 1, 3, 2};
    Built b(v, i, 1, 50);
    const QuadtreeNode* root = b.tree.root;
    EXPECT_EQ(locateRegion(root, {2, 1}), root->children[0]);  // on the vertical line: left
    EXPECT_EQ(locateRegion(root, {1, 2}), root->children[2]);  // on the horizontal line: upper
    EXPECT_EQ(locateRegion(root, {2, 2}), root->children[2]);  // the centre: upper left
    EXPECT_EQ(locateRegion(root, {3, 2}), root->children[3]);
    EXPECT_EQ(locateRegion(root, {-5, -5}), root->children[0]);  // outside the root: a border region
    EXPECT_EQ(locateRegion(root, {50, 1}), root->children[1]);
}

TEST(PointLocation, PointInTriangleIsStrict) {
    const std::vector<Point2> v = {{0, 0}, {4, 0}, {0, 4}, {1, 1}};
    const std::vector<std::uint32_t> i = {0, 1, 2, 0, 1, 2, 0, 0, 3, 2, 1, 0};
    EXPECT_TRUE(pointInTriangle(v, i, 0, {1, 1}));
    EXPECT_FALSE(pointInTriangle(v, i, 0, {2, 2}));  // on the long edge, u + v = 1
    EXPECT_FALSE(pointInTriangle(v, i, 0, {0, 2}));  // on a short edge, u = 0
    EXPECT_FALSE(pointInTriangle(v, i, 0, {0, 0}));  // a corner
    EXPECT_FALSE(pointInTriangle(v, i, 0, {3, 3}));
    EXPECT_FALSE(pointInTriangle(v, i, 6, {0.5f, 0.5f}));       // degenerate: d = 0 never contains
    EXPECT_TRUE(pointInTriangle(v, i, 9, {1, 1}));              // either winding
    EXPECT_TRUE(pointInTriangle(v, i, 0, {2.0f, 1.9999999f}));  // one float step inside the long edge
}

TEST(PointLocation, EveryContainingTriangleIsInTheLocatedRegion) {
    // Deepest tree the dialog allows: regions far smaller than triangles, many
    // lying wholly inside one. Every triangle that holds a point must be among
    // the triangles of the point's region.
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        std::vector<Point2> v;
        std::vector<std::uint32_t> i;
        jitteredGrid(40, 38, seed, v, i);
        Built b(v, i, 10, 1);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> ux(0.0f, 40.0f), uy(0.0f, 38.0f);
        int checked = 0;
        for (int n = 0; n < 5000; ++n) {
            const Point2 p{ux(rng), uy(rng)};
            const QuadtreeNode* leaf = locateRegion(b.tree.root, p);
            for (TriangleOffset o = 0; o < i.size(); o += 3) {
                if (!pointInTriangle(v, i, o, p)) continue;
                ++checked;
                EXPECT_NE(std::find(leaf->triangles.begin(), leaf->triangles.end(), o), leaf->triangles.end())
                    << "point (" << p.x << ", " << p.y << ") triangle " << o;
            }
        }
        EXPECT_GT(checked, 4900);
    }
}

namespace {

// The distribution rules written out literally: every line tested for every
// edge, no filter and no early stop; then the children whose centre the
// triangle covers (in double precision, boundary included); then the first
// corner's child when nothing else was hit.
unsigned literalDistribution(const Rect2& b, Point2 c, const Point2 cc[4], Point2 v0, Point2 v1, Point2 v2) {
    unsigned mask = 0;
    const Point2 ends[3][2] = {{v2, v0}, {v0, v1}, {v1, v2}};
    auto counts = [](double t) { return t > -0.000001 && t < 1.000001; };
    for (const auto& e : ends) {
        const Point2 p = e[0], q = e[1];
        const float dx = q.x - p.x, dy = q.y - p.y;
        if (dx != 0.0f) {
            double t = (static_cast<double>(c.x) - p.x) / dx;
            double y = p.y + t * dy;
            if (counts(t)) {
                if (y < c.y) {
                    if (y >= b.minY) mask |= c0 | c1;
                } else if (y <= b.maxY) {
                    mask |= c2 | c3;
                }
            }
            t = (static_cast<double>(b.minX) - p.x) / dx;
            y = p.y + t * dy;
            if (counts(t)) mask |= (b.minY <= y && y <= c.y) ? c0 : (c.y <= y && y <= b.maxY) ? c2 : 0u;
            t = (static_cast<double>(b.maxX) - p.x) / dx;
            y = p.y + t * dy;
            if (counts(t)) mask |= (b.minY <= y && y <= c.y) ? c1 : (c.y <= y && y <= b.maxY) ? c3 : 0u;
        }
        if (dy != 0.0f) {
            double t = (static_cast<double>(c.y) - p.y) / dy;
            double x = p.x + t * dx;
            if (counts(t)) {
                if (x > c.x) {
                    if (x <= b.maxX) mask |= c1 | c3;
                } else if (x >= b.minX) {
                    mask |= c0 | c2;
                }
            }
            t = (static_cast<double>(b.minY) - p.y) / dy;
            x = p.x + t * dx;
            if (counts(t)) mask |= (b.minX <= x && x <= c.x) ? c0 : (c.x <= x && x <= b.maxX) ? c1 : 0u;
            t = (static_cast<double>(b.maxY) - p.y) / dy;
            x = p.x + t * dx;
            if (counts(t)) mask |= (b.minX <= x && x <= c.x) ? c2 : (c.x <= x && x <= b.maxX) ? c3 : 0u;
        }
    }
    auto cross = [](double ax, double ay, double bx, double by) { return ax * by - ay * bx; };
    const double x0 = v0.x, y0 = v0.y, x1 = v1.x, y1 = v1.y, x2 = v2.x, y2 = v2.y;
    const double d = cross(x1 - x0, y1 - y0, x2 - x0, y2 - y0);
    for (unsigned i = 0; i < 4 && d != 0.0; ++i) {
        const double px = cc[i].x, py = cc[i].y;
        const double s1 = cross(x1 - x0, y1 - y0, px - x0, py - y0);
        const double s2 = cross(x2 - x1, y2 - y1, px - x1, py - y1);
        const double s3 = cross(x0 - x2, y0 - y2, px - x2, py - y2);
        if ((s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0)) mask |= 1u << i;
    }
    if (mask == 0) mask = 1u << quadrantOf(c, v0);
    return mask;
}

// The tree the slow way: one list per node, every triangle through the literal
// rules (and the test's own function checked against them), in the same order.
void slowSplit(const std::vector<Point2>& v, const std::vector<std::uint32_t>& idx, const Rect2& b,
               const std::vector<TriangleOffset>& tris, int depth, std::int32_t maxDepth, std::uint32_t limit,
               std::vector<std::vector<TriangleOffset>>& out) {
    const Point2 c{midpoint(b.minX, b.maxX), midpoint(b.minY, b.maxY)};
    const Rect2 q[4] = {
        {b.minX, b.minY, c.x, c.y}, {c.x, b.minY, b.maxX, c.y}, {b.minX, c.y, c.x, b.maxY}, {c.x, c.y, b.maxX, b.maxY}};
    Point2 cc[4];
    for (int i = 0; i < 4; ++i) cc[i] = {midpoint(q[i].minX, q[i].maxX), midpoint(q[i].minY, q[i].maxY)};
    std::vector<TriangleOffset> child[4];
    for (TriangleOffset o : tris) {
        const unsigned m = literalDistribution(b, c, cc, v[idx[o]], v[idx[o + 1]], v[idx[o + 2]]);
        EXPECT_EQ(m, distributeTriangle(b, c, cc, v[idx[o]], v[idx[o + 1]], v[idx[o + 2]]));
        for (int i = 0; i < 4; ++i)
            if (m & (1u << i)) child[i].push_back(o);
    }
    for (int i = 0; i < 4; ++i) out.push_back(child[i]);
    for (int i = 0; i < 4; ++i) {
        if (child[i].size() > limit && depth < maxDepth)
            slowSplit(v, idx, q[i], child[i], depth + 1, maxDepth, limit, out);
    }
}

}  // namespace

TEST(Quadtree, MatchesTheFullDistributionTestEverywhere) {
    // Random triangles of every shape (tiny, huge, slivers, flat, repeated
    // corners) so the build's shortcuts meet every case the full test handles.
    std::mt19937 rng(11);
    for (int round = 0; round < 30; ++round) {
        std::vector<Point2> v;
        std::vector<std::uint32_t> idx;
        if (round % 3 == 1) {
            // Small triangles everywhere near the split lines.
            jitteredGrid(40, 30, static_cast<std::uint32_t>(round), v, idx);
        } else if (round % 3 == 2) {
            // Corners exactly on the split lines: a grid of whole numbers over
            // a power-of-two square, split into triangles both ways.
            const int n = 32;
            for (int y = 0; y <= n; ++y)
                for (int x = 0; x <= n; ++x) v.push_back({static_cast<float>(x), static_cast<float>(y)});
            for (std::uint32_t y = 0; y < n; ++y) {
                for (std::uint32_t x = 0; x < n; ++x) {
                    const std::uint32_t k = y * (n + 1) + x;
                    if ((x + y + round) % 2) {
                        idx.insert(idx.end(), {k, k + 1, k + n + 2, k, k + n + 2, k + n + 1});
                    } else {
                        idx.insert(idx.end(), {k, k + 1, k + n + 1, k + 1, k + n + 2, k + n + 1});
                    }
                }
            }
        }
        std::uniform_real_distribution<float> coord(-100.0f, 100.0f);
        std::uniform_real_distribution<float> small(-0.01f, 0.01f);
        for (int t = 0; t < (round % 3 == 0 ? 400 : 0); ++t) {
            const std::uint32_t base = static_cast<std::uint32_t>(v.size());
            const Point2 a{coord(rng), coord(rng)};
            switch (t % 5) {
                case 0: v.insert(v.end(), {a, {a.x + small(rng), a.y + small(rng)}, {a.x + small(rng), a.y}}); break;
                case 1: v.insert(v.end(), {a, {coord(rng), coord(rng)}, {coord(rng), coord(rng)}}); break;
                case 2: v.insert(v.end(), {a, {-a.x, -a.y}, {-a.x + 1e-5f, -a.y}}); break;      // sliver
                case 3: v.insert(v.end(), {a, {2 * a.x, 2 * a.y}, {3 * a.x, 3 * a.y}}); break;  // nearly flat
                default: v.insert(v.end(), {a, a, {coord(rng), coord(rng)}}); break;
            }
            idx.insert(idx.end(), {base, base + 1, base + 2});
        }
        const std::int32_t depth = 2 + round % 7;
        const std::uint32_t limit = 1 + round % 5;
        Built fast(v, idx, depth, limit);
        std::vector<TriangleOffset> all;
        for (TriangleOffset o = 0; o < idx.size(); o += 3) all.push_back(o);
        std::vector<std::vector<TriangleOffset>> slow;
        slowSplit(v, idx, fast.bounds, all, 1, depth, limit, slow);
        // Same split nodes in the same order, with the same children's lists.
        ASSERT_EQ(fast.tree.regionList.size() * 4, slow.size()) << "round " << round;
        std::size_t k = 0;
        for (const QuadtreeNode* n : fast.tree.regionList) {
            for (int i = 0; i < 4; ++i, ++k) {
                // A child split in turn gave its list up to its own children.
                const auto& got = n->children[i]->triangles;
                if (!n->children[i]->isLeaf()) {
                    ASSERT_TRUE(got.empty());
                    continue;
                }
                ASSERT_TRUE(std::equal(got.begin(), got.end(), slow[k].begin(), slow[k].end())) << "round " << round;
            }
        }
    }
}

namespace {

// Three triangles over (0, 0)-(4, 4) with one triangle a region: A and B in
// the lower-left quadrant (which splits again, A in its child 0, B in its
// child 3), C in the upper-right one.
Built threeTriangles(unsigned threads = 0) {
    return Built(
        {{0, 0}, {0.8f, 0}, {0.8f, 0.8f}, {1.2f, 1.2f}, {1.8f, 1.2f}, {1.8f, 1.8f}, {3.2f, 3.2f}, {4, 3.2f}, {4, 4}},
        {0, 1, 2, 3, 4, 5, 6, 7, 8}, 5, 1, threads);
}

}  // namespace

TEST(Quadtree, DescentPathAndStatisticsWorkedByHand) {
    for (unsigned threads : {1u, 4u}) {
        Built b = threeTriangles(threads);
        const QuadtreeStats s = quadtreeStats(b.tree);
        EXPECT_EQ(2u, s.splitRegions);
        EXPECT_EQ(7u, s.leaves);  // three beside the split quadrant, four under it
        EXPECT_EQ(4u, s.emptyLeaves);
        EXPECT_EQ(2, s.depthReached);
        EXPECT_EQ(3u, s.storedReferences);
        EXPECT_EQ(1u, s.maxPerLeaf);
        EXPECT_EQ(3.0 / 7.0, s.meanPerLeaf);
        EXPECT_EQ(0.375, s.expectedTests);  // C 4/16 of the root, A and B 1/16 each

        // (1.5, 1.3): child 0 of the root, then child 3; the point outside the
        // root descends by the same rule.
        const struct {
            Point2 point;
            std::vector<std::pair<std::uint32_t, int>> steps;  // triangles held, child taken
            Rect2 leaf;
        } cases[] = {
            {{1.5f, 1.3f}, {{3, 0}, {2, 3}, {1, -1}}, {1, 1, 2, 2}},
            {{-5, 9}, {{3, 2}, {0, -1}}, {0, 2, 2, 4}},
            {{3, 3}, {{3, 3}, {1, -1}}, {2, 2, 4, 4}},
        };
        for (const auto& c : cases) {
            const std::vector<DescentStep> path = descentPath(b.tree.root, c.point);
            ASSERT_EQ(c.steps.size(), path.size());
            EXPECT_EQ(b.tree.root, path.front().region);
            for (std::size_t k = 0; k < path.size(); ++k) {
                EXPECT_EQ(c.steps[k].first, path[k].region->heldTriangles) << k;
                EXPECT_EQ(c.steps[k].second, path[k].child) << k;
            }
            const Rect2 leaf = path.back().region->bounds;
            EXPECT_EQ(locateRegion(b.tree.root, c.point), path.back().region);
            EXPECT_FLOAT_BITS(c.leaf.minX, leaf.minX);
            EXPECT_FLOAT_BITS(c.leaf.minY, leaf.minY);
            EXPECT_FLOAT_BITS(c.leaf.maxX, leaf.maxX);
            EXPECT_FLOAT_BITS(c.leaf.maxY, leaf.maxY);
        }
    }
    // A root of zero area spreads no clicks: no expected count.
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    for (int k = 0; k < 10; ++k) v.push_back({1, static_cast<float>(k)});
    for (std::uint32_t k = 0; k + 2 < 10; ++k) i.insert(i.end(), {k, k + 1, k + 2});
    Built flat(v, i, 3, 2);
    EXPECT_TRUE(std::isnan(quadtreeStats(flat.tree).expectedTests));
}

namespace {

// A jittered grid whose triangles are stored several times over at depth.
struct SweepMesh {
    std::vector<Point2> vertices;
    std::vector<std::uint32_t> indices;
    Rect2 bounds;
    QuadtreeSettings settings;
    SweepMesh() {
        jitteredGrid(30, 20, 4, vertices, indices);
        bounds = computeSceneBounds(vertices).bounds;
        settings.rootBounds = &bounds;
        settings.vertices = &vertices;
        settings.indices = &indices;
        settings.maxDepth = 6;
        settings.maxTrianglesPerRegion = 5;
    }
};

}  // namespace

TEST(LimitSweep, PointsMatchTreesBuiltDirectly) {
    const SweepMesh m;
    const struct {
        SweepAxis axis;
        std::vector<std::uint32_t> values;
        std::size_t probe[2];  // indices of the points compared with a direct build
    } cases[] = {
        {SweepAxis::Depth, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {2, 7}},
        {SweepAxis::Triangles, {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000}, {0, 4}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.values, sweepValues(c.axis));
        std::size_t calls = 0;
        const LimitSweep sweep = sweepLimits(m.settings, c.axis, [&](std::size_t done, std::size_t total) {
            EXPECT_EQ(++calls, done);
            EXPECT_EQ(c.values.size(), total);
            return true;
        });
        EXPECT_FALSE(sweep.cancelled);
        ASSERT_EQ(c.values.size(), sweep.points.size());
        for (std::size_t k = 0; k < sweep.points.size(); ++k) {
            const SweepPoint& p = sweep.points[k];
            EXPECT_TRUE(p.fits);
            EXPECT_EQ(c.axis == SweepAxis::Depth ? static_cast<std::int32_t>(c.values[k]) : 6, p.maxDepth);
            EXPECT_EQ(c.axis == SweepAxis::Triangles ? c.values[k] : 5u, p.maxTrianglesPerRegion);
        }
        for (std::size_t k : c.probe) {
            const SweepPoint& p = sweep.points[k];
            Built direct(m.vertices, m.indices, p.maxDepth, p.maxTrianglesPerRegion);
            const QuadtreeStats s = quadtreeStats(direct.tree);
            EXPECT_EQ(s.expectedTests, p.expectedTests) << k;
            EXPECT_EQ(s.storedReferences, p.storedReferences) << k;
            EXPECT_EQ(s.splitRegions, p.splitRegions) << k;
            EXPECT_GT(p.splitRegions, 1u) << k;
        }
    }
}

TEST(LimitSweep, PointsBeyondTheBudgetAndCancelling) {
    SweepMesh m;
    m.settings.maxTrianglesPerRegion = 1;
    Built deepest(m.vertices, m.indices, 10, 1);
    m.settings.memoryBudget = quadtreeBytes(deepest.tree) / 4;
    const LimitSweep sweep = sweepLimits(m.settings, SweepAxis::Depth);
    ASSERT_EQ(10u, sweep.points.size());
    EXPECT_TRUE(sweep.points.front().fits);
    EXPECT_FALSE(sweep.points.back().fits);
    EXPECT_EQ(0u, sweep.points.back().storedReferences);

    const LimitSweep stopped =
        sweepLimits(m.settings, SweepAxis::Triangles, [](std::size_t done, std::size_t) { return done < 3; });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(3u, stopped.points.size());
}
