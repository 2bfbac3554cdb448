// The generator's text in memory: the count range, progress and cancelling.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "orrelin/mesh/tri_reader.h"
#include "orrelin/meshgen/meshgen.h"

TEST(MeshGenText, CountRangeProgressAndCancel) {
    std::string text;
    for (std::uint64_t count : {std::uint64_t{0}, kMaxTrianglesInMemory + 1}) {
        bool called = false;
        EXPECT_EQ(GenerateResult::CountOutOfRange,
                  generateMeshText(MeshKind::Grid, count, 1, text, [&](std::uint64_t, std::uint64_t) {
                      called = true;
                      return true;
                  }));
        EXPECT_FALSE(called);
    }
    // The largest count is taken; stopped at its first piece, nothing is left.
    EXPECT_EQ(GenerateResult::Cancelled, generateMeshText(MeshKind::Density, kMaxTrianglesInMemory, 1, text,
                                                          [](std::uint64_t, std::uint64_t) { return false; }));
    EXPECT_TRUE(text.empty());

    // Progress counts records (vertices and triangles) up to all of them.
    std::uint64_t lastDone = 0, lastTotal = 0, calls = 0;
    ASSERT_EQ(GenerateResult::Done,
              generateMeshText(MeshKind::Holes, 200000, 4, text, [&](std::uint64_t done, std::uint64_t total) {
                  EXPECT_GT(done, lastDone);
                  lastDone = done;
                  lastTotal = total;
                  ++calls;
                  return true;
              }));
    EXPECT_GT(calls, 1u);
    std::vector<Point2> vertices;
    std::vector<std::uint32_t> indices;
    parseTriangleData(text.data(), text.size(), vertices, indices);
    EXPECT_EQ(vertices.size() + indices.size() / 3, lastTotal);
    EXPECT_EQ(lastTotal, lastDone);
}
