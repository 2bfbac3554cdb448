#include "quadtree.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "mesh_prep.h"

namespace {

constexpr double kTMin = -0.000001;
constexpr double kTMax = 1.000001;

// Bits of the four children.
constexpr unsigned kLowerLeft = 1u;
constexpr unsigned kLowerRight = 2u;
constexpr unsigned kUpperLeft = 4u;
constexpr unsigned kUpperRight = 8u;

// A triangle whose doubled area is at least this share of its squared box size
// is far from flat: the signs of the centre test cannot all agree for a point
// outside its box, rounding included.
constexpr double kRobustArea = 0x1p-20;

bool inParameterRange(double t) { return t > kTMin && t < kTMax; }

// Tests one edge from p to q against the six lines of a region; see
// distributeTriangle. `nearX[k]`/`nearY[k]` say whether vertical line k (cx, minX,
// maxX) or horizontal line k (cy, minY, maxY) can be crossed at all; a line that
// cannot gives the same answer as its full test, only sooner.
unsigned edgeCrossings(const Rect2& b, Point2 c, Point2 p, Point2 q, const bool nearX[3], const bool nearY[3]) {
    unsigned mask = 0;
    const float dx = q.x - p.x;
    const float dy = q.y - p.y;
    const double px = p.x;
    const double py = p.y;
    if (dx != 0.0f) {
        const double ddx = dx;
        const double ddy = dy;
        if (nearX[0]) {  // a: x = cx
            const double t = (static_cast<double>(c.x) - px) / ddx;
            if (inParameterRange(t)) {
                const double y = py + t * ddy;
                if (y < c.y) {
                    if (y >= b.minY) mask |= kLowerLeft | kLowerRight;
                } else if (y <= b.maxY) {
                    mask |= kUpperLeft | kUpperRight;
                }
            }
        }
        if (nearX[1]) {  // b: x = minX
            const double t = (static_cast<double>(b.minX) - px) / ddx;
            if (inParameterRange(t)) {
                const double y = py + t * ddy;
                if (b.minY <= y && y <= c.y) {
                    mask |= kLowerLeft;
                } else if (c.y <= y && y <= b.maxY) {
                    mask |= kUpperLeft;
                }
            }
        }
        if (nearX[2]) {  // c: x = maxX
            const double t = (static_cast<double>(b.maxX) - px) / ddx;
            if (inParameterRange(t)) {
                const double y = py + t * ddy;
                if (b.minY <= y && y <= c.y) {
                    mask |= kLowerRight;
                } else if (c.y <= y && y <= b.maxY) {
                    mask |= kUpperRight;
                }
            }
        }
    }
    if (dy != 0.0f) {
        const double ddx = dx;
        const double ddy = dy;
        if (nearY[0]) {  // d: y = cy
            const double t = (static_cast<double>(c.y) - py) / ddy;
            if (inParameterRange(t)) {
                const double x = px + t * ddx;
                if (x > c.x) {
                    if (x <= b.maxX) mask |= kLowerRight | kUpperRight;
                } else if (x >= b.minX) {
                    mask |= kLowerLeft | kUpperLeft;
                }
            }
        }
        if (nearY[1]) {  // e: y = minY
            const double t = (static_cast<double>(b.minY) - py) / ddy;
            if (inParameterRange(t)) {
                const double x = px + t * ddx;
                if (b.minX <= x && x <= c.x) {
                    mask |= kLowerLeft;
                } else if (c.x <= x && x <= b.maxX) {
                    mask |= kLowerRight;
                }
            }
        }
        if (nearY[2]) {  // f: y = maxY
            const double t = (static_cast<double>(b.maxY) - py) / ddy;
            if (inParameterRange(t)) {
                const double x = px + t * ddx;
                if (b.minX <= x && x <= c.x) {
                    mask |= kUpperLeft;
                } else if (c.x <= x && x <= b.maxX) {
                    mask |= kUpperRight;
                }
            }
        }
    }
    return mask;
}

double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// The triangle v0, v1, v2 in double precision, for the test whether a point
// lies inside it or on its boundary.
struct CoverTest {
    double x0, y0, x1, y1, x2, y2;
    double d;  // cross(v1 - v0, v2 - v0); zero for a degenerate triangle, which contains nothing

    CoverTest(Point2 v0, Point2 v1, Point2 v2)
        : x0(v0.x), y0(v0.y), x1(v1.x), y1(v1.y), x2(v2.x), y2(v2.y), d(cross(x1 - x0, y1 - y0, x2 - x0, y2 - y0)) {}

    bool covers(Point2 p) const {
        if (d == 0.0) return false;
        const double px = p.x, py = p.y;
        const double s1 = cross(x1 - x0, y1 - y0, px - x0, py - y0);
        const double s2 = cross(x2 - x1, y2 - y1, px - x1, py - y1);
        if ((s1 > 0.0 && s2 < 0.0) || (s1 < 0.0 && s2 > 0.0)) return false;
        const double s3 = cross(x0 - x2, y0 - y2, px - x2, py - y2);
        return (s1 >= 0.0 && s2 >= 0.0 && s3 >= 0.0) || (s1 <= 0.0 && s2 <= 0.0 && s3 <= 0.0);
    }
};

// Whether an edge spanning [lo, hi] along one axis can meet the line at `line`
// with its parameter inside the tolerance. Exact as a filter: it answers false
// only where every edge's t lies outside (-1e-6, 1.000001). The margin (4e-6 of
// the span) covers the tolerance with room for the rounding of the float
// differences; spans near the float limit, where those differences overflow,
// are never filtered.
bool lineNear(double lo, double hi, float line) {
    const double span = hi - lo;
    if (!(span < 1e38)) return true;
    const double margin = 4e-6 * span;
    return static_cast<double>(line) >= lo - margin && static_cast<double>(line) <= hi + margin;
}

// Where a triangle can matter to a split: its bounding box widened by a
// margin that covers both the crossing tolerance of the six lines and the
// rounding of the centre test. A line or child centre outside the box gives the
// same answer as its full test (no crossing, not covered); the box of a nearly
// flat triangle, or one near the float limit, is unbounded, so such triangles
// are always tested in full.
struct TriangleReach {
    float minX, minY, maxX, maxY;
};

float roundDown(double x) {
    float f = static_cast<float>(x);
    if (static_cast<double>(f) > x) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
    return f;
}

float roundUp(double x) {
    float f = static_cast<float>(x);
    if (static_cast<double>(f) < x) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
}

TriangleReach triangleReach(Point2 v0, Point2 v1, Point2 v2) {
    constexpr float inf = std::numeric_limits<float>::infinity();
    const double loX = std::min({v0.x, v1.x, v2.x});
    const double hiX = std::max({v0.x, v1.x, v2.x});
    const double loY = std::min({v0.y, v1.y, v2.y});
    const double hiY = std::max({v0.y, v1.y, v2.y});
    const double size = (hiX - loX) + (hiY - loY);
    const CoverTest cover(v0, v1, v2);
    if (!(size < 1e38) || !(std::fabs(cover.d) >= kRobustArea * size * size)) return TriangleReach{-inf, -inf, inf, inf};
    const double margin = 8e-6 * size;
    return TriangleReach{roundDown(loX - margin), roundDown(loY - margin), roundUp(hiX + margin),
                         roundUp(hiY + margin)};
}

QuadtreeNode& newNode(Quadtree& tree, const Rect2& bounds) {
    QuadtreeNode& node = tree.nodeStore.emplace_back();
    node.bounds = bounds;
    node.centre = Point2{midpoint(bounds.minX, bounds.maxX), midpoint(bounds.minY, bounds.maxY)};
    node.owner = &tree;
    return node;
}

struct BuildContext {
    Quadtree& tree;
    std::vector<TriangleReach> reach;  // per triangle (offset / 3)
    std::vector<std::uint8_t> masks;   // child bits of the triangles of the node being split
};

// distributeTriangle with the triangle's reach known: lines and child centres
// beyond it are settled without arithmetic.
unsigned distributeWithReach(const TriangleReach& r, const Rect2& b, Point2 c, const Point2 childCentres[4],
                             Point2 v0, Point2 v1, Point2 v2) {
    const bool touchesLine = (c.x >= r.minX && c.x <= r.maxX) || (b.minX >= r.minX && b.minX <= r.maxX) ||
                             (b.maxX >= r.minX && b.maxX <= r.maxX) || (c.y >= r.minY && c.y <= r.maxY) ||
                             (b.minY >= r.minY && b.minY <= r.maxY) || (b.maxY >= r.minY && b.maxY <= r.maxY);
    bool reachesCentre = false;
    for (int i = 0; i < 4; ++i) {
        const Point2 p = childCentres[i];
        reachesCentre |= p.x >= r.minX && p.x <= r.maxX && p.y >= r.minY && p.y <= r.maxY;
    }
    if (!touchesLine && !reachesCentre) return 1u << quadrantOf(c, v0);
    return distributeTriangle(b, c, childCentres, v0, v1, v2);
}

void subdivideNode(BuildContext& ctx, QuadtreeNode& node, std::int32_t depth) {
    Quadtree& tree = ctx.tree;
    const Rect2 b = node.bounds;
    const Point2 c = node.centre;
    const Rect2 quadrant[4] = {
        {b.minX, b.minY, c.x, c.y},
        {c.x, b.minY, b.maxX, c.y},
        {b.minX, c.y, c.x, b.maxY},
        {c.x, c.y, b.maxX, b.maxY},
    };
    QuadtreeNode* children[4];
    Point2 childCentres[4];
    for (int i = 0; i < 4; ++i) {
        children[i] = &newNode(tree, quadrant[i]);
        childCentres[i] = children[i]->centre;
        node.children[i] = children[i];
    }

    const std::vector<Point2>& vertices = *tree.vertices;
    const std::vector<std::uint32_t>& indices = *tree.indices;
    const std::size_t count = node.offsetCount;
    ctx.masks.resize(count);
    std::size_t childCount[4] = {0, 0, 0, 0};
    for (std::size_t j = 0; j < count; ++j) {
        const TriangleOffset o = tree.offsetStore[node.firstOffset + j];
        const unsigned mask = distributeWithReach(ctx.reach[o / 3], b, c, childCentres, vertices[indices[o]],
                                                  vertices[indices[o + 1]], vertices[indices[o + 2]]);
        ctx.masks[j] = static_cast<std::uint8_t>(mask);
        for (int i = 0; i < 4; ++i) childCount[i] += (mask >> i) & 1u;
    }

    // Lay the children's lists out one after another behind everything stored so far.
    std::size_t next = tree.offsetStore.size();
    std::size_t cursor[4];
    for (int i = 0; i < 4; ++i) {
        children[i]->firstOffset = next;
        children[i]->offsetCount = childCount[i];
        cursor[i] = next;
        next += childCount[i];
    }
    tree.offsetStore.resize(next);
    for (std::size_t j = 0; j < count; ++j) {
        const TriangleOffset o = tree.offsetStore[node.firstOffset + j];
        const unsigned mask = ctx.masks[j];
        for (int i = 0; i < 4; ++i) {
            if (mask & (1u << i)) tree.offsetStore[cursor[i]++] = o;
        }
    }

    tree.regionList.push_back(&node);

    for (QuadtreeNode* child : children) {
        if (static_cast<std::uint32_t>(child->offsetCount) > tree.maxTrianglesPerRegion &&
            depth < tree.maxDepth) {
            subdivideNode(ctx, *child, depth + 1);
        }
    }
}

}  // namespace

unsigned distributeTriangle(const Rect2& b, Point2 c, const Point2 childCentres[4], Point2 v0, Point2 v1,
                            Point2 v2) {
    const double loX = std::min({v0.x, v1.x, v2.x});
    const double hiX = std::max({v0.x, v1.x, v2.x});
    const double loY = std::min({v0.y, v1.y, v2.y});
    const double hiY = std::max({v0.y, v1.y, v2.y});
    const bool nearX[3] = {lineNear(loX, hiX, c.x), lineNear(loX, hiX, b.minX), lineNear(loX, hiX, b.maxX)};
    const bool nearY[3] = {lineNear(loY, hiY, c.y), lineNear(loY, hiY, b.minY), lineNear(loY, hiY, b.maxY)};

    unsigned mask = 0;
    if (nearX[0] || nearX[1] || nearX[2] || nearY[0] || nearY[1] || nearY[2]) {
        mask |= edgeCrossings(b, c, v2, v0, nearX, nearY);
        mask |= edgeCrossings(b, c, v0, v1, nearX, nearY);
        mask |= edgeCrossings(b, c, v1, v2, nearX, nearY);
    }

    // A child lying wholly inside the triangle is crossed by no edge; it holds
    // the triangle when its centre does.
    if (mask != 0xFu) {
        const CoverTest cover(v0, v1, v2);
        // For a triangle that is not nearly flat, a point clearly outside its
        // bounding box cannot pass the test, rounding included, so it is skipped
        // without evaluating it. Flat triangles are always evaluated in full.
        const double size = (hiX - loX) + (hiY - loY);
        const bool robust = std::fabs(cover.d) >= kRobustArea * size * size;
        const double margin = 0x1p-20 * size;
        for (unsigned i = 0; i < 4; ++i) {
            if (mask & (1u << i)) continue;
            const Point2 p = childCentres[i];
            if (robust && (p.x < loX - margin || p.x > hiX + margin || p.y < loY - margin || p.y > hiY + margin)) {
                continue;
            }
            if (cover.covers(p)) mask |= 1u << i;
        }
    }
    if (mask == 0) mask = 1u << quadrantOf(c, v0);
    return mask;
}

void buildQuadtree(Quadtree& tree, const QuadtreeSettings& settings) {
    assert(tree.root == nullptr && tree.regionList.empty() && tree.nodeStore.empty());
    assert(settings.rootBounds && settings.vertices && settings.indices);
    tree.indices = settings.indices;
    tree.maxTrianglesPerRegion = settings.maxTrianglesPerRegion;
    tree.vertices = settings.vertices;
    tree.maxDepth = settings.maxDepth;

    const std::size_t triangleCount = tree.indices->size() / 3;
    QuadtreeNode& root = newNode(tree, *settings.rootBounds);
    // Each level below the root holds every triangle at least once; reserving
    // that much up front spares the copies of a growing store (pages that end
    // up unused are never touched).
    const std::size_t levels = static_cast<std::size_t>(std::clamp(tree.maxDepth, 1, 16)) + 1;
    tree.offsetStore.reserve(triangleCount * levels + triangleCount / 4);
    tree.offsetStore.resize(triangleCount);
    for (std::size_t t = 0; t < triangleCount; ++t) tree.offsetStore[t] = static_cast<TriangleOffset>(3 * t);
    root.firstOffset = 0;
    root.offsetCount = triangleCount;
    tree.root = &root;

    BuildContext ctx{tree, {}, {}};
    ctx.reach.resize(triangleCount);
    const std::vector<Point2>& v = *tree.vertices;
    const std::vector<std::uint32_t>& idx = *tree.indices;
    for (std::size_t t = 0; t < triangleCount; ++t) {
        ctx.reach[t] = triangleReach(v[idx[3 * t]], v[idx[3 * t + 1]], v[idx[3 * t + 2]]);
    }
    subdivideNode(ctx, root, 1);

    // The store no longer moves: hand every node its list.
    for (QuadtreeNode& node : tree.nodeStore) {
        node.triangles = std::span<const TriangleOffset>(tree.offsetStore.data() + node.firstOffset, node.offsetCount);
    }
}

void destroyQuadtree(Quadtree& tree) {
    tree.regionList.clear();
    tree.root = nullptr;
    std::deque<QuadtreeNode>().swap(tree.nodeStore);
    std::vector<TriangleOffset>().swap(tree.offsetStore);
}

const QuadtreeNode* locateRegion(const QuadtreeNode* root, Point2 point) {
    assert(root != nullptr);
    const QuadtreeNode* node = root;
    for (;;) {
        const QuadtreeNode* child = node->children[quadrantOf(node->centre, point)];
        if (child == nullptr) return node;
        node = child;
    }
}

bool pointInTriangle(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices,
                     TriangleOffset offset, Point2 p) {
    assert(static_cast<std::size_t>(offset) + 2 < indices.size());
    const Point2 v0 = vertices[indices[offset]];
    const Point2 v1 = vertices[indices[offset + 1]];
    const Point2 v2 = vertices[indices[offset + 2]];
    const float e1x = v1.x - v0.x, e1y = v1.y - v0.y;
    const float e2x = v2.x - v0.x, e2y = v2.y - v0.y;
    const float wx = p.x - v0.x, wy = p.y - v0.y;
    const float d = static_cast<float>(cross(e1x, e1y, e2x, e2y));
    const float cu = static_cast<float>(cross(wx, wy, e2x, e2y));
    const float cv = static_cast<float>(cross(e1x, e1y, wx, wy));
    const float u = cu / d;
    const float v = cv / d;
    return u > 0.0f && v > 0.0f && static_cast<double>(u) + static_cast<double>(v) < 1.0;
}
