// The .tri writer reads back bit for bit, and the generator's text is what the
// writer writes of the mesh read from it.
#include "orrelin/mesh/tri_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "orrelin/mesh/tri_reader.h"
#include "orrelin/meshgen/meshgen.h"
#include "test_util.h"

namespace {

std::string text(const CoordinateText& c) {
    return std::string(c.chars, c.length);
}

// What the reader makes of one coordinate's text.
float readCoordinate(const std::string& field) {
    const std::string record = "v " + field + " 0\n";
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    parseTriangleData(record.data(), record.size(), v, i);
    return v.at(0).x;
}

}  // namespace

TEST(TriWriter, CoordinateForms) {
    const struct {
        const char* source;  // the field as a file holds it
        const char* written;
    } cases[] = {
        {"0", "0"},
        {"-0", "-0"},
        {"0.25", "0.25"},
        {".5", "0.5"},
        {"-12.50", "-12.5"},
        {"1000", "1000"},
        {"999.9999", "999.9999"},
        {"12345678", "12345678"},
        {"99999999", "1e8"},
        {"1e-20", "1e-20"},
        {"-1.5e-7", "-15e-8"},
        {"0.000123", "0.000123"},
        {".0000123", "123e-7"},
        {"1e-45", "1e-45"},
        {"3.4e38", "34e37"},
        {"-.123456", "-.123456"},
    };
    for (const auto& c : cases) {
        const float value = readCoordinate(c.source);
        const CoordinateText t = coordinateText(value);
        EXPECT_EQ(c.written, text(t)) << c.source;
        EXPECT_TRUE(t.exact) << c.source;
        EXPECT_FLOAT_BITS(value, readCoordinate(text(t))) << c.source;
    }
}

namespace {

// A random field the reader takes whole: an optional sign, digits with an
// optional point, and an optional exponent, at most 8 characters.
std::string randomField(std::mt19937& rng) {
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (;;) {
        std::string s;
        if (pick(3) == 0) s += '-';
        const int before = pick(9);
        const int after = pick(3) == 0 ? 0 : pick(8);
        if (before + after == 0) continue;
        for (int k = 0; k < before; ++k) s += static_cast<char>('0' + pick(10));
        if (after > 0 || pick(4) == 0) s += '.';
        for (int k = 0; k < after; ++k) s += static_cast<char>('0' + pick(10));
        if (pick(3) == 0) {
            // Down to the smallest subnormal; up to where 8 digits stay below the float range.
            s += 'e';
            const bool negative = pick(2) == 0;
            if (negative) s += '-';
            s += std::to_string(pick(negative ? 46 : 31));
        }
        if (s.size() <= kCoordinateWidth) return s;
    }
}

}  // namespace

// Whatever the reader can read, the writer writes back in 8 characters to the
// same bits; a whole mesh reads back to the same arrays.
TEST(TriWriter, EveryReadableCoordinateRoundTrips) {
    std::mt19937 rng(11);
    std::string source;
    for (int k = 0; k < 200000; ++k) {
        source += "v " + randomField(rng) + ' ' + randomField(rng) + '\n';
    }
    for (std::uint32_t k = 0; k + 2 < 200000; k += 7)
        source += "f " + std::to_string(k) + " 1 " + std::to_string(k + 2) + '\n';
    std::vector<Point2> vertices;
    std::vector<std::uint32_t> indices;
    const TriangleParseFlags flags = parseTriangleData(source.data(), source.size(), vertices, indices);
    ASSERT_FALSE(flags.nonFiniteCoordinate);  // no exponent reaches beyond the float range

    const TriangleFileText written = triangleFileText(vertices, indices);
    EXPECT_EQ(0u, written.inexactCoordinates);
    std::vector<Point2> readVertices;
    std::vector<std::uint32_t> readIndices;
    parseTriangleData(written.text.data(), written.text.size(), readVertices, readIndices);
    ASSERT_EQ(vertices.size(), readVertices.size());
    EXPECT_EQ(indices, readIndices);
    std::size_t mismatches = 0;
    for (std::size_t k = 0; k < vertices.size(); ++k) {
        mismatches += floatBits(vertices[k].x) != floatBits(readVertices[k].x);
        mismatches += floatBits(vertices[k].y) != floatBits(readVertices[k].y);
    }
    EXPECT_EQ(0u, mismatches);
}

// A float the reader cannot produce is written as the nearest value that fits,
// and counted.
TEST(TriWriter, FloatsWithoutAnEightCharacterForm) {
    const float third = 1.0f / 3.0f;
    const float infinity = std::numeric_limits<float>::infinity();
    const TriangleFileText written = triangleFileText(
        {{third, 0.5f}, {1, std::numeric_limits<float>::quiet_NaN()}, {-infinity, 0}}, {0, 1, 2});
    EXPECT_EQ(3u, written.inexactCoordinates);
    EXPECT_EQ("v .3333333 0.5\nv 1 0\nv -3402e35 0\nf 0 1 2\n", written.text);
}

// What the generator makes, read and written again, is the same text, byte
// for byte, for every kind.
TEST(MeshGenText, WrittenBackByteForByte) {
    for (MeshKind kind : {MeshKind::Grid, MeshKind::Density, MeshKind::Slivers, MeshKind::Holes}) {
        for (std::uint64_t count : {1u, 2u, 3u, 7u, 50u, 1001u}) {
            for (std::uint64_t seed : {0ull, 9ull, 18446744073709551615ull}) {
                std::string generated;
                ASSERT_EQ(GenerateResult::Done, generateMeshText(kind, count, seed, generated));
                std::vector<Point2> vertices;
                std::vector<std::uint32_t> indices;
                const TriangleParseFlags flags =
                    parseTriangleData(generated.data(), generated.size(), vertices, indices);
                ASSERT_TRUE(validateFileMesh(vertices, indices, flags));
                EXPECT_EQ(3 * count, indices.size());
                const TriangleFileText written = triangleFileText(vertices, indices);
                EXPECT_EQ(0u, written.inexactCoordinates);
                EXPECT_EQ(generated, written.text) << meshKindName(kind) << " " << count << " " << seed;
            }
        }
    }
}
