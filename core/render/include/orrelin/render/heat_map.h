#pragma once
// The heat map: every leaf of the tree filled by its triangle count on a
// sequential scale that colour-blind readers can tell apart, with its legend.

#include <array>
#include <cstddef>
#include <vector>

#include "orrelin/quadtree/quadtree.h"
#include "orrelin/render/buffer_contents.h"

// The scale: ten colours evenly spaced from count 0 to the largest count,
// dark blue-violet through green to yellow, each channel 8 bits (viridis
// sampled at 0, 1/9, ..., 1). Their lightness rises steadily, so the order
// reads the same in grey or with any common colour-vision deficiency.
inline constexpr std::size_t kHeatScaleStops = 10;
const std::array<Color3, kHeatScaleStops>& heatScaleStops();

// The colour of `count` on the scale from 0 to `maxCount`: linear between
// the two stops around count * 9 / maxCount (in double, then rounded to
// float). The first stop when maxCount is 0.
// Requires: count <= maxCount.
Color3 heatColor(std::size_t count, std::size_t maxCount);

struct HeatMapContents {
    // Six vertices per leaf, in pre-order (children 0 to 3): its rectangle as
    // the triangles (minX, minY) (minX, maxY) (maxX, maxY) and (minX, minY)
    // (maxX, maxY) (maxX, minY), clockwise in the plane so that the window's
    // polygon mode fills them too, in the colour of the leaf's triangle count.
    std::vector<ColoredVertex> vertices;
    // The legend: the scale's stops run from 0 to this count.
    std::size_t maxCount = 0;
};

// Contract: the tree is built (root not null). May throw std::bad_alloc.
HeatMapContents heatMapContents(const Quadtree& tree);
