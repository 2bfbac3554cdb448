#include "orrelin/scene/svg_figure.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdio>
#include <iterator>

#include "orrelin/base/contract.h"
#include "orrelin/quadtree/quadtree.h"
#include "orrelin/render/buffer_contents.h"
#include "orrelin/render/heat_map.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/view/view_matrices.h"

namespace {

// The outline colour of the descent's regions: none of the picture's own.
constexpr Color3 kDescentColor{0.3f, 0.7f, 1.0f};

// Plane points to window pixels through the matrices the window holds, in
// double; SVG's y grows downward where the window's grows upward.
struct Projection {
    ViewMatrices m;
    int width;
    int height;

    void toPixel(double x, double y, double& px, double& py) const {
        const Matrix4d& v = m.modelView;
        const Matrix4d& p = m.projection;
        const double ex = v[0] * x + v[4] * y + v[12];
        const double ey = v[1] * x + v[5] * y + v[13];
        const double ez = v[2] * x + v[6] * y + v[14];
        const double ew = v[3] * x + v[7] * y + v[15];
        const double cx = p[0] * ex + p[4] * ey + p[8] * ez + p[12] * ew;
        const double cy = p[1] * ex + p[5] * ey + p[9] * ez + p[13] * ew;
        const double cw = p[3] * ex + p[7] * ey + p[11] * ez + p[15] * ew;
        px = (cx / cw + 1.0) * width / 2.0;
        py = height - (cy / cw + 1.0) * height / 2.0;
    }
};

// A colour as the window stores it: each channel rounded to 8 bits.
std::string rgb(float r, float g, float b) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<unsigned>(std::lround(r * 255.0f)),
                  static_cast<unsigned>(std::lround(g * 255.0f)), static_cast<unsigned>(std::lround(b * 255.0f)));
    return text;
}

// A pixel coordinate to a hundredth of a pixel, the same text on every build.
void appendCoordinate(std::string& out, double v) {
    fmt::format_to(std::back_inserter(out), "{:.2f}", v);
}

void appendXY(std::string& out, const Projection& view, double x, double y) {
    double px = 0, py = 0;
    view.toPixel(x, y, px, py);
    appendCoordinate(out, px);
    out += ',';
    appendCoordinate(out, py);
}

void appendLine(std::string& out, const Projection& view, const ColoredVertex& a, const ColoredVertex& b) {
    out += "<polyline points=\"";
    appendXY(out, view, a.x, a.y);
    out += ' ';
    appendXY(out, view, b.x, b.y);
    out += "\"/>\n";
}

// Filled, or outlined as the window's polygon mode draws a front face.
void appendTriangle(std::string& out, const Projection& view, const ColoredVertex* c) {
    const std::string colour = rgb(c[0].r, c[0].g, c[0].b);
    out += "<polygon points=\"";
    for (int k = 0; k < 3; ++k) {
        if (k) out += ' ';
        appendXY(out, view, c[k].x, c[k].y);
    }
    out += drawnAsOutline(c) ? "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"1\"/>\n"
                             : "\" fill=\"" + colour + "\"/>\n";
}

// The heat map's layer: every leaf's rectangle filled in its colour, no outline.
void appendHeatMapLayer(std::string& out, const Projection& view) {
    const HeatMapContents heat = heatMapContents(AppState.quadtree);
    out += "<g stroke=\"none\">\n";
    for (std::size_t k = 0; k + 5 < heat.vertices.size(); k += 6) {
        // The leaf's corners: lower left, upper left, upper right, lower right.
        const ColoredVertex* leaf = &heat.vertices[k];
        out += "<polygon points=\"";
        for (const ColoredVertex* corner : {&leaf[0], &leaf[1], &leaf[2], &leaf[5]}) {
            if (corner != leaf) out += ' ';
            appendXY(out, view, corner->x, corner->y);
        }
        out += "\" fill=\"" + rgb(leaf->r, leaf->g, leaf->b) + "\"/>\n";
    }
    out += "</g>\n";
}

}  // namespace

std::string sceneSvg(int width, int height, bool highlight, bool heatMap) {
    ORRELIN_REQUIRE(AppState.quadtree.root != nullptr && width > 0 && height > 0);
    const Projection view{
        viewMatrices(width, height, AppState.sceneExtent, framedEye(AppState.sceneCenter, AppState.sceneExtent)), width,
        height};
    std::string out;
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) + "\" height=\"" +
           std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) + " " + std::to_string(height) +
           "\" shape-rendering=\"crispEdges\">\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#000000\"/>\n";
    if (heatMap) appendHeatMapLayer(out, view);

    const Mesh& mesh = AppState.mesh;
    out += "<g fill=\"none\" stroke=\"" + rgb(kMeshColor.r, kMeshColor.g, kMeshColor.b) + "\" stroke-width=\"1\">\n";
    for (std::size_t k = 0; k + 1 < mesh.edges.size(); k += 2) {
        const Point2 a = mesh.vertices[mesh.edges[k]];
        const Point2 b = mesh.vertices[mesh.edges[k + 1]];
        appendLine(out, view, {a.x, a.y, 0, 0, 0}, {b.x, b.y, 0, 0, 0});
    }
    out += "</g>\n";

    if (highlight && AppState.highlightRegion != nullptr) {
        out += "<g fill=\"none\" stroke=\"" + rgb(kDescentColor.r, kDescentColor.g, kDescentColor.b) +
               "\" stroke-width=\"1\">\n";
        for (const DescentStep& step : descentPath(AppState.quadtree.root, AppState.queryPoint)) {
            const Rect2& r = step.region->bounds;
            out += "<polygon points=\"";
            appendXY(out, view, r.minX, r.minY);
            out += ' ';
            appendXY(out, view, r.maxX, r.minY);
            out += ' ';
            appendXY(out, view, r.maxX, r.maxY);
            out += ' ';
            appendXY(out, view, r.minX, r.maxY);
            out += "\"/>\n";
        }
        out += "</g>\n";
        const HighlightContents h =
            highlightContents(mesh.vertices, mesh.indices, AppState.highlightRegion->triangles, AppState.queryPoint);
        const std::size_t corners = h.vertices.size() - 1;
        for (std::size_t k = 0; k + 2 < corners; k += 3) appendTriangle(out, view, &h.vertices[k]);
        if (corners >= 3) appendTriangle(out, view, &h.vertices[static_cast<std::size_t>(h.foundTriangleFirst)]);
        const ColoredVertex& p = h.vertices.back();
        double px = 0, py = 0;
        view.toPixel(p.x, p.y, px, py);
        out += "<rect x=\"";
        appendCoordinate(out, px - 3.0);
        out += "\" y=\"";
        appendCoordinate(out, py - 3.0);
        out += "\" width=\"6\" height=\"6\" fill=\"" + rgb(p.r, p.g, p.b) + "\"/>\n";
    }

    const std::vector<ColoredVertex> lines = regionLineContents(AppState.quadtree.regionList);
    out += "<g fill=\"none\" stroke=\"" + rgb(kSplitLineColor.r, kSplitLineColor.g, kSplitLineColor.b) +
           "\" stroke-width=\"2\">\n";
    for (std::size_t k = 0; k + 1 < lines.size(); k += 2) appendLine(out, view, lines[k], lines[k + 1]);
    out += "</g>\n</svg>\n";
    return out;
}
