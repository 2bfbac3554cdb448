#pragma once
// The .tri writer: a mesh as the text the reader reads back to the same
// vertices and indices, bit for bit.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "orrelin/mesh/mesh_types.h"

// The reader takes at most this many characters of a vertex coordinate.
inline constexpr std::size_t kCoordinateWidth = 8;

// A coordinate's text, at most kCoordinateWidth characters.
struct CoordinateText {
    char chars[kCoordinateWidth];
    std::size_t length = 0;
    bool exact = false;  // the text reads back to the same float
};

// The text of one coordinate. A finite float is written as the shortest
// decimal digits that read back to it, in plain notation with a leading "0"
// before the point of a fraction ("0.25", "-12.5", "1000"), when that fits
// the field; otherwise in the shortest form of any notation that reads back
// to it and fits ("1e-20", ".1234567", "-12e-15"). Every float the reader can
// produce has such a form, its own source text among them. A float that has
// none (one the reader cannot produce, such as 1/3, which needs nine
// significant digits) is written as the nearest value that fits the field,
// with `exact` false; an infinity as the largest-magnitude such value of its
// sign and a NaN as 0, also with `exact` false.
CoordinateText coordinateText(float value);

struct TriangleFileText {
    std::string text;
    std::size_t inexactCoordinates = 0;  // coordinates that do not read back to the same float
};

// Every vertex ("v X Y"), then every triangle ("f A B C", 0-based vertex
// indices), one record a line. Text that reads back to the same arrays when
// inexactCoordinates is 0, which it is for every mesh the reader loaded.
// Requires: indices.size() is a multiple of 3. May throw std::bad_alloc.
TriangleFileText triangleFileText(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices);
