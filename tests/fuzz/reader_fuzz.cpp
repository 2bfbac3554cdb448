// libFuzzer target for the .tri reader. No input may crash the parser or make
// it read outside its bytes; what it reads must be consistent with the letters
// of the input and with validateFileMesh; and the first few KiB of every input
// must read exactly as the slow reference reader of the unit tests reads them.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "orrelin/mesh/tri_reader.h"
#include "reader_reference.h"

namespace {

// Inputs up to this size are also read by the reference; longer ones only
// with this many leading bytes.
constexpr std::size_t kReferenceBytes = 4096;

[[noreturn]] void fail(const char* what, std::size_t at) {
    std::fprintf(stderr, "reader_fuzz: %s (position %zu)\n", what, at);
    std::abort();
}

void compareWithReference(const char* text, std::size_t size) {
    std::vector<Point2> vertices;
    std::vector<std::uint32_t> indices;
    const TriangleParseFlags flags = parseTriangleData(text, size, vertices, indices);
    const reader_reference::Result expected = reader_reference::read(std::string_view(text, size));

    if (flags.nonFiniteCoordinate != expected.flags.nonFiniteCoordinate) fail("nonFiniteCoordinate differs", 0);
    if (flags.indexOutOfRange != expected.flags.indexOutOfRange) fail("indexOutOfRange differs", 0);
    if (vertices.size() != expected.vertices.size()) fail("vertex count differs", 0);
    for (std::size_t k = 0; k < vertices.size(); ++k) {
        if (std::bit_cast<std::uint32_t>(vertices[k].x) != std::bit_cast<std::uint32_t>(expected.vertices[k].x) ||
            std::bit_cast<std::uint32_t>(vertices[k].y) != std::bit_cast<std::uint32_t>(expected.vertices[k].y)) {
            std::fprintf(stderr, "reader_fuzz: read (%a, %a), reference (%a, %a)\n", static_cast<double>(vertices[k].x),
                         static_cast<double>(vertices[k].y), static_cast<double>(expected.vertices[k].x),
                         static_cast<double>(expected.vertices[k].y));
            fail("vertex differs", k);
        }
    }
    if (indices.size() != expected.indices.size()) fail("index count differs", 0);
    for (std::size_t k = 0; k < indices.size(); ++k) {
        if (expected.indices[k].has_value() && indices[k] != *expected.indices[k]) {
            std::fprintf(stderr, "reader_fuzz: read %u, reference %u\n", indices[k], *expected.indices[k]);
            fail("index differs", k);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = size == 0 ? nullptr : reinterpret_cast<const char*>(data);
    std::vector<Point2> vertices;
    std::vector<std::uint32_t> indices;
    const TriangleParseFlags flags = parseTriangleData(text, size, vertices, indices);
    const bool valid = validateFileMesh(vertices, indices, flags);

    // No conversion consumes a 'v' or an 'f', so each of them starts exactly one record.
    const auto vCount = static_cast<std::size_t>(std::count(text, text + size, 'v'));
    const auto fCount = static_cast<std::size_t>(std::count(text, text + size, 'f'));
    if (vertices.size() != vCount) fail("vertex count is not the number of 'v'", vertices.size());
    if (indices.size() != 3 * fCount) fail("index count is not three per 'f'", indices.size());

    // Overflowing coordinates are stored as infinities and flagged; nothing is NaN.
    bool anyInfinite = false;
    for (std::size_t k = 0; k < vertices.size(); ++k) {
        if (std::isnan(vertices[k].x) || std::isnan(vertices[k].y)) fail("NaN coordinate", k);
        anyInfinite = anyInfinite || std::isinf(vertices[k].x) || std::isinf(vertices[k].y);
    }
    if (anyInfinite != flags.nonFiniteCoordinate) fail("nonFiniteCoordinate does not match the coordinates", 0);

    // A valid mesh is safe to use: every index names a vertex.
    if (valid) {
        if (vertices.empty() || indices.empty() || indices.size() % 3 != 0) fail("valid mesh of a bad shape", 0);
        if (flags.nonFiniteCoordinate || flags.indexOutOfRange) fail("valid mesh with a flag", 0);
        for (std::size_t k = 0; k < indices.size(); ++k) {
            if (indices[k] >= vertices.size()) fail("valid mesh with an index past the vertices", k);
        }
    }

    // Read in pieces side by side, the same arrays and flags.
    std::vector<Point2> pieceVertices;
    std::vector<std::uint32_t> pieceIndices;
    const TriangleParseFlags pieceFlags =
        parseTriangleDataInPieces(text, size, pieceVertices, pieceIndices, 2 + size % 9, 2);
    if (pieceVertices.size() != vertices.size() ||
        (!vertices.empty() &&
         std::memcmp(pieceVertices.data(), vertices.data(), vertices.size() * sizeof vertices[0]) != 0)) {
        fail("vertices read in pieces differ", 0);
    }
    if (pieceIndices != indices) fail("indices read in pieces differ", 0);
    if (pieceFlags.nonFiniteCoordinate != flags.nonFiniteCoordinate ||
        pieceFlags.indexOutOfRange != flags.indexOutOfRange || pieceFlags.firstNonFiniteAt != flags.firstNonFiniteAt ||
        pieceFlags.firstOutOfRangeIndexAt != flags.firstOutOfRangeIndexAt)
        fail("flags read in pieces differ", 0);

    // A reason exactly for what validation refuses, with a line in the file.
    const MeshRefusal refusal = refuseFileMesh(text, size, vertices, indices, flags);
    if (valid != (refusal.fault == MeshFault::None)) fail("a reason does not match the validation", 0);
    if (refusal.line > 1 + static_cast<std::size_t>(std::count(text, text + size, '\n'))) fail("line past the end", 0);

    compareWithReference(text, std::min(size, kReferenceBytes));
    return 0;
}
