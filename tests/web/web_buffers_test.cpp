// The page's WebGL buffers: split lines as 2-pixel quads, highlight
// triangles filled or outlined by their turn, the found one again, the point.
#include "orrelin/web/web_buffers.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ColoredVertex vertex(float x, float y, float g = 0.0f) {
    return ColoredVertex{x, y, 1.0f, g, 0.0f};
}

TEST(WebBuffers, LinesBecomeQuadsOfTheirWidthAcrossTheLine) {
    const std::vector<ColoredVertex> pairs{vertex(0, 0), vertex(10, 0), vertex(5, 5),
                                           vertex(5, 5), vertex(0, 0),  vertex(0, -4)};
    const std::vector<WebVertex> out = thickLines(pairs, 2.0f);
    ASSERT_EQ(12u, out.size());  // the line of no length gives nothing
    // Horizontal: offsets straight up and down by half the width.
    const float horizontal[6][4] = {{0, 0, 0, 1},  {0, 0, 0, -1}, {10, 0, 0, 1},
                                    {10, 0, 0, 1}, {0, 0, 0, -1}, {10, 0, 0, -1}};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(horizontal[k][0], out[k].x);
        EXPECT_EQ(horizontal[k][1], out[k].y);
        EXPECT_EQ(horizontal[k][2], out[k].offsetX);
        EXPECT_EQ(horizontal[k][3], out[k].offsetY);
        EXPECT_EQ(1.0f, out[k].r);
    }
    // Downward: offsets along x.
    EXPECT_EQ(1.0f, out[6].offsetX);
    EXPECT_EQ(0.0f, out[6].offsetY);
    EXPECT_EQ(-4.0f, out[8].y);
}

TEST(WebBuffers, ClockwiseTrianglesFilledOthersOutlinedFoundOneOnTopThenThePoint) {
    const std::vector<ColoredVertex> contents{vertex(0, 0),
                                              vertex(0, 1),
                                              vertex(1, 0),  // clockwise: filled
                                              vertex(0, 0),
                                              vertex(1, 0),
                                              vertex(0, 1),  // counter-clockwise: three 1-pixel lines
                                              vertex(2, 2, 0.8f),
                                              vertex(2, 3, 0.8f),
                                              vertex(3, 2, 0.8f),           // found, clockwise
                                              vertex(0.25f, 0.25f, 1.0f)};  // the point
    const std::vector<WebVertex> out = highlightTriangles(contents, 6);
    ASSERT_EQ(3u + 18u + 3u + 3u + 1u, out.size());
    EXPECT_EQ(0.0f, out[0].offsetX);
    EXPECT_EQ(1.0f, out[2].x);
    EXPECT_EQ(-0.5f, out[4].offsetY);  // the outline's first line, (0,0)-(1,0)
    EXPECT_EQ(2.0f, out[24].x);        // the found triangle again, after the others
    EXPECT_EQ(0.8f, out[26].g);
    EXPECT_EQ(0.25f, out.back().x);
    EXPECT_EQ(1.0f, out.back().g);

    // The triangle on top in the found colour holds the point: its edges are
    // also drawn as 3-pixel lines in the mark's colour, before the point.
    std::vector<ColoredVertex> holding = contents;
    for (std::size_t k = 6; k < 9; ++k) holding[k] = {holding[k].x, holding[k].y, 0.0f, 0.8f, 0.0f};
    const std::vector<WebVertex> marked = highlightTriangles(holding, 6);
    ASSERT_EQ(out.size() + 18u, marked.size());
    EXPECT_EQ(0.0f, marked[24].r);  // the found triangle, then its mark
    for (std::size_t k = 27; k < 45; ++k) {
        EXPECT_TRUE(marked[k].r == 1.0f && marked[k].g == 1.0f && marked[k].b == 1.0f) << k;
    }
    EXPECT_EQ(-1.5f, marked[27].offsetX);  // (2,2)-(2,3): half the width across it
    EXPECT_EQ(0.25f, marked.back().x);

    // Only the point: nothing is drawn again.
    const std::vector<ColoredVertex> point{vertex(1, 1)};
    EXPECT_EQ(1u, highlightTriangles(point, 0).size());
}

}  // namespace
