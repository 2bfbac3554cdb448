#include "orrelin/render/heat_map.h"

#include <algorithm>
#include <cstdint>

#include "orrelin/base/contract.h"

namespace {

constexpr Color3 fromBytes(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return Color3{r / 255.0f, g / 255.0f, b / 255.0f};
}

constexpr std::array<Color3, kHeatScaleStops> kStops{
    fromBytes(0x44, 0x01, 0x54), fromBytes(0x48, 0x28, 0x78), fromBytes(0x3e, 0x49, 0x89), fromBytes(0x31, 0x68, 0x8e),
    fromBytes(0x26, 0x82, 0x8e), fromBytes(0x1f, 0x9e, 0x89), fromBytes(0x35, 0xb7, 0x79), fromBytes(0x6e, 0xce, 0x58),
    fromBytes(0xb5, 0xde, 0x2b), fromBytes(0xfd, 0xe7, 0x25)};

float between(float a, float b, std::uint64_t part, std::uint64_t whole) {
    return static_cast<float>(static_cast<double>(a) + (static_cast<double>(b) - static_cast<double>(a)) *
                                                           static_cast<double>(part) / static_cast<double>(whole));
}

// Calls f(leaf) for every leaf in pre-order, without recursion.
template <typename F>
void forEachLeaf(const QuadtreeNode* root, F f) {
    std::vector<const QuadtreeNode*> stack{root};
    while (!stack.empty()) {
        const QuadtreeNode* node = stack.back();
        stack.pop_back();
        if (node->isLeaf()) {
            f(*node);
        } else {
            for (unsigned i = 4; i-- > 0;) stack.push_back(node->children[i]);
        }
    }
}

}  // namespace

const std::array<Color3, kHeatScaleStops>& heatScaleStops() {
    return kStops;
}

Color3 heatColor(std::size_t count, std::size_t maxCount) {
    ORRELIN_REQUIRE(count <= maxCount);
    if (maxCount == 0) return kStops[0];
    // The position on the scale in ninths of maxCount: stop `lower` and
    // `part` / maxCount of the way on to the next.
    // In 64 bits: nine times a count may exceed a 32-bit size_t.
    const std::uint64_t scaled = std::uint64_t{count} * (kHeatScaleStops - 1);
    const auto lower = static_cast<std::size_t>(scaled / maxCount);
    const std::uint64_t part = scaled % maxCount;
    if (part == 0) return kStops[lower];
    const Color3& a = kStops[lower];
    const Color3& b = kStops[lower + 1];
    return Color3{between(a.r, b.r, part, maxCount), between(a.g, b.g, part, maxCount),
                  between(a.b, b.b, part, maxCount)};
}

HeatMapContents heatMapContents(const Quadtree& tree) {
    ORRELIN_REQUIRE(tree.root != nullptr);
    HeatMapContents out;
    std::size_t leaves = 0;
    forEachLeaf(tree.root, [&](const QuadtreeNode& leaf) {
        out.maxCount = std::max(out.maxCount, leaf.triangles.size());
        ++leaves;
    });
    out.vertices.reserve(6 * leaves);
    forEachLeaf(tree.root, [&](const QuadtreeNode& leaf) {
        const Color3 c = heatColor(leaf.triangles.size(), out.maxCount);
        const Rect2& b = leaf.bounds;
        const ColoredVertex lowerLeft{b.minX, b.minY, c.r, c.g, c.b};
        const ColoredVertex upperLeft{b.minX, b.maxY, c.r, c.g, c.b};
        const ColoredVertex upperRight{b.maxX, b.maxY, c.r, c.g, c.b};
        const ColoredVertex lowerRight{b.maxX, b.minY, c.r, c.g, c.b};
        for (const ColoredVertex& v : {lowerLeft, upperLeft, upperRight, lowerLeft, upperRight, lowerRight}) {
            out.vertices.push_back(v);
        }
    });
    return out;
}
