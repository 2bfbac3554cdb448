#include "quadtree.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <thread>

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

// What the distribution needs of a triangle without going through the index
// and vertex arrays: its reach and its first corner (the fallback child).
struct TriangleData {
    TriangleReach reach;
    Point2 first;
};

QuadtreeNode& newNode(QuadtreeStore& store, const Quadtree& tree, const Rect2& bounds) {
    QuadtreeNode& node = store.nodes.emplace_back();
    node.bounds = bounds;
    node.centre = Point2{midpoint(bounds.minX, bounds.maxX), midpoint(bounds.minY, bounds.maxY)};
    node.owner = &tree;
    return node;
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

    bool fits(std::size_t bytes) const { return budget == 0 || used.load() + bytes <= budget; }
};

// distributeTriangle with the triangle's reach known: lines and child centres
// beyond it are settled without arithmetic.
unsigned distributeWithReach(const BuildInputs& in, TriangleOffset o, const Rect2& b, Point2 c,
                             const Point2 childCentres[4]) {
    const TriangleData& t = in.triangles[o / 3];
    const TriangleReach& r = t.reach;
    const bool touchesLine = (c.x >= r.minX && c.x <= r.maxX) || (b.minX >= r.minX && b.minX <= r.maxX) ||
                             (b.maxX >= r.minX && b.maxX <= r.maxX) || (c.y >= r.minY && c.y <= r.maxY) ||
                             (b.minY >= r.minY && b.minY <= r.maxY) || (b.maxY >= r.minY && b.maxY <= r.maxY);
    if (!touchesLine) {
        // Clear of the six lines, the reach lies within one quadrant of the
        // region (or wholly outside the region), and only that quadrant's
        // child centre can lie in it.
        const Point2 p = childCentres[quadrantOf(c, Point2{r.minX, r.minY})];
        const bool reachesCentre = p.x >= r.minX && p.x <= r.maxX && p.y >= r.minY && p.y <= r.maxY;
        if (!reachesCentre) return 1u << quadrantOf(c, t.first);
    }
    return distributeTriangle(b, c, childCentres, in.vertices[in.indices[o]], in.vertices[in.indices[o + 1]],
                              in.vertices[in.indices[o + 2]]);
}

// Builds one part of the tree into its own store: the node's children get
// their lists in `childStores[i]` (all the same store below the root), split
// nodes are listed in pre-order in `regions`.
struct PartBuilder {
    BuildInputs& in;
    std::vector<const QuadtreeNode*> regions;
    std::vector<std::uint8_t> masks;

    // Splits `node`, whose list is a run of `store`'s offsets, and the children
    // that must be split in turn.
    void split(QuadtreeNode& node, QuadtreeStore& store, QuadtreeStore* const childStores[4], std::int32_t depth) {
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
            children[i] = &newNode(*childStores[i], in.tree, quadrant[i]);
            childCentres[i] = children[i]->centre;
            node.children[i] = children[i];
        }

        const std::size_t count = node.offsetCount;
        in.charge(4 * sizeof(QuadtreeNode) + (count > masks.size() ? count - masks.size() : 0));
        masks.resize(std::max(masks.size(), count));
        std::size_t childCount[4] = {0, 0, 0, 0};
        for (std::size_t j = 0; j < count; ++j) {
            const TriangleOffset o = store.offsets[node.firstOffset + j];
            const unsigned mask = distributeWithReach(in, o, b, c, childCentres);
            masks[j] = static_cast<std::uint8_t>(mask);
            for (int i = 0; i < 4; ++i) childCount[i] += (mask >> i) & 1u;
        }

        in.charge((childCount[0] + childCount[1] + childCount[2] + childCount[3]) * sizeof(TriangleOffset));
        // Each child's list goes behind everything its store holds so far.
        std::size_t cursor[4];
        for (int i = 0; i < 4; ++i) {
            QuadtreeStore& target = *childStores[i];
            children[i]->firstOffset = target.offsets.size();
            children[i]->offsetCount = childCount[i];
            cursor[i] = target.offsets.size();
            target.offsets.resize(target.offsets.size() + childCount[i]);
        }
        for (std::size_t j = 0; j < count; ++j) {
            const TriangleOffset o = store.offsets[node.firstOffset + j];
            const unsigned mask = masks[j];
            for (int i = 0; i < 4; ++i) {
                if (mask & (1u << i)) childStores[i]->offsets[cursor[i]++] = o;
            }
        }
        regions.push_back(&node);
        if (depth == 1) return;  // the root's children are built as parts of their own
        for (int i = 0; i < 4; ++i) descend(*children[i], *childStores[i], depth + 1);
    }

    // Splits `node` if it holds too many triangles and lies above the depth limit.
    void descend(QuadtreeNode& node, QuadtreeStore& store, std::int32_t depth) {
        if (static_cast<std::uint32_t>(node.offsetCount) > in.tree.maxTrianglesPerRegion &&
            depth - 1 < in.tree.maxDepth) {
            QuadtreeStore* const same[4] = {&store, &store, &store, &store};
            split(node, store, same, depth);
        }
    }
};

// Runs `work(k)` for k in [0, count) on up to `threads` threads.
template <typename Work>
void runParallel(unsigned threads, std::size_t count, Work work) {
    if (threads <= 1 || count <= 1) {
        for (std::size_t k = 0; k < count; ++k) work(k);
        return;
    }
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto worker = [&] {
        try {
            for (std::size_t k = next++; k < count; k = next++) work(k);
        } catch (...) {
            const std::lock_guard<std::mutex> lock(failureLock);
            if (!failure) failure = std::current_exception();
            next = count;  // the others stop after their current piece
        }
    };
    std::vector<std::thread> pool;
    const std::size_t extra = std::min<std::size_t>(threads, count) - 1;
    pool.reserve(extra);
    for (std::size_t t = 0; t < extra; ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& thread : pool) thread.join();
    if (failure) std::rethrow_exception(failure);
}

unsigned threadsFor(unsigned requested) {
    if (requested != 0) return requested;
    const unsigned available = std::thread::hardware_concurrency();
    return available == 0 ? 1 : std::min(available, 8u);
}

}  // namespace

unsigned distributeTriangle(const Rect2& b, Point2 c, const Point2 childCentres[4], Point2 v0, Point2 v1, Point2 v2) {
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
    assert(to.root == nullptr && to.stores.empty());
    to.root = from.root;
    to.regionList = std::move(from.regionList);
    to.maxTrianglesPerRegion = from.maxTrianglesPerRegion;
    to.maxDepth = from.maxDepth;
    to.stores = std::move(from.stores);
    to.vertices = vertices;
    to.indices = indices;
    for (QuadtreeStore& store : to.stores) {
        for (QuadtreeNode& node : store.nodes) node.owner = &to;
    }
    from.root = nullptr;
    from.regionList.clear();
    from.stores.clear();
}

namespace {

void buildInto(Quadtree& tree, const QuadtreeSettings& settings, unsigned threads) {
    assert(tree.root == nullptr && tree.regionList.empty() && tree.stores.empty());
    assert(settings.rootBounds && settings.vertices && settings.indices);
    tree.indices = settings.indices;
    tree.maxTrianglesPerRegion = settings.maxTrianglesPerRegion;
    tree.vertices = settings.vertices;
    tree.maxDepth = settings.maxDepth;
    threads = threadsFor(threads);

    const std::size_t triangleCount = tree.indices->size() / 3;
    BuildInputs in{tree, *tree.vertices, *tree.indices, {}};
    in.budget = settings.memoryBudget;
    in.charge(triangleCount * (sizeof(TriangleData) + sizeof(TriangleOffset)));
    in.triangles.resize(triangleCount);
    const std::size_t chunk = 1 << 16;
    runParallel(threads, (triangleCount + chunk - 1) / chunk, [&](std::size_t k) {
        const std::size_t end = std::min(triangleCount, (k + 1) * chunk);
        for (std::size_t t = k * chunk; t < end; ++t) {
            const Point2 v0 = in.vertices[in.indices[3 * t]];
            in.triangles[t] = TriangleData{
                triangleReach(v0, in.vertices[in.indices[3 * t + 1]], in.vertices[in.indices[3 * t + 2]]), v0};
        }
    });

    // Store 0 holds the root and its list; stores 1 to 4 the subtrees of its children.
    tree.stores.resize(5);
    QuadtreeStore& rootStore = tree.stores[0];
    QuadtreeNode& root = newNode(rootStore, tree, *settings.rootBounds);
    rootStore.offsets.resize(triangleCount);
    for (std::size_t t = 0; t < triangleCount; ++t) rootStore.offsets[t] = static_cast<TriangleOffset>(3 * t);
    root.firstOffset = 0;
    root.offsetCount = triangleCount;
    tree.root = &root;

    PartBuilder top{in, {}, {}};
    QuadtreeStore* const childStores[4] = {&tree.stores[1], &tree.stores[2], &tree.stores[3], &tree.stores[4]};
    top.split(root, rootStore, childStores, 1);
    // Each level of a subtree holds its triangles at least once; reserving that
    // much up front spares the copies of growing stores (pages that end up
    // unused are never touched).
    const std::size_t levels = static_cast<std::size_t>(std::clamp(tree.maxDepth, 1, 16));
    for (int i = 1; i <= 4; ++i) {
        const std::size_t first = tree.stores[i].offsets.size();
        const std::size_t wanted = first * levels + first / 4;
        if (in.fits(4 * wanted * sizeof(TriangleOffset))) tree.stores[i].offsets.reserve(wanted);
    }

    // The children's subtrees are independent: build them side by side, each
    // into its own store, and join their region lists in pre-order.
    std::vector<PartBuilder> parts(4, PartBuilder{in, {}, {}});
    runParallel(threads, 4, [&](std::size_t i) { parts[i].descend(*root.children[i], tree.stores[i + 1], 2); });
    tree.regionList = std::move(top.regions);
    for (const PartBuilder& part : parts)
        tree.regionList.insert(tree.regionList.end(), part.regions.begin(), part.regions.end());

    // The stores no longer move: hand every node its list.
    for (QuadtreeStore& store : tree.stores) {
        for (QuadtreeNode& node : store.nodes) {
            node.triangles = std::span<const TriangleOffset>(store.offsets.data() + node.firstOffset, node.offsetCount);
        }
    }
    // The root's children live in the stores of their subtrees, their lists too.
    for (int i = 0; i < 4; ++i) {
        QuadtreeNode* child = root.children[i];
        child->triangles =
            std::span<const TriangleOffset>(tree.stores[i + 1].offsets.data() + child->firstOffset, child->offsetCount);
    }
}

}  // namespace

void destroyQuadtree(Quadtree& tree) {
    tree.regionList.clear();
    tree.root = nullptr;
    std::vector<QuadtreeStore>().swap(tree.stores);
}

std::size_t quadtreeNodeCount(const Quadtree& tree) {
    std::size_t count = 0;
    for (const QuadtreeStore& store : tree.stores) count += store.nodes.size();
    return count;
}

std::size_t quadtreeBytes(const Quadtree& tree) {
    std::size_t bytes = tree.regionList.capacity() * sizeof(const QuadtreeNode*);
    for (const QuadtreeStore& store : tree.stores) {
        bytes += store.offsets.capacity() * sizeof(TriangleOffset) + store.nodes.size() * sizeof(QuadtreeNode);
    }
    return bytes;
}

std::size_t quadtreeOffsetCount(const Quadtree& tree) {
    std::size_t count = 0;
    for (const QuadtreeStore& store : tree.stores) count += store.offsets.size();
    return count;
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
