#include <gtest/gtest.h>

#include "tri_reader.h"

TEST(Reader, Square) {
    const std::string text = "v 0 0\nv 1 0\nv 0 1\nv 1 1\nf 0 1 2\nf 1 3 2\n";
    std::vector<Point2> v;
    std::vector<std::uint32_t> i;
    const auto flags = parseTriangleData(text.data(), text.size(), v, i);
    EXPECT_TRUE(validateFileMesh(v, i, flags));
    EXPECT_EQ(v.size(), 4u);
}
