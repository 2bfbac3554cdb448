#include "orrelin/render/buffer_contents.h"

namespace {

ColoredVertex colored(Point2 p, Color3 c) {
    return ColoredVertex{p.x, p.y, c.r, c.g, c.b};
}

}  // namespace

std::vector<ColoredVertex> meshVertexContents(const std::vector<Point2>& vertices) {
    std::vector<ColoredVertex> out;
    out.reserve(vertices.size());
    for (const Point2& v : vertices) out.push_back(colored(v, kMeshColor));
    return out;
}

std::vector<ColoredVertex> regionLineContents(const std::vector<const QuadtreeNode*>& regionList) {
    std::vector<ColoredVertex> out;
    out.reserve(4 * regionList.size());
    for (const QuadtreeNode* node : regionList) {
        const Rect2& b = node->bounds;
        const Point2 c = node->centre;
        out.push_back(colored({c.x, b.minY}, kSplitLineColor));
        out.push_back(colored({c.x, b.maxY}, kSplitLineColor));
        out.push_back(colored({b.minX, c.y}, kSplitLineColor));
        out.push_back(colored({b.maxX, c.y}, kSplitLineColor));
    }
    return out;
}

HighlightContents highlightContents(const std::vector<Point2>& vertices, const std::vector<std::uint32_t>& indices,
                                    std::span<const TriangleOffset> region, Point2 queryPoint) {
    HighlightContents out;
    out.vertices.reserve(3 * region.size() + 1);
    for (std::size_t k = 0; k < region.size(); ++k) {
        const TriangleOffset o = region[k];
        Color3 colour = kTestedColor;
        if (pointInTriangle(vertices, indices, o, queryPoint)) {
            colour = kFoundColor;
            out.foundTriangleFirst = static_cast<std::int32_t>(3 * k);
        }
        out.vertices.push_back(colored(vertices[indices[o]], colour));
        out.vertices.push_back(colored(vertices[indices[o + 1]], colour));
        out.vertices.push_back(colored(vertices[indices[o + 2]], colour));
    }
    out.vertices.push_back(colored(queryPoint, kPointColor));
    return out;
}

bool drawnAsOutline(const ColoredVertex* corners) {
    const double e1x = static_cast<double>(corners[1].x) - corners[0].x;
    const double e1y = static_cast<double>(corners[1].y) - corners[0].y;
    const double e2x = static_cast<double>(corners[2].x) - corners[0].x;
    const double e2y = static_cast<double>(corners[2].y) - corners[0].y;
    return e1x * e2y - e1y * e2x > 0.0;
}
