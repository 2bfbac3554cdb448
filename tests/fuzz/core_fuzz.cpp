// libFuzzer target for the whole core path a file takes: reader, validation,
// edge list, bounds, quadtree with limits taken from the input, and a few
// point locations. Nothing may crash or read out of bounds, and the tree must
// hold every triangle in some leaf or be abandoned whole.
//
// Input: byte 0 picks the depth (1 to 10), bytes 1-2 the triangles per region
// (1 to 10000); the rest is the .tri text, at most kMaxText bytes.
//
// What one input may cost is bounded, so that the fuzzer tries hundreds of
// inputs a second: the text's length (and with it the triangles), the tree's
// memory (a deep tree over long thin triangles stores each very often; past
// the budget the build is abandoned, which is fuzzed too) and four
// locations. Everything runs on one thread: the core tests compare one thread
// with several on large generated meshes, where that comparison belongs.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "orrelin/mesh/mesh_prep.h"
#include "orrelin/mesh/tri_reader.h"
#include "orrelin/quadtree/quadtree.h"

namespace {

constexpr std::size_t kMaxText = 4096;
constexpr std::size_t kTreeBudget = 64u << 10;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "core_fuzz: %s\n", what);
    std::abort();
}

// Every leaf's list names whole triangles; every triangle is in some leaf.
void checkLeaves(const QuadtreeNode* node, const std::vector<std::uint32_t>& indices, std::vector<bool>& seen) {
    if (node->isLeaf()) {
        for (TriangleOffset o : node->triangles) {
            if (o % 3 != 0 || static_cast<std::size_t>(o) + 2 >= indices.size()) fail("offset out of range");
            seen[o / 3] = true;
        }
        return;
    }
    for (unsigned c = 0; c < 4; ++c) checkLeaves(node->children[c], indices, seen);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3 || size - 3 > kMaxText) return 0;
    const std::int32_t depth = 1 + data[0] % 10;
    const std::uint32_t perRegion = 1 + (static_cast<std::uint32_t>(data[1]) << 8 | data[2]) % 10000;
    const char* text = reinterpret_cast<const char*>(data + 3);
    const std::size_t length = size - 3;

    std::vector<Point2> vertices;
    std::vector<std::uint32_t> indices;
    const TriangleParseFlags flags = parseTriangleData(text, length, vertices, indices);
    if (!validateFileMesh(vertices, indices, flags)) return 0;

    const std::vector<std::uint32_t> edges = buildEdgeList(indices, vertices.size());
    for (std::uint32_t e : edges) {
        if (e >= vertices.size()) fail("edge names a missing vertex");
    }
    if (edges.size() % 2 != 0) fail("odd edge list");
    const SceneMeasures measures = computeSceneBounds(vertices);

    QuadtreeSettings settings;
    settings.rootBounds = &measures.bounds;
    settings.vertices = &vertices;
    settings.indices = &indices;
    settings.maxDepth = depth;
    settings.maxTrianglesPerRegion = perRegion;
    settings.memoryBudget = kTreeBudget;
    Quadtree one;
    if (!buildQuadtree(one, settings, 1)) {
        if (one.root != nullptr || !one.stores.empty()) fail("abandoned build left a tree");
        return 0;
    }
    if (one.regionList.empty() || one.regionList.front() != one.root) fail("the root is not split first");

    std::vector<bool> seen(indices.size() / 3, false);
    checkLeaves(one.root, indices, seen);
    if (std::find(seen.begin(), seen.end(), false) != seen.end()) fail("a triangle is in no leaf");

    // Locate the corners and the centre; every located region is a leaf.
    const Point2 probes[] = {
        measures.centre, vertices.front(), vertices.back(), {measures.bounds.minX, measures.bounds.maxY}};
    for (const Point2& p : probes) {
        const QuadtreeNode* region = locateRegion(one.root, p);
        if (!region->isLeaf()) fail("located a split region");
        for (TriangleOffset o : region->triangles) (void)pointInTriangle(vertices, indices, o, p);
    }
    return 0;
}
