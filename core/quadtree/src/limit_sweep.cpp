#include "orrelin/quadtree/limit_sweep.h"

#include <chrono>
#include <new>

std::vector<std::uint32_t> sweepValues(SweepAxis axis) {
    if (axis == SweepAxis::Depth) return {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    // 1, 2 and 5 in every decade: even steps on a logarithmic axis.
    std::vector<std::uint32_t> values;
    for (std::uint32_t decade = 1; decade <= 10000; decade *= 10) {
        for (std::uint32_t step : {1u, 2u, 5u}) {
            if (step * decade <= 10000) values.push_back(step * decade);
        }
    }
    return values;
}

LimitSweep sweepLimits(const QuadtreeSettings& settings, SweepAxis axis, const SweepProgress& progress,
                       unsigned threads) {
    const std::vector<std::uint32_t> values = sweepValues(axis);
    LimitSweep sweep;
    sweep.points.reserve(values.size());
    for (const std::uint32_t value : values) {
        QuadtreeSettings limits = settings;
        if (axis == SweepAxis::Depth) {
            limits.maxDepth = static_cast<std::int32_t>(value);
        } else {
            limits.maxTrianglesPerRegion = value;
        }
        SweepPoint point;
        point.maxDepth = limits.maxDepth;
        point.maxTrianglesPerRegion = limits.maxTrianglesPerRegion;
        Quadtree tree;
        const auto start = std::chrono::steady_clock::now();
        point.fits = buildQuadtree(tree, limits, threads);
        const auto end = std::chrono::steady_clock::now();
        if (point.fits) {
            point.buildMilliseconds = std::chrono::duration<double, std::milli>(end - start).count();
            try {
                const QuadtreeStats stats = quadtreeStats(tree);
                point.expectedTests = stats.expectedTests;
                point.storedReferences = stats.storedReferences;
                point.splitRegions = stats.splitRegions;
            } catch (const std::bad_alloc&) {  // no room left to walk the tree
                point = SweepPoint{limits.maxDepth, limits.maxTrianglesPerRegion};
            }
            destroyQuadtree(tree);
        }
        sweep.points.push_back(point);
        if (progress && !progress(sweep.points.size(), values.size())) {
            sweep.cancelled = sweep.points.size() < values.size();
            break;
        }
    }
    return sweep;
}
