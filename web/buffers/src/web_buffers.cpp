#include "orrelin/web/web_buffers.h"

#include <cmath>

#include "orrelin/base/contract.h"

namespace {

WebVertex at(const ColoredVertex& v, float offsetX = 0.0f, float offsetY = 0.0f) {
    return WebVertex{v.x, v.y, v.r, v.g, v.b, offsetX, offsetY};
}

// One line as two triangles; nothing for a line of no length.
void appendLine(std::vector<WebVertex>& out, const ColoredVertex& a, const ColoredVertex& b, float width) {
    const double dx = static_cast<double>(b.x) - a.x;
    const double dy = static_cast<double>(b.y) - a.y;
    const double length = std::hypot(dx, dy);
    if (!(length > 0.0) || !std::isfinite(length)) return;
    // The view is a uniform scale of the plane: a direction in the plane is
    // the same direction in window pixels.
    const auto nx = static_cast<float>(-dy / length * width * 0.5);
    const auto ny = static_cast<float>(dx / length * width * 0.5);
    const WebVertex a1 = at(a, nx, ny), a2 = at(a, -nx, -ny);
    const WebVertex b1 = at(b, nx, ny), b2 = at(b, -nx, -ny);
    out.insert(out.end(), {a1, a2, b1, b1, a2, b2});
}

// A triangle as the desktop shows it: filled, or its 1-pixel outline.
void appendTriangle(std::vector<WebVertex>& out, const ColoredVertex* corners) {
    if (drawnAsOutline(corners)) {
        appendLine(out, corners[0], corners[1], 1.0f);
        appendLine(out, corners[1], corners[2], 1.0f);
        appendLine(out, corners[2], corners[0], 1.0f);
    } else {
        out.insert(out.end(), {at(corners[0]), at(corners[1]), at(corners[2])});
    }
}

bool inFoundColor(const ColoredVertex& v) {
    return v.r == kFoundColor.r && v.g == kFoundColor.g && v.b == kFoundColor.b;
}

// The found triangle's mark: its edges as lines of the mark's width and colour.
void appendFoundMark(std::vector<WebVertex>& out, const ColoredVertex* corners) {
    ColoredVertex c[3];
    for (int k = 0; k < 3; ++k)
        c[k] = {corners[k].x, corners[k].y, kFoundMarkColor.r, kFoundMarkColor.g, kFoundMarkColor.b};
    appendLine(out, c[0], c[1], kFoundMarkWidth);
    appendLine(out, c[1], c[2], kFoundMarkWidth);
    appendLine(out, c[2], c[0], kFoundMarkWidth);
}

}  // namespace

std::vector<WebVertex> thickLines(std::span<const ColoredVertex> pairs, float width) {
    ORRELIN_REQUIRE(pairs.size() % 2 == 0);
    std::vector<WebVertex> out;
    out.reserve(pairs.size() * 3);
    for (std::size_t k = 0; k + 1 < pairs.size(); k += 2) appendLine(out, pairs[k], pairs[k + 1], width);
    return out;
}

std::vector<WebVertex> highlightTriangles(std::span<const ColoredVertex> contents, std::int32_t foundTriangleFirst) {
    ORRELIN_REQUIRE(contents.size() % 3 == 1);
    const std::size_t triangleVertices = contents.size() - 1;
    ORRELIN_REQUIRE(foundTriangleFirst >= 0 && foundTriangleFirst % 3 == 0 &&
                    (static_cast<std::size_t>(foundTriangleFirst) < triangleVertices || foundTriangleFirst == 0));
    std::vector<WebVertex> out;
    out.reserve(triangleVertices * 2 + 1);
    for (std::size_t k = 0; k < triangleVertices; k += 3) appendTriangle(out, &contents[k]);
    if (triangleVertices >= 3) {
        const ColoredVertex* found = &contents[static_cast<std::size_t>(foundTriangleFirst)];
        appendTriangle(out, found);
        if (inFoundColor(found[0])) appendFoundMark(out, found);
    }
    out.push_back(at(contents.back()));
    return out;
}
