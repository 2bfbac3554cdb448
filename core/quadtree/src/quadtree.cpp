#include "orrelin/quadtree/quadtree.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <new>

#include "orrelin/base/contract.h"
#include "orrelin/base/parallel.h"
#include "orrelin/mesh/mesh_prep.h"

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

bool inParameterRange(double t) {
    return t > kTMin && t < kTMax;
}

// Where the edge that starts at `from` and moves by `delta` along one axis
// (`otherFrom`, `otherDelta` along the other) meets the line at `line`: false
// when the meeting's parameter lies outside the tolerance, else the other
// coordinate of the meeting point in `across`. Requires: delta != 0.
bool meetsLine(float line, double from, double delta, double otherFrom, double otherDelta, double& across) {
    const double t = (static_cast<double>(line) - from) / delta;
    if (!inParameterRange(t)) return false;
    across = otherFrom + t * otherDelta;
    return true;
}

// The children a meeting at `v` with a centre line reaches: the pair on the
// low side (`lowSide`) when v is not below `lo`, the pair on the high side
// when v is not above `hi`. The caller decides the side, so that a tie with
// the centre and a NaN go where each line's rule sends them.
unsigned centreCrossing(bool lowSide, double v, float lo, float hi, unsigned lowPair, unsigned highPair) {
    if (lowSide) return v >= lo ? lowPair : 0u;
    return v <= hi ? highPair : 0u;
}

// The child a meeting at `v` with a side line reaches: the low one for v in
// [lo, mid], else the high one for v in [mid, hi].
unsigned sideCrossing(double v, float lo, float mid, float hi, unsigned low, unsigned high) {
    if (lo <= v && v <= mid) return low;
    if (mid <= v && v <= hi) return high;
    return 0u;
}

// Tests one edge from p to q against the six lines of a region (see
// distributeTriangle) and adds the children it reaches to `mask`. `nearX[k]` /
// `nearY[k]` say whether vertical line k (cx, minX, maxX) or horizontal line k
// (cy, minY, maxY) can be crossed at all; a line that cannot gives the same
// answer as its full test, only sooner. The centre lines come first, as they
// add two children at once; the test stops once `mask` holds every child in
// `possible`, the children the triangle can reach at all.
void edgeCrossings(const Rect2& b, Point2 c, Point2 p, Point2 q, const bool nearX[3], const bool nearY[3],
                   unsigned& mask, unsigned possible) {
    const float dx = q.x - p.x;
    const float dy = q.y - p.y;
    const double px = p.x;
    const double py = p.y;
    const double ddx = dx;
    const double ddy = dy;
    double v = 0.0;
    if (dx != 0.0f && nearX[0] && meetsLine(c.x, px, ddx, py, ddy, v)) {  // a: x = cx
        mask |= centreCrossing(v < c.y, v, b.minY, b.maxY, kLowerLeft | kLowerRight, kUpperLeft | kUpperRight);
        if (mask == possible) return;
    }
    if (dy != 0.0f && nearY[0] && meetsLine(c.y, py, ddy, px, ddx, v)) {  // d: y = cy
        mask |= centreCrossing(!(v > c.x), v, b.minX, b.maxX, kLowerLeft | kUpperLeft, kLowerRight | kUpperRight);
        if (mask == possible) return;
    }
    if (dx != 0.0f) {
        if (nearX[1] && meetsLine(b.minX, px, ddx, py, ddy, v)) {  // b: x = minX
            mask |= sideCrossing(v, b.minY, c.y, b.maxY, kLowerLeft, kUpperLeft);
        }
        if (nearX[2] && meetsLine(b.maxX, px, ddx, py, ddy, v)) {  // c: x = maxX
            mask |= sideCrossing(v, b.minY, c.y, b.maxY, kLowerRight, kUpperRight);
        }
        if (mask == possible) return;
    }
    if (dy != 0.0f) {
        if (nearY[1] && meetsLine(b.minY, py, ddy, px, ddx, v)) {  // e: y = minY
            mask |= sideCrossing(v, b.minX, c.x, b.maxX, kLowerLeft, kLowerRight);
        }
        if (nearY[2] && meetsLine(b.maxY, py, ddy, px, ddx, v)) {  // f: y = maxY
            mask |= sideCrossing(v, b.minX, c.x, b.maxX, kUpperLeft, kUpperRight);
        }
    }
}

double cross(double ax, double ay, double bx, double by) {
    return ax * by - ay * bx;
}

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
    if (!(size < 1e38) || !(std::fabs(cover.d) >= kRobustArea * size * size))
        return TriangleReach{-inf, -inf, inf, inf};
    const double margin = 8e-6 * size;
    return TriangleReach{roundDown(loX - margin), roundDown(loY - margin), roundUp(hiX + margin),
                         roundUp(hiY + margin)};
}

// distributeTriangle for a triangle that reaches no child outside `possible`:
// the tests stop as soon as every child in it is hit.
unsigned distributeWithin(const Rect2& b, Point2 c, const Point2 childCentres[4], Point2 v0, Point2 v1, Point2 v2,
                          unsigned possible) {
    const double loX = std::min({v0.x, v1.x, v2.x});
    const double hiX = std::max({v0.x, v1.x, v2.x});
    const double loY = std::min({v0.y, v1.y, v2.y});
    const double hiY = std::max({v0.y, v1.y, v2.y});
    const bool nearX[3] = {lineNear(loX, hiX, c.x), lineNear(loX, hiX, b.minX), lineNear(loX, hiX, b.maxX)};
    const bool nearY[3] = {lineNear(loY, hiY, c.y), lineNear(loY, hiY, b.minY), lineNear(loY, hiY, b.maxY)};

    unsigned mask = 0;
    if (nearX[0] || nearX[1] || nearX[2] || nearY[0] || nearY[1] || nearY[2]) {
        edgeCrossings(b, c, v2, v0, nearX, nearY, mask, possible);
        if (mask != possible) edgeCrossings(b, c, v0, v1, nearX, nearY, mask, possible);
        if (mask != possible) edgeCrossings(b, c, v1, v2, nearX, nearY, mask, possible);
    }

    // A child lying wholly inside the triangle is crossed by no edge; it holds
    // the triangle when its centre does.
    if (mask != possible) {
        const CoverTest cover(v0, v1, v2);
        // For a triangle that is not nearly flat, a point clearly outside its
        // bounding box cannot pass the test, rounding included, so it is skipped
        // without evaluating it. Flat triangles are always evaluated in full.
        const double size = (hiX - loX) + (hiY - loY);
        const bool robust = std::fabs(cover.d) >= kRobustArea * size * size;
        const double margin = 0x1p-20 * size;
        for (unsigned i = 0; i < 4; ++i) {
            if (mask & (1u << i) || !(possible & (1u << i))) continue;
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

// What the distribution needs of a triangle without going through the index
// and vertex arrays: its reach and its first corner (the fallback child).
struct TriangleData {
    TriangleReach reach;
    Point2 first;
};

// Sets up a node of `tree` with `bounds` and its centre.
void initNode(QuadtreeNode& node, const Quadtree& tree, const Rect2& bounds) {
    node.bounds = bounds;
    node.centre = Point2{midpoint(bounds.minX, bounds.maxX), midpoint(bounds.minY, bounds.maxY)};
    node.owner = &tree;
}

// Sets up the four children of `node` in `first` (four nodes side by side)
// with the quadrants around the node's centre, and returns their centres.
void initChildren(QuadtreeNode& node, QuadtreeNode* first, const Quadtree& tree, Point2 childCentres[4]) {
    const Rect2 b = node.bounds;
    const Point2 c = node.centre;
    const Rect2 quadrant[4] = {
        {b.minX, b.minY, c.x, c.y},
        {c.x, b.minY, b.maxX, c.y},
        {b.minX, c.y, c.x, b.maxY},
        {c.x, c.y, b.maxX, b.maxY},
    };
    for (unsigned i = 0; i < 4; ++i) {
        initNode(first[i], tree, quadrant[i]);
        childCentres[i] = first[i].centre;
    }
    node.children.first = first;
}

// Thrown when a build would go beyond its memory budget.
struct BudgetExceeded {};

// The shared inputs of a build, and the bytes it has taken so far.
struct BuildInputs {
    const Quadtree& tree;
    const std::vector<Point2>& vertices;
    const std::vector<std::uint32_t>& indices;
    std::vector<TriangleData> triangles;  // per triangle (offset / 3)
    std::size_t budget = 0;               // 0: no limit
    std::atomic<std::size_t> used{0};
    std::atomic<bool> abandoned{false};  // another part ran out: stop

    // Accounts for `bytes` more; throws when that goes beyond the budget.
    void charge(std::size_t bytes) {
        if (abandoned.load(std::memory_order_relaxed)) throw BudgetExceeded{};
        if (budget == 0) return;
        if (used.fetch_add(bytes, std::memory_order_relaxed) + bytes > budget) {
            abandoned = true;
            throw BudgetExceeded{};
        }
    }
};

// distributeTriangle with the triangle's reach known: lines and child centres
// beyond it are settled without arithmetic.
unsigned distributeWithReach(const BuildInputs& in, TriangleOffset o, const Rect2& b, Point2 c,
                             const Point2 childCentres[4]) {
    const TriangleData& t = in.triangles[o / 3];
    const TriangleReach& r = t.reach;
    // Clear of a centre line, the reach lies on one side of it, and so do the
    // children the triangle can reach: crossings of the other lines there add
    // only children on that side, the centres of the children beyond lie
    // outside the triangle, and its first corner lies in the reach too. Clear
    // of both, that leaves one child, the whole answer.
    const bool touchesX = c.x >= r.minX && c.x <= r.maxX;
    const bool touchesY = c.y >= r.minY && c.y <= r.maxY;
    if (!touchesX && !touchesY) return 1u << quadrantOf(c, t.first);
    unsigned possible = 0xFu;
    if (!touchesX) possible &= r.minX > c.x ? kLowerRight | kUpperRight : kLowerLeft | kUpperLeft;
    if (!touchesY) possible &= r.minY > c.y ? kUpperLeft | kUpperRight : kLowerLeft | kLowerRight;
    return distributeWithin(b, c, childCentres, in.vertices[in.indices[o]], in.vertices[in.indices[o + 1]],
                            in.vertices[in.indices[o + 2]], possible);
}

// A growable array of offsets whose new elements are left uninitialised
// (they are written right after), with its growth charged to the build.
class OffsetStack {
   public:
    explicit OffsetStack(BuildInputs& in) : in_(in) {}
    // Appends n elements; returns the position of the first.
    std::size_t grow(std::size_t n) {
        const std::size_t first = size_;
        if (size_ + n > capacity_) {
            const std::size_t capacity = std::max(size_ + n, 2 * capacity_);
            in_.charge((capacity - capacity_) * sizeof(TriangleOffset));
            std::unique_ptr<TriangleOffset[]> data(new TriangleOffset[capacity]);
            std::copy(data_.get(), data_.get() + size_, data.get());
            data_ = std::move(data);
            capacity_ = capacity;
        }
        size_ += n;
        return first;
    }
    std::size_t size() const { return size_; }
    void shrink(std::size_t size) { size_ = size; }
    TriangleOffset* at(std::size_t k) { return data_.get() + k; }

   private:
    BuildInputs& in_;
    std::unique_ptr<TriangleOffset[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// A run of `count` offsets of `store`'s leaf lists, charged to the build.
TriangleOffset* takeLeafRun(BuildInputs& in, QuadtreeStore& store, std::size_t count) {
    in.charge(store.offsets.bytesToTake(count));
    return store.offsets.take(count);
}

// Builds one part of the tree into its own store. The lists of regions still
// to be split wait on a stack (`pending`) only until their children have
// theirs; leaves' lists go to the store, where they stay. Split nodes are
// listed in pre-order in `regions`.
struct PartBuilder {
    BuildInputs& in;
    QuadtreeStore& store;
    std::vector<const QuadtreeNode*> regions;
    std::vector<std::uint8_t> masks;
    OffsetStack pending;

    PartBuilder(BuildInputs& inputs, QuadtreeStore& target) : in(inputs), store(target), pending(inputs) {}

    // Whether a child at `depth` holding `count` triangles is split in turn.
    bool splitsAgain(std::size_t count, std::int32_t depth) const {
        return static_cast<std::uint32_t>(count) > in.tree.maxTrianglesPerRegion && depth - 1 < in.tree.maxDepth;
    }

    // Splits `node` at `depth`, whose list is pending[first, first + count),
    // and then the children that must be split in turn.
    void split(QuadtreeNode& node, std::size_t first, std::size_t count, std::int32_t depth) {
        in.charge(store.nodes.bytesToTake(4) + (count > masks.size() ? count - masks.size() : 0));
        QuadtreeNode* children = store.nodes.take(4);
        Point2 childCentres[4];
        initChildren(node, children, in.tree, childCentres);
        const Rect2 b = node.bounds;
        const Point2 c = node.centre;

        masks.resize(std::max(masks.size(), count));
        std::size_t childCount[4] = {0, 0, 0, 0};
        const TriangleOffset* list = pending.at(first);
        for (std::size_t j = 0; j < count; ++j) {
            const unsigned mask = distributeWithReach(in, list[j], b, c, childCentres);
            masks[j] = static_cast<std::uint8_t>(mask);
            for (int i = 0; i < 4; ++i) childCount[i] += (mask >> i) & 1u;
        }
        for (int i = 0; i < 4; ++i) children[i].heldTriangles = static_cast<std::uint32_t>(childCount[i]);

        // Children to be split get their lists on the stack, behind the
        // node's own; leaves get theirs in the store.
        const std::size_t base = pending.size();
        std::size_t childFirst[4];
        bool again[4];
        for (int i = 0; i < 4; ++i) {
            again[i] = splitsAgain(childCount[i], depth + 1);
            childFirst[i] = again[i] ? pending.grow(childCount[i]) : 0;
        }
        TriangleOffset* dest[4];
        for (int i = 0; i < 4; ++i) {
            dest[i] = again[i]             ? pending.at(childFirst[i])
                      : childCount[i] != 0 ? takeLeafRun(in, store, childCount[i])
                                           : nullptr;
            if (!again[i] && childCount[i] != 0)
                children[i].triangles = std::span<const TriangleOffset>(dest[i], childCount[i]);
        }
        list = pending.at(first);  // the stack may have moved
        for (std::size_t j = 0; j < count; ++j) {
            const TriangleOffset o = list[j];
            const unsigned mask = masks[j];
            for (int i = 0; i < 4; ++i) {
                if (mask & (1u << i)) *dest[i]++ = o;
            }
        }
        regions.push_back(&node);
        for (int i = 0; i < 4; ++i) {
            if (again[i]) split(children[i], childFirst[i], childCount[i], depth + 1);
        }
        pending.shrink(base);
    }
};

}  // namespace

unsigned distributeTriangle(const Rect2& b, Point2 c, const Point2 childCentres[4], Point2 v0, Point2 v1, Point2 v2) {
    return distributeWithin(b, c, childCentres, v0, v1, v2, 0xFu);
}

namespace {

void buildInto(Quadtree& tree, const QuadtreeSettings& settings, unsigned threads);

}  // namespace

bool buildQuadtree(Quadtree& tree, const QuadtreeSettings& settings, unsigned threads) {
    try {
        buildInto(tree, settings, threads);
        return true;
    } catch (const BudgetExceeded&) {
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    destroyQuadtree(tree);
    return false;
}

void moveQuadtree(Quadtree& to, Quadtree& from, const std::vector<Point2>* vertices,
                  const std::vector<std::uint32_t>* indices) {
    ORRELIN_REQUIRE(to.root == nullptr && to.stores.empty());
    to.root = from.root;
    to.regionList = std::move(from.regionList);
    to.maxTrianglesPerRegion = from.maxTrianglesPerRegion;
    to.maxDepth = from.maxDepth;
    to.stores = std::move(from.stores);
    to.vertices = vertices;
    to.indices = indices;
    for (QuadtreeStore& store : to.stores) store.nodes.forEach([&](QuadtreeNode& node) { node.owner = &to; });
    from.root = nullptr;
    from.regionList.clear();
    from.stores.clear();
}

namespace {

void buildInto(Quadtree& tree, const QuadtreeSettings& settings, unsigned threads) {
    ORRELIN_REQUIRE(tree.root == nullptr && tree.regionList.empty() && tree.stores.empty());
    ORRELIN_REQUIRE(settings.rootBounds && settings.vertices && settings.indices);
    tree.indices = settings.indices;
    tree.maxTrianglesPerRegion = settings.maxTrianglesPerRegion;
    tree.vertices = settings.vertices;
    tree.maxDepth = settings.maxDepth;
    threads = threadsFor(threads);

    const std::size_t triangleCount = tree.indices->size() / 3;
    BuildInputs in{tree, *tree.vertices, *tree.indices, {}};
    in.budget = settings.memoryBudget;
    // Per triangle: its data, and the root's distribution of it.
    in.charge(triangleCount * (sizeof(TriangleData) + 1));
    in.triangles.resize(triangleCount);
    const std::size_t chunk = 1 << 16;
    const std::size_t chunks = (triangleCount + chunk - 1) / chunk;
    runParallel(threads, chunks, [&](std::size_t k) {
        const std::size_t end = std::min(triangleCount, (k + 1) * chunk);
        for (std::size_t t = k * chunk; t < end; ++t) {
            const Point2 v0 = in.vertices[in.indices[3 * t]];
            in.triangles[t] = TriangleData{
                triangleReach(v0, in.vertices[in.indices[3 * t + 1]], in.vertices[in.indices[3 * t + 2]]), v0};
        }
    });

    // Store 0 holds the root and its four children; stores 1 to 4 the
    // subtrees of the children, each built by a part builder of its own.
    tree.stores.resize(5);
    QuadtreeStore& rootStore = tree.stores[0];
    in.charge(rootStore.nodes.bytesToTake(5));
    QuadtreeNode& root = *rootStore.nodes.take(1);
    initNode(root, tree, *settings.rootBounds);
    tree.root = &root;
    QuadtreeNode* children = rootStore.nodes.take(4);
    Point2 childCentres[4];
    initChildren(root, children, tree, childCentres);

    // The root holds every triangle (offsets 0, 3, 6, ...) and is always
    // split: its distribution runs in chunks side by side.
    std::vector<std::uint8_t> masks(triangleCount);
    std::vector<std::array<std::size_t, 4>> chunkCounts(chunks);
    runParallel(threads, chunks, [&](std::size_t k) {
        const std::size_t end = std::min(triangleCount, (k + 1) * chunk);
        std::array<std::size_t, 4> counts{0, 0, 0, 0};
        for (std::size_t t = k * chunk; t < end; ++t) {
            const unsigned mask =
                distributeWithReach(in, static_cast<TriangleOffset>(3 * t), root.bounds, root.centre, childCentres);
            masks[t] = static_cast<std::uint8_t>(mask);
            for (int i = 0; i < 4; ++i) counts[i] += (mask >> i) & 1u;
        }
        chunkCounts[k] = counts;
    });
    std::size_t childCount[4] = {0, 0, 0, 0};
    for (const auto& counts : chunkCounts) {
        for (int i = 0; i < 4; ++i) childCount[i] += counts[i];
    }
    root.heldTriangles = static_cast<std::uint32_t>(triangleCount);
    for (int i = 0; i < 4; ++i) children[i].heldTriangles = static_cast<std::uint32_t>(childCount[i]);
    std::vector<PartBuilder> parts;
    parts.reserve(4);
    for (int i = 0; i < 4; ++i) parts.emplace_back(in, tree.stores[i + 1]);
    bool again[4];
    TriangleOffset* dest[4];
    for (int i = 0; i < 4; ++i) {
        again[i] = parts[i].splitsAgain(childCount[i], 2);
        if (again[i]) {
            dest[i] = parts[i].pending.at(parts[i].pending.grow(childCount[i]));
        } else {
            dest[i] = childCount[i] != 0 ? takeLeafRun(in, rootStore, childCount[i]) : nullptr;
            if (childCount[i] != 0) children[i].triangles = std::span<const TriangleOffset>(dest[i], childCount[i]);
        }
    }
    runParallel(threads, 4, [&](std::size_t i) {
        TriangleOffset* out = dest[i];
        const unsigned bit = 1u << i;
        for (std::size_t t = 0; t < triangleCount; ++t) {
            if (masks[t] & bit) *out++ = static_cast<TriangleOffset>(3 * t);
        }
    });
    std::vector<std::uint8_t>().swap(masks);

    // The children's subtrees are independent: build them side by side, each
    // into its own store, and join their region lists in pre-order.
    runParallel(threads, 4, [&](std::size_t i) {
        if (again[i]) parts[i].split(children[i], 0, childCount[i], 2);
    });
    tree.regionList.push_back(&root);
    for (const PartBuilder& part : parts)
        tree.regionList.insert(tree.regionList.end(), part.regions.begin(), part.regions.end());
}

}  // namespace

void destroyQuadtree(Quadtree& tree) {
    tree.regionList.clear();
    tree.root = nullptr;
    std::vector<QuadtreeStore>().swap(tree.stores);
}

std::size_t quadtreeNodeCount(const Quadtree& tree) {
    std::size_t count = 0;
    for (const QuadtreeStore& store : tree.stores) count += store.nodes.count();
    return count;
}

std::size_t quadtreeBytes(const Quadtree& tree) {
    std::size_t bytes = tree.regionList.capacity() * sizeof(const QuadtreeNode*);
    for (const QuadtreeStore& store : tree.stores) bytes += store.offsets.bytes() + store.nodes.bytes();
    return bytes;
}

std::size_t quadtreeOffsetCount(const Quadtree& tree) {
    std::size_t count = 0;
    for (const QuadtreeStore& store : tree.stores) count += store.offsets.count();
    return count;
}

const QuadtreeNode* locateRegion(const QuadtreeNode* root, Point2 point) {
    ORRELIN_REQUIRE(root != nullptr);
    const QuadtreeNode* node = root;
    while (!node->isLeaf()) node = node->children.first + quadrantOf(node->centre, point);
    return node;
}

std::vector<DescentStep> descentPath(const QuadtreeNode* root, Point2 point) {
    ORRELIN_REQUIRE(root != nullptr);
    std::vector<DescentStep> path;
    for (const QuadtreeNode* node = root;;) {
        if (node->isLeaf()) {
            path.push_back({node, -1});
            return path;
        }
        const unsigned child = quadrantOf(node->centre, point);
        path.push_back({node, static_cast<int>(child)});
        node = node->children.first + child;
    }
}

namespace {

double rectArea(const Rect2& r) {
    return (static_cast<double>(r.maxX) - static_cast<double>(r.minX)) *
           (static_cast<double>(r.maxY) - static_cast<double>(r.minY));
}

}  // namespace

QuadtreeStats quadtreeStats(const Quadtree& tree) {
    ORRELIN_REQUIRE(tree.root != nullptr);
    QuadtreeStats stats;
    stats.splitRegions = tree.regionList.size();
    const double rootArea = rectArea(tree.root->bounds);
    // Pre-order, children 0 to 3, without recursion: a tree may be deep.
    std::vector<std::pair<const QuadtreeNode*, std::int32_t>> stack{{tree.root, 0}};
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        if (!node->isLeaf()) {
            stats.depthReached = std::max(stats.depthReached, depth + 1);
            for (unsigned i = 4; i-- > 0;) stack.emplace_back(node->children[i], depth + 1);
            continue;
        }
        const std::size_t count = node->triangles.size();
        ++stats.leaves;
        if (count == 0) ++stats.emptyLeaves;
        stats.storedReferences += count;
        stats.maxPerLeaf = std::max(stats.maxPerLeaf, count);
        stats.expectedTests += static_cast<double>(count) * (rectArea(node->bounds) / rootArea);
    }
    stats.meanPerLeaf = static_cast<double>(stats.storedReferences) / static_cast<double>(stats.leaves);
    if (!(rootArea > 0.0)) stats.expectedTests = std::numeric_limits<double>::quiet_NaN();
    return stats;
}

bool pointInTriangle(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices,
                     TriangleOffset offset, Point2 p) {
    ORRELIN_REQUIRE(static_cast<std::size_t>(offset) + 2 < indices.size());
    ORRELIN_REQUIRE(indices[offset] < vertices.size() && indices[offset + 1] < vertices.size() &&
                    indices[offset + 2] < vertices.size());
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
