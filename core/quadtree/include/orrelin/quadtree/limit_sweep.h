#pragma once
// What the two limits cost: the tree built over one mesh for a series of
// limits, with what each tree holds and how long it took to build.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "orrelin/quadtree/quadtree.h"

// Which limit a sweep varies; the other stays at the settings' value.
enum class SweepAxis {
    Depth,      // maximum depth 1 to 10
    Triangles,  // triangles per region 1, 2, 5, 10, 20, 50, ..., 10000
};

// The values a sweep takes, in order.
std::vector<std::uint32_t> sweepValues(SweepAxis axis);

// One tree of a sweep. When `fits` is false the tree with these limits
// exceeded the memory budget (or memory ran out) and the figures are 0.
struct SweepPoint {
    std::int32_t maxDepth = 0;
    std::uint32_t maxTrianglesPerRegion = 0;
    bool fits = false;
    double expectedTests = 0.0;  // QuadtreeStats::expectedTests; NaN for a root of zero area
    std::size_t storedReferences = 0;
    std::size_t splitRegions = 0;
    double buildMilliseconds = 0.0;  // wall-clock time of the build, the only figure that varies between runs
};

struct LimitSweep {
    std::vector<SweepPoint> points;  // the points done, in the order of sweepValues
    bool cancelled = false;
};

// Called after each point with the points done and in all; returning false
// stops the sweep before the next point.
using SweepProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Builds a tree with `settings` for each value of `axis` in turn, each within
// settings.memoryBudget and given up before the next is built; the figures
// come from quadtreeStats. The builds use up to `threads` threads (0: as many
// as the machine has). Requires: settings' references are set, as for
// buildQuadtree.
LimitSweep sweepLimits(const QuadtreeSettings& settings, SweepAxis axis, const SweepProgress& progress = {},
                       unsigned threads = 0);
