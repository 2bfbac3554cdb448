// Helpers shared by the tests.
#include "test_util.h"

#include <charconv>

std::string meshText(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices) {
    std::string out;
    char buf[32];
    for (const Point2& v : vertices) {
        out += "v ";
        out.append(buf, std::to_chars(buf, buf + sizeof buf, v.x).ptr);
        out += ' ';
        out.append(buf, std::to_chars(buf, buf + sizeof buf, v.y).ptr);
        out += '\n';
    }
    for (std::size_t i = 0; i + 2 < indices.size(); i += 3) {
        out += "f " + std::to_string(indices[i]) + ' ' + std::to_string(indices[i + 1]) + ' ' +
               std::to_string(indices[i + 2]) + '\n';
    }
    return out;
}

void jitteredGrid(int cols, int rows, std::uint32_t seed, std::vector<Point2>& vertices,
                  std::vector<std::uint32_t>& indices) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> jitter(-16, 16);  // up to a quarter cell
    vertices.clear();
    indices.clear();
    for (int y = 0; y <= rows; ++y) {
        for (int x = 0; x <= cols; ++x) {
            const bool border = x == 0 || y == 0 || x == cols || y == rows;
            const int jx = border ? 0 : jitter(rng);
            const int jy = border ? 0 : jitter(rng);
            vertices.push_back({static_cast<float>(x * 64 + jx) / 64.0f, static_cast<float>(y * 64 + jy) / 64.0f});
        }
    }
    const auto id = [cols](int x, int y) { return static_cast<std::uint32_t>(y * (cols + 1) + x); };
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            indices.insert(indices.end(), {id(x, y), id(x + 1, y), id(x + 1, y + 1)});
            indices.insert(indices.end(), {id(x, y), id(x + 1, y + 1), id(x, y + 1)});
        }
    }
}
