// The heat map fills every leaf in the colour of its triangle count.
#include "orrelin/render/heat_map.h"

#include <gtest/gtest.h>

#include "orrelin/mesh/mesh_prep.h"
#include "test_util.h"

namespace {

Color3 fromBytes(int r, int g, int b) {
    return Color3{static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f, static_cast<float>(b) / 255.0f};
}

// A small triangle with its right angle at (x, y).
void addTriangle(std::vector<Point2>& v, std::vector<std::uint32_t>& i, float x, float y, float size) {
    const auto first = static_cast<std::uint32_t>(v.size());
    v.insert(v.end(), {{x, y}, {x + size, y}, {x, y + size}});
    i.insert(i.end(), {first, first + 1, first + 2});
}

}  // namespace

// Over (0, 0)-(4, 4) at depth 1: the lower-left leaf holds 9 triangles (the
// largest count), the lower-right 3, the upper-left none, the upper-right 1.
TEST(HeatMap, LeavesInTheColoursOfTheirCounts) {
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    addTriangle(v, i, 0, 0, 0.1f);
    for (int k = 1; k < 9; ++k) addTriangle(v, i, 0.2f * static_cast<float>(k), 0.5f, 0.1f);
    for (int k = 0; k < 3; ++k) addTriangle(v, i, 2.5f + 0.2f * static_cast<float>(k), 1, 0.1f);
    addTriangle(v, i, 3.9f, 3.9f, 0.1f);
    const Rect2 bounds = computeSceneBounds(v).bounds;
    QuadtreeSettings s;
    s.rootBounds = &bounds;
    s.vertices = &v;
    s.indices = &i;
    s.maxDepth = 1;
    Quadtree tree;
    ASSERT_TRUE(buildQuadtree(tree, s));

    const HeatMapContents heat = heatMapContents(tree);
    EXPECT_EQ(9u, heat.maxCount);
    ASSERT_EQ(24u, heat.vertices.size());
    // Children in order 0 to 3, each on the 10-stop scale from 0 to 9.
    const struct {
        Rect2 leaf;
        Color3 colour;
    } expected[] = {
        {{0, 0, 2, 2}, fromBytes(0xfd, 0xe7, 0x25)},  // 9: the top of the scale
        {{2, 0, 4, 2}, fromBytes(0x31, 0x68, 0x8e)},  // 3: the fourth stop
        {{0, 2, 2, 4}, fromBytes(0x44, 0x01, 0x54)},  // 0: the bottom
        {{2, 2, 4, 4}, fromBytes(0x48, 0x28, 0x78)},  // 1: the second stop
    };
    for (std::size_t k = 0; k < 4; ++k) {
        const ColoredVertex* corners = &heat.vertices[6 * k];
        const Rect2& r = expected[k].leaf;
        const Point2 positions[6] = {{r.minX, r.minY}, {r.minX, r.maxY}, {r.maxX, r.maxY},
                                     {r.minX, r.minY}, {r.maxX, r.maxY}, {r.maxX, r.minY}};
        for (std::size_t c = 0; c < 6; ++c) {
            EXPECT_EQ(positions[c].x, corners[c].x) << k << " " << c;
            EXPECT_EQ(positions[c].y, corners[c].y) << k << " " << c;
            EXPECT_FLOAT_BITS(expected[k].colour.r, corners[c].r) << k;
            EXPECT_FLOAT_BITS(expected[k].colour.g, corners[c].g) << k;
            EXPECT_FLOAT_BITS(expected[k].colour.b, corners[c].b) << k;
        }
        // Clockwise: filled under the window's polygon mode as well.
        EXPECT_FALSE(drawnAsOutline(corners));
        EXPECT_FALSE(drawnAsOutline(corners + 3));
    }
    destroyQuadtree(tree);

    // Between two stops: 1 of 2 lies halfway from the fifth stop to the sixth.
    const Color3 half = heatColor(1, 2);
    EXPECT_FLOAT_EQ((0x26 + 0x1f) / 2.0f / 255.0f, half.r);
    EXPECT_FLOAT_EQ((0x82 + 0x9e) / 2.0f / 255.0f, half.g);
    EXPECT_FLOAT_EQ((0x8e + 0x89) / 2.0f / 255.0f, half.b);
}
