#include "orrelin/scene/svg_figure.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "orrelin/base/contract.h"
#include "orrelin/quadtree/quadtree.h"
#include "orrelin/render/buffer_contents.h"
#include "orrelin/render/heat_map.h"
#include "orrelin/scene/app_state.h"
#include "orrelin/view/view_matrices.h"

namespace {

// Room around the window for the widest stroke: what lies beyond it is left
// out of the figure, and lines and shapes that reach beyond it are cut there.
constexpr double kMargin = 16.0;

// A point in window pixels, y downward.
struct Pixel {
    double x = 0.0;
    double y = 0.0;
};

// A point as written: whole hundredths of a pixel.
struct Hundredths {
    std::int64_t x = 0;
    std::int64_t y = 0;
    bool operator==(const Hundredths&) const = default;
};

// Plane points to window pixels through the matrices the window holds, in
// double; SVG's y grows downward where the window's grows upward.
struct Projection {
    ViewMatrices m;
    int width;
    int height;

    Pixel toPixel(double x, double y) const {
        const Matrix4d& v = m.modelView;
        const Matrix4d& p = m.projection;
        const double ex = v[0] * x + v[4] * y + v[12];
        const double ey = v[1] * x + v[5] * y + v[13];
        const double ez = v[2] * x + v[6] * y + v[14];
        const double ew = v[3] * x + v[7] * y + v[15];
        const double cx = p[0] * ex + p[4] * ey + p[8] * ez + p[12] * ew;
        const double cy = p[1] * ex + p[5] * ey + p[9] * ez + p[13] * ew;
        const double cw = p[3] * ex + p[7] * ey + p[11] * ez + p[15] * ew;
        return {(cx / cw + 1.0) * width / 2.0, height - (cy / cw + 1.0) * height / 2.0};
    }
};

// The window with its margin. Sides: 0 left, 1 right, 2 top, 3 bottom.
struct Box {
    double bound[4];

    static double along(Pixel p, int side) { return side < 2 ? p.x : p.y; }
    bool inside(Pixel p, int side) const {
        return side % 2 == 0 ? along(p, side) >= bound[side] : along(p, side) <= bound[side];
    }
    // One bit for each side `p` lies beyond; NaN lies beyond every side.
    unsigned beyond(Pixel p) const {
        unsigned code = 0;
        for (int side = 0; side < 4; ++side) code |= inside(p, side) ? 0u : 1u << side;
        return code;
    }
    // Where the line from `in` to `out` crosses side `side`.
    Pixel crossing(Pixel in, Pixel out, int side) const {
        const double t = (bound[side] - along(in, side)) / (along(out, side) - along(in, side));
        return side < 2 ? Pixel{bound[side], in.y + t * (out.y - in.y)} : Pixel{in.x + t * (out.x - in.x), bound[side]};
    }
};

bool finite(Pixel p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

// The part of the line from a to b inside the box; false when none is.
bool clipSegment(Pixel& a, Pixel& b, const Box& box) {
    if (!finite(a) || !finite(b) || (box.beyond(a) & box.beyond(b)) != 0) return false;
    for (int side = 0; side < 4; ++side) {
        const bool aIn = box.inside(a, side);
        const bool bIn = box.inside(b, side);
        if (!aIn && !bIn) return false;
        if (!aIn) a = box.crossing(b, a, side);
        if (!bIn) b = box.crossing(a, b, side);
    }
    return true;
}

// The part of a polygon inside the box, side after side.
std::vector<Pixel> clipPolygon(std::vector<Pixel> polygon, const Box& box) {
    std::vector<Pixel> kept;
    for (int side = 0; side < 4 && !polygon.empty(); ++side) {
        kept.clear();
        for (std::size_t k = 0; k < polygon.size(); ++k) {
            const Pixel before = polygon[(k + polygon.size() - 1) % polygon.size()];
            const Pixel p = polygon[k];
            if (box.inside(p, side) != box.inside(before, side)) {
                kept.push_back(box.inside(p, side) ? box.crossing(p, before, side) : box.crossing(before, p, side));
            }
            if (box.inside(p, side)) kept.push_back(p);
        }
        polygon.swap(kept);
    }
    return polygon;
}

// A pixel coordinate to a hundredth of a pixel, rounded as "{:.2f}" prints
// it, the same on every build. Requires: |v| well within 10^15.
std::int64_t hundredthsOf(double v) {
    char text[32];
    const char* const end = fmt::format_to_n(text, sizeof text, "{:.2f}", v).out;
    std::int64_t value = 0;
    for (const char* c = text; c != end; ++c) {
        if (*c >= '0' && *c <= '9') value = value * 10 + (*c - '0');
    }
    return text[0] == '-' ? -value : value;
}

Hundredths hundredthsOf(Pixel p) {
    return {hundredthsOf(p.x), hundredthsOf(p.y)};
}

// Appends "-12.05", ".5", "0": a count of hundredths as a number.
void appendHundredths(std::string& out, std::int64_t v) {
    if (v < 0) out += '-';
    const std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    const unsigned fraction = static_cast<unsigned>(magnitude % 100);
    if (magnitude >= 100 || fraction == 0) fmt::format_to(std::back_inserter(out), "{}", magnitude / 100);
    if (fraction != 0) {
        out += '.';
        out += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) out += static_cast<char>('0' + fraction % 10);
    }
}

// Path data in relative commands whose numbers are whole hundredths of a
// pixel apart, so that no rounding adds up along a path: every point lands
// where its own rounding puts it.
class PathData {
   public:
    explicit PathData(std::string& out) : out_(&out) {}

    void moveTo(Hundredths p) {
        command('m');
        step(p);
        start_ = p;
    }
    // A line that ends where it starts draws nothing and is left out.
    void lineTo(Hundredths p) {
        if (p == current_) return;
        if (last_ != 'l') command('l');
        step(p);
    }
    void close() {
        command('z');
        current_ = start_;
    }
    // A line on its own; one that ends where it starts is left out.
    void segment(Hundredths a, Hundredths b) {
        if (a == b) return;
        moveTo(a);
        lineTo(b);
    }

   private:
    void command(char c) {
        *out_ += c;
        last_ = c;
        numbers_ = 0;
    }
    void number(std::int64_t v) {
        if (numbers_++ > 0 && v >= 0) *out_ += ' ';  // a minus sign separates by itself
        appendHundredths(*out_, v);
    }
    void step(Hundredths p) {
        number(p.x - current_.x);
        number(p.y - current_.y);
        current_ = p;
    }

    std::string* out_;
    Hundredths current_;  // a path begins at 0,0: its first "m" is absolute
    Hundredths start_;
    char last_ = 0;
    int numbers_ = 0;
};

// What the layers are drawn into: the projection and the box kept.
struct Canvas {
    Projection projection;
    Box box;

    Pixel pixel(double x, double y) const { return projection.toPixel(x, y); }
};

void appendPath(std::string& out, const std::string& attributes, const std::string& data) {
    if (data.empty()) return;
    out += "<path " + attributes + " d=\"";
    out += data;
    out += "\"/>\n";
}

// A line between two pixels, cut at the box; nothing when it lies outside.
void appendSegment(PathData& path, const Box& box, Pixel a, Pixel b) {
    if (clipSegment(a, b, box)) path.segment(hundredthsOf(a), hundredthsOf(b));
}

// A closed polygon, cut at the box; nothing when it lies outside.
void appendPolygon(PathData& path, const Box& box, std::vector<Pixel> corners) {
    unsigned everywhere = 15;
    unsigned anywhere = 0;
    for (const Pixel& p : corners) {
        if (!finite(p)) return;
        everywhere &= box.beyond(p);
        anywhere |= box.beyond(p);
    }
    if (everywhere != 0) return;
    if (anywhere != 0) corners = clipPolygon(std::move(corners), box);
    if (corners.size() < 3) return;
    path.moveTo(hundredthsOf(corners[0]));
    for (std::size_t k = 1; k < corners.size(); ++k) path.lineTo(hundredthsOf(corners[k]));
    path.close();
}

// A colour as the window stores it: each channel rounded to 8 bits.
std::string rgb(float r, float g, float b) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<unsigned>(std::lround(r * 255.0f)),
                  static_cast<unsigned>(std::lround(g * 255.0f)), static_cast<unsigned>(std::lround(b * 255.0f)));
    return text;
}

std::string strokeAttributes(const Color3& c, int width) {
    return "fill=\"none\" stroke=\"" + rgb(c.r, c.g, c.b) + "\" stroke-width=\"" + std::to_string(width) + "\"";
}

// Edges near each other in the edge list lie near each other in the plane. A
// renderer that draws without antialiasing may fill a gap of one pixel
// between two lines of one path (rsvg-convert does), so the edges take turns
// among this many paths: few close neighbours share one.
constexpr std::size_t kMeshPaths = 32;

void appendMeshLayer(std::string& out, const Canvas& canvas) {
    const Mesh& mesh = AppState.mesh;
    std::vector<Pixel> pixels(mesh.vertices.size());
    std::vector<Hundredths> at(mesh.vertices.size());
    std::vector<char> held(mesh.vertices.size(), 0);
    for (std::size_t v = 0; v < mesh.vertices.size(); ++v) {
        pixels[v] = canvas.pixel(mesh.vertices[v].x, mesh.vertices[v].y);
        held[v] = finite(pixels[v]) && canvas.box.beyond(pixels[v]) == 0;
        if (held[v]) at[v] = hundredthsOf(pixels[v]);
    }
    std::vector<std::string> data(kMeshPaths);
    std::vector<PathData> paths(data.begin(), data.end());
    for (std::size_t k = 0; k + 1 < mesh.edges.size(); k += 2) {
        const std::uint32_t a = mesh.edges[k], b = mesh.edges[k + 1];
        PathData& path = paths[k / 2 % kMeshPaths];
        if (held[a] && held[b]) {
            path.segment(at[a], at[b]);
        } else {
            appendSegment(path, canvas.box, pixels[a], pixels[b]);  // cut at the box
        }
    }
    for (const std::string& d : data) appendPath(out, strokeAttributes(kMeshColor, 1), d);
}

void appendDescentLayer(std::string& out, const Canvas& canvas) {
    std::string data;
    PathData path(data);
    for (const DescentStep& step : descentPath(AppState.quadtree.root, AppState.queryPoint)) {
        const Rect2& r = step.region->bounds;
        appendPolygon(path, canvas.box,
                      {canvas.pixel(r.minX, r.minY), canvas.pixel(r.maxX, r.minY), canvas.pixel(r.maxX, r.maxY),
                       canvas.pixel(r.minX, r.maxY)});
    }
    appendPath(out, strokeAttributes(kDescentColor, 1), data);
}

// `count` highlight triangles of one colour: the filled ones in one path, the
// outlined ones (as the window's polygon mode draws a front face) in another.
void appendTriangles(std::string& out, const Canvas& canvas, const ColoredVertex* first, std::size_t count) {
    std::string filled;
    std::string outlined;
    PathData fill(filled);
    PathData outline(outlined);
    for (const ColoredVertex* c = first; c != first + 3 * count; c += 3) {
        appendPolygon(drawnAsOutline(c) ? outline : fill, canvas.box,
                      {canvas.pixel(c[0].x, c[0].y), canvas.pixel(c[1].x, c[1].y), canvas.pixel(c[2].x, c[2].y)});
    }
    const std::string colour = rgb(first->r, first->g, first->b);
    appendPath(out, "fill=\"" + colour + "\"", filled);
    appendPath(out, "fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"1\"", outlined);
}

// The tested triangles in runs of one colour, in order: within a run the
// order does not change the picture, between runs it does.
void appendHighlightLayer(std::string& out, const Canvas& canvas) {
    const Mesh& mesh = AppState.mesh;
    const HighlightContents h =
        highlightContents(mesh.vertices, mesh.indices, AppState.highlightRegion->triangles, AppState.queryPoint);
    const std::size_t corners = h.vertices.size() - 1;
    const auto sameColour = [](const ColoredVertex& a, const ColoredVertex& b) {
        return a.r == b.r && a.g == b.g && a.b == b.b;
    };
    for (std::size_t k = 0; k + 2 < corners;) {
        std::size_t end = k + 3;
        while (end + 2 < corners && sameColour(h.vertices[end], h.vertices[k])) end += 3;
        appendTriangles(out, canvas, &h.vertices[k], (end - k) / 3);
        k = end;
    }
    if (corners >= 3) appendTriangles(out, canvas, &h.vertices[static_cast<std::size_t>(h.foundTriangleFirst)], 1);
    const ColoredVertex& p = h.vertices.back();
    const Pixel at = canvas.pixel(p.x, p.y);
    if (!finite(at) || canvas.box.beyond(at) != 0) return;
    out += "<rect x=\"";
    fmt::format_to(std::back_inserter(out), "{:.2f}", at.x - 3.0);
    out += "\" y=\"";
    fmt::format_to(std::back_inserter(out), "{:.2f}", at.y - 3.0);
    out += "\" width=\"6\" height=\"6\" fill=\"" + rgb(p.r, p.g, p.b) + "\"/>\n";
}

// The heat map's layer: every leaf's rectangle filled in its colour, no
// outline; the leaves of one colour share a path.
void appendHeatMapLayer(std::string& out, const Canvas& canvas) {
    const HeatMapContents heat = heatMapContents(AppState.quadtree);
    // A path's commands are relative, so each colour keeps one writer.
    std::map<std::string, std::string> byColour;
    std::map<std::string, PathData> writers;
    for (std::size_t k = 0; k + 5 < heat.vertices.size(); k += 6) {
        // The leaf's corners: lower left, upper left, upper right, lower right.
        const ColoredVertex* leaf = &heat.vertices[k];
        const std::string colour = rgb(leaf->r, leaf->g, leaf->b);
        auto writer = writers.find(colour);
        if (writer == writers.end()) writer = writers.emplace(colour, PathData(byColour[colour])).first;
        PathData& path = writer->second;
        std::vector<Pixel> corners;
        for (const ColoredVertex* corner : {&leaf[0], &leaf[1], &leaf[2], &leaf[5]}) {
            corners.push_back(canvas.pixel(corner->x, corner->y));
        }
        appendPolygon(path, canvas.box, std::move(corners));
    }
    for (const auto& [colour, data] : byColour) appendPath(out, "fill=\"" + colour + "\"", data);
}

void appendSplitLineLayer(std::string& out, const Canvas& canvas) {
    const std::vector<ColoredVertex> lines = regionLineContents(AppState.quadtree.regionList);
    std::string data;
    PathData path(data);
    for (std::size_t k = 0; k + 1 < lines.size(); k += 2) {
        appendSegment(path, canvas.box, canvas.pixel(lines[k].x, lines[k].y),
                      canvas.pixel(lines[k + 1].x, lines[k + 1].y));
    }
    appendPath(out, strokeAttributes(kSplitLineColor, 2), data);
}

}  // namespace

FigureView framedFigureView(int width, int height) {
    return {width, height, framedEye(AppState.sceneCenter, AppState.sceneExtent)};
}

std::string sceneSvg(const FigureView& view, bool highlight, bool heatMap) {
    ORRELIN_REQUIRE(AppState.quadtree.root != nullptr && view.width > 0 && view.height > 0);
    const Canvas canvas{
        Projection{viewMatrices(view.width, view.height, AppState.sceneExtent, view.eye), view.width, view.height},
        Box{{-kMargin, view.width + kMargin, -kMargin, view.height + kMargin}}};
    const std::string width = std::to_string(view.width);
    const std::string height = std::to_string(view.height);
    std::string out;
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + width + "\" height=\"" + height +
           "\" viewBox=\"0 0 " + width + " " + height + "\" shape-rendering=\"crispEdges\">\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#000000\"/>\n";
    if (heatMap) appendHeatMapLayer(out, canvas);
    appendMeshLayer(out, canvas);
    if (highlight && AppState.highlightRegion != nullptr) {
        appendDescentLayer(out, canvas);
        appendHighlightLayer(out, canvas);
    }
    appendSplitLineLayer(out, canvas);
    out += "</svg>\n";
    return out;
}

std::string sceneSvg(int width, int height, bool highlight, bool heatMap) {
    return sceneSvg(framedFigureView(width, height), highlight, heatMap);
}
