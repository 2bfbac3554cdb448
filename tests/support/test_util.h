#pragma once
// Helpers shared by the tests.

#include <bit>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "orrelin/mesh/mesh_types.h"

inline std::uint32_t floatBits(float f) {
    return std::bit_cast<std::uint32_t>(f);
}

// Float equality to the bit (so -0 differs from 0).
#define EXPECT_FLOAT_BITS(expected, actual) EXPECT_EQ(floatBits(expected), floatBits(actual))

// Writes triangle-file text for the given mesh ("v x y" / "f a b c"), each
// coordinate printed with at most 8 characters.
std::string meshText(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices);

// A jittered grid of cols x rows cells (two triangles each) over [0, cols] x [0, rows],
// coordinates on a 1/64 grid so they print exactly.
void jitteredGrid(int cols, int rows, std::uint32_t seed, std::vector<Point2>& vertices,
                  std::vector<std::uint32_t>& indices);
