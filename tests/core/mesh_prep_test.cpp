#include "orrelin/mesh/mesh_prep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <set>
#include <string>

#include "orrelin/base/contract.h"
#include "test_util.h"

namespace {

// The edge list the slow way: an ordered set of "%d_%d" text keys, both
// orientations looked up, the reverse key inserted.
std::vector<std::uint32_t> textKeyedEdges(const std::vector<std::uint32_t>& indices) {
    std::set<std::string> keys;
    std::vector<std::uint32_t> edges;
    auto key = [](std::uint32_t p, std::uint32_t q) {
        char buf[255];
        std::snprintf(buf, sizeof buf, "%d_%d", static_cast<int>(p), static_cast<int>(q));
        return std::string(buf);
    };
    for (std::size_t t = 0; t < indices.size(); t += 3) {
        const std::uint32_t i0 = indices[t], i1 = indices[t + 1], i2 = indices[t + 2];
        const std::uint32_t pairs[3][2] = {{i0, i1}, {i0, i2}, {i1, i2}};
        for (const auto& e : pairs) {
            if (keys.count(key(e[0], e[1])) || keys.count(key(e[1], e[0]))) continue;
            keys.insert(key(e[1], e[0]));
            edges.push_back(e[0]);
            edges.push_back(e[1]);
        }
    }
    return edges;
}

}  // namespace

TEST(EdgeList, FirstAppearanceOrderAndOrientation) {
    // The unit square: the shared edge 1-2 once.
    EXPECT_EQ(buildEdgeList({0, 1, 2, 1, 3, 2}, 4), (std::vector<std::uint32_t>{0, 1, 0, 2, 1, 2, 1, 3, 3, 2}));
    // Reversed shared edge is found; a fully reversed triangle adds nothing.
    EXPECT_EQ(buildEdgeList({0, 1, 2, 2, 1, 3}, 4), (std::vector<std::uint32_t>{0, 1, 0, 2, 1, 2, 2, 3, 1, 3}));
    EXPECT_EQ(buildEdgeList({0, 1, 2, 2, 1, 0}, 3), (std::vector<std::uint32_t>{0, 1, 0, 2, 1, 2}));
    // A vertex named twice pairs with itself; all three the same gives one edge.
    EXPECT_EQ(buildEdgeList({0, 0, 1}, 2), (std::vector<std::uint32_t>{0, 0, 0, 1}));
    EXPECT_EQ(buildEdgeList({0, 0, 0}, 1), (std::vector<std::uint32_t>{0, 0}));
}

TEST(EdgeList, MatchesTextKeyedSetOnRandomMeshes) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const std::uint32_t vertexCount = 1 + rng() % (round < 100 ? 6 : 300);
        const std::size_t triangles = 1 + rng() % 400;
        std::vector<std::uint32_t> indices;
        for (std::size_t t = 0; t < triangles; ++t) {
            const int kind = static_cast<int>(rng() % 4);
            if (kind == 0 && indices.size() >= 3) {
                // repeat an earlier triangle, reversed or rotated
                const std::size_t s = 3 * (rng() % (indices.size() / 3));
                const std::uint32_t a = indices[s], b = indices[s + 1], c = indices[s + 2];
                if (rng() % 2) {
                    indices.insert(indices.end(), {c, b, a});
                } else {
                    indices.insert(indices.end(), {b, c, a});
                }
            } else if (kind == 1) {
                const std::uint32_t a = rng() % vertexCount, b = rng() % vertexCount;
                indices.insert(indices.end(), {a, a, b});  // degenerate
            } else {
                indices.insert(indices.end(), {static_cast<std::uint32_t>(rng() % vertexCount),
                                               static_cast<std::uint32_t>(rng() % vertexCount),
                                               static_cast<std::uint32_t>(rng() % vertexCount)});
            }
        }
        const std::vector<std::uint32_t> expected = textKeyedEdges(indices);
        // Split among threads, each group's share from every run in order.
        for (const unsigned threads : {1u, 2u, 3u, 7u}) {
            ASSERT_EQ(buildEdgeList(indices, vertexCount, threads), expected)
                << "round " << round << ", " << threads << " threads";
        }
    }
}

TEST(EdgeList, HubVertexWithManyEdges) {
    // A fan around vertex 0 and a second fan reusing the same spokes reversed:
    // the large group around the hub takes the sorted path.
    std::vector<std::uint32_t> indices;
    for (std::uint32_t i = 1; i < 200; ++i) indices.insert(indices.end(), {0, i, i + 1});
    for (std::uint32_t i = 199; i >= 1; --i) indices.insert(indices.end(), {i + 1, 0, i});
    EXPECT_EQ(buildEdgeList(indices, 201), textKeyedEdges(indices));
    EXPECT_EQ(buildEdgeList(indices, 201, 3), textKeyedEdges(indices));
}

TEST(SceneBounds, ExactMeasures) {
    const SceneMeasures square = computeSceneBounds({{0, 0}, {1, 0}, {0, 1}, {1, 1}});
    EXPECT_FLOAT_BITS(0.0f, square.bounds.minX);
    EXPECT_FLOAT_BITS(1.0f, square.bounds.maxY);
    EXPECT_FLOAT_BITS(0.5f, square.centre.x);
    EXPECT_FLOAT_BITS(1.41421354f, square.extent);
    EXPECT_FLOAT_BITS(1.41421354f / 50.0f, square.moveStep);

    const SceneMeasures m = computeSceneBounds({{-2, -1}, {4, -1}, {4, 7}});
    EXPECT_FLOAT_BITS(-2.0f, m.bounds.minX);
    EXPECT_FLOAT_BITS(-1.0f, m.bounds.minY);
    EXPECT_FLOAT_BITS(4.0f, m.bounds.maxX);
    EXPECT_FLOAT_BITS(7.0f, m.bounds.maxY);
    EXPECT_FLOAT_BITS(1.0f, m.centre.x);
    EXPECT_FLOAT_BITS(3.0f, m.centre.y);
    EXPECT_FLOAT_BITS(10.0f, m.extent);
    EXPECT_FLOAT_BITS(0.2f, m.moveStep);

    const SceneMeasures camera = computeSceneBounds({{0, 0}, {300, 400}});
    EXPECT_FLOAT_BITS(500.0f, camera.extent);
    EXPECT_FLOAT_BITS(10.0f, camera.moveStep);
    EXPECT_FLOAT_BITS(150.0f, camera.centre.x);
    EXPECT_FLOAT_BITS(200.0f, camera.centre.y);
}

TEST(SceneBounds, EqualValuesKeepTheFirstAndSignsOfZero) {
    // -0 does not compare below 0: the first vertex's zero stays.
    const SceneMeasures m = computeSceneBounds({{0.0f, -0.0f}, {-0.0f, 0.0f}});
    EXPECT_FLOAT_BITS(0.0f, m.bounds.minX);
    EXPECT_FLOAT_BITS(0.0f, m.bounds.maxX);
    EXPECT_FLOAT_BITS(-0.0f, m.bounds.minY);
    EXPECT_FLOAT_BITS(-0.0f, m.bounds.maxY);
    EXPECT_FLOAT_BITS(0.0f, m.extent);
    EXPECT_FLOAT_BITS(0.0f, m.moveStep);
}

TEST(SceneBounds, FloatLimitsAndSinglePoints) {
    // Sums beyond the float range give an infinite extent and centre arithmetic in float.
    const SceneMeasures huge = computeSceneBounds({{-3e38f, 0}, {3e38f, 0}});
    EXPECT_TRUE(std::isinf(huge.extent));
    EXPECT_FLOAT_BITS(0.0f, huge.centre.x);
    const SceneMeasures over = computeSceneBounds({{3e38f, 0}, {3.4e38f, 0}});
    EXPECT_TRUE(std::isinf(over.centre.x));  // the sum overflows before it is halved
    // A vertex no triangle uses still widens the bounds; a single point has size 0.
    const SceneMeasures point = computeSceneBounds({{5, 5}});
    EXPECT_FLOAT_BITS(0.0f, point.extent);
    EXPECT_FLOAT_BITS(5.0f, point.centre.y);
}

// Every test build checks the functions' input contracts (the 32-bit Windows
// build too, where the edge list's own check once could not hold): a broken
// contract stops the program at the call instead of reading out of bounds.
static_assert(orrelin::kContractsChecked, "test builds check contracts");

#ifndef _WIN32
TEST(Contracts, ABrokenContractStopsAtTheCall) {
    EXPECT_DEATH(computeSceneBounds({}), "contract failed: !vertices.empty\\(\\)");
    const std::vector<std::uint32_t> outOfRange{0, 1, 7};
    EXPECT_DEATH(buildEdgeList(outOfRange, 3), "contract failed");
}
#endif
